#include "foundation/ClassTypeEnumerator.h"

#include "foundation/Object.h"

namespace Tavrel {

ClassTypeEnumerator::ClassTypeEnumerator(ClassTypeArray* output, const Filter* filter)
    : Enumerator(filter), m_output(output)
{
}

bool ClassTypeEnumerator::Initialize()
{
    if (!m_output)
        return false;
    m_seen.clear();
    m_output->clear();
    m_count = 0;
    return true;
}

bool ClassTypeEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object))
        AddType(object->GetClassType(), object);
    return true;
}

void ClassTypeEnumerator::Finalize()
{
    if (m_output)
        m_output->resize(static_cast<std::size_t>(m_count));
}

void ClassTypeEnumerator::AddType(std::uint32_t type, Object*)
{
    if (m_output && m_seen.insert(type).second) {
        m_output->push_back(type);
        ++m_count;
    }
}

} // namespace Tavrel
