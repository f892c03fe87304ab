#include <tavrel/foundation/Filter.h>

namespace Tavrel {

bool Filter::PostProcess(bool result) const
{
    return m_mode == Exclude ? !result : result;
}

bool Filter::DoTest(Object* object) const
{
    return object != nullptr;
}

} // namespace Tavrel
