#include <tavrel/conformers/ObjectFrame.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(ObjectFrame)

void ObjectFrame::Apply(Object*) {}

} // namespace Tavrel
