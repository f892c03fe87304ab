#include <tavrel/foundation/ClassTypeEnumerator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

ClassTypeEnumerator::ClassTypeEnumerator(ClassTypeArray* output, const Filter* filter)
    : DistinctEnumerator(output, filter)
{
}

bool ClassTypeEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object))
        AddType(object->GetClassType(), object);
    return true;
}

void ClassTypeEnumerator::AddType(std::uint32_t type, Object*)
{
    Append(type);
}

} // namespace Tavrel
