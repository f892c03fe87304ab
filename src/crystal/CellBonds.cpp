#include <tavrel/crystal/CellBonds.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/BondAttributes.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellReplicas.h>
#include <tavrel/crystal/ImageGrid.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>

namespace Tavrel {

namespace {

// The identifier of a bond made for asymmetric record `index`: the cell's ID x 1000 + index,
// computed in 64 bits and wrapped to 32 as the stored identifier is.
std::int32_t BondIdentifier(std::int32_t cellID, std::size_t index)
{
    const std::int64_t wide = std::int64_t{cellID} * 1000 + static_cast<std::int64_t>(index);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

// The atom a periodic image shifts and the image's offset; the atom itself and (0, 0, 0) when it is
// not periodic. Null for a periodic atom without a periodic parent.
Atom* PeriodicParent(Atom* atom, LatticeOffset& offset)
{
    offset.Clear();
    if (!atom->IsPeriodic())
        return atom;
    offset = atom->GetLatticeOffset();
    const auto* const replica = DynCast<ReplicateAtom>(atom);
    return replica ? replica->GetPeriodicParent() : nullptr;
}

} // namespace

CellBonds::CellBonds(CellReplicas& replicas) : m_replicas(replicas) {}

bool CellBonds::DoSymmetryBonds(Cell::AtomDataArray& list)
{
    Cell3d& cell = m_replicas.GetCell();
    const Symmetry* const symmetry = cell.GetSymmetry();
    const int numOps = symmetry->GetNumSymmetryOps();
    if (numOps <= 1 || list.empty())
        return false;
    const double tolerance = cell.GetBuildInfo().GetSameTol();
    const Matrix3x3 fracToCart = cell.GetFracToCart();
    const Matrix3x3 cartToFrac = cell.GetCartToFrac();
    const std::int32_t cellID = cell.GetID();

    // The replica of atom standing for image `op` at the position: its symmetry replica, else (an
    // image on a special position) the replica found there, or the atom itself.
    const auto imageOf = [this, tolerance](Atom* atom, int op, const Point3d& position) -> Atom* {
        if (position.Compare(atom->GetXYZ(), tolerance))
            return atom;
        if (IsA<Atom3d>(atom)) {
            if (ReplicateAtom* const replica = m_replicas.FindSymmetryAtom(*atom, static_cast<std::int16_t>(op)))
                return replica;
        }
        return ReplicateAtom::FindReplicateAtom(atom, position);
    };

    // The images of the atom at hand by each operator, found once for all its bonds: again after a
    // callback or a new periodic replica, which might change what imageOf finds.
    std::vector<Point3d> atomImages(static_cast<std::size_t>(numOps));
    std::vector<Atom*> atomReplicas(static_cast<std::size_t>(numOps));
    bool imagesKnown = false;
    std::uint64_t imagesTaken = 0;
    bool madePeriodic = false;
    const auto takeImages = [&](Atom* atom, const Point3d& p) {
        if (imagesKnown && imagesTaken == TreeNode::GetCallbacksRun() && !madePeriodic)
            return;
        for (int op = 1; op < numOps; ++op) {
            symmetry->GetSymmetryOp(op)->TransformPoint(p, atomImages[static_cast<std::size_t>(op)]);
            atomReplicas[static_cast<std::size_t>(op)] =
                imageOf(atom, op, atomImages[static_cast<std::size_t>(op)] * fracToCart);
        }
        imagesKnown = true;
        imagesTaken = TreeNode::GetCallbacksRun();
        madePeriodic = false;
    };

    bool made = false;
    for (std::size_t i = 0; i < list.size(); ++i) {
        Cell::PrefetchAhead(list, i);
        Atom* const atom = list[i].Live();
        if (!atom || atom->IsSymmetric() || atom->IsPeriodic())
            continue;
        const std::int32_t identifier = BondIdentifier(cellID, i);
        const TreeNode::Watch atomAlive(atom);
        imagesKnown = false;
        // Makes the bond unless there is one, with the source's attributes.
        const auto bondOnce = [&made, identifier](Atom* from, Atom* to, const std::optional<BondAttributes>& source) {
            if (!from || !to || from->IsBonded(to))
                return;
            Bond* const bond = from->MakeBond(to, Bond::Single);
            if (!bond)
                return;
            made = true;
            const TreeNode::Watch alive(bond);
            bond->SetID(identifier);
            if (source && alive.alive)
                source->ApplyTo(*bond);
        };
        for (int k = 0; atomAlive.alive && k < atom->GetNumBonds(); ++k) {
            auto* const bonded = DynCast<Atom>(atom->GetAttached(k));
            if (!bonded || IsA<ConformerAtom>(bonded))
                continue;
            const TreeNode::Watch bondedAlive(bonded);
            const Point3d p = list[i].xyz;
            const Point3d q = bonded->GetXYZ() * cartToFrac;
            for (int op = 1; op < numOps && atomAlive.alive && bondedAlive.alive; ++op) {
                takeImages(atom, p);
                Point3d imageQ;
                symmetry->GetSymmetryOp(op)->TransformPoint(q, imageQ);
                Atom* const first = atomReplicas[static_cast<std::size_t>(op)];
                Atom* const second = first ? imageOf(bonded, op, imageQ * fracToCart) : nullptr;
                if (!second)
                    continue;
                std::optional<BondAttributes> source;
                if (const Bond* const bond = atom->FindBond(bonded))
                    source.emplace(*bond);
                const TreeNode::Watch firstAlive(first);
                const TreeNode::Watch secondAlive(second);
                bondOnce(first, second, source);
                // A bond crossing a cell face is closed on the other side too.
                if (!firstAlive.alive || !secondAlive.alive || !(first->IsPeriodic() || second->IsPeriodic()))
                    continue;
                LatticeOffset firstOffset;
                LatticeOffset secondOffset;
                Atom* const firstParent = PeriodicParent(first, firstOffset);
                Atom* const secondParent = PeriodicParent(second, secondOffset);
                const LatticeOffset shift = secondOffset - firstOffset;
                if (first->IsPeriodic() && firstParent && secondParent && shift.IsPeriodic()) {
                    Atom* partner = m_replicas.FindPeriodicAtom(*secondParent, shift);
                    if (!partner) {
                        partner = m_replicas.MakePeriodicAtom(secondParent, shift, nullptr);
                        madePeriodic = true;
                    }
                    bondOnce(firstParent, partner, source);
                }
                if (second->IsPeriodic() && !(first->IsPeriodic() && !shift.IsPeriodic()) && firstParent &&
                    secondParent) {
                    const LatticeOffset back = LatticeOffset() - shift;
                    Atom* partner = m_replicas.FindPeriodicAtom(*firstParent, back);
                    if (!partner && back.IsPeriodic()) {
                        partner = m_replicas.MakePeriodicAtom(firstParent, back, nullptr);
                        madePeriodic = true;
                    }
                    bondOnce(secondParent, partner, source);
                }
            }
        }
    }
    return made;
}

bool CellBonds::DoProximityBonds(Cell::AtomDataArray& list)
{
    Cell3d& cell = m_replicas.GetCell();
    const Matrix3x3 fracToCart = cell.GetFracToCart();
    // The records up to the first one whose atom is gone.
    std::size_t count = 0;
    while (count < list.size() && list[count].Live())
        ++count;

    double largest = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!list[i].atom->IsSymmetric())
            largest = std::max(largest, double(list[i].atom->GetElement()->GetBondingRadius()));
    }

    // The 27 lattice shifts, a slowest, c fastest, (0, 0, 0) last.
    std::vector<LatticeOffset> shifts;
    for (int a = -1; a <= 1; ++a) {
        for (int b = -1; b <= 1; ++b) {
            for (int c = -1; c <= 1; ++c) {
                if (a != 0 || b != 0 || c != 0)
                    shifts.emplace_back(a, b, c);
            }
        }
    }
    shifts.emplace_back(0, 0, 0);
    std::vector<Point3d> shiftVectors;
    for (const LatticeOffset& s : shifts)
        shiftVectors.push_back(Point3d(s.a, s.b, s.c) * fracToCart);

    // The Cartesian box of the cell's corners, enlarged by twice the largest radius.
    Point3d cellLow = Point3d::maximum;
    Point3d cellHigh = Point3d::minimum;
    for (int corner = 0; corner < 8; ++corner) {
        const Point3d at = Point3d(corner & 1, (corner >> 1) & 1, (corner >> 2) & 1) * fracToCart;
        cellLow.Minimum(at);
        cellHigh.Maximum(at);
    }
    const Point3d margin(2.0 * largest, 2.0 * largest, 2.0 * largest);
    const Point3d low = cellLow - margin;
    const Point3d high = cellHigh + margin;

    // Each record moved into the cell: its wrapped position in the grid, the in-cell offset of its own.
    ImageGrid grid(cellLow, cellHigh, count, largest);
    grid.Reserve(count);
    std::vector<LatticeOffset> home(count);
    std::vector<Point3d> inCell(count);
    // The translation that brings a fractional point into the cell, and the point moved by it.
    const auto intoCell = [&cell](Point3d& p) {
        LatticeOffset offset;
        const bool inside = cell.InsideCell(p, offset, true, false);
        offset.Negate();
        if (!inside)
            p = Point3d(double(p.x) + offset.a, double(p.y) + offset.b, double(p.z) + offset.c);
        return offset;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const Point3d& f = list[i].xyz;
        Point3d wrapped(f.x - std::floor(f.x), f.y - std::floor(f.y), f.z - std::floor(f.z));
        intoCell(wrapped);
        grid.Add(wrapped * fracToCart, {static_cast<std::uint32_t>(i), 0});
        Point3d raw = f;
        home[i] = intoCell(raw);
        inCell[i] = raw * fracToCart;
    }

    const auto inside = [&low, &high](const Point3d& p) {
        return p.x >= low.x && p.x <= high.x && p.y >= low.y && p.y <= high.y && p.z >= low.z && p.z <= high.z;
    };
    for (std::size_t i = 0; i < count; ++i) {
        Atom* const atom = list[i].Live();
        if (!atom)
            break;
        const TreeNode::Watch alive(atom);
        const double radius = atom->GetElement()->GetBondingRadius();
        for (std::size_t s = 0; s < shifts.size() && alive.alive; ++s) {
            const Point3d at = inCell[i] + shiftVectors[s];
            if (!inside(at))
                continue;
            std::vector<std::uint32_t> near;
            grid.ForEachNear(at, radius + largest, [&near](ImageGrid::Tag tag) {
                near.push_back(tag.record);
                return true;
            });
            std::sort(near.begin(), near.end());
            for (const std::uint32_t j : near) {
                const bool zeroShift = s + 1 == shifts.size();
                if ((zeroShift && j == i) || !alive.alive)
                    continue;
                Atom* const other = list[j].Live();
                if (!other)
                    continue;
                const LatticeOffset offset = home[j] - shifts[s] - home[i];
                // Only a pair within bonding distance is given an image to bond to: the image is made
                // for the bond and for nothing else.
                const Point3d image = Point3d(double(list[j].xyz.x) + offset.a, double(list[j].xyz.y) + offset.b,
                                              double(list[j].xyz.z) + offset.c) *
                                      fracToCart;
                const double reach = double(atom->GetBondingRadius()) + other->GetBondingRadius();
                if (!(atom->GetXYZ().Distance2(image) <= reach * reach))
                    continue;
                Atom* const partner = m_replicas.DerivePeriodicAtom(other, offset);
                if (partner && partner != atom && alive.alive)
                    atom->ConditionalBondAtoms(partner);
            }
        }
    }
    return true;
}

} // namespace Tavrel
