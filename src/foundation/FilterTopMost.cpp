#include <tavrel/foundation/FilterTopMost.h>

namespace Tavrel {

bool FilterTopMost::DoTest(Object* object) const
{
    return IsValidObject(object) && m_inner.Accepts(object);
}

} // namespace Tavrel
