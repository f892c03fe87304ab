#include <tavrel/foundation/TypedObjectSet.h>

namespace Tavrel {

void TypedObjectSet::AddObject(Object& object)
{
    if (object.IsA(m_type))
        ObjectSet::AddObject(object);
}

} // namespace Tavrel
