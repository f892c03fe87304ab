#include <tavrel/chemistry/SubUnit.h>

#include <utility>

#include <tavrel/chemistry/Chain.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(SubUnit)

SubUnit::SubUnit(Object* parent) : Geometric3d(parent) {}

const PropertyTable& SubUnit::Properties()
{
    // The text interface is Object's: the position names of Geometric are not offered.
    static const PropertyTable table(&Object::Properties(), PropertyList<SubUnit>().Field<&SubUnit::m_type>("SubUnit Type"));
    return table;
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

} // namespace Tavrel
