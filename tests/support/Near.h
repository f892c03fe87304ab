// Near: whether points and matrices agree within a tolerance, for EXPECT_TRUE; a failure shows both values.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include <tavrel/core/LatticeOffset.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include "support/Printers.h"

namespace Tavrel::test {

namespace near {

template <class T>
::testing::AssertionResult Result(bool near, const T& actual, const T& expected, double tolerance)
{
    if (near)
        return ::testing::AssertionSuccess();
    std::ostringstream message;
    PrintTo(actual, &message);
    message << " differs from ";
    PrintTo(expected, &message);
    message << " by more than ";
    printers::Number(message, tolerance);
    return ::testing::AssertionFailure() << message.str();
}

// Every element within tolerance (NaN never is).
template <class Matrix>
bool Elements(const Matrix& actual, const Matrix& expected, int size, double tolerance)
{
    for (int row = 0; row < size; ++row)
        for (int column = 0; column < size; ++column)
            if (!(std::abs(actual(row, column) - expected(row, column)) <= tolerance))
                return false;
    return true;
}

} // namespace near

// Each coordinate within tolerance.
inline ::testing::AssertionResult Near(const Point3d& actual, const Point3d& expected, double tolerance = 1e-5)
{
    const bool near = std::abs(double{actual.x} - expected.x) <= tolerance &&
                      std::abs(double{actual.y} - expected.y) <= tolerance &&
                      std::abs(double{actual.z} - expected.z) <= tolerance;
    return near::Result(near, actual, expected, tolerance);
}

inline ::testing::AssertionResult Near(const Matrix3x3& actual, const Matrix3x3& expected, double tolerance = 1e-5)
{
    return near::Result(near::Elements(actual, expected, 3, tolerance), actual, expected, tolerance);
}

inline ::testing::AssertionResult Near(const Matrix4x4& actual, const Matrix4x4& expected, double tolerance = 1e-5)
{
    return near::Result(near::Elements(actual, expected, 4, tolerance), actual, expected, tolerance);
}

// All three components equal.
inline ::testing::AssertionResult Same(const LatticeOffset& actual, const LatticeOffset& expected)
{
    return near::Result(actual.IsSame(expected), actual, expected, 0.0);
}

} // namespace Tavrel::test
