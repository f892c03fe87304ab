#include <tavrel/foundation/DisplayEnumerator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

DisplayEnumerator::DisplayEnumerator(DisplayList3D& list, bool selectedOnly, const Filter* filter)
    : Enumerator(filter), m_list(&list), m_selectedOnly(selectedOnly)
{
}

bool DisplayEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object))
        DisplayObject(object);
    return true;
}

void DisplayEnumerator::DisplayObject(Object* object)
{
    if (object)
        object->DisplayAll(*m_list, m_selectedOnly);
}

} // namespace Tavrel
