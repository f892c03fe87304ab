#include <tavrel/symmetry_build/IndexLists.h>

namespace Tavrel {

void MakeSingletonLists(std::int32_t n, IndexLists& lists)
{
    lists.assign(static_cast<std::size_t>(n > 0 ? n : 0), IntArray());
    for (std::int32_t i = 0; i < n; ++i)
        lists[static_cast<std::size_t>(i)].push_back(i);
}

void MergeLists(std::int32_t from, std::int32_t to, IndexLists& lists)
{
    const auto count = static_cast<std::int64_t>(lists.size());
    if (from == to || from < 0 || to < 0 || from >= count || to >= count)
        return;
    IntArray& source = lists[static_cast<std::size_t>(from)];
    if (source.empty())
        return;
    IntArray& target = lists[static_cast<std::size_t>(to)];
    target.insert(target.end(), source.begin(), source.end());
    IntArray().swap(source);
}

} // namespace Tavrel
