// PickOIDs: a display primitive's pick identifiers as an array, for comparisons.
#pragma once

#include <tavrel/core/Arrays.h>
#include <tavrel/core/GraphicsPrimitives.h>

namespace Tavrel::test {

inline OIDArray PickOIDs(const Primitive& primitive)
{
    return {primitive.GetOIDs().begin(), primitive.GetOIDs().end()};
}

} // namespace Tavrel::test
