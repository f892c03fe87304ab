#include <tavrel/conformers/ConformerAtom.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(ConformerAtom)

ConformerAtom::ConformerAtom()
{
    static const bool named = (SetCommonName(GetCommonName()), true);
    static_cast<void>(named);
    SetColorSchemeHint(0);
}

ConformerAtom::ConformerAtom(Object* parent, ElementType type) : Atom3d(parent, type)
{
    SetColorSchemeHint(0);
}

ConformerAtom::ConformerAtom(Object* parent, const char* symbol) : Atom3d(parent, symbol)
{
    SetColorSchemeHint(0);
}

std::string ConformerAtom::GetCommonName() const
{
    return "Conformer Atom";
}

Atom* ConformerAtom::CreateNewAtom(Object* parent, ElementType type)
{
    return new ConformerAtom(parent, type);
}

} // namespace Tavrel
