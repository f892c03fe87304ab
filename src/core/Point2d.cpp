#include <tavrel/core/Point2d.h>

#include <cmath>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

double Point2d::Distance(const Point2d& p) const { return std::sqrt(Distance2(p)); }

double Point2d::Distance2(const Point2d& p) const
{
    const double dx = x - p.x;
    const double dy = y - p.y;
    return dx * dx + dy * dy;
}

double Point2d::Normalize()
{
    const double length = std::sqrt(SumSquares());
    if (length > 0.0 && std::isfinite(length))
        *this /= length;
    else if (length == 0.0)
        *this = Point2d();
    return length;
}

void Point2d::Serialize(Archive& ar)
{
    if (ar.IsStoring())
        ar << *this;
    else
        ar >> *this;
}

double Distance(const Point2d& a, const Point2d& b) { return a.Distance(b); }

Point2d MidPoint(const Point2d& a, const Point2d& b) { return Point2d((a.x + b.x) * 0.5, (a.y + b.y) * 0.5); }

Archive& operator<<(Archive& ar, const Point2d& p) { return ar << p.x << p.y; }

Archive& operator>>(Archive& ar, Point2d& p)
{
    Point2d read;
    ar >> read.x >> read.y;
    p = read;
    return ar;
}

} // namespace Tavrel
