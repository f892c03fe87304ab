// Matrix3x3: a double-precision 3x3 matrix for rotations and cell transforms, applied to row vectors.
#pragma once

#include <array>

#include <tavrel/core/Point3d.h>

namespace Tavrel {

class Archive;

// Points are row vectors: p * M = x·row0 + y·row1 + z·row2. A * B applies A first, then B.
// Rotations are right-handed, angles in degrees.
class Matrix3x3 {
public:
    // The identity.
    Matrix3x3() { SetIdentity(); }
    // Row by row.
    Matrix3x3(double m00, double m01, double m02, double m10, double m11, double m12, double m20, double m21,
              double m22)
    {
        Set(m00, m01, m02, m10, m11, m12, m20, m21, m22);
    }

    void SetIdentity();
    // Row by row.
    void Set(double m00, double m01, double m02, double m10, double m11, double m12, double m20, double m21,
             double m22);

    double& operator()(int row, int column) { return m_m[row][column]; }
    double operator()(int row, int column) const { return m_m[row][column]; }

    // Rotation about an axis through the origin; a zero axis gives the identity.
    void SetRotation(const Point3d& axis, double degrees);
    // The shortest rotation turning direction `from` onto direction `to`. Equal directions or a zero
    // vector give the identity; opposite directions a half turn about an axis perpendicular to them.
    void SetRotation(const Point3d& from, const Point3d& to);
    // The rotation turning the z axis onto v.
    void SetRotation(const Point3d& v);
    // Rotation about a coordinate axis: 0 = x, 1 = y, 2 = z. Throws std::invalid_argument otherwise.
    void SetRotation(int axis, double degrees);

    void Transpose();
    double Determinant() const;
    // Inverts in place; a singular matrix is left unchanged and false is returned.
    bool Invert();

    Matrix3x3& operator*=(const Matrix3x3& m);
    friend Matrix3x3 operator*(Matrix3x3 a, const Matrix3x3& b) { return a *= b; }
    friend bool operator==(const Matrix3x3&, const Matrix3x3&) = default;

    // p = p * M, in place. For a 3x3 matrix both are the same operation.
    void Transform(Point3d& p) const { p = p * *this; }
    void Rotate(Point3d& p) const { Transform(p); }

    // End points of the least-squares line through the points (principal axis through the centroid),
    // at the extreme projections of the points. No points: both ends at the origin.
    static void BestFittingLine(const Point3d::Array& points, Point3d& p0, Point3d& p1);
    // Four corners, in order around a square centred on the centroid and lying in the least-squares
    // plane; the half diagonal reaches the farthest projected point and is at least 1.0.
    static void BestFittingPlane(const Point3d::Array& points, std::array<Point3d, 4>& corners);

    // Nine little-endian doubles, row by row.
    void Serialize(Archive& ar);

private:
    double m_m[3][3];
};

// Defined here, where the matrix is complete, so that callers inline it.
inline Point3d Point3d::operator*(const Matrix3x3& m) const
{
    return Point3d(x * m(0, 0) + y * m(1, 0) + z * m(2, 0), x * m(0, 1) + y * m(1, 1) + z * m(2, 1),
                   x * m(0, 2) + y * m(1, 2) + z * m(2, 2));
}
inline Point3d& Point3d::operator*=(const Matrix3x3& m) { return *this = *this * m; }

Archive& operator<<(Archive& ar, const Matrix3x3& m);
Archive& operator>>(Archive& ar, Matrix3x3& m);

} // namespace Tavrel
