#include <tavrel/chemistry/Head.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Head)

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
