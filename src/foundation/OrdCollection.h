// OrdCollection: an ordered array of object pointers; duplicates and null entries are allowed.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/foundation/BaseCollection.h>

namespace Tavrel {

class SetCollection;

// The entries in index order. The collection learns of the deletion of the objects it refers to
// without touching them: an entry whose object was deleted reads as null everywhere (access, walking,
// filters, copies and both persisted forms), so every entry keeps its index. Liveness comes from the
// OID registry.
//
// Persisted as "OrdCollection Array", every entry in index order, nulls included; the framework
// archive holds the count and each entry as an object reference. A reference that gives no object
// reads as a null entry.
class OrdCollection : public BaseCollection {
    TAVREL_CLASS(OrdCollection, BaseCollection, Creatable, public, public)
public:
    // size null entries (none for a negative size); growBy is a growth hint the array does not need.
    explicit OrdCollection(int size, int growBy = -1);
    // Sized as above, then every object that a copy of the iterator yields is appended.
    OrdCollection(const Iterator& iterator, int size = 0, int growBy = -1);
    // The set's members in its walking order.
    explicit OrdCollection(const SetCollection& set);
    ~OrdCollection() override;

    // Replace the entries only; the label and the other Object state stay.
    OrdCollection& operator=(const OrdCollection& other);
    OrdCollection& operator=(const SetCollection& set);
    // The same size and the same object at every index.
    bool operator==(const OrdCollection& other) const;

    using BaseCollection::Add;
    using BaseCollection::ApplyFilter;
    using BaseCollection::Copy;

    bool Copy(BaseCollection& target) const override;
    // Resizes; new entries are null. A negative size changes nothing.
    void SetSize(int size, int growBy) override;
    bool IsEmpty() const override;
    // Appends; duplicates and null are allowed. Always true.
    bool Add(Object* object) override;
    int GetNumItems() const override;
    int GetSize() const override;
    void RemoveAll() override;
    // The entries whose object was deleted become null entries; every entry keeps its index.
    void DropDeleted() override;
    // Removes the non-null entries the mode rejects; null entries stay; the survivors keep their order.
    void ApplyFilter(const Filter& filter, FilterMode mode) override;
    // Passes every entry, nulls included, with its index. The entries present when the walk starts
    // are walked (fewer when the collection shrinks meanwhile).
    bool Enumerate(Enumerator& enumerator) const override;
    // The position of an entry is its index plus 1.
    POSITION GetStartPosition() const override;
    Object* GetNext(POSITION& position) const override;

    // The non-null entries that the filter accepts.
    virtual int GetNumItems(const Filter& filter) const;
    // The non-null entries that IsA the type.
    virtual int GetNumItems(std::uint32_t type) const;
    // Null for an index outside 0..size-1.
    virtual Object* GetAt(int index) const;
    // Inserts before index, moving the rest up; an index at or past the end grows the array to
    // index + 1 with null entries between. False, with nothing changed, for a negative index.
    virtual bool InsertAt(int index, Object* object);
    // Stores at index, growing the array to index + 1 when index is at or past the end. False, with
    // nothing changed, for a negative index.
    virtual bool SetAt(int index, Object* object);
    // Removes count entries from index, moving the rest down. False, with nothing changed, unless
    // index >= 0, count >= 0 and index + count <= size.
    virtual bool RemoveAt(int index, int count = 1);
    // Throws std::out_of_range for an index outside 0..size-1.
    Object* operator[](int index) const;

    // While one exists, a tree copy keeps every entry at its index, the entries it does not take as
    // null entries: a copy made to be stored in place of its source stores what the source would.
    class KeepIndicesScope {
    public:
        KeepIndicesScope();
        ~KeepIndicesScope();
        KeepIndicesScope(const KeepIndicesScope&) = delete;
        KeepIndicesScope& operator=(const KeepIndicesScope&) = delete;

    private:
        friend class OrdCollection;
        static inline int s_depth = 0;
    };

protected:
    // Keeps the copies of the entries inside the copied subtree, in order; drops the others (unless a
    // KeepIndicesScope is open).
    void DeepenShallowCopy() override;

private:
    struct Entry {
        Object* object;
        std::uint32_t oid;
    };
    static Entry Track(Object* object);
    bool IsLive(const Entry& entry) const;
    Object* Resolve(const Entry& entry) const { return IsLive(entry) ? entry.object : nullptr; }
    // Replaces every entry by one for each object, in order.
    void Assign(const std::vector<Object*>& objects);

    std::vector<Entry> m_entries;
};

} // namespace Tavrel
