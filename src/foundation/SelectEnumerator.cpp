#include <tavrel/foundation/SelectEnumerator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

SelectEnumerator::SelectEnumerator(bool select) : SelectEnumerator(select, true) {}

SelectEnumerator::SelectEnumerator(bool select, bool recursive)
    : Enumerator(nullptr), m_select(select), m_recursive(recursive)
{
}

bool SelectEnumerator::Enumerate(Object* object, int)
{
    if (!object)
        return false;
    if (m_select)
        object->Select(m_recursive);
    else
        object->UnSelect(true);
    return true;
}

} // namespace Tavrel
