#include <tavrel/chemistry/Atom.h>

#include <algorithm>
#include <deque>
#include <vector>

#include <tavrel/chemistry/BondedTraversalIterator.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Atom, ClassKind::DynamicOnly)

namespace {

constexpr const char* DonatedLonePairsKey = "__nLP";

// The smallest grid cell of bond perception: a set whose bonding radii are all 0 (metals only) still
// gets a sound grid. Only the search speed depends on the cell size.
constexpr double MinimumBondCell = 1.0;

// The pixel size of the selection marker.
constexpr double MarkerSize = 5.0;

// The live object of an OID as an Atom, else null.
Atom* LiveAtom(std::uint32_t oid)
{
    return DynCast<Atom>(Object::GetObjectA(oid));
}

constexpr const char* HybridizationNames[] = {
    "None",     "Sp",           "Sp2",        "Sp3",           "SquarePlanar",        "TrigonalBipyramid",
    "SquarePyramid", "TrigonalAntiprism", "TrigonalPrism", "Octahedral", "PentagonalBipyramid", "SquareAntiprism",
};

} // namespace

Atom::Atom() = default;

Atom::Atom(Object* parent) : Bondable(parent) {}

Atom::~Atom()
{
    DoNotify(classType, EventDestroyed, nullptr, nullptr);
}

const PropertyTable& Atom::Properties()
{
    static const PropertyTable table(
        &Bondable::Properties(),
        PropertyList<Atom>()
            .Text("SymmetryLabel")
            .GetText([](const Atom& atom) { return CrystalImageQueries::Installed().GetSymmetryLabel(atom); })
            .ReadOnly()
            .Described([](const Atom& atom) {
                std::string label = CrystalImageQueries::Installed().GetSymmetryLabel(atom);
                if (label.empty())
                    return ObjectProperty();
                return ObjectProperty("SymmetryLabel", std::move(label), ObjectProperty::AccessReadable, 0);
            }));
    return table;
}

void Atom::GetSetObjectProperties(PropertyArchive& archive)
{
    Bondable::GetSetObjectProperties(archive);
}

std::string Atom::GetLabel() const
{
    std::string label = Object::GetLabel();
    if (!label.empty())
        return label;
    return StringUtils::Format("%s%d", GetElementSymbol(), GetIndex() + 1);
}

void Atom::ChangeElement(std::string_view symbol)
{
    SetElement(symbol);
    if (CheckColorScheme(1))
        SetColor(GetElement()->GetColor());
    SetLabel(StringUtils::Format("%s%d", GetElementSymbol(), GetIndex() + 1));
    SetFormalCharge(0, 0);
    ClearDonatedLonePairs();
    if (GetNumBonds() != 1)
        return;
    const Atom* const neighbour = DynCast<Atom>(GetAttached(0));
    if (!neighbour)
        return;
    const Point3d from = neighbour->GetXYZ();
    const Point3d offset = GetXYZ() - from;
    // On top of its neighbour the atom has no direction to move along.
    if (offset == Point3d())
        return;
    SetXYZ(from + ChangeLength(offset, static_cast<double>(neighbour->GetCovalentRadius()) + GetCovalentRadius()));
}

const char* Atom::GetHybridizationName(std::int32_t code)
{
    return code >= 1 && code <= 11 ? HybridizationNames[code] : HybridizationNames[0];
}

std::string Atom::GetHybridizationAsString() const
{
    return GetHybridizationName(GetHybridization());
}

void Atom::SetHybridizationAsString(std::string_view word)
{
    for (std::int32_t code = 0; code <= 11; ++code) {
        if (StringUtils::EqualsNoCase(word, HybridizationNames[code])) {
            SetHybridization(static_cast<HybridizationType>(code));
            return;
        }
    }
}

bool Atom::HasDonatedLonePairs() const
{
    return HasProperty(DonatedLonePairsKey);
}

void Atom::ClearDonatedLonePairs()
{
    RemoveProperty(DonatedLonePairsKey);
}

void Atom::SetDonatedLonePairs()
{
    SetProperty(DonatedLonePairsKey, std::int32_t{2}, 0);
}

// ---- Bond perception and fusion

Bond* Atom::ConditionalBondAtoms(Atom* other)
{
    if (!other || other == this)
        return nullptr;
    const float reach = GetBondingRadius() + other->GetBondingRadius();
    const double reach2 = static_cast<double>(reach) * reach;
    // Equal counts; a distance that is not a number never bonds.
    if (!(GetXYZ().Distance2(other->GetXYZ()) <= reach2))
        return nullptr;
    if (FindBond(other))
        return nullptr;
    return MakeBond(other, Bond::Single);
}

int Atom::ConstructBonds(Object* root)
{
    if (!root)
        return 0;
    std::vector<Atom*> atoms;
    DescendentIterator walk(root, Atom::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        atoms.push_back(static_cast<Atom*>(object));
    if (atoms.empty())
        return 0;

    std::vector<Point3d> positions;
    positions.reserve(atoms.size());
    float largest = 0.0f;
    for (const Atom* atom : atoms) {
        positions.push_back(atom->GetXYZ());
        largest = std::max(largest, atom->GetBondingRadius());
    }
    // Every pair that ConditionalBondAtoms may bond lies within twice the largest radius.
    const double cutoff = 2.0 * static_cast<double>(largest);
    std::vector<std::uint32_t> offsets;
    IntArray neighbours;
    NeighborList(std::max(cutoff, MinimumBondCell), positions).GetAllNeighbors(cutoff, offsets, neighbours);

    // Bond events may delete atoms: every atom is watched, and used only while it lives.
    std::deque<Watch> watches;
    for (Atom* atom : atoms)
        watches.emplace_back(atom);
    int count = 0;
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        for (std::uint32_t n = offsets[i]; n < offsets[i + 1] && watches[i].alive; ++n) {
            const auto j = static_cast<std::size_t>(neighbours[n]);
            if (!watches[j].alive)
                continue;
            if (Bond* const bond = atoms[i]->ConditionalBondAtoms(atoms[j])) {
                ++count;
                bond->SetID(count);
            }
        }
    }
    return count;
}

void Atom::FindOverlaps(double tolerance, OrdCollection& result)
{
    if (!(tolerance > 0.0))
        return;
    const Point3d centre = GetXYZ();
    const double tolerance2 = tolerance * tolerance;
    BondedTraversalIterator<BreadthFirst> walk(this);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        const auto* const atom = DynCast<Geometric>(object);
        if (atom && atom != this && atom->GetXYZ().Distance2(centre) < tolerance2)
            result.Add(object);
    }
}

void Atom::FuseOverlaps(Bond::BondType type, int depth, bool hydrogens)
{
    if (GetNumHydrogens() == 0)
        return;
    const Point3d centre = GetXYZ();
    const double radius = GetCovalentRadius();
    // The walk runs to its end before anything changes, so hydrogens deleted on the way are never
    // handed out; the candidates are found again by their OIDs.
    std::vector<std::uint32_t> candidates;
    BondedTraversalIterator<DepthLimitedBreadthFirst> walk(this, depth);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        if (object != this)
            candidates.push_back(object->GetOID());
    }
    const Watch self(this);
    for (const std::uint32_t oid : candidates) {
        if (!self.alive)
            return;
        Atom* const other = LiveAtom(oid);
        if (!other || other->GetAtomicNumber() == 1 || FindBond(other) || other->GetNumHydrogens() == 0)
            continue;
        const double limit = static_cast<double>(other->GetCovalentRadius()) + radius;
        if (!(other->GetXYZ().Distance2(centre) < 1.2 * limit * limit))
            continue;
        const Watch watched(other);
        const auto bothAlive = [&] { return self.alive && watched.alive; };
        if (hydrogens) {
            RemoveHydrogens(AllHydrogens);
            if (bothAlive())
                other->RemoveHydrogens(AllHydrogens);
        }
        if (!bothAlive())
            continue;
        if (Bond* const bond = MakeBond(other, Bond::Single))
            bond->SetType(type);
        for (Atom* end : {static_cast<Atom*>(this), other}) {
            if (bothAlive())
                end->SetHybridization(PerceiveRequest);
        }
        if (!hydrogens)
            continue;
        for (Atom* end : {static_cast<Atom*>(this), other}) {
            if (bothAlive())
                end->UpdateHydrogens(AllHydrogens, true);
        }
    }
}

void Atom::FuseChain(OrdCollection& chain, float, int index)
{
    auto* const fused = DynCast<Atom>(chain.GetAt(index));
    if (!fused || fused == this || fused->GetNumBonds() == 0)
        return;
    const int count = chain.GetNumItems();
    const int bonds = GetNumBonds();
    const int hydrogens = GetNumHydrogens();

    // The direction of attachment: the first valence direction not taken by a bond to a heavy atom.
    Point3d::Array directions;
    GetValenceSproutVectors(directions);
    Point3d direction;
    if (bonds - hydrogens >= 0 && static_cast<std::size_t>(bonds - hydrogens) < directions.size()) {
        direction = directions[static_cast<std::size_t>(bonds - hydrogens)];
    } else {
        direction.Randomize();
        direction.Normalize();
    }

    const Watch self(this);
    const Watch fusedWatch(fused);
    const auto moveChain = [&](const auto& move) {
        for (int i = 0; i < count && self.alive; ++i) {
            if (auto* const member = DynCast<Geometric>(chain.GetAt(i)))
                member->SetXYZ(move(member->GetXYZ()));
        }
    };
    // The fused atom goes to this atom, its first neighbour along the direction.
    const Point3d start = fused->GetXYZ();
    const Point3d bondVector = fused->GetAttached(0)->GetXYZ() - start;
    const Point3d centre = GetXYZ();
    Matrix4x4 turn;
    turn.SetRotation(bondVector, direction);
    moveChain([&](const Point3d& p) { return (p - start) * turn + centre; });
    if (!self.alive || !fusedWatch.alive)
        return;

    // The torsion about the new bond.
    const int fusedBonds = fused->GetNumBonds();
    const int fusedHydrogens = fused->GetNumHydrogens();
    directions.clear();
    fused->GetValenceSproutVectors(directions);
    const int free = fusedBonds - fusedHydrogens;
    if (bonds >= 1 && GetNumBonds() >= 1 && free >= 0 && static_cast<std::size_t>(free) < directions.size()) {
        const Point3d along = directions[static_cast<std::size_t>(free)];
        const double angle = Angle(GetAttached(0)->GetXYZ(), centre, centre + along);
        turn.SetRotation(direction, centre, -angle);
        moveChain([&](const Point3d& p) { return p * turn; });
    }

    std::vector<bool> skipped(static_cast<std::size_t>(count));
    std::vector<bool> present(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const Object* const member = chain.GetAt(i);
        const auto* const atom = DynCast<Atom>(member);
        skipped[static_cast<std::size_t>(i)] = atom && atom->GetAtomicNumber() == 1;
        present[static_cast<std::size_t>(i)] = member != nullptr;
    }
    const bool hadHydrogens = hydrogens > 0 || fusedHydrogens > 0;
    for (int i = 0; i < count && self.alive; ++i) {
        Object* const member = chain.GetAt(i);
        if (!member || skipped[static_cast<std::size_t>(i)])
            continue;
        member->SetDisplayStyle(GetDisplayStyle());
        if (i != index || !self.alive || !fusedWatch.alive)
            continue;
        ChangeElement(fused->GetElementSymbol());
        if (hadHydrogens && self.alive && fusedWatch.alive) {
            RemoveHydrogens(AllHydrogens);
            if (self.alive && fusedWatch.alive)
                fused->RemoveHydrogens(AllHydrogens);
        }
        if (!self.alive || !fusedWatch.alive)
            continue;
        Fuse(fused);
        if (hadHydrogens && self.alive)
            UpdateHydrogens(AllHydrogens, true);
    }

    // The fused atom, and every entry whose atom was deleted meanwhile, leave the chain.
    std::vector<Object*> kept;
    for (int i = 0; i < chain.GetNumItems(); ++i) {
        Object* const member = chain.GetAt(i);
        const bool died = i < count && present[static_cast<std::size_t>(i)] && !member;
        if (i != index && !died)
            kept.push_back(member);
    }
    chain.RemoveAll();
    for (Object* member : kept)
        chain.Add(member);
}

// ---- Display

float Atom::GetDisplaySize() const
{
    switch (GetDisplayStyle()) {
    case StyleStick:
    case StylePolyhedron:
    case StyleStickSingle: return GetStickRadius();
    case StyleBallAndStick:
    case StyleBallAndStickSingle: return GetBallSize();
    case StyleCPK: return GetCPKScale() * GetVDWRadius();
    case StyleScaledBallAndStick:
    case StyleScaledBallAndStickSingle: return GetBallSize() * GetVDWRadius() * 0.75f;
    default: return 0.0f;
    }
}

Point3d Atom::GetAnnotationXYZ() const
{
    return GetXYZ() + Point3d(0.0, 0.0, GetDisplaySize() + 0.1);
}

Color Atom::GetDisplayColor() const
{
    return IsSelected() ? Color::Selected() : GetColor();
}

void Atom::DisplayJackIfUnbonded(const Color& color, DisplayList3D& list) const
{
    if (HasNoVisibleBonds())
        DisplayJack(color, GetOID(), list);
}

void Atom::NormalDisplay(DisplayList3D& list)
{
    const Color color = GetDisplayColor();
    switch (GetDisplayStyle()) {
    case StyleLine:
    case StyleLineSingle:
        if (IsSelected())
            list.Add(Rect2DPrimitive(GetXYZ(), Color::Selected(), MarkerSize, MarkerSize, 0));
        DisplayJackIfUnbonded(color, list);
        return;
    case StylePolyhedron:
        if (GetNumBonds() >= 4) {
            DisplayPolyhedron(color, GetOID(), list);
            return;
        }
        [[fallthrough]];
    case StyleStick:
    case StyleBallAndStick:
    case StyleCPK:
    case StyleStickSingle:
    case StyleBallAndStickSingle:
    case StyleScaledBallAndStick:
    case StyleScaledBallAndStickSingle: list.Add(SpherePrimitive(GetXYZ(), GetDisplaySize(), color, GetOID())); return;
    default: return;
    }
}

void Atom::FastDisplay(DisplayList3D& list)
{
    if (IsSelected())
        list.Add(Rect2DPrimitive(GetXYZ(), Color::Selected(), MarkerSize, MarkerSize, GetOID()));
    DisplayJackIfUnbonded(GetDisplayColor(), list);
}

void Atom::DisplayPolyhedron(const Color& color, std::uint32_t oid, DisplayList3D& list)
{
    const int count = GetNumAttached();
    if (count < 4)
        return;
    Point3d::Array corners;
    corners.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        corners.push_back(GetAttached(i)->GetXYZ());
    std::vector<TetrahedronPrimitive> tetrahedra;
    TetrahedronPrimitive::DecomposePolyhedron(tetrahedra, corners);
    for (TetrahedronPrimitive& tetrahedron : tetrahedra) {
        tetrahedron.SetColor(color);
        tetrahedron.SetOID(oid);
        list.Add(tetrahedron);
    }
}

} // namespace Tavrel
