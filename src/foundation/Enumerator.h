// Enumerator: the visitor that an iterator or a collection drives over a sequence of objects.
#pragma once

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class Object;

// Drivers call Initialize once (false: no walk and no Finalize), then Enumerate for each object with
// indices 0, 1, 2, ... until it returns false, then Finalize once. An enumerator keeps its own copy
// of its filter and never deletes the objects it visits.
class Enumerator {
public:
    virtual ~Enumerator() = default;

    virtual bool Initialize();
    // False stops the walk.
    virtual bool Enumerate(Object* object, int index) = 0;
    virtual void Finalize();
    // False for null; otherwise the filter's verdict, true without a filter.
    virtual bool IsValidObject(Object* object) const;

protected:
    // Keeps a copy of the filter; none for null.
    explicit Enumerator(const Filter* filter) : m_filter(filter) {}
    Enumerator(const Enumerator&) = default;
    Enumerator& operator=(const Enumerator&) = default;

private:
    OwnedFilter m_filter;
};

} // namespace Tavrel
