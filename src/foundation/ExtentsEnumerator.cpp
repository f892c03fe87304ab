#include <tavrel/foundation/ExtentsEnumerator.h>

#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

ExtentsEnumerator::ExtentsEnumerator(const Filter* filter) : Enumerator(filter) {}

bool ExtentsEnumerator::Initialize()
{
    minimum = Point3d::maximum;
    maximum = Point3d::minimum;
    count = 0;
    return true;
}

bool ExtentsEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object)) {
        const Point3d position = static_cast<const Geometric*>(object)->GetXYZ();
        minimum.Minimum(position);
        maximum.Maximum(position);
        ++count;
    }
    return true;
}

bool ExtentsEnumerator::IsValidObject(Object* object) const
{
    return IsA<Geometric>(object) && Enumerator::IsValidObject(object);
}

} // namespace Tavrel
