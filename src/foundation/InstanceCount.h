// InstanceCount: how many objects of a class exist in the process, kept by a member that takes no room.
#pragma once

#include <cstddef>

#include <tavrel/foundation/ClassRegistry.h>

namespace Tavrel {

// A class whose objects a whole tree must be searched for (a document's save and load look for
// conformer models, tokens and cells) holds [[no_unique_address]] InstanceCount<Class>: it counts the
// objects of Class and of the classes derived from it, copies and the registry's prototypes included,
// so the search is skipped while there are none but the prototypes.
template <class Counted>
class InstanceCount {
public:
    InstanceCount() noexcept { ++s_count; }
    InstanceCount(const InstanceCount&) noexcept { ++s_count; }
    InstanceCount& operator=(const InstanceCount&) noexcept = default;
    ~InstanceCount() { --s_count; }

    static bool Any() { return s_count > ClassRegistry::CountPrototypes(Counted::classType); }

private:
    static inline std::size_t s_count = 0;
};

} // namespace Tavrel
