// AngleMonitor: the angle at one corner of three positioned objects, drawn as two lines and an arc, settable by text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class Geometric;
class OrdCollection;

// Items 0, 1 and 2 form a triangle; the orientation chooses the corner measured, as (first end,
// vertex, second end): "First Angle" (0, 1, 2), "Second Angle" (1, 2, 0), "Third Angle" (2, 0, 1); any
// other stored value measures as the first. A monitor without three distinct Geometric items
// measures 0, draws nothing and refuses to set an angle. Angles are in degrees.
//
// Persisted after GeometryMonitor's properties as "AngleMonitor Orientation" (an integer); the angle
// is measured again after loading. Text interface: "Angle" ("%.1f"; set from a number in
// [-360, 360]) and "Orientation" (the orientation's name; set from a text beginning with "first",
// "second" or "third" in any letter case, any other text choosing the first; every text is taken).
class AngleMonitor : public GeometryMonitor {
    TAVREL_CLASS(AngleMonitor, GeometryMonitor, Creatable)
public:
    // Stored in files.
    enum Orientation : std::int32_t { FirstAngle = 0, SecondAngle = 1, ThirdAngle = 2 };

    // The largest angle, either way, the text interface accepts.
    static constexpr double MaxTextAngle = 360.0;

    // a, b and c become items 0, 1 and 2 (b the vertex of the first angle), each watched for deletion
    // and movement; no items unless all three are non-null.
    AngleMonitor(Object* parent, Geometric* a, Geometric* b, Geometric* c);
    // The three objects ExtractObjects gives (check CanCreate first); no items when it refuses.
    AngleMonitor(Object* parent, const OrdCollection& selection);

    // GeometryMonitor::ExtractObjects with a maximum of 4 gives exactly three objects.
    static bool CanCreate(const OrdCollection& selection);
    // That test, then ReorderObjects on the output.
    static bool ExtractObjects(const OrdCollection& selection, OrdCollection& output);
    // Three objects ordered with the vertex in the middle: the object bonded to most of the others
    // (the middle one on a tie, else the first), then the end nearer to the vertex first (the first
    // on a tie). Nothing for a collection of another size.
    static void ReorderObjects(OrdCollection& objects);

    // Brought up to date first.
    virtual double GetAngle() const;
    virtual Orientation GetMeasuredAngle() const;
    // Stores the orientation and marks the monitor stale.
    virtual void SetMeasuredAngle(Orientation orientation);
    // Turns part of the structure about the axis through the vertex normal to the three points so
    // that the measured angle changes by the difference to the present angle: the second end's
    // molecule when the ends lie in different molecules (the first end's for "Second Angle"), the
    // second end's branch at a vertex bonded to both ends, else one end alone. False, with nothing
    // moved, for a value that is not finite, missing or collinear items, and whenever the move could
    // not change the angle: both ends or neither would move, the vertex is computed from moved
    // objects, the only moved item's position is computed and cannot be set, or the items are
    // connected in a way no rule covers.
    virtual bool SetAngle(double degrees);

    // The text of "angle".
    std::string GetAnnotation() const override;
    // The angle, and the monitor's position on the bisector, 0.05 beyond the nearer end's distance.
    void Calculate() override;

protected:
    // The label, a line from the nearer end to the vertex, the arc from it to the other arm and a line
    // from the vertex to the other end.
    void NormalDisplay(DisplayList3D& list) override;

private:
    // Item indices of (first end, vertex, second end).
    std::array<int, 3> OrientedItems() const;
    // Their positions; false without three distinct Geometric items.
    bool OrientPointOrder(Point3d& first, Point3d& vertex, Point3d& second) const;

    double m_angle = 0.0;
    Orientation m_orientation = FirstAngle;
};

} // namespace Tavrel
