#include <tavrel/foundation/Geometric3d.h>

#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Geometric3d, ClassKind::Creatable)

Geometric3d::Geometric3d() = default;

Geometric3d::Geometric3d(Object* parent) : Geometric(parent) {}

const PropertyTable& Geometric3d::Properties()
{
    static const PropertyTable table(&Geometric::Properties(), PropertyList<Geometric3d>().Archived<&Geometric3d::m_xyz>("XYZ"));
    return table;
}

void Geometric3d::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
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

void Geometric3d::Serialize(Archive& archive)
{
    Geometric::Serialize(archive);
    if (archive.IsStoring()) {
        archive << m_xyz;
    } else {
        Point3d position;
        archive >> position;
        m_xyz = position;
    }
}

} // namespace Tavrel
