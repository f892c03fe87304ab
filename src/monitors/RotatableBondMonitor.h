// RotatableBondMonitor: a torsion monitor that marks its central bond as rotatable with a curved arrow.
#pragma once

#include <string>

#include <tavrel/monitors/TorsionMonitor.h>

namespace Tavrel {

// Measures as a torsion monitor; draws no measurement and makes no label.
class RotatableBondMonitor : public TorsionMonitor {
    TAVREL_CLASS(RotatableBondMonitor, TorsionMonitor, Creatable)
public:
    using TorsionMonitor::TorsionMonitor;

    // "Rotatable Bond".
    std::string GetCommonName() const override;

protected:
    // A 220-degree arc of 55 segments about the central bond from the first arc end, turning the way
    // the torsion's sign gives, and a cone of radius 0.1 at its start; whatever the items' display.
    void NormalDisplay(DisplayList3D& list) override;
};

} // namespace Tavrel
