// ExtentsEnumerator: the bounding box of the positions of the accepted Geometric objects.
#pragma once

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

// Without any object, minimum stays at the largest point and maximum at the smallest.
class ExtentsEnumerator : public Enumerator {
public:
    explicit ExtentsEnumerator(const Filter* filter);
    ExtentsEnumerator(const ExtentsEnumerator&) = default;
    ExtentsEnumerator& operator=(const ExtentsEnumerator&) = default;

    // Starts a new box: extremes reset, count 0.
    bool Initialize() override;
    // Folds in the position of each object that IsValidObject accepts; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // Geometric objects only, then the filter.
    bool IsValidObject(Object* object) const override;

    Point3d minimum = Point3d::maximum;
    Point3d maximum = Point3d::minimum;
    int count = 0;  // objects folded in
};

} // namespace Tavrel
