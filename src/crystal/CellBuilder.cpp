#include <tavrel/crystal/CellBuilder.h>

#include <tavrel/crystal/Cell3d.h>

namespace Tavrel {

CellBuilder::CellBuilder(Cell3d* cell) : m_cellOID(cell ? cell->GetOID() : 0) {}

Cell3d* CellBuilder::GetCell() const
{
    return m_cellOID == 0 ? nullptr : DynCast<Cell3d>(Base::GetObjectA(m_cellOID));
}

} // namespace Tavrel
