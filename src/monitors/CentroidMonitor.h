// CentroidMonitor: a point kept at the centre, or centre of mass, of the objects it watches, drawn as a small sphere.
#pragma once

#include <string>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class OrdCollection;

// Items: any number of Geometric objects. The position is their mean position, or with the
// centre-of-mass switch on the mean of the atoms among them weighted by atomic mass (the other items
// taking no part; with a total mass of 0 the plain mean of all items). While the switch is on, a
// change of element of an atom item marks the monitor stale too. With no items the position stays
// where it is; the host may place it while the movable flag is on.
//
// Persisted after GeometryMonitor's properties as "Movable" and "COM" (booleans). Text interface:
// "Center of Mass" ("True" or "False"; set from exactly true or false in any letter case, 1 or 0,
// any other text refused, and the monitor is marked stale either way).
class CentroidMonitor : public GeometryMonitor {
    TAVREL_CLASS(CentroidMonitor, GeometryMonitor, Creatable)
public:
    // No items; movable.
    explicit CentroidMonitor(Object* parent);
    // The Geometric objects of the collection other than molecules, residues and bonds, in order,
    // each watched for deletion and movement; movable.
    CentroidMonitor(Object* parent, const OrdCollection& objects);

    // Two entries of the selection are atoms.
    static bool CanCreate(const OrdCollection& selection);
    // False; the text is not touched.
    static bool SuggestedValue(const OrdCollection& selection, std::string& text);

    virtual void SetMovable(bool movable);
    virtual bool GetMovable() const;
    // Stores the switch, watches (or stops watching) the element of every atom item, and marks the
    // monitor stale.
    virtual void SetCenterOfMass(bool on);
    virtual bool GetCenterOfMass() const;

    // Brought up to date first.
    Point3d GetCenter() const { return GetXYZ(); }
    // Only while the monitor has no items and is movable.
    void SetXYZ(const Point3d& position) override;
    // 0.3 above the centre (along z).
    Point3d GetAnnotationXYZ() const override;

    void Calculate() override;

protected:
    // A sphere of radius 0.3 at the centre.
    void NormalDisplay(DisplayList3D& list) override;
    void DeepenShallowCopy() override;

private:
    // Registers or removes the element watch on every atom item.
    void WatchElements(bool on);

    bool m_movable = true;
    bool m_centerOfMass = false;
};

} // namespace Tavrel
