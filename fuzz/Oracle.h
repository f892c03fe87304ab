// The fuzz targets' checks: a failed one says which and where before it stops the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/InternalBase.h>

namespace Tavrel {

inline void Check(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "oracle failed: %s\n", what);
    __builtin_trap();
}

// Two tree descriptions (DescribeTree) agree; else the first field where they part is reported.
inline void CheckSameTree(const std::vector<std::string>& before, const std::vector<std::string>& after,
                          const char* what)
{
    if (before == after)
        return;
    std::size_t at = 0;
    while (at < before.size() && at < after.size() && before[at] == after[at])
        ++at;
    std::fprintf(stderr, "at field %zu of %zu / %zu: \"%s\" became \"%s\"\n", at, before.size(), after.size(),
                 at < before.size() ? before[at].c_str() : "(end)", at < after.size() ? after[at].c_str() : "(end)");
    Check(false, what);
}

// As many objects live as before the run (live, with lastOIDBefore the last OID then); else those made
// since are listed.
inline void CheckNothingOutlives(std::size_t live, std::uint32_t lastOIDBefore, const char* what)
{
    if (CountLiveObjectsForTests() == live)
        return;
    for (std::uint32_t oid = lastOIDBefore + 1; oid <= Base::GetLastOID() && oid > lastOIDBefore; ++oid) {
        if (const Base* const object = Base::GetObjectA(oid))
            std::fprintf(stderr, "alive: %s OID %u\n", object->GetClassNameA(), oid);
    }
    Check(false, what);
}

} // namespace Tavrel
