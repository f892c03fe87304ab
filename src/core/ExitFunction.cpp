#include <tavrel/core/ExitFunction.h>

#include <utility>

namespace Tavrel {

ExitFunction::ExitFunction(Routine routine) : m_routine(std::move(routine)) {}

ExitFunction::~ExitFunction()
{
    if (!m_routine)
        return;
    try {
        m_routine();
    } catch (...) {
        // Nothing can handle a failure during unload.
    }
}

} // namespace Tavrel
