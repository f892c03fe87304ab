// CrystalImageQueries: what atoms and bonds ask of the crystal cell above them, answered by a higher folder.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/core/LatticeOffset.h>

namespace Tavrel {

class Object;
class TreeNode;
struct Point3d;

// The crystal folder installs the answers at start-up. The answers given here are those of an
// object with no cell above it: no image, operator 0, no lattice offset, no symmetry label, crystal
// markers dropped on copying, nothing clipped.
class CrystalImageQueries {
public:
    virtual ~CrystalImageQueries() = default;

    // Whether the cell's symmetry map records the object as a lattice-translated image.
    virtual bool IsPeriodic(const Object& object) const;
    // Whether the cell's symmetry map records the object as a symmetry image.
    virtual bool IsSymmetric(const Object& object) const;
    // The index of the operator that produced the object.
    virtual std::int16_t GetSymmetryOperator(const Object& object) const;
    virtual LatticeOffset GetLatticeOffset(const Object& object) const;
    // The object's label decorated with its image; empty outside a cell.
    virtual std::string GetSymmetryLabel(const Object& object) const;
    // Whether a copy rooted at copyRoot takes the object's cell along, so that the copy keeps the
    // crystal markers the build left on the object.
    virtual bool IsCellCopied(const Object& object, const TreeNode* copyRoot) const;
    // Whether the cell around the object clips a point (Cartesian) of its display.
    virtual bool IsClipped(const Object& object, const Point3d& position) const;

    // The installed answers.
    static const CrystalImageQueries& Installed();
    // Installs the answers (null: those given here) and returns the ones replaced; they must outlive
    // their installation.
    static const CrystalImageQueries* Install(const CrystalImageQueries* queries);
};

} // namespace Tavrel
