// MemoryPoisoning: memory a recycler holds is marked unusable to AddressSanitizer, and usable again
// when handed out; without the sanitizer the marks are nothing.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define TAVREL_POISONS_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVREL_POISONS_MEMORY 1
#endif
#endif

#ifdef TAVREL_POISONS_MEMORY
#include <sanitizer/asan_interface.h>
#endif

namespace Tavrel {

// Whether this build runs under AddressSanitizer.
#ifdef TAVREL_POISONS_MEMORY
inline constexpr bool AddressSanitizerOn = true;
#else
inline constexpr bool AddressSanitizerOn = false;
#endif

inline void PoisonMemory([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TAVREL_POISONS_MEMORY
    ASAN_POISON_MEMORY_REGION(bytes, size);
#endif
}

inline void UnpoisonMemory([[maybe_unused]] const void* bytes, [[maybe_unused]] std::size_t size)
{
#ifdef TAVREL_POISONS_MEMORY
    ASAN_UNPOISON_MEMORY_REGION(bytes, size);
#endif
}

} // namespace Tavrel
