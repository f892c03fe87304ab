#include <tavrel/monitors/TorsionMonitor.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(TorsionMonitor)

} // namespace Tavrel
