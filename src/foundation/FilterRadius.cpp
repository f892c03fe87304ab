#include <tavrel/foundation/FilterRadius.h>

#include <algorithm>
#include <cmath>
#include <span>

#include <tavrel/core/NeighborList.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>

namespace Tavrel {

namespace {

// Below this many centres a plain loop is faster than a grid lookup.
constexpr std::size_t GridThreshold = 16;

} // namespace

FilterRadius::FilterRadius(const OrdCollection& centres, double radius, FilterMode mode)
    : Filter(mode), m_radius(radius)
{
    for (int i = 0; i < centres.GetSize(); ++i) {
        if (const auto* const centre = DynCast<Geometric>(centres.GetAt(i)))
            m_centres.push_back(centre->GetXYZ());
    }
    if (m_centres.size() >= GridThreshold) {
        // Cells twice as wide as the radius: a query then looks into two cells along each axis. A
        // radius that gives no cell size falls back to the grid's default.
        m_grid = std::make_shared<const NeighborList>(2.0 * radius, std::span<const Point3d>(m_centres));
    }
}

FilterRadius::~FilterRadius() = default;

std::unique_ptr<Filter> FilterRadius::Copy() const
{
    return std::make_unique<FilterRadius>(*this);
}

bool FilterRadius::DoTest(Object* object) const
{
    const auto* const geometric = DynCast<Geometric>(object);
    if (!geometric)
        return false;
    const Point3d position = geometric->GetXYZ();
    if (m_grid)
        return m_grid->HasNeighbor(position, m_radius);
    return std::any_of(m_centres.begin(), m_centres.end(),
                       [&](const Point3d& centre) { return Distance(position, centre) <= m_radius; });
}

} // namespace Tavrel
