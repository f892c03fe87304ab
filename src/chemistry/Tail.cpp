#include <tavrel/chemistry/Tail.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Tail)

Tail::Tail(Object* parent) : PseudoAtom(parent, "J1", Color::Green()) {}

std::string Tail::GetCommonName() const
{
    return "Tail";
}

std::string Tail::GetTagText() const
{
    return "Tail";
}

} // namespace Tavrel
