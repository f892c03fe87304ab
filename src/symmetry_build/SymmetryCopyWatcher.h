// SymmetryCopyWatcher: keeps the images of an atom below a cell where its symmetry puts them when it moves.
#pragma once

#include <cstdint>

#include <tavrel/symmetry_build/RootEventListener.h>

namespace Tavrel {

class Atom3d;
class ReplicateAtom;

// Hears every move below the cell. With a map the map re-places the moved atom's family; when the
// cell answers no map, the watcher moves the cell's replica atoms itself: a moved atom's replicas
// follow it, and a moved replica moves its chemical parent (and so its other replicas) to match.
class SymmetryCopyWatcher final : public RootEventListener {
public:
    explicit SymmetryCopyWatcher(Cell3d* cell);
    ~SymmetryCopyWatcher() override;

    // Nothing for OID 0.
    void OnObjectMoved(std::uint32_t oid);

private:
    std::span<const Registration> Registrations() const override;
    void MoveReplicas(const Cell3d& cell, const Atom3d& atom) const;
    void MoveChemicalParent(const Cell3d& cell, const ReplicateAtom& replica) const;
};

} // namespace Tavrel
