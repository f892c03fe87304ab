#include <tavrel/graphics/Geometric2d.h>

#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Geometric2d)

Geometric2d::Geometric2d(Object* parent) : Geometric(parent) {}

const PropertyTable& Geometric2d::Properties()
{
    static const PropertyTable table(PropertyList<Geometric2d>().Archived<&Geometric2d::m_xy>("XY"));
    return table;
}

Point2d Geometric2d::GetXY() const
{
    return m_xy;
}

void Geometric2d::SetXY(const Point2d& position)
{
    m_xy = position;
}

} // namespace Tavrel
