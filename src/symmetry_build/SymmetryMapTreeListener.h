// SymmetryMapTreeListener: hands the creation, deletion and moves of nodes, atoms and bonds below a cell to its symmetry map.
#pragma once

#include <cstdint>

#include <tavrel/symmetry_build/RootEventListener.h>

namespace Tavrel {

// Hears (TreeNode: created, deleted, changed parent), (Atom3d: added to a molecule, deleted) and
// (Bond: deleted) below the cell.
class SymmetryMapTreeListener final : public RootEventListener {
public:
    explicit SymmetryMapTreeListener(Cell3d* cell);
    ~SymmetryMapTreeListener() override;

    void OnObjectAdded(std::uint32_t oid);
    void OnObjectDeleted(std::uint32_t oid);
    void OnObjectMoved(std::uint32_t oid);
    void OnAtomAdded(std::uint32_t oid);
    void OnAtomDeleted(std::uint32_t oid);
    void OnBondDeleted(std::uint32_t oid);

private:
    std::span<const Registration> Registrations() const override;
};

} // namespace Tavrel
