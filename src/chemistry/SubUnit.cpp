#include "chemistry/SubUnit.h"

#include <utility>

#include "chemistry/Chain.h"
#include "foundation/PropertyArchive.h"
#include "foundation/PropertyPass.h"
#include "platform/Archive.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(SubUnit, ClassKind::Creatable)

SubUnit::SubUnit() = default;

SubUnit::SubUnit(Object* parent) : Geometric3d(parent) {}

SubUnit::SubUnit(const SubUnit& other) : Geometric3d(other), m_type(other.m_type) {}

Point3d SubUnit::GetXYZ() const
{
    return CalculateCenter();
}

Point3d SubUnit::CalculateCenter() const
{
    return CalculateContentsCenter(*this);
}

ObjectProperty SubUnit::GetPropertyAsObjectProperty(std::string_view name) const
{
    if (name.empty())
        return {};
    return Object::GetPropertyAsObjectProperty(name);
}

std::int32_t SubUnit::GetProperties(ObjectProperty::Array& properties) const
{
    return Object::GetProperties(properties);
}

std::string SubUnit::GetPropertyAsString(std::string_view name) const
{
    if (name.empty())
        return {};
    return Object::GetPropertyAsString(name);
}

bool SubUnit::SetPropertyFromString(std::string_view name, std::string_view value)
{
    if (name.empty())
        return false;
    return Object::SetPropertyFromString(name, value);
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

void SubUnit::GetSetObjectProperties(PropertyArchive& archive)
{
    static PropertyLevel level;
    PropertyPass pass(archive, level, *this);
    if (!pass)
        return;
    pass.Value<Storage::StorageString>("SubUnit Type", m_type);
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
