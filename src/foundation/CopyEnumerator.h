// CopyEnumerator: the enumerator that copies the objects of a walk into a collection.
#pragma once

#include <cstdint>
#include <unordered_set>

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

class BaseCollection;

// Passes each distinct non-null object that its filter accepts once to the output collection's Add,
// whose own rules then apply. The objects seen and the count carry over from one walk to the next, so
// a reused enumerator never passes an object twice.
class CopyEnumerator : public Enumerator {
public:
    // The output must outlive the enumerator; the filter is copied (none for null).
    CopyEnumerator(BaseCollection& output, const Filter* filter);

    // Never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // Adds an object not seen before and counts it.
    virtual void AddObject(Object* object);

    // The number of distinct objects passed on so far.
    std::int32_t GetCount() const { return m_count; }

private:
    BaseCollection* m_output;
    std::int32_t m_count = 0;
    std::unordered_set<std::uint32_t> m_seen;  // OIDs, which are never reused, unlike addresses
};

} // namespace Tavrel
