// Test-only access to the process-wide element table.
#pragma once

namespace Tavrel {

// Puts the element table back as first built: built-in values, no user elements. Built-in element
// pointers stay valid; user elements are freed, so no atom may still refer to one.
void ResetElementFactoryForTests();

} // namespace Tavrel
