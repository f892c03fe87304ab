#include <tavrel/foundation/ObjectGroup.h>

#include <vector>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Event.h>

namespace Tavrel {

namespace {

// The host's category code of a text property.
constexpr ObjectProperty::PropertyType TextPropertyType = 3;

bool IsTypeName(std::string_view name)
{
    return StringUtils::EqualsNoCase(name, ObjectGroup::TypePropertyName);
}

} // namespace

ObjectGroup::ObjectGroup(const BaseCollection& collection)
{
    AttachObjectSet(collection);
}

ObjectGroup::ObjectGroup(const ObjectGroup& other) : m_typeName(other.m_typeName), m_classType(other.m_classType)
{
    AttachObjectSet(other.m_members.GetMembers());
}

ObjectGroup& ObjectGroup::operator=(const ObjectGroup& other)
{
    if (this != &other) {
        DetachObjectSet();
        AttachObjectSet(other.m_members.GetMembers());
        m_typeName = other.m_typeName;
        m_classType = other.m_classType;
    }
    return *this;
}

ObjectGroup::~ObjectGroup()
{
    DetachObjectSet();
}

ObjectProperty ObjectGroup::GetPropertyAsObjectProperty(std::string_view name) const
{
    if (IsTypeName(name))
        return ObjectProperty(TypePropertyName, GetPropertyAsString(name), 0, TextPropertyType);
    return GetSharedProperty(name);
}

std::int32_t ObjectGroup::GetProperties(ObjectProperty::Array& out) const
{
    const Object* const first = GetFirstObject();
    if (!first)
        return static_cast<std::int32_t>(out.size());
    ObjectProperty::Array own;
    first->GetProperties(own);
    first->GetUserProperties(own);
    for (const ObjectProperty& property : own)
        out.push_back(GetSharedProperty(property.GetName()));
    return static_cast<std::int32_t>(out.size());
}

std::string ObjectGroup::GetPropertyAsString(std::string_view name) const
{
    if (IsTypeName(name))
        return GetSize() == 0 ? std::string(EmptyTypeName) : m_typeName;
    return GetSharedValue(name);
}

bool ObjectGroup::SetPropertyFromString(std::string_view name, std::string_view value)
{
    return SetSharedValue(name, value);
}

bool ObjectGroup::SetObjectProperty(Object& member, std::string_view name, std::string_view value)
{
    return member.SetPropertyFromString(name, value);
}

bool ObjectGroup::SetSharedValue(std::string_view name, std::string_view value)
{
    // Listeners may delete members meanwhile: they are found again by OID.
    std::vector<std::uint32_t> members;
    for (const Object* member : m_members.GetSnapshot())
        members.push_back(member->GetOID());
    for (const std::uint32_t oid : members) {
        Object* const member = Object::GetObjectA(oid);
        if (member && m_members.IsMember(member) && !SetObjectProperty(*member, name, value))
            return false;
    }
    return true;
}

void ObjectGroup::AttachObjectSet(const BaseCollection& collection)
{
    bool first = true;
    for (POSITION position = collection.GetStartPosition(); position;) {
        Object* const object = collection.GetNext(position);
        if (!object)
            continue;
        if (first) {
            m_classType = object->GetClassType();
            m_typeName = object->GetClassNameA();
            first = false;
        }
        if (object->GetClassType() == m_classType)
            m_members.Add(*object);
    }
}

void ObjectGroup::DetachObjectSet()
{
    m_members.RemoveAll();
}

std::string ObjectGroup::GetSharedValue(std::string_view name) const
{
    std::string value;
    for (const Object* member : m_members.GetSnapshot()) {
        std::string text = member->GetPropertyAsString(name);
        if (value.empty())
            value = std::move(text);
        else if (!StringUtils::EqualsNoCase(text, value))
            return {};
    }
    return value;
}

ObjectProperty ObjectGroup::GetSharedProperty(std::string_view name) const
{
    const std::vector<Object*> members = m_members.GetSnapshot();
    if (members.empty())
        return {};
    ObjectProperty candidate = members.front()->GetPropertyAsObjectProperty(name);
    bool found = candidate.HasValue();
    for (std::size_t i = 1; i < members.size(); ++i) {
        ObjectProperty property = members[i]->GetPropertyAsObjectProperty(name);
        if (!found) {
            if (property.HasValue()) {
                candidate = std::move(property);
                found = true;
            }
        } else if (property != candidate) {
            candidate.SetHasNoValue();
            break;
        }
    }
    return candidate;
}

void ObjectGroup::ObjectDeleted(Event& event)
{
    static_cast<ObjectGroup*>(event.GetData())->m_members.RemoveDeleted(event);
}

Object* ObjectGroup::GetFirstObject() const
{
    return m_members.GetMembers().GetFirstItem();
}

CollectionIterator ObjectGroup::GetIterator() const
{
    return CollectionIterator(&m_members.GetMembers());
}

} // namespace Tavrel
