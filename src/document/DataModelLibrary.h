// Library start-up: registers every class and installs the answers lower folders ask of higher ones.
#pragma once

namespace Tavrel {

// Makes sure every class is registered and every answer installed; safe to call any number of times.
// Runs when the library loads.
void AttachDataModelDLL();

} // namespace Tavrel
