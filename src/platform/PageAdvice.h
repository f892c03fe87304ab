// PageAdvice: hints to the system about fresh memory about to be written; a system that cannot take
// them leaves the pages to their faults, and nothing else changes.
#pragma once

#include <cstddef>

namespace Tavrel {

// Maps in every page of [bytes, bytes + size) now, writable, in one call instead of one fault per
// page on first touch.
void PrefaultPages(void* bytes, std::size_t size) noexcept;

} // namespace Tavrel
