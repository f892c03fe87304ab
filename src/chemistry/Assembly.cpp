#include <tavrel/chemistry/Assembly.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Assembly)

Assembly::Assembly(Object* parent) : Object(parent) {}

} // namespace Tavrel
