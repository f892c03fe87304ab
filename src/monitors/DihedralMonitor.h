// DihedralMonitor: the torsion angle of four positioned objects in chain order, drawn as a bracket and arc about the central bond.
#pragma once

#include <array>
#include <string>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class Bond;
class Geometric;
class Object;
class OrdCollection;

// Items 0 to 3 in chain order; the central bond is item 1 - item 2. The angle is signed (IUPAC), in
// degrees. Without four distinct Geometric items it measures 0 and draws nothing. Calculate measures
// and marks the figure to be rebuilt; the display rebuilds it (Clean): the ends of the arc, one on
// each side of the central bond, and the monitor's own position, where its label stands.
//
// Persists nothing of its own. Text interface: "Angle" ("%.1f", read-only; listed as a real).
class DihedralMonitor : public GeometryMonitor {
    TAVREL_CLASS(DihedralMonitor, GeometryMonitor, Creatable)
public:
    // a, b, c and d become items 0 to 3, each watched for deletion and movement; no items unless all
    // four are non-null.
    DihedralMonitor(Object* parent, Geometric* a, Geometric* b, Geometric* c, Geometric* d);
    // The four objects ExtractObjects gives (check CanCreate first); no items when it refuses.
    DihedralMonitor(Object* parent, const OrdCollection& selection);

    // ExtractObjects succeeds.
    static bool CanCreate(const OrdCollection& selection);
    // GeometryMonitor::ExtractObjects with a maximum of 5; two objects (a bond, or two bonded
    // atoms) are widened by ExtractAttachedObjects. Exactly four distinct objects are put in chain
    // order (ReorderObjects) into the output; any other count gives false.
    static bool ExtractObjects(const OrdCollection& selection, OrdCollection& output);
    // Two bonded Bondable objects X0, X1 become X0, X1, N0, N1: at each end in turn, of its other
    // neighbours the one with the most neighbours of its own (the first such, and the first with
    // four). False, with the collection as it was, when they are not bonded Bondables or an end has
    // no other neighbour.
    static bool ExtractAttachedObjects(OrdCollection& objects);
    // A, B, C, D put in chain order by which of them are bonded to which, into output (resized to 4).
    // False for a null object.
    static bool ReorderObjects(Object* a, Object* b, Object* c, Object* d, OrdCollection& output);
    // For four objects, the common ancestor of the common ancestors of objects 0 and 1 and of objects
    // 2 and 3; else null.
    static Object* ExtractParent(const OrdCollection& objects);

    // Brought up to date first.
    virtual double GetAngle() const;
    // The bond between items 1 and 2 when both are Bondable and bonded; else null.
    virtual Bond* GetMeasuredBond() const;
    // Rebuilds the ends of the arc and the label position from the item positions.
    virtual void Clean();
    virtual void UpdateEndPoints(const Point3d& p0, const Point3d& p1, const Point3d& p2, const Point3d& p3);
    virtual Point3d GetEndPoint1() const;
    virtual Point3d GetEndPoint2() const;
    // The monitor's position: from p1, between the two arc ends, a little beyond the arc.
    virtual void UpdateLabel(const Point3d& p0, const Point3d& p1, const Point3d& p2, const Point3d& p3);

    // The text of "angle".
    std::string GetAnnotation() const override;
    // The angle; the figure is rebuilt at the next display. The position is not moved.
    void Calculate() override;

protected:
    // The item positions; false without four distinct Geometric items.
    bool GetPositions(std::array<Point3d, 4>& positions) const;

    // The label, and about the central bond's midpoint: a line from the first outer bond to the first
    // arc end, a line to the midpoint, the arc, a line to the second arc end and one to the second
    // outer bond.
    void NormalDisplay(DisplayList3D& list) override;

private:
    double m_angle = 0.0;
    Point3d m_endPoint1;
    Point3d m_endPoint2;
    bool m_needsClean = true;
};

} // namespace Tavrel
