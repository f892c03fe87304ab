#include <tavrel/foundation/Geometric3d.h>

#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Geometric3d)

Geometric3d::Geometric3d(Object* parent) : Geometric(parent) {}

const PropertyTable& Geometric3d::Properties()
{
    static const PropertyTable table(PropertyList<Geometric3d>().Archived<&Geometric3d::m_xyz>("XYZ"));
    return table;
}

Point3d Geometric3d::GetXYZ() const
{
    return m_xyz;
}

void Geometric3d::SetXYZ(const Point3d& position)
{
    m_xyz = position;
    Geometric::SetXYZ(position);
}

} // namespace Tavrel
