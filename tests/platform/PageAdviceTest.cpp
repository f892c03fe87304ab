#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include <tavrel/platform/PageAdvice.h>

using namespace Tavrel;

namespace {

TEST(PageAdviceTest, AReservedVectorKeepsItsElementsAndFillsWithoutMoving)
{
    std::vector<std::int32_t> values(100);
    std::iota(values.begin(), values.end(), 0);
    // Mapping in fewer elements than reserved, or more, changes nothing else.
    for (const std::size_t mapped : {std::size_t{0}, std::size_t{50000}, std::size_t{1000000}}) {
        ReservePrefaulted(values, 200000, mapped);
        ASSERT_GE(values.capacity(), 200000u);
        const std::int32_t* const data = values.data();
        while (values.size() < 200000)
            values.push_back(static_cast<std::int32_t>(values.size()));
        EXPECT_EQ(values.data(), data);
        for (std::size_t i = 0; i < values.size(); i += 997)
            ASSERT_EQ(values[i], static_cast<std::int32_t>(i));
        values.resize(100);
    }
    ReservePrefaulted(values, 10);
    EXPECT_EQ(values.size(), 100u);
    EXPECT_EQ(values[99], 99);
}

} // namespace
