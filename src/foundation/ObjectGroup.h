// ObjectGroup: the shared-property view of a set of objects of one class, for the host's property sheet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/CollectionIterator.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/foundation/WatchedSet.h>

namespace Tavrel {

class Event;

// Answers the properties all members share and writes a value to every member. Members are objects
// of exactly the class of the first object attached; a member leaves when it is destroyed. Not a tree
// object; it never owns its members.
class ObjectGroup {
public:
    // The name of the group's type property, and its value for a group without members.
    static constexpr const char* TypePropertyName = "Type";
    static constexpr const char* EmptyTypeName = "Empty";

    explicit ObjectGroup(const BaseCollection& collection);
    ObjectGroup(const ObjectGroup& other);
    // DetachObjectSet, the other's members, then its type name.
    ObjectGroup& operator=(const ObjectGroup& other);
    virtual ~ObjectGroup();

    // "Type" (any case): "Empty" without members, else the members' run-time class name, as a text
    // property (type code 3) without access. Any other name: GetSharedProperty.
    virtual ObjectProperty GetPropertyAsObjectProperty(std::string_view name) const;
    // For each property and user property of the first member, its shared form, appended to out;
    // returns out's size (unchanged without members).
    virtual std::int32_t GetProperties(ObjectProperty::Array& out) const;
    // "Type" as above; any other name: GetSharedValue.
    virtual std::string GetPropertyAsString(std::string_view name) const;
    // SetSharedValue.
    virtual bool SetPropertyFromString(std::string_view name, std::string_view value);
    // The member's SetPropertyFromString.
    virtual bool SetObjectProperty(Object& member, std::string_view name, std::string_view value);
    // SetObjectProperty on each member in order, stopping at the first that refuses (the members
    // before it keep the value): false then, else true.
    virtual bool SetSharedValue(std::string_view name, std::string_view value);
    // The first object of the collection fixes the class (exactly, subclasses excluded) and the type
    // name; every object of that class joins, with its deletion registration.
    virtual void AttachObjectSet(const BaseCollection& collection);
    // Drops every member with its registration.
    virtual void DetachObjectSet();

    // The members' text for the name when they agree ignoring case (members with an empty text
    // before the first non-empty one do not count); else the empty text.
    std::string GetSharedValue(std::string_view name) const;
    // The first member's property that has a value, marked as having none when a later member's
    // differs; the first member's when none has a value.
    ObjectProperty GetSharedProperty(std::string_view name) const;
    int GetSize() const { return m_members.GetMembers().GetSize(); }
    const std::string& GetTypeName() const { return m_typeName; }

    // The registration's callback: takes the destroyed object out of the group named by its data.
    static void ObjectDeleted(Event& event);

protected:
    Object* GetFirstObject() const;
    CollectionIterator GetIterator() const;

private:
    WatchedSet m_members{&ObjectDeleted, this};
    std::string m_typeName = EmptyTypeName;
    std::uint32_t m_classType = 0;
};

} // namespace Tavrel
