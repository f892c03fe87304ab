#include <tavrel/symmetry_build/SymmetryMap.h>

#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/symmetry_build/CellDeletionWatcher.h>
#include <tavrel/symmetry_build/HierarchyData.h>
#include <tavrel/symmetry_build/SymmetryImageKeySet.h>

namespace Tavrel {

SymmetryMap::SymmetryMap(Cell3d* cell, const IntArray& operationKeys)
{
    SetCell(cell, operationKeys);
}

SymmetryMap::~SymmetryMap()
{
    RemoveCell();
}

void SymmetryMap::SetCell(Cell3d* cell, const IntArray& operationKeys)
{
    if (cell == m_cell)
        return;
    if (m_cell)
        RemoveCell();
    m_cell = cell;
    if (!cell)
        return;
    auto keys = std::make_unique<SymmetryImageKeySet>();
    keys->SetOperationIndexList(operationKeys);
    m_implementation = std::make_unique<HierarchyData>(cell, std::move(keys));
}

void SymmetryMap::RemoveCell()
{
    m_watcher.reset();
    m_implementation.reset();
    m_cell = nullptr;
}

void SymmetryMap::SetComputeBonds(bool computeBonds)
{
    if (m_implementation)
        m_implementation->SetComputeBonds(computeBonds);
}

void SymmetryMap::SetBuildFullMolecules(bool buildFullMolecules)
{
    if (m_implementation)
        m_implementation->SetBuildFullMolecules(buildFullMolecules);
}

void SymmetryMap::Update()
{
    if (!m_implementation)
        return;
    if (!m_watcher) {
        m_implementation->Update();
        return;
    }
    // A clean map changes nothing: its registrations stand, and subscribing again would walk the
    // cell's whole subtree once per registration; the listeners are only switched on.
    if (m_implementation->IsDirty()) {
        m_watcher->DisableAll();
        m_implementation->Update();
        m_watcher->ResubscribeAll();
    }
    m_watcher->EnableAll();
}

void SymmetryMap::EnableEvents()
{
    if (m_watcher)
        m_watcher->EnableAll();
    else if (m_implementation)
        m_watcher = std::make_unique<CellDeletionWatcher>(m_cell);
}

void SymmetryMap::DisableEvents()
{
    if (m_watcher)
        m_watcher->DisableAll();
}

void SymmetryMap::MarkDirty(bool removeMarkers)
{
    if (m_implementation)
        m_implementation->MarkDirty(removeMarkers);
}

bool SymmetryMap::IsDirty() const
{
    return m_implementation && m_implementation->IsDirty();
}

bool SymmetryMap::HasSymmetry() const
{
    return m_implementation && m_implementation->HasSymmetry();
}

void SymmetryMap::SetCellParameters(const Matrix3x3& fracToCart, const Matrix3x3& cartToFrac)
{
    if (m_implementation)
        m_implementation->SetCellParameters(fracToCart, cartToFrac);
}

void SymmetryMap::GetAsymmetricUnit(AsymmetricUnit& unit) const
{
    if (m_implementation)
        m_implementation->GetAsymmetricUnit(unit);
}

bool SymmetryMap::DisplayBuildResults(const BuildResults& results)
{
    if (!m_implementation)
        return false;
    if (!m_watcher)
        return m_implementation->DisplayBuildResults(results);
    m_watcher->DisableAll();
    const bool shown = m_implementation->DisplayBuildResults(results);
    m_watcher->EnableAll();
    return shown;
}

void SymmetryMap::OnAtomAdded(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomAdded(oid);
}

void SymmetryMap::OnAtomDeleted(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomDeleted(oid);
}

void SymmetryMap::OnBondDeleted(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnBondDeleted(oid);
}

void SymmetryMap::OnAtomFormalChargeChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomFormalChargeChanged(oid);
}

void SymmetryMap::OnAtomHybridizationChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomHybridizationChanged(oid);
}

void SymmetryMap::OnAtomPartialChargeChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomPartialChargeChanged(oid);
}

void SymmetryMap::OnAtomCPKScaleChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomCPKScaleChanged(oid);
}

void SymmetryMap::OnAtomBallSizeChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomBallSizeChanged(oid);
}

void SymmetryMap::OnAtomStickRadiusChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomStickRadiusChanged(oid);
}

void SymmetryMap::OnAtomTypeChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomTypeChanged(oid);
}

void SymmetryMap::OnAtomXYZChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnAtomXYZChanged(oid);
}

void SymmetryMap::OnBondTypeChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnBondTypeChanged(oid);
}

void SymmetryMap::OnLabelChanged(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnLabelChanged(oid);
}

void SymmetryMap::OnObjectAdded(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnObjectAdded(oid);
}

void SymmetryMap::OnObjectDeleted(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnObjectDeleted(oid);
}

void SymmetryMap::OnObjectMoved(std::uint32_t oid)
{
    if (m_implementation)
        m_implementation->OnObjectMoved(oid);
}

bool SymmetryMap::IsPeriodic(std::uint32_t oid) const
{
    SymmetryImageKey key;
    return m_implementation && m_implementation->FindImageKey(oid, key) && key.HasTranslation();
}

bool SymmetryMap::IsSymmetric(std::uint32_t oid) const
{
    SymmetryImageKey key;
    return m_implementation && m_implementation->FindImageKey(oid, key) && key.op != 0;
}

std::int32_t SymmetryMap::GetSymmetryOperator(std::uint32_t oid) const
{
    SymmetryImageKey key;
    return m_implementation && m_implementation->FindImageKey(oid, key) ? key.op : 0;
}

LatticeOffset SymmetryMap::GetLatticeOffset(std::uint32_t oid) const
{
    SymmetryImageKey key;
    if (!m_implementation || !m_implementation->FindImageKey(oid, key))
        return {};
    return LatticeOffset(static_cast<std::int16_t>(key.a), static_cast<std::int16_t>(key.b),
                         static_cast<std::int16_t>(key.c));
}

std::uint32_t SymmetryMap::GetSymmetryParentOID(std::uint32_t oid) const
{
    return m_implementation && oid ? m_implementation->GetSymmetryParentOID(oid) : 0;
}

bool SymmetryMap::IsSymmetryParent(std::uint32_t oid) const
{
    return !m_implementation || GetSymmetryParentOID(oid) == oid;
}

bool SymmetryMap::IsReplicate(std::uint32_t oid) const
{
    return m_implementation && !IsSymmetryParent(oid);
}

std::string SymmetryMap::GetSymmetryLabel(std::uint32_t oid, std::string_view label) const
{
    SymmetryImageKey key;
    if (!m_implementation || !oid || !m_implementation->FindImageKey(oid, key))
        return std::string(label);
    const std::string text(label);
    if (key.op != 0 && key.HasTranslation())
        return StringUtils::Format("%s#%d@%d,%d,%d", text, key.op + 1, key.a, key.b, key.c);
    if (key.HasTranslation())
        return StringUtils::Format("%s@%d,%d,%d", text, key.a, key.b, key.c);
    if (key.op != 0)
        return StringUtils::Format("%s#%d", text, key.op + 1);
    return text;
}

bool SymmetryMap::GetAsymmetricUnitObjects(const Object* root, std::uint32_t classType, BaseCollection& out) const
{
    return m_implementation && m_implementation->GetAsymmetricUnitObjects(root, classType, out);
}

bool SymmetryMap::GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const
{
    return m_implementation && m_implementation->GetSymmetryReplicates(object, out, includeSelf);
}

void SymmetryMap::GetAtomOIDs(OIDArray& out) const
{
    out.clear();
    if (m_implementation)
        m_implementation->GetAtomOIDs(out);
}

void SymmetryMap::GetObjectOIDs(OIDArray& out) const
{
    out.clear();
    if (m_implementation)
        m_implementation->GetObjectOIDs(out);
}

void SymmetryMap::GetBondOIDs(OIDArray& out) const
{
    out.clear();
    if (m_implementation)
        m_implementation->GetBondOIDs(out);
}

void SymmetryMap::GetOperationIndexList(IntArray& out) const
{
    out.clear();
    if (m_implementation)
        m_implementation->GetOperationIndexList(out);
}

std::unique_ptr<CellSymmetryMap> SymmetryMap::ShallowCopy() const
{
    auto copy = std::make_unique<SymmetryMap>(nullptr, IntArray());
    copy->m_cell = m_cell;
    return copy;
}

bool SymmetryMap::Paste(Cell3d* newCell, const OIDArray& oldAtoms, const OIDArray& newAtoms,
                        const OIDArray& oldObjects, const OIDArray& newObjects, const OIDArray& oldBonds,
                        const OIDArray& newBonds, const CellSymmetryMap& source)
{
    m_watcher.reset();
    m_implementation.reset();
    m_cell = newCell;
    const auto* const map = dynamic_cast<const SymmetryMap*>(&source);
    if (map && map->m_implementation)
        m_implementation =
            map->m_implementation->Paste(newCell, oldAtoms, newAtoms, oldObjects, newObjects, oldBonds, newBonds);
    if (!m_implementation)
        return false;
    m_watcher = std::make_unique<CellDeletionWatcher>(newCell);
    return true;
}

std::string SymmetryMap::GetSymmetryLabel(const Object* object)
{
    const Cell3d* const cell = Cell3d::FindCell(object);
    return cell ? cell->GetSymmetryLabel(object) : std::string();
}

} // namespace Tavrel
