// VectorMonitor: a vector between two ends, each a watched object or a fixed point, drawn as a rod and a cone; a query feature.
#pragma once

#include <string>

#include <tavrel/features/QueryFeature.h>
#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class OrdCollection;

// The ends by the number of items: two items give (item 0, item 1); one gives (first point, item
// 0); none gives (first point, second point). The position is the midpoint of the two ends. Drawn
// from the second end: a short rod over the first tenth, then a cone whose apex is the first end.
//
// Persisted after GeometryMonitor's properties as "VectorMonitor First Point" and "VectorMonitor
// Second Point" (each the point's 12-byte form), so that fixed ends survive saving.
class VectorMonitor : public GeometryMonitor, public QueryFeature {
    TAVREL_CLASS_WITH_INTERFACE(VectorMonitor, GeometryMonitor, QueryFeature, Creatable)
public:
    // a and b become items 0 and 1, watched for deletion and movement.
    VectorMonitor(Object* parent, Object* a, Object* b);
    // From the fixed point p to b, which becomes item 0.
    VectorMonitor(Object* parent, const Point3d& p, Object* b);
    // From the fixed point p to the fixed point q; nothing is watched.
    VectorMonitor(Object* parent, const Point3d& p, const Point3d& q);

    // Two entries of the selection are Geometric.
    static bool CanCreate(const OrdCollection& selection);
    // True; the text is not touched.
    static bool SuggestedValue(const OrdCollection& selection, std::string& text);

    // The position is only computed: nothing.
    void SetXYZ(const Point3d& position) override;

    void Calculate() override;

protected:
    void NormalDisplay(DisplayList3D& list) override;

private:
    // The first and second ends, as the items say.
    void GetEnds(Point3d& first, Point3d& second) const;

    Point3d m_firstPoint;
    Point3d m_secondPoint;
};

} // namespace Tavrel
