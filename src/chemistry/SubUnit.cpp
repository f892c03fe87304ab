#include <tavrel/chemistry/SubUnit.h>

#include <utility>

#include <tavrel/chemistry/Chain.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(SubUnit, ClassKind::Creatable)

SubUnit::SubUnit() = default;

SubUnit::SubUnit(Object* parent) : Geometric3d(parent) {}

const PropertyTable& SubUnit::Properties()
{
    static const PropertyTable table(&Object::Properties(),
                                     PropertyList<SubUnit>().Field<Storage::StorageString, &SubUnit::m_type>("SubUnit Type"));
    return table;
}

void SubUnit::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
}

Point3d SubUnit::GetXYZ() const
{
    return CalculateCenter();
}

Point3d SubUnit::CalculateCenter() const
{
    return CalculateContentsCenter(*this);
}

std::int32_t SubUnit::GetColorSchemes(std::vector<std::string>& schemes) const
{
    return static_cast<std::int32_t>(schemes.size());
}

void SubUnit::SetColorScheme(std::string_view name)
{
    if (!name.empty())
        SetColor(Color::White());
}

void SubUnit::Serialize(Archive& archive)
{
    Geometric3d::Serialize(archive);
    if (archive.IsStoring()) {
        archive << m_type;
    } else {
        std::string type;
        archive >> type;
        m_type = std::move(type);
    }
}

} // namespace Tavrel
