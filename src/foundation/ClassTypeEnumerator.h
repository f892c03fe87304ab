// ClassTypeEnumerator: collects the distinct class-type identifiers of the objects.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "foundation/Enumerator.h"
#include "foundation/FilterType.h"

namespace Tavrel {

// Writes each class type once, in the order first met, into an array the caller owns. Without an
// array the walk does not happen.
class ClassTypeEnumerator : public Enumerator {
public:
    ClassTypeEnumerator(ClassTypeArray* output, const Filter* filter);

    // False without an output; otherwise empties the output and forgets the types seen.
    bool Initialize() override;
    // Adds the class type of each object the filter accepts; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // Leaves the output with exactly the types added.
    void Finalize() override;
    // Appends a type not seen before.
    virtual void AddType(std::uint32_t type, Object* object);

private:
    std::unordered_set<std::uint32_t> m_seen;
    ClassTypeArray* m_output;
    int m_count = 0;
};

} // namespace Tavrel
