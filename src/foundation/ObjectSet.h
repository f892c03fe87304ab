// ObjectSet: a set of objects of a tree that drops each member when it is destroyed.
#pragma once

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/WatchedSet.h>

namespace Tavrel {

class Event;
class TreeNode;

// Model objects keep sets of other objects in it (the atoms of a monitor, a selection) with one. A
// member leaves during its deleted event, before its memory goes; the set never owns its members.
class ObjectSet {
public:
    ObjectSet();
    // AddObjectSet of the collection.
    explicit ObjectSet(const BaseCollection& collection);
    ObjectSet(const ObjectSet& other);
    // RemoveAllObjects, then the other set's members.
    ObjectSet& operator=(const ObjectSet& other);
    virtual ~ObjectSet();

    // Null is ignored.
    void Add(Object* object);
    // Adds a non-member with its deletion registration; a member is never added twice.
    virtual void AddObject(Object& object);
    // AddObject of each object of the collection, in its walking order.
    virtual void AddObjectSet(const BaseCollection& collection);
    bool CheckMember(const Object* object) const;
    // Null and non-members are ignored.
    void Remove(Object* object);
    // Drops the set's registration from the object and the object from the set.
    void RemoveObject(Object& object);
    void RemoveObjectSet(const BaseCollection& collection);
    void RemoveAllObjects();

    // The members' nearest common ancestor; null when empty or spread over trees.
    Object* FindCommonAncestor() const;
    // Adds every member to out.
    void GetObjects(BaseCollection& out) const;
    int GetSize() const;
    POSITION GetStartPosition() const;
    Object* GetNext(POSITION& position) const;

    // The registration's callback: hands the event to the set named by its data.
    static void ObjectDeleted(Event& event);
    // Takes the destroyed object out of the set.
    virtual void OnObjectDeleted(Event& event);
    // For an owner being copied by a TreeCopy from copyRoot: when the members' common ancestor lies
    // at or below copyRoot, the members are replaced by their copies (those without a copy are
    // dropped); otherwise the set keeps its members.
    virtual void DeepenShallowCopy(const TreeNode* copyRoot);

private:
    WatchedSet m_members{&ObjectDeleted, this};
};

} // namespace Tavrel
