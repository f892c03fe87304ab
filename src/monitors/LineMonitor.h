// LineMonitor: the best-fitting straight line through two or more positioned objects, drawn as a rod.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class OrdCollection;

// Items: Geometric objects, taken as they are (a bond as a bond, at its midpoint). The rod reaches
// 1.0 beyond each end of the fitted segment; the position is its midpoint. Besides the items'
// movement, the monitor hears the movement of a bond item's atoms and of everything below a
// molecule, chain or residue item, whose positions follow from those. Persists nothing of its own;
// the line is fitted again after loading.
class LineMonitor : public GeometryMonitor {
    TAVREL_CLASS(LineMonitor, GeometryMonitor, Creatable)
public:
    // The Geometric entries of the collection, in order, each watched for deletion and movement.
    LineMonitor(Object* parent, const OrdCollection& objects);
    ~LineMonitor() override;

    // Two entries of the selection are Geometric.
    static bool CanCreate(const OrdCollection& selection);
    // By the number of Geometric entries: fewer than 2 false; 2 true; more true with the text "0.5".
    static bool SuggestedValue(const OrdCollection& selection, std::string& text);

    // Each brought up to date first.
    Point3d GetP0() const;
    Point3d GetP1() const;
    Point3d GetCenter() const { return GetXYZ(); }

    // The position is only computed: nothing.
    void SetXYZ(const Point3d& position) override;
    // The monitor's label.
    std::string GetAnnotation() const override;
    // 0.2 from the centre, perpendicular to the line.
    Point3d GetAnnotationXYZ() const override;

    void Calculate() override;

protected:

    // A cylinder of radius 0.1 from P0 to P1.
    void NormalDisplay(DisplayList3D& list) override;
    // A line from P0 to P1.
    void FastDisplay(DisplayList3D& list) override;
    void DeepenShallowCopy() override;

private:
    // Watches the movement of what the items' positions follow from.
    void WatchMembers();

    Point3d m_p0;
    Point3d m_p1;
    // A copy watches nothing yet (DeepenShallowCopy watches what its items follow).
    Uncopied<std::vector<std::uint32_t>> m_watchedEnds;  // the atoms of bond items, watched for movement
};

} // namespace Tavrel
