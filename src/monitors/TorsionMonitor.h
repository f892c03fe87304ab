// TorsionMonitor: the dihedral monitor under the name of a torsion.
#pragma once

#include <tavrel/monitors/DihedralMonitor.h>

namespace Tavrel {

class TorsionMonitor : public DihedralMonitor {
    TAVREL_CLASS(TorsionMonitor, DihedralMonitor, Creatable)
public:
    using DihedralMonitor::DihedralMonitor;
};

} // namespace Tavrel
