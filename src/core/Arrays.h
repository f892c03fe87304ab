// Arrays: the growable arrays of plain values shared across the library.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Color.h>

namespace Tavrel {

using IntArray = std::vector<std::int32_t>;
// One byte per flag, 0 or 1, so elements can be addressed like any other array's.
using BoolArray = std::vector<std::uint8_t>;
// Object identifiers.
using OIDArray = std::vector<std::uint32_t>;
using DoubleArray = std::vector<double>;
using ColorArray = std::vector<Color>;

} // namespace Tavrel
