#include <tavrel/platform/PageRegions.h>

#include <cstdint>
#include <new>

#include <tavrel/platform/PageAdvice.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace Tavrel {

#ifdef __linux__

void* MapAlignedRegion(std::size_t size)
{
    // Twice the size, from which the aligned region is kept and the rest given back.
    void* const mapped = mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto first = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (first + size - 1) & ~(std::uintptr_t{size} - 1);
    if (aligned > first)
        munmap(mapped, aligned - first);
    if (const std::uintptr_t end = first + 2 * size; end > aligned + size)
        munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
    auto* const region = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(region, size, MADV_HUGEPAGE);
#endif
    PrefaultPages(region, size);
    return region;
}

void UnmapAlignedRegion(void* region, std::size_t size) noexcept
{
    munmap(region, size);
}

#else

void* MapAlignedRegion(std::size_t size)
{
    return ::operator new(size, std::align_val_t{size});
}

void UnmapAlignedRegion(void* region, std::size_t size) noexcept
{
    ::operator delete(region, std::align_val_t{size});
}

#endif

} // namespace Tavrel
