// PositionMonitor: a point that follows one object and can show its coordinates in a label.
#pragma once

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class Event;
class Geometric;

// Item 0 is the followed object. The monitor's position is the object's: computed when first asked
// for after construction or loading, and set again (with its movement event, then the recalculated
// event) each time the object moves; other events never make it stale. The first display makes a
// label showing "XYZ" that stays where it was made; the label shows while the object is not
// displayed and hides while it is. Deleting the object deletes the monitor.
//
// Persisted after GeometryMonitor's properties as "Create Label" (a boolean: the label is still to be
// made).
class PositionMonitor : public GeometryMonitor {
    TAVREL_CLASS(PositionMonitor, GeometryMonitor, Creatable)
public:
    // Without parent; the object (when given) becomes item 0.
    explicit PositionMonitor(Geometric* object);
    PositionMonitor(Object* parent, Geometric* object);

    // While a label is still to be made: an AnnotationProperty of "XYZ" at GetAnnotationXYZ that does
    // not follow the monitor, selected with the monitor.
    virtual void MakeLabel();
    // Moves the monitor to item 0's position (the origin without one) when it is elsewhere.
    virtual void UpdatePosition();

    // A movement (code 1) updates the position; every other event is ignored.
    void Update(Event& event) override;
    // The position of item 0; without one the position stays.
    void Calculate() override;
    // Copied alone too: the copy keeps the items the copied subtree holds.
    bool ShallowCopyOK() const override { return true; }

protected:
    // Makes the label when due, then shows it while an item is not displayed and hides it otherwise.
    void NormalDisplay(DisplayList3D& list) override;

private:
    bool m_createLabel = false;
};

} // namespace Tavrel
