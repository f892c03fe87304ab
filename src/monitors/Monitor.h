// Monitor: the base of tree objects that watch other objects of the tree (their items) through events.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/Uncopied.h>
#include <tavrel/monitors/MonitorItemList.h>

namespace Tavrel {

class Archive;
class Event;
class OrdCollection;

// The items are kept in the order they were added and are not owned. Every item carries a
// registration for its deletion, (TreeNode, EventDeleted), and every registration the monitor makes
// anywhere has EventUpdate as its callback and the monitor as its user data, so that
// UnregisterAllEvents with the monitor removes exactly the monitor's registrations from an object.
// An item's deletion removes its entries and, unless ShouldDeleteMonitor says otherwise, deletes the
// monitor; any other registered event goes to Update.
//
// Persisted after Geometric3d's properties as "Monitor Array", the items as an array of object
// references in item order (an empty slot as a null reference, kept as one on loading). The framework
// record is Object's, then the items as an object array (count, then each reference); the position is
// not in it. Text interface: "Objects" (read-only, not listed), each item's invariant path followed
// by a blank.
class Monitor : public Geometric3d {
    TAVREL_CLASS_CONSTRUCTED(Monitor, Geometric3d, Creatable)
public:
    using ItemPredicate = bool (*)(const Object* item);

    // No items. Every constructor but the copy constructor sets display style 1.
    explicit Monitor(Object* parent);
    // The non-null objects in order, each with its deletion registration.
    Monitor(Object* parent, const OrdCollection& objects);
    Monitor(Object* parent, std::span<Object* const> objects);
    // Removes every registration the monitor holds on its items.
    ~Monitor() override;

    // Appends the object (also when it is already an item) with its deletion registration; null is
    // ignored.
    virtual void AddMonitoredItem(Object* object);
    // Removes the object's first entry; once it has none left, every registration the monitor holds
    // on it goes too. Nothing for null or an object that is not an item.
    virtual void RemoveMonitoredItem(Object* object);
    // Entries, empty slots included.
    virtual int GetNumItemsMonitoring() const;
    // Null for an index out of range, an empty slot, and an item that no longer exists.
    virtual Object* GetItem(int index) const;
    // GetItem of each index from first on, in one pass.
    std::vector<Object*> GetItems(int first) const;
    // Makes the object an item (with its deletion registration) unless it is one, then registers the
    // callback for (type, code) on it with the monitor as user data. Nothing for null.
    virtual void RegisterTreeEvent(Object* object, std::uint32_t type, std::uint16_t code, bool tree,
                                   const char* attribute);
    // RegisterTreeEvent of tree registrations for each kind in turn, the masks of the object's subtree
    // set in one walk, which also makes the visit (given one: a walk of its own when every
    // registration was held already).
    void RegisterTreeEvents(Object& object, std::span<const TreeNode::EventKind> kinds, const char* attribute,
                            const TreeNode::DescendentVisit& visit = {});
    // Removes that registration; the object stays an item.
    virtual void UnregisterTreeEvent(Object* object, std::uint32_t type, std::uint16_t code, bool tree,
                                     const char* attribute);
    // Any registered event other than an item's deletion; nothing at this level.
    virtual void Update(Event& event);
    // A subtree copy is in progress whose root is a proper ancestor of the monitor and of every item.
    virtual bool ShallowCopyOK() const;
    // A subtree copy is in progress that holds every item (its root or below it).
    bool ItemsInsideCopy() const;
    // Whether the monitor deletes itself when it loses an item; true at this level.
    virtual bool ShouldDeleteMonitor() const;

    // The object that holds a parentless monitor in place of a parent (a restraint its monitors), or
    // null; a copy has none. An owned monitor is kept by the clean-up of parentless records after a
    // load (HasOwner).
    void SetOwner(const Object* owner);
    Object* GetOwner() const;
    bool HasOwner() const override;

protected:
    // The callback of every registration a monitor makes; the event's user data is the monitor.
    static void EventUpdate(Event& event);

    // Makes room for this many more items, ahead of adding them one by one.
    void ReserveItems(std::size_t more) { m_items.Reserve(more); }
    // Watches an object that is not an item yet for its deletion and for the kind, while a walk holds
    // it; the entry returned joins the items (through AddWatchedItems, in the order the caller chooses).
    MonitorItemList::Entry WatchNewItem(Object& object, TreeNode::EventKind kind, const char* attribute = nullptr);
    void AddWatchedItems(std::span<const MonitorItemList::Entry> entries);
    // The entries of the items, in order, as MonitorItemList::GetEntries gives them.
    std::span<const MonitorItemList::Entry> GetItemEntries() const { return m_items.GetEntries(); }
    // Counts the changes to the items: while it stays, so do they.
    std::uint64_t GetItemEdits() const { return m_items.GetEdits(); }
    // The object has an entry among the items; false for null.
    bool IsMonitoredItem(const Object* object) const;
    // False when no item is a monitor, known without reading the items.
    bool MayHaveMonitorItems() const;

    // False for a null predicate; true at the first item (by GetItem) the predicate accepts.
    bool CheckAnyObject(ItemPredicate predicate) const;
    // True for a null predicate; false at the first item the predicate refuses.
    bool CheckAllObjects(ItemPredicate predicate) const;

    // The items become their copies in this copy, in order; items outside the copied subtree are
    // dropped, empty slots kept.
    void DeepenShallowCopy() override;

private:
    // After a record is read: the deletion registration on every item.
    void PostProcess(bool storing);
    // The framework record: Object's part (not Geometric3d's), then the items.
    void SerializeItems(Archive& archive);
    void RegisterDeletion(Object& object);

    // A copy has the same items, in order, and registers nothing (DeepenShallowCopy does).
    MonitorItemList m_items;
    Uncopied<std::uint32_t> m_ownerOID;  // the OID of the owner, 0 without one

    TAVREL_EVENT_MASK_LEVEL()
};

} // namespace Tavrel
