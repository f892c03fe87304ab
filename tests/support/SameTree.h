// SameTree: whether two tree descriptions (DescribeTree) agree, for EXPECT_TRUE; a failure shows the
// first field that differs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace Tavrel::test {

inline ::testing::AssertionResult SameTree(const std::vector<std::string>& expected,
                                           const std::vector<std::string>& actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();
    const auto [one, other] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    return ::testing::AssertionFailure() << "field " << one - expected.begin() << " of " << expected.size() << " / "
                                         << actual.size() << ": \"" << (one != expected.end() ? *one : "(end)")
                                         << "\" became \"" << (other != actual.end() ? *other : "(end)") << "\"";
}

} // namespace Tavrel::test
