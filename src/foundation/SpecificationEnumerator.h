// SpecificationEnumerator: adds the descendants of each visited object that a filter accepts to a collection.
#pragma once

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

class BaseCollection;

// Neither the output nor the filter is owned or copied: both must outlive the enumerator. The
// enumerator has no filter of its own; every non-null object it visits is taken.
class SpecificationEnumerator : public Enumerator {
public:
    SpecificationEnumerator(BaseCollection& output, const Filter& filter);

    // AddDescendants of a non-null object; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // The object's descendants (not the object) that the filter accepts, in pre-order, through the
    // output's Add of an iterator.
    virtual void AddDescendants(Object* object);

private:
    BaseCollection* m_output;
    const Filter* m_filter;
};

} // namespace Tavrel
