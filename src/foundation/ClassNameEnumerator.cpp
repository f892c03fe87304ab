#include "foundation/ClassNameEnumerator.h"

#include "foundation/Object.h"

namespace Tavrel {

ClassNameEnumerator::ClassNameEnumerator(ClassNameArray* output, const Filter* filter)
    : Enumerator(filter), m_output(output)
{
}

bool ClassNameEnumerator::Initialize()
{
    if (!m_output)
        return false;
    m_seen.clear();
    m_output->clear();
    m_count = 0;
    return true;
}

bool ClassNameEnumerator::Enumerate(Object* object, int)
{
    if (IsValidObject(object))
        AddName(object->GetClassNameA(), object);
    return true;
}

void ClassNameEnumerator::Finalize()
{
    if (m_output)
        m_output->resize(static_cast<std::size_t>(m_count));
}

void ClassNameEnumerator::AddName(std::string_view name, Object*)
{
    if (name.empty() || !m_output)
        return;
    if (m_seen.emplace(name).second) {
        m_output->emplace_back(name);
        ++m_count;
    }
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
