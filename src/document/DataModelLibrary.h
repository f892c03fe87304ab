// Library start-up: registers every class of the data model, once per process.
#pragma once

namespace Tavrel {

// Makes sure every class is registered; safe to call any number of times. Runs when the library loads.
void AttachDataModelDLL();

} // namespace Tavrel
