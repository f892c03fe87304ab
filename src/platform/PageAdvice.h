// PageAdvice: hints to the system about fresh memory about to be written; a system that cannot take
// them leaves the pages to their faults, and nothing else changes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace Tavrel {

// Maps in every page of [bytes, bytes + size) now, writable, in one call instead of one fault per
// page on first touch.
void PrefaultPages(void* bytes, std::size_t size) noexcept;

// Room for count elements, the first `mapped` of them mapped in at once when they fill many pages
// (a vector about to be filled). Room the vector holds already is not mapped again: room kept from an
// earlier use is mapped in as far as that use wrote it, and a second call would only walk its pages.
template <class T>
void ReservePrefaulted(std::vector<T>& vector, std::size_t count, std::size_t mapped)
{
    constexpr std::size_t ManyPagesBytes = std::size_t{64} << 10;
    if (count <= vector.capacity())
        return;
    vector.reserve(count);
    if (mapped = std::min(mapped, count); mapped * sizeof(T) >= ManyPagesBytes)
        PrefaultPages(vector.data(), mapped * sizeof(T));
}

template <class T>
void ReservePrefaulted(std::vector<T>& vector, std::size_t count)
{
    ReservePrefaulted(vector, count, count);
}

} // namespace Tavrel
