#include <tavrel/conformers/Conformation.h>

#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Conformation)

Conformation::Conformation() = default;

Conformation::Conformation(Object* reference, bool twoD) : Object(reference), m_twoD(twoD)
{
    SetDisplayStyle(1);
}

const PropertyTable& Conformation::Properties()
{
    static const PropertyTable table(PropertyList<Conformation>().Field<&Conformation::m_twoD>("Conf 2d").StreamOnly());
    return table;
}

bool Conformation::Is2D() const
{
    return m_twoD;
}

} // namespace Tavrel
