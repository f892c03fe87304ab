#include <tavrel/platform/PageAdvice.h>

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Tavrel {

void PrefaultPages([[maybe_unused]] void* bytes, [[maybe_unused]] std::size_t size) noexcept
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    static const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(bytes) / pageSize * pageSize;
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(bytes) + size + pageSize - 1) / pageSize * pageSize;
    madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#endif
}

} // namespace Tavrel
