#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

bool Enumerator::Initialize()
{
    return true;
}

void Enumerator::Finalize() {}

bool Enumerator::IsValidObject(Object* object) const
{
    return object && m_filter.Accepts(object);
}

} // namespace Tavrel
