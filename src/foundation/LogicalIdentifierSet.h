// LogicalIdentifierSet: a set of objects remembered by their logical identifiers, resolved against a root.
#pragma once

#include <cstdint>
#include <set>

namespace Tavrel {

class BaseCollection;
class Enumerator;
class Filter;
class Iterator;
class Object;
class TreeRoot;

// Holds numbers only, ascending and each once, so it stays valid while objects come and go; it has
// no tie to a root and resolves against whichever root it is given.
class LogicalIdentifierSet {
public:
    LogicalIdentifierSet() = default;
    explicit LogicalIdentifierSet(const BaseCollection& collection);
    // Adds what a copy of the iterator yields; the iterator does not move.
    explicit LogicalIdentifierSet(const Iterator& iterator);
    // Adds what the iterator yields; it ends exhausted. Nothing for null.
    explicit LogicalIdentifierSet(Iterator* iterator);

    // Adds the object's LID; nothing for null or an object without LID.
    void AddObject(const Object* object);
    // The collection's non-null entries.
    void AddObjects(const BaseCollection& collection);
    // Over a copy of the iterator; the iterator does not move.
    void AddObjects(const Iterator& iterator);
    // Over the iterator itself, which ends exhausted. Nothing for null.
    void AddObjects(Iterator* iterator);

    bool CheckMember(std::uint32_t lid) const { return m_lids.contains(lid); }

    // Adds to the collection, in ascending LID order, each LID's object in the root (with a filter,
    // only the objects it accepts); LIDs that no longer resolve are skipped.
    void GetObjects(const TreeRoot& root, BaseCollection& collection) const;
    void GetObjects(const TreeRoot& root, const Filter& filter, BaseCollection& collection) const;
    // Initialize; then, in ascending LID order, Enumerate (object, i) for each LID that resolves,
    // where i counts every LID of the set, resolved or not, until Enumerate returns false; Finalize.
    // False when Initialize failed (nothing else is called) or the enumerator stopped.
    bool Enumerate(const TreeRoot& root, Enumerator& enumerator) const;

private:
    std::set<std::uint32_t> m_lids;
};

} // namespace Tavrel
