// TupleMonitor: a tether of two or more points from different molecules, marked with its ID number.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class OrdCollection;

// Items: atoms, centroid monitors and point features. The monitor measures nothing; it writes its ID
// beside each visible member and can draw lines from the first member to the others. It stays while
// two or more members remain. Its position is not computed and cannot be set.
//
// Persisted after GeometryMonitor's properties as "TupleMonitor Display Lines" (a boolean); the
// framework record adds it as one byte. Text interface: "Show lines" ("True" or "False"; any text
// taken, GeometryMonitor::ParseSwitch); the listing has Object's properties, then this one.
// Common name "Tether".
class TupleMonitor : public GeometryMonitor {
    TAVREL_CLASS_CONSTRUCTED(TupleMonitor, GeometryMonitor, Creatable)
public:
    // The colour of a new tuple; (50, 255, 50) at start.
    static Color GetDefaultTupleColor();
    static void SetDefaultTupleColor(const Color& color);

    // The atoms, centroid monitors and point features GeometryMonitor::ExtractObjects takes from the
    // selection, in order, each watched for deletion and movement.
    TupleMonitor(Object* parent, const OrdCollection& selection);

    // At least two such objects, no two with the same nearest molecule (objects outside any molecule
    // are not compared).
    static bool CanCreate(const OrdCollection& selection);

    virtual bool GetDisplayLines() const;
    virtual void SetDisplayLines(bool display);

    std::string GetCommonName() const override;
    // Fewer than two members left.
    bool ShouldDeleteMonitor() const override;
    // Only clears the stale flag.
    void Calculate() override;
    // Ignored.
    void SetXYZ(const Point3d& position) override;

    std::int32_t GetProperties(ObjectProperty::Array& properties) const override;

protected:
    // The ID beside each visible member, offset as the first member's label point is, and the lines.
    void NormalDisplay(DisplayList3D& list) override;

private:
    // The members a selection offers, in order.
    static OrdCollection ExtractMembers(const OrdCollection& selection);

    bool m_displayLines = false;
};

} // namespace Tavrel
