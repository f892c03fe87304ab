// PlaneMonitor: the best-fitting plane through three or more positioned objects, drawn as a translucent square.
#pragma once

#include <array>
#include <string>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class OrdCollection;

// With exactly two items A and B, the plane through A perpendicular to AB: a square of half-diagonal
// 1.0 centred on A with the unit normal from A towards B (coincident items give a zero normal and a
// square of no size). Otherwise the best-fitting plane of the items' positions: four corners around a
// square centred on the centroid, the normal from the first two corners. The position is the centre.
// Persists nothing of its own; the plane is fitted again after loading.
class PlaneMonitor : public GeometryMonitor {
    TAVREL_CLASS(PlaneMonitor, GeometryMonitor, Creatable)
public:
    // The objects GeometryMonitor::ExtractObjects gives (a bond giving its atoms), each watched for
    // deletion and movement.
    PlaneMonitor(Object* parent, const OrdCollection& objects);
    // The plane through a perpendicular to the line towards b; each is watched when it is Geometric.
    PlaneMonitor(Object* parent, Object* a, Object* b);

    // ExtractObjects yields more than two objects.
    static bool CanCreate(const OrdCollection& selection);
    // By the number of extracted objects: 2 or fewer false; 3 true; more true with the text "0.5".
    static bool SuggestedValue(const OrdCollection& selection, std::string& text);

    // Each brought up to date first.
    Point3d GetP0() const { return GetCorner(0); }
    Point3d GetP1() const { return GetCorner(1); }
    Point3d GetP2() const { return GetCorner(2); }
    Point3d GetP3() const { return GetCorner(3); }
    Point3d GetNormal() const;
    Point3d GetCenter() const { return GetXYZ(); }

    // The position is only computed: nothing.
    void SetXYZ(const Point3d& position) override;

    void Calculate() override;

protected:

    // The square as two faces 0.01 apart, wound opposite ways, in the colour at half opacity.
    void NormalDisplay(DisplayList3D& list) override;
    // The square's four sides and two diagonals as lines.
    void FastDisplay(DisplayList3D& list) override;

private:
    Point3d GetCorner(int index) const;

    std::array<Point3d, 4> m_corners{};
    Point3d m_normal;
};

} // namespace Tavrel
