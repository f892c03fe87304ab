// Matrix4x4: a double-precision affine 4x4 matrix (rotation and translation) applied to row vectors.
#pragma once

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

class Archive;

// Points are row vectors (x, y, z, 1): the upper 3x3 holds the (transposed) rotation and the fourth
// row the translation. A * B applies A first, then B. Rotations are right-handed, angles in degrees.
class Matrix4x4 {
public:
    // The identity.
    Matrix4x4() { SetIdentity(); }
    // Rotation about an axis through the origin.
    Matrix4x4(const Point3d& axis, double degrees) { SetRotation(axis, degrees); }
    // Rotation about the line from a to b (axis direction b - a).
    Matrix4x4(const Point3d& a, const Point3d& b, double degrees) { SetRotation(b - a, a, degrees); }
    // The given upper 3x3, no translation.
    explicit Matrix4x4(const Matrix3x3& m);

    void SetIdentity();
    // Row by row.
    void Set(const double (&values)[16]);

    double& operator()(int row, int column) { return m_m[row][column]; }
    double operator()(int row, int column) const { return m_m[row][column]; }

    // Each SetRotation and SetTranslation replaces the whole matrix.
    // Rotation about an axis through the origin; a zero axis gives the identity.
    void SetRotation(const Point3d& axis, double degrees);
    // Rotation about the axis through centre.
    void SetRotation(const Point3d& axis, const Point3d& centre, double degrees);
    // The shortest rotation turning direction `from` onto direction `to` (see Matrix3x3).
    void SetRotation(const Point3d& from, const Point3d& to);
    // The rotation turning the z axis onto v.
    void SetRotation(const Point3d& v);
    // Rotation about a coordinate axis: 0 = x, 1 = y, 2 = z. Throws std::invalid_argument otherwise.
    void SetRotation(int axis, double degrees);
    // A pure translation by t.
    void SetTranslation(const Point3d& t);

    // The fourth row.
    Point3d GetTranslation() const;
    // The upper 3x3.
    Matrix3x3 GetMatrix3x3() const;

    // Inverts in place; a singular matrix is left unchanged and false is returned.
    bool Invert();

    Matrix4x4& operator*=(const Matrix4x4& m);
    friend Matrix4x4 operator*(Matrix4x4 a, const Matrix4x4& b) { return a *= b; }
    friend bool operator==(const Matrix4x4&, const Matrix4x4&) = default;

    // p = (x, y, z, 1) * M in place, divided by w when the fourth column is not affine.
    void Transform(Point3d& p) const;
    // p = p * upper 3x3 in place: the rotation without the translation.
    void Rotate(Point3d& p) const;

    // Sixteen little-endian doubles, row by row.
    void Serialize(Archive& ar);

private:
    double m_m[4][4];
};

Archive& operator<<(Archive& ar, const Matrix4x4& m);
Archive& operator>>(Archive& ar, Matrix4x4& m);

} // namespace Tavrel
