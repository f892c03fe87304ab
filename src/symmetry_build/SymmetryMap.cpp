#include <tavrel/symmetry_build/SymmetryMap.h>

#include <tavrel/crystal/Cell3d.h>

namespace Tavrel {

SymmetryMap::SymmetryMap(Cell3d* cell, const IntArray&) : m_cell(cell) {}

void SymmetryMap::SetComputeBonds(bool) {}

void SymmetryMap::Update() {}

void SymmetryMap::EnableEvents() {}

void SymmetryMap::DisableEvents() {}

void SymmetryMap::MarkDirty(bool) {}

void SymmetryMap::SetCellParameters(const Matrix3x3&, const Matrix3x3&) {}

bool SymmetryMap::IsPeriodic(std::uint32_t) const
{
    return false;
}

bool SymmetryMap::IsSymmetric(std::uint32_t) const
{
    return false;
}

std::int32_t SymmetryMap::GetSymmetryOperator(std::uint32_t) const
{
    return 0;
}

LatticeOffset SymmetryMap::GetLatticeOffset(std::uint32_t) const
{
    return {};
}

std::uint32_t SymmetryMap::GetSymmetryParentOID(std::uint32_t) const
{
    return 0;
}

std::string SymmetryMap::GetSymmetryLabel(std::uint32_t, std::string_view label) const
{
    return std::string(label);
}

bool SymmetryMap::GetAsymmetricUnitObjects(const Object*, std::uint32_t, BaseCollection&) const
{
    return false;
}

bool SymmetryMap::GetSymmetryReplicates(const Object*, BaseCollection&, bool) const
{
    return false;
}

void SymmetryMap::GetAtomOIDs(OIDArray& out) const
{
    out.clear();
}

void SymmetryMap::GetObjectOIDs(OIDArray& out) const
{
    out.clear();
}

void SymmetryMap::GetBondOIDs(OIDArray& out) const
{
    out.clear();
}

void SymmetryMap::GetOperationIndexList(IntArray& out) const
{
    out.clear();
}

std::unique_ptr<CellSymmetryMap> SymmetryMap::ShallowCopy() const
{
    return std::make_unique<SymmetryMap>(m_cell, IntArray());
}

void SymmetryMap::Paste(Cell3d* newCell, const OIDArray&, const OIDArray&, const OIDArray&, const OIDArray&,
                        const OIDArray&, const OIDArray&, const CellSymmetryMap&)
{
    m_cell = newCell;
}

std::string SymmetryMap::GetSymmetryLabel(const Object* object)
{
    const Cell3d* const cell = Cell3d::FindCell(object);
    return cell ? cell->GetSymmetryLabel(object) : std::string();
}

} // namespace Tavrel
