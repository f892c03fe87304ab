// HierarchyItem: one atom or enclosing object below a crystal cell, as the symmetry build numbers and relates them.
#pragma once

#include <cstdint>

namespace Tavrel {

// Atom items are numbered from 0 in the build's sorted atom order, object items after them; once the
// build has related them, Parent is an object index, SymParent an index of the item's own kind (an
// asymmetric-unit item is its own symmetry parent), List and Member place the item in the replicate
// list of its kind. The cell itself is the object item whose Parent is -1.
struct HierarchyItem {
    std::uint32_t oid = 0;       // 0 once the object was deleted
    std::int32_t depth = 0;      // objects on the path up to and including the cell (the cell: 1)
    std::int32_t parent = -1;
    std::int32_t symParent = -1;
    std::int32_t list = -1;
    std::int32_t member = -1;
};

struct AtomItem : HierarchyItem {
    static constexpr bool IsAtom() { return true; }
};

struct ObjectItem : HierarchyItem {
    static constexpr bool IsAtom() { return false; }
};

} // namespace Tavrel
