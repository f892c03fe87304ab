// ClassNameEnumerator and CommonClassNameEnumerator: collect the distinct class names of the objects.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/Enumerator.h"

namespace Tavrel {

using ClassNameArray = std::vector<std::string>;

// Writes each run-time class name once, in the order first met, into an array the caller owns.
// Without an array the walk does not happen.
class ClassNameEnumerator : public Enumerator {
public:
    ClassNameEnumerator(ClassNameArray* output, const Filter* filter);

    // False without an output; otherwise empties the output and forgets the names seen.
    bool Initialize() override;
    // Adds the class name of each object the filter accepts; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // Leaves the output with exactly the names added.
    void Finalize() override;
    // Appends a name not seen before (compared exactly); empty names are ignored.
    virtual void AddName(std::string_view name, Object* object);

private:
    std::unordered_set<std::string> m_seen;
    ClassNameArray* m_output;
    int m_count = 0;
};

// Collects the common names (class names without "XX", or the class's alias) instead.
class CommonClassNameEnumerator : public ClassNameEnumerator {
public:
    CommonClassNameEnumerator(ClassNameArray* output, const Filter* filter);

    bool Enumerate(Object* object, int index) override;
};

} // namespace Tavrel
