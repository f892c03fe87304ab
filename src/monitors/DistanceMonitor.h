// DistanceMonitor: the distance between two positioned objects, drawn as a line with a label, settable by text.
#pragma once

#include <string>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class Geometric;
class OrdCollection;

// Items 0 and 1 are the measured objects. A monitor without two distinct Geometric items measures 0,
// draws nothing and refuses to set a distance. Persists nothing of its own (the distance is measured
// again after loading). Text interface: "Distance" (any letter case), the distance as "%.2f"; set
// from a number in (0, 100000].
class DistanceMonitor : public GeometryMonitor {
    TAVREL_CLASS(DistanceMonitor, GeometryMonitor, Creatable)
public:
    // The largest distance the text interface accepts.
    static constexpr double MaxTextDistance = 100000.0;

    // a and b become items 0 and 1, each watched for deletion and movement.
    DistanceMonitor(Object* parent, Geometric* a, Geometric* b);
    // The first two objects GeometryMonitor::ExtractObjects takes from the selection (check CanCreate
    // first); no items when it refuses the selection.
    DistanceMonitor(Object* parent, const OrdCollection& selection);

    // The selection gives exactly two objects to measure (with a maximum of 3).
    static bool CanCreate(const OrdCollection& selection);

    // Brought up to date first.
    virtual float GetDistance() const;
    // Moves one side so that the items end d apart along their present direction: item 1 with
    // everything bonded to it (not through item 0) when it is bonded to something; else item 0's side;
    // else, or when both sides are one fragment (a ring), item 0 alone. False, with nothing moved, for
    // a distance that is not positive and finite, coincident or missing items, and a move that would
    // not change the distance: an item whose position is computed and cannot be set, or a moved side
    // that carries what the other item is computed from.
    virtual bool SetDistance(double distance);

    // The text of "distance".
    std::string GetAnnotation() const override;
    // The distance, and the monitor's position: 0.2 from the midpoint towards item 0.
    void Calculate() override;

protected:
    // The label, and a line from item 1 to item 0.
    void NormalDisplay(DisplayList3D& list) override;

private:
    float m_distance = 0.0f;
};

} // namespace Tavrel
