// IndexLists: lists of index lists that start as singletons and are merged into one another.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Arrays.h>

namespace Tavrel {

using IndexLists = std::vector<IntArray>;

// n lists, list i holding only i; nothing for n below 1.
void MakeSingletonLists(std::int32_t n, IndexLists& lists);
// Appends lists[from] to lists[to] and empties lists[from]; nothing when from equals to, either is
// not an index of lists, or lists[from] is empty.
void MergeLists(std::int32_t from, std::int32_t to, IndexLists& lists);

} // namespace Tavrel
