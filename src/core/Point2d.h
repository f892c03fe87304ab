// Point2d: a two-double point, the planar counterpart of Point3d (annotation positions).
#pragma once

namespace Tavrel {

class Archive;

struct Point2d {
    double x, y;

    constexpr Point2d() : x(0.0), y(0.0) {}
    constexpr Point2d(double px, double py) : x(px), y(py) {}

    Point2d& operator+=(const Point2d& p)
    {
        x += p.x;
        y += p.y;
        return *this;
    }
    Point2d& operator-=(const Point2d& p)
    {
        x -= p.x;
        y -= p.y;
        return *this;
    }
    Point2d& operator*=(double s)
    {
        x *= s;
        y *= s;
        return *this;
    }
    Point2d& operator/=(double s)
    {
        x /= s;
        y /= s;
        return *this;
    }
    constexpr Point2d operator-() const { return Point2d(-x, -y); }

    friend constexpr bool operator==(const Point2d&, const Point2d&) = default;

    double SumSquares() const { return x * x + y * y; }
    double Distance(const Point2d& p) const;
    double Distance2(const Point2d& p) const;
    // Scales to unit length in place; a zero vector stays zero. Returns the former length.
    double Normalize();

    // Two little-endian doubles, x then y.
    void Serialize(Archive& ar);
};

constexpr Point2d operator+(const Point2d& a, const Point2d& b) { return Point2d(a.x + b.x, a.y + b.y); }
constexpr Point2d operator-(const Point2d& a, const Point2d& b) { return Point2d(a.x - b.x, a.y - b.y); }
constexpr Point2d operator*(const Point2d& p, double s) { return Point2d(p.x * s, p.y * s); }
constexpr Point2d operator*(double s, const Point2d& p) { return p * s; }
constexpr Point2d operator/(const Point2d& p, double s) { return Point2d(p.x / s, p.y / s); }

double Distance(const Point2d& a, const Point2d& b);
Point2d MidPoint(const Point2d& a, const Point2d& b);

Archive& operator<<(Archive& ar, const Point2d& p);
Archive& operator>>(Archive& ar, Point2d& p);

} // namespace Tavrel
