#include <tavrel/conformers/Conformer.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Conformer)

Conformer::Conformer() = default;

Conformer::Conformer(Object* parent) : Geometric(parent)
{
    const ConstructionScope construction(*this);
    SetDisplayStyle(1);
}

} // namespace Tavrel
