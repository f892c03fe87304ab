#include <tavrel/foundation/TreeIterator.h>

#include <tavrel/foundation/FilterType.h>

namespace Tavrel {

TreeIterator::TreeIterator(Object* root, bool includeRoot) : m_includeRoot(includeRoot), m_root(root) {}

TreeIterator::TreeIterator(Object* root, std::uint32_t classType, bool includeRoot)
    : m_filter(FilterType(classType, Filter::Include)), m_includeRoot(includeRoot), m_root(root)
{
}

TreeIterator::TreeIterator(Object* root, const Filter& filter, bool includeRoot)
    : m_filter(filter), m_includeRoot(includeRoot), m_root(root)
{
}

Object* TreeIterator::GetNext()
{
    for (;;) {
        Object* const object = GotoNext(m_includeRoot);
        if (!object || m_filter.Accepts(object))
            return object;
    }
}

} // namespace Tavrel
