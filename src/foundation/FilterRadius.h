// FilterRadius: accepts positioned objects within a radius of any of a set of centres.
#pragma once

#include <memory>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class NeighborList;
class OrdCollection;

// The centres are taken once, at construction, from the Geometric entries of a collection (their
// GetXYZ); later motions do not move them. An object passes when it is a Geometric whose GetXYZ lies
// at a Distance of at most the radius from some centre. Many centres are searched through a grid
// shared by the filter's copies; the verdict is the same as that of a plain loop over the centres.
class FilterRadius : public Filter {
public:
    FilterRadius(const OrdCollection& centres, double radius, FilterMode mode);
    FilterRadius(const FilterRadius&) = default;
    FilterRadius& operator=(const FilterRadius&) = default;
    ~FilterRadius() override;

    std::unique_ptr<Filter> Copy() const override;

    const Point3d::Array& GetCentres() const { return m_centres; }
    double GetRadius() const { return m_radius; }

protected:
    bool DoTest(Object* object) const override;

private:
    Point3d::Array m_centres;
    double m_radius;
    // Over the centres when there are enough of them for a grid to pay; null otherwise.
    std::shared_ptr<const NeighborList> m_grid;
};

} // namespace Tavrel
