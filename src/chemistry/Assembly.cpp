#include <tavrel/chemistry/Assembly.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Assembly, ClassKind::Creatable)

Assembly::Assembly() = default;

Assembly::Assembly(Object* parent) : Object(parent) {}

Assembly::Assembly(const Assembly& other) = default;

} // namespace Tavrel
