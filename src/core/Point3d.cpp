#include <tavrel/core/Point3d.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

constexpr double degreesToRadians = std::numbers::pi / 180.0;

// Turns the pair (a, b) by the angle, counter-clockwise from a towards b.
void RotatePair(float& a, float& b, double degrees)
{
    const double c = std::cos(degrees * degreesToRadians);
    const double s = std::sin(degrees * degreesToRadians);
    const double pa = a;
    const double pb = b;
    a = static_cast<float>(pa * c - pb * s);
    b = static_cast<float>(pa * s + pb * c);
}

} // namespace

Point3d Point3d::operator*(const Matrix4x4& m) const
{
    Point3d p = *this;
    m.Transform(p);
    return p;
}

bool Point3d::Compare(const Point3d& p, double tolerance) const
{
    return std::abs(double(x) - p.x) <= tolerance && std::abs(double(y) - p.y) <= tolerance &&
           std::abs(double(z) - p.z) <= tolerance;
}

double Point3d::Length() const { return std::sqrt(SumSquares()); }

double Point3d::Distance(const Point3d& p) const { return std::sqrt(Distance2(p)); }

double Point3d::Normalize()
{
    const double length = Length();
    if (length > 0.0 && std::isfinite(length))
        *this /= length;
    else if (length == 0.0)
        *this = origin;
    return length;
}

Point3d& Point3d::ChangeLength(double length)
{
    const double current = Length();
    if (current > 0.0 && std::isfinite(current))
        *this *= length / current;
    return *this;
}

Point3d Point3d::Cross(const Point3d& p) const
{
    return Point3d(double(y) * p.z - double(z) * p.y, double(z) * p.x - double(x) * p.z,
                   double(x) * p.y - double(y) * p.x);
}

Point3d Point3d::Normal() const
{
    // Cross with the coordinate axis least aligned with this vector.
    const double ax = std::abs(x);
    const double ay = std::abs(y);
    const double az = std::abs(z);
    Point3d axis;
    if (ax <= ay && ax <= az)
        axis.x = 1.0f;
    else if (ay <= az)
        axis.y = 1.0f;
    else
        axis.z = 1.0f;
    Point3d n = Cross(axis);
    if (n.Normalize() == 0.0)
        return Point3d(1.0, 0.0, 0.0); // every direction is perpendicular to a zero vector
    return n;
}

Point3d Point3d::ProjectToPlane(const Point3d& planePoint, const Point3d& normalEnd, double& distance,
                                bool& projected) const
{
    Point3d normal = normalEnd - planePoint;
    projected = normal.Normalize() != 0.0;
    distance = projected ? (*this - planePoint).Dot(normal) : 0.0;
    return *this - normal * distance;
}

Point3d& Point3d::Randomize() { return Randomize(UniformRandomSequence::Default()); }

Point3d& Point3d::Randomize(UniformRandomSequence& random)
{
    // Rejection sampling inside the unit ball gives directions without bias once normalised.
    for (;;) {
        const double px = 2.0 * random.Next() - 1.0;
        const double py = 2.0 * random.Next() - 1.0;
        const double pz = 2.0 * random.Next() - 1.0;
        const double r2 = px * px + py * py + pz * pz;
        if (r2 <= 1.0 && r2 > 1e-6) {
            *this = Point3d(px, py, pz);
            return *this;
        }
    }
}

Point3d& Point3d::RotateAboutX(double degrees)
{
    RotatePair(y, z, degrees);
    return *this;
}

Point3d& Point3d::RotateAboutY(double degrees)
{
    RotatePair(z, x, degrees);
    return *this;
}

Point3d& Point3d::RotateAboutZ(double degrees)
{
    RotatePair(x, y, degrees);
    return *this;
}

Point3d& Point3d::Minimum(const Point3d& p)
{
    x = std::min(x, p.x);
    y = std::min(y, p.y);
    z = std::min(z, p.z);
    return *this;
}

Point3d& Point3d::Maximum(const Point3d& p)
{
    x = std::max(x, p.x);
    y = std::max(y, p.y);
    z = std::max(z, p.z);
    return *this;
}

void Point3d::Serialize(Archive& ar)
{
    if (ar.IsStoring())
        ar << *this;
    else
        ar >> *this;
}

double Distance(const Point3d& a, const Point3d& b) { return a.Distance(b); }

double Distance2(const Point3d& a, const Point3d& b) { return a.Distance2(b); }

Point3d CrossProduct(const Point3d& a, const Point3d& b) { return a.Cross(b); }

Point3d MidPoint(const Point3d& a, const Point3d& b)
{
    return Point3d((double(a.x) + b.x) * 0.5, (double(a.y) + b.y) * 0.5, (double(a.z) + b.z) * 0.5);
}

Point3d ChangeLength(const Point3d& v, double length)
{
    Point3d result = v;
    result.ChangeLength(length);
    return result;
}

Point3d Normal(const Point3d& a, const Point3d& b, const Point3d& c)
{
    Point3d n = (b - a).Cross(c - a);
    n.Normalize();
    return n;
}

Archive& operator<<(Archive& ar, const Point3d& p) { return ar << p.x << p.y << p.z; }

Archive& operator>>(Archive& ar, Point3d& p)
{
    Point3d read;
    ar >> read.x >> read.y >> read.z;
    p = read;
    return ar;
}

} // namespace Tavrel
