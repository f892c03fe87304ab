#include <tavrel/chemistry/Tail.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Tail, ClassKind::Creatable)

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
