#include <tavrel/foundation/FilterChildren.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

FilterChildren::FilterChildren(FilterMode mode) : Filter(mode) {}

FilterChildren::FilterChildren(const Filter& inner, FilterMode mode) : Filter(mode), m_inner(inner) {}

std::unique_ptr<Filter> FilterChildren::Copy() const
{
    return std::make_unique<FilterChildren>(*this);
}

bool FilterChildren::DoTest(Object* object) const
{
    if (!IsValidObject(object))
        return false;
    if (!m_inner)
        return true;
    // The children a ChildIterator with the inner filter would yield: Objects, in index order.
    for (int i = 0; i < object->GetNumChildren(); ++i) {
        Object* const child = object->GetChild(i);
        if (child && m_inner.Accepts(child))
            return true;
    }
    return false;
}

bool FilterChildren::IsValidObject(Object* object) const
{
    return object && object->GetNumChildren() > 0;
}

} // namespace Tavrel
