#include <tavrel/foundation/VisibleEnumerator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

VisibleEnumerator::VisibleEnumerator(bool visible) : Enumerator(nullptr), m_visible(visible) {}

bool VisibleEnumerator::Enumerate(Object* object, int)
{
    if (!object)
        return false;
    if (m_visible)
        object->SetVisible(true);
    else
        object->SetInvisible(true);
    return true;
}

} // namespace Tavrel
