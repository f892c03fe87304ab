// SymmetryTestSupport: space-group operations and cell matrices for the symmetry build's tests.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/crystal/SpaceGroupTables.h>
#include <tavrel/crystal/SymTableEntry.h>

namespace Tavrel::test {

// The operations of a setting row as row-vector fractional transforms, operation 0 the identity.
inline std::vector<Matrix4x4> SettingOperations(int row)
{
    std::vector<Matrix4x4> operations;
    const SymTableEntry entry = SymTableEntry::FromRow(row);
    for (const SymTableEntry::Operator& op : entry.GetOperators()) {
        double values[16];
        for (std::size_t r = 0; r < 4; ++r)
            for (std::size_t c = 0; c < 4; ++c)
                values[r * 4 + c] = op.matrix[c * 4 + r];
        Matrix4x4 m;
        m.Set(values);
        operations.push_back(m);
    }
    return operations;
}

inline int SettingCount()
{
    return static_cast<int>(SpaceGroupSettingTable().size());
}

// The first setting row of a space-group number.
inline int FirstRow(int number)
{
    return SpaceGroupNumberIndex()[static_cast<std::size_t>(number)].firstRow;
}

// Row-vector operation x' = x R + t from a rotation given row by row in column-vector form.
inline Matrix4x4 Operation(const double (&rotation)[9], double tx, double ty, double tz)
{
    const double values[16] = {rotation[0], rotation[3], rotation[6], 0.0, rotation[1], rotation[4], rotation[7], 0.0,
                               rotation[2], rotation[5], rotation[8], 0.0, tx,          ty,          tz,          1.0};
    Matrix4x4 m;
    m.Set(values);
    return m;
}

// Rows are the cell edges a, b, c in Cartesian coordinates (angstroms), from lengths and angles
// in degrees.
inline Matrix3x3 FractionalToCartesian(double a, double b, double c, double alpha, double beta, double gamma)
{
    const double rad = 3.14159265358979323846 / 180.0;
    const double ca = std::cos(alpha * rad);
    const double cb = std::cos(beta * rad);
    const double cg = std::cos(gamma * rad);
    const double sg = std::sin(gamma * rad);
    const double cx = c * cb;
    const double cy = c * (ca - cb * cg) / sg;
    const double cz = std::sqrt(c * c - cx * cx - cy * cy);
    return Matrix3x3(a, 0, 0, b * cg, b * sg, 0, cx, cy, cz);
}

inline Matrix3x3 Inverse(Matrix3x3 m)
{
    m.Invert();
    return m;
}

} // namespace Tavrel::test
