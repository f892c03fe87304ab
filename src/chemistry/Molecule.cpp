#include "chemistry/Molecule.h"

#include "foundation/PropertyArchive.h"
#include "foundation/PropertyTable.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Molecule, ClassKind::Creatable)

Molecule::Molecule() = default;

Molecule::Molecule(Object* parent) : Geometric3d(parent) {}

const PropertyTable& Molecule::Properties()
{
    static const PropertyTable table(&Geometric3d::Properties(),
                                     PropertyList<Molecule>().Field<Storage::StorageBool, &Molecule::m_is2D>("Molecule Is 2d"));
    return table;
}

void Molecule::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
}

} // namespace Tavrel
