// BaseCollection: the interface shared by every collection of object pointers.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

class Enumerator;
class Filter;
class Iterator;

// A place in a collection's walking order; 0 (null) before a walk starts and after its last entry.
using POSITION = std::size_t;

// Collections hold plain pointers to objects and never create, copy or delete them (a tree copy asks
// Base::Copy for the copies of members inside the copied subtree). Every collection is an Object, with
// an OID, a label and the event machinery; most are used as values without a parent. The operations
// are empty at this level, so an instance behaves as an empty collection.
class BaseCollection : public Object {
    TAVREL_CLASS(BaseCollection, Object, DynamicOnly)
public:
    enum class FilterMode : std::uint8_t {
        KeepMatching = 0,    // keeps the entries the filter accepts
        RemoveMatching = 1,  // drops the entries the filter accepts
    };
    using enum FilterMode;

    using Base::Copy;
    using Object::FindCommonAncestor;

    // Empties the target, then adds every entry to it in walking order.
    virtual bool Copy(BaseCollection& target) const;
    virtual void SetSize(int size, int growBy);
    virtual bool IsEmpty() const;
    virtual bool Add(Object* object);
    // Adds every object that a copy of the iterator yields; the iterator itself does not move.
    virtual bool Add(const Iterator& iterator);
    // Adds each distinct non-null entry of the other collection once; true when there was one.
    virtual bool Add(const BaseCollection& other);
    // The number of entries; GetSize is the same.
    virtual int GetNumItems() const;
    virtual int GetSize() const;
    virtual void RemoveAll();
    // Forgets the members that were deleted (a set drops them, an ordered collection keeps a null
    // in each one's place); nothing at this level.
    virtual void DropDeleted();
    // Filter on class types (IsA one of them).
    virtual void ApplyFilter(const std::uint32_t* types, int count, FilterMode mode);
    virtual void ApplyFilter(std::uint32_t type, FilterMode mode);
    virtual void ApplyFilter(const Filter& filter, FilterMode mode);
    // Adds the accepted entries to out; returns out's size afterwards.
    virtual int GetFilteredObjects(BaseCollection& out, const Filter& filter) const;
    // Drives the enumerator over the entries; false at this level.
    virtual bool Enumerate(Enumerator& enumerator) const;
    // The nearest node that every non-null entry has at or above it; null for an empty collection or
    // entries of different trees.
    virtual Object* FindCommonAncestor() const;
    // Walking: null for an empty collection. GetNext returns the entry at the position and advances
    // it, to null after the last entry; a null position gives null.
    virtual POSITION GetStartPosition() const;
    virtual Object* GetNext(POSITION& position) const;

protected:
    explicit BaseCollection(Object* parent);
    BaseCollection& operator=(const BaseCollection&) { return *this; }
};

} // namespace Tavrel
