// NormalMonitor: the normal of a plane monitor, standing on the plane at the foot of the perpendicular from a point.
#pragma once

#include <string>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class OrdCollection;
class PlaneMonitor;

// Item 0 is the plane monitor, item 1 the point (any Geometric). The normal is drawn as a rod of the
// normal length along the plane's normal from the foot of the perpendicular, with a ball at its tip;
// the position is the tip. A negative length draws it on the other side. A monitor whose item 0 is
// not a plane monitor (as only a crafted file can make) has a zero normal and draws nothing.
//
// Persisted after GeometryMonitor's properties as "NormalMonitor Normal Length" (a float); the
// framework record adds it after GeometryMonitor's as a 4-byte float. Text interface: "Length"
// ("%.1f"; set from a number).
class NormalMonitor : public GeometryMonitor {
    TAVREL_CLASS(NormalMonitor, GeometryMonitor, Creatable)
public:
    // The plane and the point become items 0 and 1, watched for deletion and movement.
    NormalMonitor(Object* parent, PlaneMonitor* plane, Geometric* point);
    // The last plane monitor and the last other Geometric entry of the collection (check CanCreate
    // first); no items unless it holds both.
    NormalMonitor(Object* parent, const OrdCollection& objects);

    // Exactly two entries: a plane monitor and a Geometric that is not a plane monitor.
    static bool CanCreate(const OrdCollection& selection);
    // True; the text is not touched.
    static bool SuggestedValue(const OrdCollection& selection, std::string& text);

    // Brought up to date first.
    virtual const Point3d& GetNormal() const;
    // Stores the length and marks the monitor stale.
    virtual void SetNormalLength(float length);
    virtual float GetNormalLength() const;

    // The position is only computed: nothing.
    void SetXYZ(const Point3d& position) override;
    // 0.2 beyond the tip along the drawn direction.
    Point3d GetAnnotationXYZ() const override;

    void Calculate() override;

protected:

    // A cylinder of radius 0.1 from the foot to the tip and a sphere of radius 0.2 at the tip.
    void NormalDisplay(DisplayList3D& list) override;
    // A line from the foot to the tip and the sphere.
    void FastDisplay(DisplayList3D& list) override;

private:
    // Brought up to date; false when the monitor has no plane to stand on or a listener deleted it.
    bool GetRod(Point3d& foot, Point3d& tip) const;

    Point3d m_normal;
    float m_length = 1.0f;
};

} // namespace Tavrel
