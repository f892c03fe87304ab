#include <tavrel/foundation/ObjectSet.h>

#include <vector>

#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>

namespace Tavrel {

ObjectSet::ObjectSet() = default;

ObjectSet::ObjectSet(const BaseCollection& collection)
{
    AddObjectSet(collection);
}

ObjectSet::ObjectSet(const ObjectSet& other)
{
    AddObjectSet(other.m_members.GetMembers());
}

ObjectSet& ObjectSet::operator=(const ObjectSet& other)
{
    if (this != &other) {
        RemoveAllObjects();
        AddObjectSet(other.m_members.GetMembers());
    }
    return *this;
}

ObjectSet::~ObjectSet()
{
    RemoveAllObjects();
}

void ObjectSet::Add(Object* object)
{
    if (object)
        AddObject(*object);
}

void ObjectSet::AddObject(Object& object)
{
    m_members.Add(object);
}

void ObjectSet::AddObjectSet(const BaseCollection& collection)
{
    // Registering raises nothing, so the collection stays as it is while it is walked.
    for (POSITION position = collection.GetStartPosition(); position;)
        Add(collection.GetNext(position));
}

bool ObjectSet::CheckMember(const Object* object) const
{
    return m_members.IsMember(object);
}

void ObjectSet::Remove(Object* object)
{
    if (object)
        RemoveObject(*object);
}

void ObjectSet::RemoveObject(Object& object)
{
    m_members.Remove(object);
}

void ObjectSet::RemoveObjectSet(const BaseCollection& collection)
{
    for (POSITION position = collection.GetStartPosition(); position;)
        Remove(collection.GetNext(position));
}

void ObjectSet::RemoveAllObjects()
{
    for (Object* member : m_members.GetSnapshot())
        RemoveObject(*member);
}

Object* ObjectSet::FindCommonAncestor() const
{
    return m_members.GetMembers().FindCommonAncestor();
}

void ObjectSet::GetObjects(BaseCollection& out) const
{
    for (Object* member : m_members.GetSnapshot())
        out.Add(member);
}

int ObjectSet::GetSize() const
{
    return m_members.GetMembers().GetSize();
}

POSITION ObjectSet::GetStartPosition() const
{
    return m_members.GetMembers().GetStartPosition();
}

Object* ObjectSet::GetNext(POSITION& position) const
{
    return m_members.GetMembers().GetNext(position);
}

void ObjectSet::ObjectDeleted(Event& event)
{
    static_cast<ObjectSet*>(event.GetData())->OnObjectDeleted(event);
}

void ObjectSet::OnObjectDeleted(Event& event)
{
    m_members.RemoveDeleted(event);
}

void ObjectSet::DeepenShallowCopy(const TreeNode* copyRoot)
{
    const Object* const common = FindCommonAncestor();
    if (!common || !copyRoot || (common != copyRoot && !common->IsInSubtreeOf(copyRoot)))
        return;
    const std::vector<Object*> former = m_members.GetSnapshot();
    RemoveAllObjects();
    for (const Object* member : former)
        Add(DynCast<Object>(member->Copy()));
}

} // namespace Tavrel
