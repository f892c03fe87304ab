#include <tavrel/chemistry/ElementEnumerator.h>

#include <tavrel/chemistry/Atom.h>

namespace Tavrel {

ElementEnumerator::ElementEnumerator(ElementArray* output, const Filter* filter) : DistinctEnumerator(output, filter) {}

bool ElementEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object))
        AddElement(static_cast<Atom*>(object)->GetElement(), object);
    return true;
}

bool ElementEnumerator::IsValidObject(Object* object) const
{
    return IsA<Atom>(object) && DistinctEnumerator::IsValidObject(object);
}

void ElementEnumerator::AddElement(const Element* element, Object*)
{
    if (element)
        Append(element);
}

} // namespace Tavrel
