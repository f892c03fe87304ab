#include <tavrel/core/LatticeOffset.h>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

void LatticeOffset::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        archive << std::int32_t{a} << std::int32_t{b} << std::int32_t{c};
        return;
    }
    std::int32_t values[3] = {};
    archive >> values[0] >> values[1] >> values[2];
    Set(values[0], values[1], values[2]);
}

} // namespace Tavrel
