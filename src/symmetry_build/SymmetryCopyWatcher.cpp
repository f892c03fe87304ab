#include <tavrel/symmetry_build/SymmetryCopyWatcher.h>

#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

namespace Tavrel {

namespace {

// The cell's operator of the replica, null when the cell has none of that number.
const SymmetryOp* OperatorOf(const Cell3d& cell, const ReplicateAtom& replica)
{
    const Symmetry* const symmetry = cell.GetSymmetry();
    return symmetry && symmetry->GetNumSymmetryOps() > 0 ? symmetry->GetSymmetryOp(replica.GetSymmetryOperator())
                                                         : nullptr;
}

// The replica's fractional position for its parent at p: its operator (when the cell has it) applied
// to p, shifted by its lattice offset.
Point3d ImageOf(const Point3d& p, const SymmetryOp* op, const ReplicateAtom& replica)
{
    Point3d q = p;
    if (op)
        op->TransformPoint(p, q);
    const LatticeOffset offset = replica.GetLatticeOffset();
    return q + Point3d(offset.a, offset.b, offset.c);
}

} // namespace

SymmetryCopyWatcher::SymmetryCopyWatcher(Cell3d* cell) : RootEventListener(cell)
{
    AttachRoot();
    Subscribe();
}

SymmetryCopyWatcher::~SymmetryCopyWatcher()
{
    DetachRoot();
    UnregisterAll();
}

std::span<const RootEventListener::Registration> SymmetryCopyWatcher::Registrations() const
{
    using L = SymmetryCopyWatcher;
    static const Registration registrations[] = {
        {Geometric::classType, Geometric::EventMoved, &Deliver<L, &L::OnObjectMoved>},
    };
    return registrations;
}

void SymmetryCopyWatcher::OnObjectMoved(std::uint32_t oid)
{
    if (!oid || !IsEnabled())
        return;
    if (GetSymmetryMap()) {
        Forward([oid](SymmetryMap& map) { map.OnAtomXYZChanged(oid); });
        return;
    }
    const Cell3d* const cell = GetCell();
    const Object* const object = cell ? Object::GetObjectA(oid) : nullptr;
    if (!object || !object->HasAncestor(cell))
        return;
    Disable();
    if (const auto* const replica = DynCast<ReplicateAtom>(object))
        MoveChemicalParent(*cell, *replica);
    else if (const auto* const atom = DynCast<Atom3d>(object))
        MoveReplicas(*cell, *atom);
    Enable();
}

void SymmetryCopyWatcher::MoveReplicas(const Cell3d& cell, const Atom3d& atom) const
{
    const Point3d p = atom.GetXYZ() * cell.GetCartToFrac();
    const Matrix3x3 toCartesian = cell.GetFracToCart();
    std::vector<ReplicateAtom*> replicas;
    DescendentIterator walk(const_cast<Atom3d*>(&atom), ReplicateAtom::classType, false);
    while (Object* const found = walk.GetNext())
        replicas.push_back(static_cast<ReplicateAtom*>(found));
    for (ReplicateAtom* const replica : replicas)
        replica->SetXYZ(ImageOf(p, OperatorOf(cell, *replica), *replica) * toCartesian);
}

void SymmetryCopyWatcher::MoveChemicalParent(const Cell3d& cell, const ReplicateAtom& replica) const
{
    Atom3d* const parent = replica.GetChemicalParent();
    if (!parent)
        return;
    const Point3d p = parent->GetXYZ() * cell.GetCartToFrac();
    const SymmetryOp* const op = OperatorOf(cell, replica);
    Point3d d = replica.GetXYZ() * cell.GetCartToFrac() - ImageOf(p, op, replica);
    if (op) {
        Matrix3x3 inverse = op->GetMatrix().GetMatrix3x3();
        if (inverse.Invert())
            d = d * inverse;
    }
    parent->SetXYZ((p + d) * cell.GetFracToCart());
    MoveReplicas(cell, *parent);
}

} // namespace Tavrel
