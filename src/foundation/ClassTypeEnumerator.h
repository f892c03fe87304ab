// ClassTypeEnumerator: collects the distinct class-type identifiers of the objects.
#pragma once

#include <cstdint>

#include <tavrel/foundation/DistinctEnumerator.h>
#include <tavrel/foundation/FilterType.h>

namespace Tavrel {

// Writes each class type once, in the order first met, into an array the caller owns. Without an
// array the walk does not happen.
class ClassTypeEnumerator : public DistinctEnumerator<std::uint32_t> {
public:
    ClassTypeEnumerator(ClassTypeArray* output, const Filter* filter);

    // Adds the class type of each object the filter accepts; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // Appends a type not seen before.
    virtual void AddType(std::uint32_t type, Object* object);
};

} // namespace Tavrel
