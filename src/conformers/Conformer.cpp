#include <tavrel/conformers/Conformer.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Conformer, ClassKind::Creatable)

Conformer::Conformer() = default;

Conformer::Conformer(Object* parent) : Geometric(parent)
{
    const ConstructionScope construction(*this);
    SetDisplayStyle(1);
}

Conformer::Conformer(const Conformer& other) = default;

} // namespace Tavrel
