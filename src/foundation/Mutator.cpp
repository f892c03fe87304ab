#include <tavrel/foundation/Mutator.h>

namespace Tavrel {

Mutator::Mutator(Function function, void* data) : Enumerator(nullptr), m_function(function), m_data(data) {}

bool Mutator::Enumerate(Object* object, int)
{
    if (m_function)
        m_function(object, m_data);
    return true;
}

} // namespace Tavrel
