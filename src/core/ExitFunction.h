// ExitFunction: runs a clean-up routine once, when the object is destroyed (for a static object,
// at library unload or process exit).
#pragma once

#include <functional>

namespace Tavrel {

class ExitFunction {
public:
    using Routine = std::function<void()>;

    explicit ExitFunction(Routine routine);
    // Runs the routine (when there is one). An exception thrown by it is swallowed: there is no
    // caller left to report it to at unload.
    ~ExitFunction();

    // Neither copied nor moved, so the routine runs exactly once.
    ExitFunction(const ExitFunction&) = delete;
    ExitFunction& operator=(const ExitFunction&) = delete;

private:
    Routine m_routine;
};

} // namespace Tavrel
