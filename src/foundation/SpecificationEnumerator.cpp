#include <tavrel/foundation/SpecificationEnumerator.h>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/DescendentIterator.h>

namespace Tavrel {

SpecificationEnumerator::SpecificationEnumerator(BaseCollection& output, const Filter& filter)
    : Enumerator(nullptr), m_output(&output), m_filter(&filter)
{
}

bool SpecificationEnumerator::Enumerate(Object* object, int)
{
    if (object)
        AddDescendants(object);
    return true;
}

void SpecificationEnumerator::AddDescendants(Object* object)
{
    m_output->Add(DescendentIterator(object, *m_filter, false));
}

} // namespace Tavrel
