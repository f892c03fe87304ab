// Point3d: a three-float point or vector with the vector algebra the model code uses.
#pragma once

#include <vector>

namespace Tavrel {

class Archive;
class Matrix3x3;
class Matrix4x4;
class UniformRandomSequence;

struct Point3d {
    using Array = std::vector<Point3d>;

    float x, y, z;

    constexpr Point3d() : x(0.0f), y(0.0f), z(0.0f) {}
    constexpr Point3d(double px, double py, double pz)
        : x(static_cast<float>(px)), y(static_cast<float>(py)), z(static_cast<float>(pz))
    {
    }

    // The origin, and the most negative / most positive representable points (extents seeds).
    static const Point3d origin;
    static const Point3d minimum;
    static const Point3d maximum;
    // The unit vectors along x, y and z.
    static const Point3d iVector;
    static const Point3d jVector;
    static const Point3d kVector;

    Point3d& operator+=(const Point3d& p)
    {
        x += p.x;
        y += p.y;
        z += p.z;
        return *this;
    }
    Point3d& operator-=(const Point3d& p)
    {
        x -= p.x;
        y -= p.y;
        z -= p.z;
        return *this;
    }
    Point3d& operator*=(double s)
    {
        x = static_cast<float>(x * s);
        y = static_cast<float>(y * s);
        z = static_cast<float>(z * s);
        return *this;
    }
    Point3d& operator/=(double s)
    {
        x = static_cast<float>(x / s);
        y = static_cast<float>(y / s);
        z = static_cast<float>(z / s);
        return *this;
    }
    // Row vector times matrix: x·row0 + y·row1 + z·row2 (+ row3 for the 4x4 form, w = 1). The 3x3
    // forms are inline in Matrix3x3.h.
    inline Point3d operator*(const Matrix3x3& m) const;
    Point3d operator*(const Matrix4x4& m) const;
    inline Point3d& operator*=(const Matrix3x3& m);
    Point3d& operator*=(const Matrix4x4& m) { return *this = *this * m; }

    constexpr Point3d operator-() const { return Point3d(-x, -y, -z); }

    friend constexpr bool operator==(const Point3d&, const Point3d&) = default;

    // Equal within tolerance in every coordinate.
    bool Compare(const Point3d& p, double tolerance) const;

    double SumSquares() const { return double(x) * x + double(y) * y + double(z) * z; }
    double Length() const;
    double Dot(const Point3d& p) const { return double(x) * p.x + double(y) * p.y + double(z) * p.z; }
    double Distance(const Point3d& p) const;
    double Distance2(const Point3d& p) const
    {
        const double dx = double(x) - p.x;
        const double dy = double(y) - p.y;
        const double dz = double(z) - p.z;
        return dx * dx + dy * dy + dz * dz;
    }

    // Scales to unit length in place; a zero vector stays zero. Returns the former length.
    double Normalize();
    // Scales to the given length keeping the direction; a zero vector stays zero.
    Point3d& ChangeLength(double length);
    // This vector crossed with p (right-handed).
    Point3d Cross(const Point3d& p) const;
    // A unit vector perpendicular to this one ((1, 0, 0) for a zero vector).
    Point3d Normal() const;
    // The foot of the perpendicular from this point onto the plane through planePoint whose normal
    // points from planePoint to normalEnd. distance is the signed distance of this point from the
    // plane, positive on normalEnd's side. A zero normal defines no plane: the point itself, distance
    // 0 and projected false.
    Point3d ProjectToPlane(const Point3d& planePoint, const Point3d& normalEnd, double& distance,
                           bool& projected) const;

    // A random non-zero vector inside the unit ball, from the shared or the given sequence.
    Point3d& Randomize();
    Point3d& Randomize(UniformRandomSequence& random);

    // Right-handed rotations about the coordinate axes through the origin, in degrees.
    Point3d& RotateAboutX(double degrees);
    Point3d& RotateAboutY(double degrees);
    Point3d& RotateAboutZ(double degrees);

    // Component-wise minimum / maximum with p, in place.
    Point3d& Minimum(const Point3d& p);
    Point3d& Maximum(const Point3d& p);

    // Three little-endian floats, x, y, z.
    void Serialize(Archive& ar);
};

inline constexpr Point3d Point3d::origin{};
inline constexpr Point3d Point3d::minimum{-3.4028234663852886e38, -3.4028234663852886e38,
                                          -3.4028234663852886e38};
inline constexpr Point3d Point3d::maximum{3.4028234663852886e38, 3.4028234663852886e38,
                                          3.4028234663852886e38};
inline constexpr Point3d Point3d::iVector{1.0, 0.0, 0.0};
inline constexpr Point3d Point3d::jVector{0.0, 1.0, 0.0};
inline constexpr Point3d Point3d::kVector{0.0, 0.0, 1.0};

constexpr Point3d operator+(const Point3d& a, const Point3d& b)
{
    return Point3d(double(a.x) + b.x, double(a.y) + b.y, double(a.z) + b.z);
}
constexpr Point3d operator-(const Point3d& a, const Point3d& b)
{
    return Point3d(double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z);
}
constexpr Point3d operator*(const Point3d& p, double s) { return Point3d(p.x * s, p.y * s, p.z * s); }
constexpr Point3d operator*(double s, const Point3d& p) { return p * s; }
constexpr Point3d operator/(const Point3d& p, double s) { return Point3d(p.x / s, p.y / s, p.z / s); }

double Distance(const Point3d& a, const Point3d& b);
double Distance2(const Point3d& a, const Point3d& b);
Point3d CrossProduct(const Point3d& a, const Point3d& b);
Point3d MidPoint(const Point3d& a, const Point3d& b);
// v rescaled to the given length; a zero vector stays zero.
Point3d ChangeLength(const Point3d& v, double length);
// Unit normal of the plane through three points: (b - a) x (c - a), normalised (zero when degenerate).
Point3d Normal(const Point3d& a, const Point3d& b, const Point3d& c);

Archive& operator<<(Archive& ar, const Point3d& p);
Archive& operator>>(Archive& ar, Point3d& p);

} // namespace Tavrel
