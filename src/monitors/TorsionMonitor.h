// TorsionMonitor: the dihedral monitor under the name of a torsion.
#pragma once

#include <tavrel/monitors/DihedralMonitor.h>

namespace Tavrel {

class TorsionMonitor : public DihedralMonitor {
    TAVREL_DECLARE_CLASS(TorsionMonitor, DihedralMonitor)
public:
    using DihedralMonitor::DihedralMonitor;

protected:
    TorsionMonitor() = default;
    TorsionMonitor(const TorsionMonitor& other) = default;
};

} // namespace Tavrel
