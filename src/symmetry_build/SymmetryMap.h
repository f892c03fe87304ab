// SymmetryMap: a crystal cell's record of which objects below it are symmetry or lattice images.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/core/Arrays.h>
#include <tavrel/crystal/CellSymmetryMap.h>

namespace Tavrel {

class Cell3d;
class Object;

// So far a map holds no build result: it knows no image, so every query gives the answer for an
// unknown object and the settings change nothing.
class SymmetryMap final : public CellSymmetryMap {
public:
    // Binds the map to the cell with the given symmetry-image keys (4-tuples: operator, a, b, c).
    SymmetryMap(Cell3d* cell, const IntArray& operationKeys);

    Cell3d* GetCell() const override { return m_cell; }

    void SetComputeBonds(bool computeBonds) override;
    void Update() override;
    void EnableEvents() override;
    void DisableEvents() override;
    void MarkDirty(bool removeMarkers) override;
    void SetCellParameters(const Matrix3x3& fracToCart, const Matrix3x3& cartToFrac) override;

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
    void Paste(Cell3d* newCell, const OIDArray& oldAtoms, const OIDArray& newAtoms, const OIDArray& oldObjects,
               const OIDArray& newObjects, const OIDArray& oldBonds, const OIDArray& newBonds,
               const CellSymmetryMap& source) override;

    // Empty for null and outside a Cell3d; else the label the nearest Cell3d above gives the object.
    static std::string GetSymmetryLabel(const Object* object);

private:
    Cell3d* m_cell;
};

} // namespace Tavrel
