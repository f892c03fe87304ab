#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <tavrel/platform/PageRegions.h>

using namespace Tavrel;

namespace {

TEST(PageRegionsTest, RegionsAreAlignedToTheirSizeApartWritableAndZeroed)
{
    constexpr std::size_t size = std::size_t{2} << 20;
    std::vector<char*> regions;
    for (int i = 0; i < 3; ++i) {
        auto* const region = static_cast<char*>(MapAlignedRegion(size));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(region) % size, 0u);
        EXPECT_TRUE(std::all_of(region, region + size, [](char byte) { return byte == 0; }));
        std::fill(region, region + size, static_cast<char>(i + 1));
        regions.push_back(region);
    }
    std::sort(regions.begin(), regions.end());
    for (std::size_t i = 1; i < regions.size(); ++i)
        EXPECT_GE(regions[i] - regions[i - 1], static_cast<std::ptrdiff_t>(size));
    for (char* const region : regions) {
        EXPECT_TRUE(std::all_of(region, region + size, [&](char byte) { return byte == region[0]; }));
        UnmapAlignedRegion(region, size);
    }
}

} // namespace
