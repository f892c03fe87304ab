#include <tavrel/foundation/ObjectProperty.h>

#include <stdexcept>

#include <tavrel/core/StringUtils.h>

namespace Tavrel {

namespace {

const char* const PointFieldNames[] = {"X", "Y", "Z"};

bool InRange(std::int32_t index, std::int32_t count)
{
    return index >= 0 && index < count;
}

} // namespace

std::string ObjectProperty::Type::GetFieldName(std::int32_t) const
{
    return {};
}

std::string ObjectProperty::Type::GetFieldValue(std::int32_t) const
{
    return ToString();
}

ObjectProperty::ObjectProperty() = default;

ObjectProperty::ObjectProperty(std::string name, const Type* value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_access(access), m_propertyType(type), m_hasValue(true)
{
    if (!value)
        throw std::invalid_argument("ObjectProperty needs a value holder");
    m_value = value->Clone();
}

ObjectProperty::ObjectProperty(std::string name, bool value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<BoolType>(value)), m_access(access), m_propertyType(type),
      m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, const Color& value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<ColorType>(value)), m_access(access), m_propertyType(type),
      m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, double value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<DoubleType>(value)), m_access(access), m_propertyType(type),
      m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, float value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<FloatType>(value)), m_access(access), m_propertyType(type),
      m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, std::int32_t value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<IntType>(value)), m_access(access), m_propertyType(type),
      m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, const Point3d& value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<Point3dType>(value)), m_access(access), m_propertyType(type),
      m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, const Point2d& value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<Point2dType>(value)), m_access(access), m_propertyType(type),
      m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, std::string value, std::int32_t access, PropertyType type)
    : m_name(std::move(name)), m_value(std::make_unique<StringType>(std::move(value))), m_access(access),
      m_propertyType(type), m_hasValue(true)
{
}

ObjectProperty::ObjectProperty(std::string name, const char* value, std::int32_t access, PropertyType type)
    : ObjectProperty(std::move(name), std::string(value ? value : ""), access, type)
{
}

ObjectProperty::ObjectProperty(const ObjectProperty& other)
    : m_name(other.m_name), m_value(other.m_value ? other.m_value->Clone() : nullptr), m_access(other.m_access),
      m_propertyType(other.m_propertyType), m_allValues(other.m_allValues), m_hasValue(other.m_hasValue)
{
}

ObjectProperty& ObjectProperty::operator=(const ObjectProperty& other)
{
    if (this != &other) {
        ObjectProperty copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ObjectProperty::~ObjectProperty() = default;

bool ObjectProperty::operator==(const ObjectProperty& other) const
{
    if (!HasValue() || !other.HasValue())
        return false;
    return this == &other || StringUtils::EqualsNoCase(GetStringValue(), other.GetStringValue());
}

std::string ObjectProperty::GetType() const
{
    return m_value ? m_value->GetTypeName() : std::string();
}

std::string ObjectProperty::GetStringValue() const
{
    return m_hasValue && m_value ? m_value->ToString() : std::string();
}

void ObjectProperty::SetAllValues(std::vector<std::string> values)
{
    m_allValues = std::move(values);
    m_hasValue = true;
}

std::int32_t ObjectProperty::GetFieldCount() const
{
    return m_value ? m_value->GetFieldCount() : 0;
}

bool ObjectProperty::IsComposite(std::int32_t index) const
{
    return m_value && m_value->GetFieldCount() > 1 && InRange(index, m_value->GetFieldCount());
}

std::string ObjectProperty::GetFieldName(std::int32_t index) const
{
    return IsComposite(index) ? m_value->GetFieldName(index) : m_name;
}

std::string ObjectProperty::GetFieldValue(std::int32_t index) const
{
    if (!m_hasValue || !m_value)
        return {};
    return IsComposite(index) ? m_value->GetFieldValue(index) : GetStringValue();
}

std::string ObjectProperty::BoolType::ToString() const
{
    return m_value ? "TRUE" : "FALSE";
}

bool ObjectProperty::BoolType::FromString(std::string_view text)
{
    m_value = text == "TRUE";
    return true;
}

std::string ObjectProperty::ColorType::ToString() const
{
    return StringUtils::Format("%d %d %d", m_value.GetRed(), m_value.GetGreen(), m_value.GetBlue());
}

bool ObjectProperty::ColorType::FromString(std::string_view text)
{
    Point3d fractions;
    if (!StringUtils::StringToPoint(text, fractions))
        return false;
    const std::uint8_t alpha = m_value.GetAlpha();
    m_value.SetRGBFloat(fractions.x, fractions.y, fractions.z);
    m_value.SetAlpha(alpha);
    return true;
}

std::string ObjectProperty::DoubleType::ToString() const
{
    return StringUtils::Format("%.6f", m_value);
}

bool ObjectProperty::DoubleType::FromString(std::string_view text)
{
    return StringUtils::StringToReal(text, m_value);
}

std::string ObjectProperty::FloatType::ToString() const
{
    return StringUtils::Format("%.3f", m_value);
}

bool ObjectProperty::FloatType::FromString(std::string_view text)
{
    return StringUtils::StringToReal(text, m_value);
}

std::string ObjectProperty::IntType::ToString() const
{
    return StringUtils::Format("%d", m_value);
}

bool ObjectProperty::IntType::FromString(std::string_view text)
{
    return StringUtils::StringToInteger(text, m_value);
}

std::string ObjectProperty::Point3dType::ToString() const
{
    return StringUtils::Format("%s %s %s", GetFieldValue(0), GetFieldValue(1), GetFieldValue(2));
}

bool ObjectProperty::Point3dType::FromString(std::string_view text)
{
    return StringUtils::StringToPoint(text, m_value);
}

std::string ObjectProperty::Point3dType::GetFieldName(std::int32_t index) const
{
    return InRange(index, 3) ? PointFieldNames[index] : "-";
}

std::string ObjectProperty::Point3dType::GetFieldValue(std::int32_t index) const
{
    const float coordinates[] = {m_value.x, m_value.y, m_value.z};
    return InRange(index, 3) ? StringUtils::Format("%.3f", coordinates[index]) : "-";
}

std::string ObjectProperty::Point2dType::ToString() const
{
    return StringUtils::Format("%s %s", GetFieldValue(0), GetFieldValue(1));
}

bool ObjectProperty::Point2dType::FromString(std::string_view text)
{
    double coordinates[2] = {};
    if (!StringUtils::StringToReals(text, coordinates))
        return false;
    m_value = Point2d(coordinates[0], coordinates[1]);
    return true;
}

std::string ObjectProperty::Point2dType::GetFieldName(std::int32_t index) const
{
    return InRange(index, 2) ? PointFieldNames[index] : "-";
}

std::string ObjectProperty::Point2dType::GetFieldValue(std::int32_t index) const
{
    const double coordinates[] = {m_value.x, m_value.y};
    return InRange(index, 2) ? StringUtils::Format("%.3f", coordinates[index]) : "-";
}

bool ObjectProperty::StringType::FromString(std::string_view text)
{
    if (text.empty())
        return false;
    m_value = std::string(text);
    return true;
}

} // namespace Tavrel
