// Test-only access to the process-wide count of live Base objects.
#pragma once

#include <cstddef>

namespace Tavrel {

// The number of Base objects constructed and not yet destroyed, class prototypes included. Tests and
// fuzz targets compare it before and after an operation to find objects that outlive it.
std::size_t CountLiveObjectsForTests();

} // namespace Tavrel
