// TreeIterator: the base of the iterators that walk the object tree from a root, through a filter.
#pragma once

#include <cstdint>

#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/Iterator.h>

namespace Tavrel {

// A tree iterator steps through nodes with GotoNext and yields those its filter accepts. Only
// Objects are yielded; other tree nodes are walked through. The root must outlive the iterator and
// the tree must not lose the nodes the iterator stands on while it is in use. A null root yields
// nothing.
class TreeIterator : public Iterator {
public:
    // The constructors of every tree iterator (the class is abstract); derived classes may inherit them.
    // includeRoot: the root is yielded first (when the filter accepts it).
    TreeIterator(Object* root, bool includeRoot);
    // Restricted to objects that IsA classType.
    TreeIterator(Object* root, std::uint32_t classType, bool includeRoot);
    // Keeps a copy of the filter.
    TreeIterator(Object* root, const Filter& filter, bool includeRoot);

    // The next node that the filter accepts (any node without a filter), null at the end.
    Object* GetNext() override;

protected:
    TreeIterator(const TreeIterator&) = default;
    TreeIterator& operator=(const TreeIterator&) = default;

    // The next node regardless of the filter; null at the end.
    virtual Object* GotoNext(bool includeRoot) = 0;

    Object* GetRoot() const { return m_root; }
    bool GetIncludeRoot() const { return m_includeRoot; }

private:
    OwnedFilter m_filter;
    bool m_includeRoot;
    Object* m_root;
};

} // namespace Tavrel
