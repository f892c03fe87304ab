// CellSymmetryMap: the symmetry map a Cell3d owns, as the cell creates, updates and asks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/LatticeOffset.h>

namespace Tavrel {

class BaseCollection;
class Cell3d;
class Matrix3x3;
class Object;

// The map classifies the objects below its cell into asymmetric-unit parents and their symmetry and
// lattice images. The symmetry-build folder implements it; a cell gets its map from
// CellSymmetryServices. Queries by OID answer for an object the map does not know (and for every
// object while the map holds no build result) that it is no image, of operator 0, offset (0, 0, 0),
// parent OID 0, labelled with its plain label.
class CellSymmetryMap {
public:
    virtual ~CellSymmetryMap() { --s_count; }
    CellSymmetryMap(const CellSymmetryMap&) = delete;
    CellSymmetryMap& operator=(const CellSymmetryMap&) = delete;

    // The cell the map is bound to.
    virtual Cell3d* GetCell() const = 0;

    // A new map is set up in this order: SetComputeBonds, Update, EnableEvents. DisableEvents and
    // EnableEvents bracket a change of the cell's geometry.
    virtual void SetComputeBonds(bool computeBonds) = 0;
    // Rebuilds the map when it is dirty; a failing build leaves an empty map.
    virtual void Update() = 0;
    // Switches the map's event watcher on, creating it on first use.
    virtual void EnableEvents() = 0;
    // Switches the watcher off (nothing without one).
    virtual void DisableEvents() = 0;
    // Marks the map for rebuilding; with removeMarkers also removes "_ASU", "_REP" and "_RMI" from
    // the cell's descendants.
    virtual void MarkDirty(bool removeMarkers) = 0;
    // The cell's new transforms.
    virtual void SetCellParameters(const Matrix3x3& fracToCart, const Matrix3x3& cartToFrac) = 0;

    virtual bool IsPeriodic(std::uint32_t oid) const = 0;
    virtual bool IsSymmetric(std::uint32_t oid) const = 0;
    // The index of the operator that produced the object (0: the identity).
    virtual std::int32_t GetSymmetryOperator(std::uint32_t oid) const = 0;
    virtual LatticeOffset GetLatticeOffset(std::uint32_t oid) const = 0;
    // The OID of the asymmetric-unit object the image comes from.
    virtual std::uint32_t GetSymmetryParentOID(std::uint32_t oid) const = 0;
    // The label decorated with operator number and lattice offset ("C1#3@1,0,-1").
    virtual std::string GetSymmetryLabel(std::uint32_t oid, std::string_view label) const = 0;
    // The asymmetric-unit objects of the class below root into out; false when the map cannot answer.
    virtual bool GetAsymmetricUnitObjects(const Object* root, std::uint32_t classType, BaseCollection& out) const = 0;
    // The images of the object into out.
    virtual bool GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const = 0;
    // Each empties out, then lists the OIDs the map knows.
    virtual void GetAtomOIDs(OIDArray& out) const = 0;
    virtual void GetObjectOIDs(OIDArray& out) const = 0;
    virtual void GetBondOIDs(OIDArray& out) const = 0;
    // The map's symmetry-image keys as 4-tuples (operator, a, b, c); empty when none.
    virtual void GetOperationIndexList(IntArray& out) const = 0;

    // Copying a cell: a new map sharing only the cell, then bound to the copy by Paste, which clones
    // the source's build result with the OIDs of atoms, objects and bonds remapped (old to new; 0,
    // a deleted one, stays 0). False when the lists do not match the source's: the map then holds
    // nothing.
    virtual std::unique_ptr<CellSymmetryMap> ShallowCopy() const = 0;
    virtual bool Paste(Cell3d* newCell, const OIDArray& oldAtoms, const OIDArray& newAtoms,
                       const OIDArray& oldObjects, const OIDArray& newObjects, const OIDArray& oldBonds,
                       const OIDArray& newBonds, const CellSymmetryMap& source) = 0;

    // Whether any map exists in the process: without one, every cell's answers are those above.
    static bool AnyExists() { return s_count > 0; }

protected:
    CellSymmetryMap() { ++s_count; }

private:
    static inline std::size_t s_count = 0;
};

} // namespace Tavrel
