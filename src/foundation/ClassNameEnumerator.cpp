#include <tavrel/foundation/ClassNameEnumerator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

ClassNameEnumerator::ClassNameEnumerator(ClassNameArray* output, const Filter* filter)
    : DistinctEnumerator(output, filter)
{
}

bool ClassNameEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object))
        AddName(object->GetClassNameA(), object);
    return true;
}

void ClassNameEnumerator::AddName(std::string_view name, Object*)
{
    if (!name.empty())
        Append(std::string(name));
}

CommonClassNameEnumerator::CommonClassNameEnumerator(ClassNameArray* output, const Filter* filter)
    : ClassNameEnumerator(output, filter)
{
}

bool CommonClassNameEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object))
        AddName(object->GetCommonName(), object);
    return true;
}

} // namespace Tavrel
