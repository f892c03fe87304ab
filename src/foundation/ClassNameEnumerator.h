// ClassNameEnumerator and CommonClassNameEnumerator: collect the distinct class names of the objects.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <tavrel/foundation/DistinctEnumerator.h>

namespace Tavrel {

using ClassNameArray = std::vector<std::string>;

// Writes each run-time class name once, in the order first met, into an array the caller owns.
// Without an array the walk does not happen.
class ClassNameEnumerator : public DistinctEnumerator<std::string> {
public:
    ClassNameEnumerator(ClassNameArray* output, const Filter* filter);

    // Adds the class name of each object the filter accepts; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // Appends a name not seen before (compared exactly); empty names are ignored.
    virtual void AddName(std::string_view name, Object* object);
};

// Collects the common names (class names without "XX", or the class's alias) instead.
class CommonClassNameEnumerator : public ClassNameEnumerator {
public:
    CommonClassNameEnumerator(ClassNameArray* output, const Filter* filter);

    bool Enumerate(Object* object, int index) override;
};

} // namespace Tavrel
