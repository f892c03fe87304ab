// FakeCellServices: symmetry maps and build methods that record what a cell asks of them, for tests of cells.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/crystal/CellSymmetryServices.h>
#include <tavrel/foundation/BaseCollection.h>

namespace Tavrel::test {

// Knows one image: the object with OID `image`, made by operator 2 and translated by (1, 0, -1),
// whose parent is `parent`. Records the calls its cell makes.
class FakeMap final : public CellSymmetryMap {
public:
    FakeMap(Cell3d& cell, std::vector<std::string>& calls) : m_cell(&cell), m_calls(calls) {}
    ~FakeMap() override { m_calls.push_back("deleted"); }

    std::uint32_t image = 0;
    std::uint32_t parent = 0;
    // The symmetry-image keys the map reports.
    IntArray keys;
    // The asymmetric unit it reports, when it answers at all.
    bool answersUnit = false;
    std::vector<Object*> unit;
    // The images it reports for `image`.
    std::vector<Object*> replicates;
    // The OIDs it knows, and those a paste bound it to.
    OIDArray atoms, objects, bonds;
    OIDArray pastedAtoms, pastedObjects, pastedBonds;
    // A copy of this map refuses to be pasted.
    bool refusesPaste = false;

    Cell3d* GetCell() const override { return m_cell; }
    void SetComputeBonds(bool computeBonds) override { m_calls.push_back(computeBonds ? "bonds on" : "bonds off"); }
    void Update() override { m_calls.push_back("update"); }
    void EnableEvents() override { m_calls.push_back("events on"); }
    void DisableEvents() override { m_calls.push_back("events off"); }
    void MarkDirty(bool) override {}
    void SetCellParameters(const Matrix3x3&, const Matrix3x3&) override {}
    bool IsPeriodic(std::uint32_t oid) const override { return oid == image; }
    bool IsSymmetric(std::uint32_t oid) const override { return oid == image; }
    std::int32_t GetSymmetryOperator(std::uint32_t oid) const override { return oid == image ? 2 : 0; }
    LatticeOffset GetLatticeOffset(std::uint32_t oid) const override
    {
        return oid == image ? LatticeOffset(1, 0, -1) : LatticeOffset();
    }
    // An object other than the image is its own parent.
    std::uint32_t GetSymmetryParentOID(std::uint32_t oid) const override { return oid == image ? parent : oid; }
    std::string GetSymmetryLabel(std::uint32_t oid, std::string_view label) const override
    {
        return oid == image ? StringUtils::Format("%s#3@1,0,-1", std::string(label)) : std::string(label);
    }
    bool GetAsymmetricUnitObjects(const Object*, std::uint32_t, BaseCollection& out) const override
    {
        for (Object* object : unit)
            out.Add(object);
        return answersUnit;
    }
    bool GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const override
    {
        if (object->GetOID() != image)
            return false;
        if (includeSelf)
            out.Add(const_cast<Object*>(object));
        for (Object* replicate : replicates)
            out.Add(replicate);
        return true;
    }
    void GetAtomOIDs(OIDArray& out) const override { out = atoms; }
    void GetObjectOIDs(OIDArray& out) const override { out = objects; }
    void GetBondOIDs(OIDArray& out) const override { out = bonds; }
    void GetOperationIndexList(IntArray& out) const override { out = keys; }
    // A map of the same cell that knows nothing yet.
    std::unique_ptr<CellSymmetryMap> ShallowCopy() const override
    {
        m_calls.push_back("shallow copy");
        return std::make_unique<FakeMap>(*m_cell, m_calls);
    }
    bool Paste(Cell3d* newCell, const OIDArray& oldAtoms, const OIDArray& newAtoms, const OIDArray& oldObjects,
               const OIDArray& newObjects, const OIDArray& oldBonds, const OIDArray& newBonds,
               const CellSymmetryMap& source) override
    {
        m_calls.push_back("pasted");
        m_cell = newCell;
        const auto& from = static_cast<const FakeMap&>(source);
        if (from.refusesPaste || oldAtoms != from.atoms || oldObjects != from.objects || oldBonds != from.bonds)
            return false;
        pastedAtoms = newAtoms;
        pastedObjects = newObjects;
        pastedBonds = newBonds;
        return true;
    }

private:
    Cell3d* m_cell;
    std::vector<std::string>& m_calls;
};

class FakeBuilder final : public CellBuilder {
public:
    FakeBuilder(Cell3d* cell, std::string name) : CellBuilder(cell), methodName(std::move(name)) {}
    std::unique_ptr<CellBuildMethodParameters> CloneParameters() const override
    {
        return std::make_unique<CellBuildMethodParameters>("Fake");
    }
    void SetParameters(const CellBuildMethodParameters&) override {}
    bool Build() override { return true; }
    std::string GetErrorMessage() const override { return {}; }

    std::string methodName;
};

// Makes FakeMaps that know `image`, and builders for the name "Default" alone.
class FakeServices final : public CellSymmetryServices {
public:
    std::unique_ptr<CellSymmetryMap> CreateSymmetryMap(Cell3d& cell, const IntArray& operationKeys) const override
    {
        calls.push_back("created with " + std::to_string(operationKeys.size()) + " keys");
        auto map = std::make_unique<FakeMap>(cell, calls);
        map->image = image;
        map->parent = parent;
        map->keys = keys;
        return map;
    }
    std::unique_ptr<CellBuilder> CreateCellBuildMethod(Cell3d* cell, std::string_view name,
                                                       const CellBuildMethodParameters*) const override
    {
        if (!cell || !StringUtils::EqualsNoCase(name, "Default"))
            return nullptr;
        return std::make_unique<FakeBuilder>(cell, std::string(name));
    }

    std::uint32_t image = 0;
    std::uint32_t parent = 0;
    IntArray keys;
    mutable std::vector<std::string> calls;
};

} // namespace Tavrel::test
