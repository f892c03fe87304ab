// BumpMonitor: flags close contacts between atoms closer than a fraction of their van der Waals radii, drawn as dashed lines.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class OrdCollection;

// Item 0 is the parent (a monitor made without one takes no atoms); the atoms follow. A tree monitor takes every atom below its parent at each
// recalculation, a fixed-set monitor only the atoms it was given. A pair bumps when its atoms are
// closer than the VDW percent times the sum of their radii (an atom still missing hydrogens 8 %
// larger), at least one of them is visible and drawn in some style, they are not a hydrogen-bond
// donor and acceptor, and they are more than four bonds apart. Each bumping pair is recorded from
// both atoms, so the count is twice the pairs. The recalculation compares only pairs from a cell grid
// sized by the largest threshold in the structure, in the order a walk over all pairs gives; radii
// and donor and acceptor marks are read once per atom. Losing an atom never deletes the monitor; the
// recalculation comes with the next drawing after an event.
//
// Persisted after GeometryMonitor's properties as "BumpMonitor Tree Monitor" (a boolean),
// "BumpMonitor VDWPercent" (the squared percent, a double in (0, 10000]; any other value loads as
// the default) and "BumpMonitor Dist Labels" (a boolean); the framework record adds the tree flag as
// one byte. Text interface: "Bumps" (read-only), "VDW Percent" ("%.2f"; set from a number in
// (0, 100]), "Show distances" ("True" or "False"; any text taken, GeometryMonitor::ParseSwitch);
// the listing has Object's properties, then these.
class BumpMonitor : public GeometryMonitor {
    TAVREL_CLASS(BumpMonitor, GeometryMonitor, Creatable)
public:
    static constexpr double DefaultVDWPercent = 0.7;

    // A tree monitor over every atom below parent.
    explicit BumpMonitor(Object* parent);
    // A monitor of the given atoms (those not clipped).
    BumpMonitor(Object* parent, const OrdCollection& atoms);

    static double GetDefaultVDWPercent() { return DefaultVDWPercent; }

    virtual void ShowDistanceLabels(bool show);
    virtual bool GetShowDistanceLabels() const;
    // As of the last recalculation.
    virtual int GetNumberOfBumps() const;
    virtual double GetVDWPercent() const;
    // Stores percent squared; takes effect at the next recalculation.
    virtual void SetVDWPercent(double percent);

    bool ShouldDeleteMonitor() const override { return false; }
    // Copied alone too, whatever is copied with it.
    bool ShallowCopyOK() const override { return true; }
    // Gathers the candidates, watches the new ones and finds the bumps.
    void Calculate() override;

    // "VDW Percent" is listed but described by the levels below this one.
    ObjectProperty GetPropertyAsObjectProperty(std::string_view name) const override;
    std::int32_t GetProperties(ObjectProperty::Array& properties) const override;

protected:
    // A dashed line for each recorded bump whose atoms are both active, with its length when the
    // labels are on.
    void NormalDisplay(DisplayList3D& list) override;

private:
    bool m_tree = false;
    bool m_showLabels = false;
    double m_squaredPercent = DefaultVDWPercent * DefaultVDWPercent;
    // OIDs of the atoms of each recorded bump; a copy has the flags and the percent, not the bumps.
    Uncopied<std::vector<std::pair<std::uint32_t, std::uint32_t>>> m_bumps;
};

} // namespace Tavrel
