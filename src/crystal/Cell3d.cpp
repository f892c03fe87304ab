#include <tavrel/crystal/Cell3d.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Cell3d)

Cell3d::Cell3d() = default;

Cell3d::Cell3d(Object* parent) : Cell(parent) {}

SymmetryMap* Cell3d::GetSymmetryMap() const
{
    return nullptr;
}

void Cell3d::EnableSymmetryMap(bool enable)
{
    m_symmetryMapEnabled = enable;
}

bool Cell3d::IsSymmetryMapEnabled() const
{
    return m_symmetryMapEnabled;
}

// No symmetry map can be built yet: the switch is kept and nothing is created.
void Cell3d::CreateSymmetryMap(bool) {}

} // namespace Tavrel
