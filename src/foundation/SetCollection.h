// SetCollection: a hashed set of object pointers with set algebra and optional deletion tracking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/core/FlatHashMap.h>
#include <tavrel/foundation/BaseCollection.h>

namespace Tavrel {

class Event;
class OrdCollection;

// Each member is stored with its OID. Walking follows the order in which the members were added.
//
// A validating set (SetValidate) listens for the deletion of each member and drops it at once. A set
// that does not validate keeps the entry of a deleted member (it still counts in GetSize) until the
// set is stored, but never hands it out nor touches it: it is skipped by walking, IsMember, copies,
// filters and the algebra, and the object may be reused for a new member at the same address.
// Deletion is learnt from the OID registry.
//
// Persisted as "SetCollection Map", the members in walking order, storing first dropping the entries
// of deleted members; the framework archive holds the member count and, for each member, the object
// reference and its OID as 4 bytes. A copy holds the same members and validates as its source does,
// listening on its own.
class SetCollection : public BaseCollection {
    TAVREL_CLASS(SetCollection, BaseCollection, Creatable, public, public)
public:
    // Table sizes are hints the hashed index does not need.
    explicit SetCollection(int hashSize, int blockSize = 50);
    // Adds every object that a copy of the iterator yields.
    SetCollection(const Iterator& iterator, int hashSize, int blockSize);
    // Adds every non-null entry.
    explicit SetCollection(const OrdCollection& collection);
    ~SetCollection() override;

    // RemoveAll, then |=.
    SetCollection& operator=(const SetCollection& other);
    // RemoveAll, then Add of every entry.
    SetCollection& operator=(const OrdCollection& collection);
    // The same size, and every member of other is a member of this set.
    bool operator==(const SetCollection& other) const;

    // In place; each returns this set.
    SetCollection& operator|=(const SetCollection& other);
    SetCollection& operator-=(const SetCollection& other);
    SetCollection& operator&=(const SetCollection& other);
    // Leaves the members that belong to exactly one of the two sets.
    SetCollection& operator^=(const SetCollection& other);

    using BaseCollection::Add;
    using BaseCollection::ApplyFilter;
    using BaseCollection::Copy;

    bool Copy(BaseCollection& target) const override;
    // Resets the empty table (the size is a hint); a non-empty set is left alone.
    void SetSize(int hashSize, int blockSize) override;
    bool IsEmpty() const override;
    // False, with nothing changed, for null or a member.
    bool Add(Object* object) override;
    // Add of each object in turn, looking ahead in the index; the number added.
    std::size_t AddAll(std::span<Object* const> objects);
    int GetNumItems() const override;
    int GetSize() const override;
    void RemoveAll() override;
    // Keeps the members the mode accepts, in their order.
    void ApplyFilter(const Filter& filter, FilterMode mode) override;
    // Passes every member with indices 0, 1, ...
    bool Enumerate(Enumerator& enumerator) const override;
    POSITION GetStartPosition() const override;
    Object* GetNext(POSITION& position) const override;

    // True when every member of other is a member of this set (other is a subset of this one).
    virtual bool IsSubset(const SetCollection& other) const;
    virtual bool IsMember(const Object* object) const;
    // Whether the object was a member.
    virtual bool Remove(const Object* object);
    // Drops the entry of a member being destroyed, named by its tree node and OID, without touching
    // the object (whose registrations go with it); false when it has none.
    bool RemoveDying(const TreeNode* node, std::uint32_t oid);
    // The first member in walking order, or null.
    virtual Object* GetFirstItem() const;
    // The members in walking order.
    std::vector<Object*> GetMembers() const;
    // The same as tree nodes, which a member being destroyed still is after its Object level has gone.
    std::vector<TreeNode*> GetMemberNodes() const;

    // Listens for (on) or stops listening for (off) the deletion of every member; switching on drops
    // the entries of members already deleted.
    void SetValidate(bool validate);
    bool GetValidate() const { return m_members.validate; }
    void DropDeleted() override;

    // The first of 17, 47, 107, 227, 337, 479, 757, 1049, 2011, 3001, 4649, 7507, 10007, 25111 that is
    // not smaller than size; a size above 25111 unchanged.
    static int FindBestHashSize(int size);

protected:
    SetCollection(Object* parent, int hashSize, int blockSize);

    // Keeps the copies of the members inside the copied subtree; drops the others.
    void DeepenShallowCopy() override;

private:
    struct Slot {
        Object* object;        // null for a hole left by a removal
        const TreeNode* node;  // the same object, for lookups that must not touch it
        std::uint32_t oid;
        bool listening;      // a deletion listener sits on the object
    };

    // The members' entries in order of addition, with the index by object and the validation. A copy
    // holds entries for the same live members, validates as its source does and listens on its own;
    // sets are assigned by their own operators.
    struct Members {
        Members() = default;
        Members(const Members& other);
        Members& operator=(const Members&) = delete;
        ~Members();

        bool IsLive(const Slot& slot) const;
        // Appends a new entry; the object must not have one. No listener yet.
        Slot& Insert(Object* object);
        void Listen(Slot& slot);
        void StopListening(Slot& slot);
        // Removes the slot's entry, unregistering its listener from a live object. Slots keep their
        // places until Compact.
        void Erase(std::size_t index);
        void Clear();
        // SetCollection::RemoveDying.
        bool RemoveDying(const TreeNode* node, std::uint32_t oid);

        std::vector<Slot> slots;
        FlatHashMap<const TreeNode*, std::size_t, PointerHash> index{nullptr};  // object -> slot
        std::size_t count = 0;                                    // entries, deleted members included
        mutable int walks = 0;                                    // running walks: no compaction
        bool validate = false;
    };

    // The slot of an object, live or not; null when the object has no entry.
    const Slot* Find(const Object* object) const;
    // Squeezes out the holes when they outnumber the entries, unless a walk is running.
    void Compact();
    // Reading: a member read from a record (null, and members already in, are not taken).
    void TakeLoaded(Object* object);
    // The first live slot at or after index, or the slot count.
    std::size_t NextLive(std::size_t index) const;
    // The registration's data is the set's Members.
    static void OnMemberDeleted(Event& event);

    Members m_members;
};

// New sets; only the result of | validates, when the first operand does.
SetCollection operator&(const SetCollection& a, const SetCollection& b);
SetCollection operator|(const SetCollection& a, const SetCollection& b);
SetCollection operator^(const SetCollection& a, const SetCollection& b);
SetCollection operator-(const SetCollection& a, const SetCollection& b);

} // namespace Tavrel
