#include <tavrel/chemistry/Head.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Head, ClassKind::Creatable)

Head::Head(Object* parent) : PseudoAtom(parent, "J2", Color::Green()) {}

std::string Head::GetCommonName() const
{
    return "Head";
}

std::string Head::GetTagText() const
{
    return "Head";
}

} // namespace Tavrel
