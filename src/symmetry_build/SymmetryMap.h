// SymmetryMap: a crystal cell's record of which objects below it are symmetry or lattice images.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/core/Arrays.h>
#include <tavrel/crystal/CellSymmetryMap.h>

namespace Tavrel {

class AsymmetricUnit;
class BuildResults;
class Cell3d;
class CellDeletionWatcher;
class HierarchyData;
class Object;

// The facade of the cell's HierarchyData: every query answers from it, every setting is handed to it.
// A map without a cell, a shallow copy and a map whose paste failed have no data and answer every
// query as for an unknown object. EnableEvents makes the watcher whose listeners carry later edits
// below the cell to the data; the map switches them off around its own Update and DisplayBuildResults.
// Nothing here throws.
class SymmetryMap final : public CellSymmetryMap {
public:
    // Binds the map to the cell with the given symmetry-image keys (4-tuples: operator, a, b, c).
    SymmetryMap(Cell3d* cell, const IntArray& operationKeys);

    ~SymmetryMap() override;

    Cell3d* GetCell() const override { return m_cell; }

    void SetComputeBonds(bool computeBonds) override;
    void Update() override;
    void EnableEvents() override;
    void DisableEvents() override;
    void MarkDirty(bool removeMarkers) override;
    void SetCellParameters(const Matrix3x3& fracToCart, const Matrix3x3& cartToFrac) override;
    void SetBuildFullMolecules(bool buildFullMolecules);
    bool IsDirty() const;
    bool HasSymmetry() const;
    void GetAsymmetricUnit(AsymmetricUnit& unit) const;
    // False without data, for results that do not match the asymmetric unit, or when the build fails
    // (the map is then dirty).
    bool DisplayBuildResults(const BuildResults& results);
    bool IsSymmetryParent(std::uint32_t oid) const;
    bool IsReplicate(std::uint32_t oid) const;
    // Null for a map without data.
    const HierarchyData* GetHierarchyData() const { return m_implementation.get(); }
    // The watcher EnableEvents or Paste made; null before.
    CellDeletionWatcher* GetWatcher() const { return m_watcher.get(); }

    // Edits below the cell, as the listeners hand them on; each does nothing without data.
    void OnAtomAdded(std::uint32_t oid);
    void OnAtomDeleted(std::uint32_t oid);
    void OnBondDeleted(std::uint32_t oid);
    void OnAtomFormalChargeChanged(std::uint32_t oid);
    void OnAtomHybridizationChanged(std::uint32_t oid);
    void OnAtomPartialChargeChanged(std::uint32_t oid);
    void OnAtomCPKScaleChanged(std::uint32_t oid);
    void OnAtomBallSizeChanged(std::uint32_t oid);
    void OnAtomStickRadiusChanged(std::uint32_t oid);
    void OnAtomTypeChanged(std::uint32_t oid);
    void OnAtomXYZChanged(std::uint32_t oid);
    void OnBondTypeChanged(std::uint32_t oid);
    void OnLabelChanged(std::uint32_t oid);
    void OnObjectAdded(std::uint32_t oid);
    void OnObjectDeleted(std::uint32_t oid);
    void OnObjectMoved(std::uint32_t oid);

    bool IsPeriodic(std::uint32_t oid) const override;
    bool IsSymmetric(std::uint32_t oid) const override;
    std::int32_t GetSymmetryOperator(std::uint32_t oid) const override;
    LatticeOffset GetLatticeOffset(std::uint32_t oid) const override;
    std::uint32_t GetSymmetryParentOID(std::uint32_t oid) const override;
    std::string GetSymmetryLabel(std::uint32_t oid, std::string_view label) const override;
    bool GetAsymmetricUnitObjects(const Object* root, std::uint32_t classType, BaseCollection& out) const override;
    bool GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const override;
    void GetAtomOIDs(OIDArray& out) const override;
    void GetObjectOIDs(OIDArray& out) const override;
    void GetBondOIDs(OIDArray& out) const override;
    void GetOperationIndexList(IntArray& out) const override;

    std::unique_ptr<CellSymmetryMap> ShallowCopy() const override;
    bool Paste(Cell3d* newCell, const OIDArray& oldAtoms, const OIDArray& newAtoms, const OIDArray& oldObjects,
               const OIDArray& newObjects, const OIDArray& oldBonds, const OIDArray& newBonds,
               const CellSymmetryMap& source) override;

    // Empty for null and outside a Cell3d; else the label the nearest Cell3d above gives the object.
    static std::string GetSymmetryLabel(const Object* object);

private:
    void SetCell(Cell3d* cell, const IntArray& operationKeys);
    void RemoveCell();

    Cell3d* m_cell = nullptr;
    std::unique_ptr<HierarchyData> m_implementation;
    // Exists only while the data does.
    std::unique_ptr<CellDeletionWatcher> m_watcher;
};

} // namespace Tavrel
