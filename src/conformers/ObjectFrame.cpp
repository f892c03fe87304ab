#include <tavrel/conformers/ObjectFrame.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(ObjectFrame, ClassKind::Creatable)

void ObjectFrame::Apply(Object*) {}

} // namespace Tavrel
