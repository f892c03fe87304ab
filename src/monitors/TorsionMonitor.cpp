#include <tavrel/monitors/TorsionMonitor.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS_IDENTITY(TorsionMonitor, ClassKind::Creatable)

Base* TorsionMonitor::ShallowCopy() const
{
    return ShallowCopyOK() ? new TorsionMonitor(*this) : nullptr;
}

} // namespace Tavrel
