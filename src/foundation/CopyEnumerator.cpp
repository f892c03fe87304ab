#include <tavrel/foundation/CopyEnumerator.h>

#include <tavrel/foundation/BaseCollection.h>

namespace Tavrel {

CopyEnumerator::CopyEnumerator(BaseCollection& output, const Filter* filter) : Enumerator(filter), m_output(&output) {}

bool CopyEnumerator::Enumerate(Object* object, int)
{
    if (object && IsValidObject(object))
        AddObject(object);
    return true;
}

void CopyEnumerator::AddObject(Object* object)
{
    if (!object || !m_seen.insert(object->GetOID()).second)
        return;
    m_output->Add(object);
    ++m_count;
}

} // namespace Tavrel
