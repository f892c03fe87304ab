#include <tavrel/core/Matrix4x4.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

void CopyUpper(double (&target)[4][4], const Matrix3x3& m)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            target[i][j] = i < 3 && j < 3 ? m(i, j) : (i == j ? 1.0 : 0.0);
}

} // namespace

Matrix4x4::Matrix4x4(const Matrix3x3& m) { CopyUpper(m_m, m); }

void Matrix4x4::SetIdentity()
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m_m[i][j] = i == j ? 1.0 : 0.0;
}

void Matrix4x4::Set(const double (&values)[16])
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m_m[i][j] = values[4 * i + j];
}

void Matrix4x4::SetRotation(const Point3d& axis, double degrees)
{
    Matrix3x3 rotation;
    rotation.SetRotation(axis, degrees);
    CopyUpper(m_m, rotation);
}

void Matrix4x4::SetRotation(const Point3d& axis, const Point3d& centre, double degrees)
{
    SetRotation(axis, degrees);
    // p' = (p - c) R + c, so the translation row is c - c R.
    const double c[3] = {centre.x, centre.y, centre.z};
    for (int j = 0; j < 3; ++j)
        m_m[3][j] = c[j] - (c[0] * m_m[0][j] + c[1] * m_m[1][j] + c[2] * m_m[2][j]);
}

void Matrix4x4::SetRotation(const Point3d& from, const Point3d& to)
{
    Matrix3x3 rotation;
    rotation.SetRotation(from, to);
    CopyUpper(m_m, rotation);
}

void Matrix4x4::SetRotation(const Point3d& v)
{
    Matrix3x3 rotation;
    rotation.SetRotation(v);
    CopyUpper(m_m, rotation);
}

void Matrix4x4::SetRotation(int axis, double degrees)
{
    Matrix3x3 rotation;
    rotation.SetRotation(axis, degrees);
    CopyUpper(m_m, rotation);
}

void Matrix4x4::SetTranslation(const Point3d& t)
{
    SetIdentity();
    m_m[3][0] = t.x;
    m_m[3][1] = t.y;
    m_m[3][2] = t.z;
}

Point3d Matrix4x4::GetTranslation() const { return Point3d(m_m[3][0], m_m[3][1], m_m[3][2]); }

Matrix3x3 Matrix4x4::GetMatrix3x3() const
{
    return Matrix3x3(m_m[0][0], m_m[0][1], m_m[0][2], m_m[1][0], m_m[1][1], m_m[1][2], m_m[2][0], m_m[2][1],
                     m_m[2][2]);
}

bool Matrix4x4::Invert()
{
    // A rigid or affine matrix: invert the rotation part and move the translation back through it,
    // so the size of the translation never makes the rotation look singular.
    if (m_m[0][3] == 0.0 && m_m[1][3] == 0.0 && m_m[2][3] == 0.0 && m_m[3][3] == 1.0) {
        Matrix3x3 rotation = GetMatrix3x3();
        if (!rotation.Invert())
            return false;
        double translation[3];
        for (int j = 0; j < 3; ++j)
            translation[j] = -(m_m[3][0] * rotation(0, j) + m_m[3][1] * rotation(1, j) + m_m[3][2] * rotation(2, j));
        if (!std::isfinite(translation[0]) || !std::isfinite(translation[1]) || !std::isfinite(translation[2]))
            return false;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m_m[i][j] = rotation(i, j);
        for (int j = 0; j < 3; ++j)
            m_m[3][j] = translation[j];
        return true;
    }
    // Gauss-Jordan elimination with partial pivoting on [M | I].
    double a[4][4];
    double inverse[4][4];
    std::copy(&m_m[0][0], &m_m[0][0] + 16, &a[0][0]);
    double largest = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            inverse[i][j] = i == j ? 1.0 : 0.0;
            largest = std::max(largest, std::abs(a[i][j]));
        }
    if (!(largest > 0.0) || !std::isfinite(largest))
        return false;
    for (int column = 0; column < 4; ++column) {
        int pivot = column;
        for (int row = column + 1; row < 4; ++row)
            if (std::abs(a[row][column]) > std::abs(a[pivot][column]))
                pivot = row;
        if (std::abs(a[pivot][column]) <= 1e-14 * largest)
            return false;
        std::swap(a[pivot], a[column]);
        std::swap(inverse[pivot], inverse[column]);
        const double divisor = a[column][column];
        for (int j = 0; j < 4; ++j) {
            a[column][j] /= divisor;
            inverse[column][j] /= divisor;
        }
        for (int row = 0; row < 4; ++row) {
            if (row == column)
                continue;
            const double factor = a[row][column];
            if (factor == 0.0)
                continue;
            for (int j = 0; j < 4; ++j) {
                a[row][j] -= factor * a[column][j];
                inverse[row][j] -= factor * inverse[column][j];
            }
        }
    }
    std::copy(&inverse[0][0], &inverse[0][0] + 16, &m_m[0][0]);
    return true;
}

Matrix4x4& Matrix4x4::operator*=(const Matrix4x4& m)
{
    double product[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            product[i][j] = m_m[i][0] * m.m_m[0][j] + m_m[i][1] * m.m_m[1][j] + m_m[i][2] * m.m_m[2][j] +
                            m_m[i][3] * m.m_m[3][j];
    std::copy(&product[0][0], &product[0][0] + 16, &m_m[0][0]);
    return *this;
}

void Matrix4x4::Transform(Point3d& p) const
{
    const double x = p.x;
    const double y = p.y;
    const double z = p.z;
    double out[4];
    for (int j = 0; j < 4; ++j)
        out[j] = x * m_m[0][j] + y * m_m[1][j] + z * m_m[2][j] + m_m[3][j];
    if (out[3] != 1.0 && out[3] != 0.0)
        p = Point3d(out[0] / out[3], out[1] / out[3], out[2] / out[3]);
    else
        p = Point3d(out[0], out[1], out[2]);
}

void Matrix4x4::Rotate(Point3d& p) const
{
    const double x = p.x;
    const double y = p.y;
    const double z = p.z;
    p = Point3d(x * m_m[0][0] + y * m_m[1][0] + z * m_m[2][0], x * m_m[0][1] + y * m_m[1][1] + z * m_m[2][1],
                x * m_m[0][2] + y * m_m[1][2] + z * m_m[2][2]);
}

void Matrix4x4::Serialize(Archive& ar)
{
    if (ar.IsStoring())
        ar << *this;
    else
        ar >> *this;
}

Archive& operator<<(Archive& ar, const Matrix4x4& m)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            ar << m(i, j);
    return ar;
}

Archive& operator>>(Archive& ar, Matrix4x4& m)
{
    Matrix4x4 read;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            ar >> read(i, j);
    m = read;
    return ar;
}

} // namespace Tavrel
