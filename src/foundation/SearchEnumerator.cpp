#include <tavrel/foundation/SearchEnumerator.h>

namespace Tavrel {

SearchEnumerator::SearchEnumerator(const Filter* filter) : Enumerator(filter) {}

bool SearchEnumerator::Initialize()
{
    m_found = nullptr;
    return true;
}

bool SearchEnumerator::Enumerate(Object* object, int)
{
    if (!IsValidObject(object))
        return true;
    m_found = object;
    return false;
}

} // namespace Tavrel
