#include <tavrel/crystal/CellReplicas.h>

#include <algorithm>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/BondAttributes.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/foundation/DescendentIterator.h>

namespace Tavrel {

std::size_t CellReplicas::KeyHash::operator()(const Key& key) const noexcept
{
    const std::uint64_t high = std::uint64_t{key.parent} << 32 | static_cast<std::uint16_t>(key.op) << 16 |
                               static_cast<std::uint16_t>(key.offset.a);
    const std::uint64_t low = std::uint64_t{static_cast<std::uint16_t>(key.offset.b)} << 16 |
                              static_cast<std::uint16_t>(key.offset.c);
    return static_cast<std::size_t>(MixBits(MixBits(high) ^ low));
}

CellReplicas::CellReplicas(Cell3d& cell) : m_cell(cell), m_replicas(Key{0, 0, {}})
{
    if (!ReplicateAtom::ExistBelow(cell))
        return;
    DescendentIterator walk(&cell, ReplicateAtom::classType, false);
    while (Object* const object = walk.GetNext())
        Add(*static_cast<ReplicateAtom*>(object));
    m_empty = false;
}

bool CellReplicas::Matches(const ReplicateAtom& replica, const Key& key)
{
    const TreeNode* const parent = replica.GetParent();
    return parent && parent->GetOID() == key.parent && replica.GetSymmetryOperator() == key.op &&
           replica.GetLatticeOffset().IsSame(key.offset);
}

void CellReplicas::Add(const ReplicateAtom& replica)
{
    m_empty = false;
    const TreeNode* const parent = replica.TreeNode::GetParent();
    if (!parent)
        return;
    const int children = parent->GetNumChildren();
    // Only periodic replicas are indexed: a symmetry replica counts only when it takes its parent
    // beyond a few children.
    if (children <= FewChildren || (children > FewChildren + 1 && !replica.GetLatticeOffset().IsPeriodic()))
        return;
    // A parent that has just grown beyond a few children has its periodic replicas indexed.
    if (children == FewChildren + 1) {
        for (int i = 0; i < parent->GetNumChildren(); ++i) {
            if (const auto* const child = DynCast<ReplicateAtom>(parent->GetChild(i)))
                Index(*child);
        }
        return;
    }
    Index(replica);
}

void CellReplicas::Index(const ReplicateAtom& replica)
{
    if (!replica.GetLatticeOffset().IsPeriodic())
        return;
    const Key key{replica.GetParent()->GetOID(), replica.GetSymmetryOperator(), replica.GetLatticeOffset()};
    const auto [stored, added] = m_replicas.Insert(key, replica.GetOID());
    if (added)
        return;
    // A replica indexed earlier that no longer holds its key gives way.
    const auto* const earlier = DynCast<ReplicateAtom>(Base::GetObjectA(*stored));
    if (!earlier || !Matches(*earlier, key))
        *stored = replica.GetOID();
}

ReplicateAtom* CellReplicas::Find(const Atom& parent, std::int16_t op, const LatticeOffset& offset) const
{
    const int children = parent.GetNumChildren();
    if (!offset.IsPeriodic() || children <= FewChildren) {
        for (int i = 0; i < children; ++i) {
            auto* const child = DynCast<ReplicateAtom>(parent.TreeNode::GetChild(i));
            if (child && child->ReplicateAtom::GetSymmetryOperator() == op &&
                child->ReplicateAtom::GetLatticeOffset().IsSame(offset))
                return child;
        }
        return nullptr;
    }
    const Key key{parent.GetOID(), op, offset};
    const std::uint32_t* const oid = m_replicas.Find(key);
    if (!oid)
        return nullptr;
    auto* const replica = DynCast<ReplicateAtom>(Base::GetObjectA(*oid));
    return replica && Matches(*replica, key) ? replica : nullptr;
}

ReplicateAtom* CellReplicas::FindSymmetryAtom(const Atom& atom, std::int16_t op) const
{
    return op > 0 ? Find(atom, op, LatticeOffset()) : nullptr;
}

void CellReplicas::SymmetryReplicasOf(const Atom& atom, int count, std::vector<std::uint32_t>& byOperator)
{
    byOperator.assign(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (int i = 0; i < atom.GetNumChildren(); ++i) {
        const auto* const child = DynCast<ReplicateAtom>(atom.GetChild(i));
        if (!child || !child->IsSymmetric() || child->IsPeriodic() || child->GetSymmetryOperator() >= count)
            continue;
        std::uint32_t& slot = byOperator[static_cast<std::size_t>(child->GetSymmetryOperator())];
        if (slot == 0)
            slot = child->GetOID();
    }
}

ReplicateAtom* CellReplicas::FindPeriodicAtom(const Atom& atom, const LatticeOffset& offset) const
{
    return offset.IsPeriodic() ? Find(atom, atom.GetSymmetryOperator(), offset) : nullptr;
}

ReplicateAtom* CellReplicas::MakeSymmetryAtom(Atom* atom, int op, const Point3d& position)
{
    return MakeSymmetryAtom(atom, op, position, atom->GetLabel());
}

ReplicateAtom* CellReplicas::MakeSymmetryAtom(Atom* atom, int op, const Point3d& position, std::string_view label)
{
    // An atom's first replica makes room for one by each other operator at once.
    if (atom->GetNumChildren() == 0)
        atom->ReserveChildren(m_cell.GetSymmetry()->GetNumSymmetryOps() - 1);
    auto* const replica = new ReplicateAtom();
    replica->MakeSymmetric(atom, op, &m_cell, position, LatticeOffset(), label);
    Add(*replica);
    return replica;
}

bool CellReplicas::MakeSymmetryAtoms(Atom* atom, std::span<const Point3d> positions, std::string_view label,
                                     std::vector<TreeNode*>& made, bool hidden)
{
    made.clear();
    if (!ReplicateAtom::MakeSymmetricFamily(*atom, &m_cell, positions, label, made, hidden))
        return false;
    // Only periodic replicas are indexed, and the atom holds none.
    m_empty = false;
    return true;
}

ReplicateAtom* CellReplicas::MakePeriodicAtom(Atom* parent, const LatticeOffset& offset, const Point3d* position)
{
    auto* const replica = new ReplicateAtom();
    if (position) {
        replica->MakePeriodic(parent, offset, &m_cell, *position);
    } else if (!replica->MakePeriodic(parent, offset, &m_cell)) {
        delete replica;
        return nullptr;
    }
    Add(*replica);
    return replica;
}

Atom* CellReplicas::DeriveSymmetryAtom(Atom3d* atom, int op, const Point3d& position)
{
    if (ReplicateAtom* const known = FindSymmetryAtom(*atom, static_cast<std::int16_t>(op)))
        return known;
    return MakeSymmetryAtom(atom, op, position);
}

bool CellReplicas::Base(Atom*& atom, LatticeOffset& offset)
{
    if (!atom->IsPeriodic())
        return true;
    offset += atom->GetLatticeOffset();
    atom = DynCast<Atom>(atom->GetParent());
    return atom != nullptr;
}

Atom* CellReplicas::DerivePeriodicAtom(Atom* atom, LatticeOffset offset)
{
    return Derive(atom, offset, nullptr);
}

Atom* CellReplicas::DerivePeriodicAtom(Atom* atom, LatticeOffset offset, const Point3d& fractional)
{
    return Derive(atom, offset, &fractional);
}

Atom* CellReplicas::Derive(Atom* atom, LatticeOffset offset, const Point3d* fractional)
{
    const std::int16_t op = atom->GetSymmetryOperator();
    const LatticeOffset shift = offset;
    Atom* base = atom;
    if (!Base(base, offset))
        return nullptr;
    if (!offset.IsPeriodic())
        return base;
    if (ReplicateAtom* const known = Find(*base, op, offset))
        return known;
    if (!fractional)
        return MakePeriodicAtom(base, offset, nullptr);
    const Point3d shifted(double(fractional->x) + shift.a, double(fractional->y) + shift.b,
                          double(fractional->z) + shift.c);
    const Point3d position = shifted * m_cell.GetFracToCart();
    return MakePeriodicAtom(base, offset, &position);
}

Atom* CellReplicas::DerivePeriodicBondedAtom(Atom* atom, LatticeOffset offset, const Point3d& fractional)
{
    Atom* const image = DerivePeriodicAtom(atom, offset, fractional);
    if (!image)
        return nullptr;
    const TreeNode::Watch imageAlive(image);
    const TreeNode::Watch atomAlive(atom);
    image->SetClipped(false);
    if (!imageAlive.alive || !atomAlive.alive || image->GetNumBonds() >= atom->GetNumBonds())
        return imageAlive.alive ? image : nullptr;
    for (int k = 0; imageAlive.alive && atomAlive.alive && k < atom->GetNumBonds(); ++k) {
        auto* const bonded = DynCast<Atom>(atom->GetAttached(k));
        if (!bonded || IsA<ConformerAtom>(bonded))
            continue;
        Atom* base = bonded;
        LatticeOffset shift;
        if (bonded->IsPeriodic()) {
            const auto* const replica = DynCast<ReplicateAtom>(bonded);
            base = replica ? replica->GetPeriodicParent() : nullptr;
            shift = bonded->GetLatticeOffset();
            if (!base)
                continue;
        }
        shift += offset;
        Atom* partner = shift.IsPeriodic() ? FindPeriodicAtom(*base, shift) : base;
        if (!partner) {
            partner = DerivePeriodicAtom(base, shift);
            if (!partner)
                continue;
            partner->SetClipped(true);
        }
        if (!imageAlive.alive || !atomAlive.alive || image->IsBonded(partner))
            continue;
        const BondAttributes attributes(*atom->GetBond(k));
        if (Bond* const bond = image->MakeBond(partner, Bond::Single))
            attributes.ApplyTo(*bond);
    }
    return imageAlive.alive ? image : nullptr;
}

} // namespace Tavrel
