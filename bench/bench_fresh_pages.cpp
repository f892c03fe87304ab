// What this machine charges for memory a large document writes: the first touch of fresh pages (the
// kernel maps and clears each one) against writing pages already mapped. A load of N objects writes
// its new document into fresh pages, so this bounds its speed from below whatever its own code does.
#include <benchmark/benchmark.h>

#include <sys/mman.h>

#include <cstddef>
#include <cstring>

namespace {

constexpr std::size_t Page = 4096;

char* MapFresh(std::size_t bytes)
{
    void* const memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    madvise(memory, bytes, MADV_NOHUGEPAGE); // 4 KiB pages, as the heap's small blocks get
    return static_cast<char*>(memory);
}

// One byte written per fresh page: the page's mapping and clearing only.
void FirstTouchOfFreshPages(benchmark::State& state)
{
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
    for (auto _ : state) {
        char* const memory = MapFresh(bytes);
        if (!memory) {
            state.SkipWithError("no memory");
            return;
        }
        for (std::size_t at = 0; at < bytes; at += Page)
            memory[at] = 1;
        benchmark::DoNotOptimize(memory);
        state.PauseTiming();
        munmap(memory, bytes);
        state.ResumeTiming();
    }
    state.counters["time_per_page"] = benchmark::Counter(static_cast<double>(bytes / Page), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(FirstTouchOfFreshPages)->Arg(64)->Arg(384)->Unit(benchmark::kMillisecond);

// Every byte written, over pages mapped before the clock starts.
void WriteOfMappedPages(benchmark::State& state)
{
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
    char* const memory = MapFresh(bytes);
    if (!memory) {
        state.SkipWithError("no memory");
        return;
    }
    std::memset(memory, 1, bytes);
    char value = 2;
    for (auto _ : state) {
        std::memset(memory, value++, bytes);
        benchmark::DoNotOptimize(memory);
    }
    munmap(memory, bytes);
    state.counters["time_per_page"] = benchmark::Counter(static_cast<double>(bytes / Page), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(WriteOfMappedPages)->Arg(64)->Arg(384)->Unit(benchmark::kMillisecond);

} // namespace
