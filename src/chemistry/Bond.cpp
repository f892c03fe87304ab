#include <tavrel/chemistry/Bond.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Bondable.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Bond)

namespace {

constexpr const char* ConformerIndexKey = "_~bci~_";

struct NamedType {
    const char* name;
    Bond::BondType type;
};

// The words SetType takes, in the order they are tried.
constexpr NamedType SettableTypes[] = {
    {"Ionic", Bond::Ionic},       {"Single", Bond::Single},
    {"Partial double", Bond::PartialDouble}, {"Aromatic", Bond::Aromatic},
    {"Double", Bond::Double},     {"Partial Triple", Bond::PartialTriple},
    {"Triple", Bond::Triple},     {"Quadruple", Bond::Quadruple},
    {"Pi", Bond::Pi},             {"Dative", Bond::Dative},
    {"Dative double", Bond::DativeDouble}, {"Dative triple", Bond::DativeTriple},
    {"Dative quadruple", Bond::DativeQuadruple},
};

bool IsDative(Bond::BondType type)
{
    return type >= Bond::Dative && type <= Bond::DativeQuadruple;
}

Object* CommonParent(Bondable* atom1, Bondable* atom2)
{
    return atom1 && atom2 ? DynCast<Object>(atom1->TreeNode::FindCommonAncestor(atom2)) : nullptr;
}

// The nearest ancestor that is not an atom.
const Object* Container(const Bondable* end)
{
    const Object* above = end->GetParent();
    while (above && IsA<Atom>(above))
        above = above->GetParent();
    return above;
}

std::string Label(const Object* object)
{
    return object ? object->GetLabel() : std::string();
}

// Whether a bond's label is being made on this thread: a container's label that asks for a bond's
// label again (a bond holding an end of its own) gets the ends' labels alone.
thread_local bool t_labelling = false;

// Partial double, aromatic and double bonds draw two lines; partial triple and triple three.
bool IsDoubleType(Bond::BondType type)
{
    return type == Bond::PartialDouble || type == Bond::Aromatic || type == Bond::Double;
}

bool IsDelocalized(Bond::BondType type)
{
    return type == Bond::PartialDouble || type == Bond::Aromatic;
}

// The number of partial double and aromatic bonds of an end.
int DelocalizedBonds(const Bondable& end)
{
    const auto bonds = end.GetBonds();
    return static_cast<int>(std::count_if(bonds.begin(), bonds.end(), [](const Bond* bond) {
        return IsDelocalized(bond->GetType());
    }));
}

// Both ends carry exactly three partial double or aromatic bonds: the bond joins two such rings.
bool JoinsDelocalizedRings(const Bondable& a, const Bondable& b)
{
    return DelocalizedBonds(a) == 3 && DelocalizedBonds(b) == 3;
}

// The far ends of the first two ring bonds of end other than the bond, of a partial double or
// aromatic type when strict.
int RingNeighbours(const Bondable& end, const Bond& bond, bool strict, Bondable* (&found)[2])
{
    int count = 0;
    for (int i = 0; i < end.GetNumBonds() && count < 2; ++i) {
        const Bond* const other = end.GetBond(i);
        if (other != &bond && other->IsInRing() && (!strict || IsDelocalized(other->GetType())))
            found[count++] = end.GetAttached(i);
    }
    return count;
}

// Of two candidates, the one nearer to the reference (the first on a tie).
Bondable* Nearer(Bondable* first, Bondable* second, const Bondable* reference)
{
    const Point3d at = reference->GetXYZ();
    return second->GetXYZ().Distance2(at) < first->GetXYZ().Distance2(at) ? second : first;
}

// The pixel size of the selection marker.
constexpr double MarkerSize = 5.0;
// Line style: the offsets of the extra lines (times the unit offset), single precision.
constexpr float RingLineOffset = -0.2f;
constexpr float ChainLineOffset = -0.1f;
// Stick styles: the scale of the scaled styles, and offset and radius factors of the cylinders.
constexpr float ScaledStick = 0.6f;
constexpr float DoubleStickOffset = 0.5f;
constexpr float DoubleStickRadius = 0.4f;
constexpr float TripleStickOffset = 0.6f;
constexpr float TripleStickRadius = 0.3f;
constexpr double DashOffset = 1.8;
constexpr float DashRadius = 0.2f;

} // namespace

Bond::Bond(Object* parent) : Geometric(parent) {}

Bond::Bond(Bondable* atom1, Bondable* atom2, BondType type) : Bond(CommonParent(atom1, atom2), atom1, atom2, type) {}

Bond::Bond(Object* parent, Bondable* atom1, Bondable* atom2, BondType type)
    : Bond(parent, EndWatches(atom1, atom2), type)
{
}

Bond::EndWatches::EndWatches(Bondable* first, Bondable* second)
    : atom1(first), atom2(second), watch1(first), watch2(second)
{
}

Bond::Bond(Object* parent, const EndWatches& ends, BondType type)
    : Geometric(parent), m_atom1(ends.atom1), m_atom2(ends.atom2)
{
    const ConstructionScope construction(*this);
    // As in Geometric: tree registrations above reach this level's mask byte.
    SetMaskFromParents();
    Object::SetDisplayStyle(1);
    Link(type, ends);
}

void Bond::Link(BondType type, const EndWatches& ends)
{
    if (ends.Alive()) {
        // Listed by both before either announces it, the bond is a complete link to any listener, and
        // an end that listeners delete takes the bond's pointer to it along (ForgetEnd).
        m_atom1->PushBond(this);
        m_atom2->PushBond(this);
        m_atom1->AnnounceBond(this);
        if (ends.Alive())
            m_atom2->AnnounceBond(this);
        if (ends.Alive())
            SetType(type);
        if (ends.Alive())
            return;
    }
    // An end died before the bond was listed, or took its link along.
    if (!ends.watch1.alive)
        m_atom1 = nullptr;
    if (!ends.watch2.alive)
        m_atom2 = nullptr;
    Unlink();
}

void Bond::Unlink()
{
    m_keptBy = 0;
    for (Bondable* Bond::*end : {&Bond::m_atom1, &Bond::m_atom2}) {
        if (Bondable* const linked = std::exchange(this->*end, nullptr))
            linked->RemoveBond(this);
    }
}

void Bond::ForgetEnd(const Bondable* end)
{
    m_keptBy = 0;
    if (m_atom1 == end)
        m_atom1 = nullptr;
    if (m_atom2 == end)
        m_atom2 = nullptr;
}

Bond::~Bond()
{
    DoNotify(classType, EventDeleted, nullptr, nullptr);
    // Off each end that lists it. Each end is read when it is reached, and watched while listeners
    // hear the removals: one that goes meanwhile has made the bond forget it, or is left alone.
    for (Bondable* Bond::*named : {&Bond::m_atom1, &Bond::m_atom2}) {
        Bondable* const end = this->*named;
        if (!end)
            continue;
        const Watch watch(end);
        for (int i = end->GetNumBonds() - 1; watch.alive && i >= 0; --i) {
            if (i < end->GetNumBonds() && end->GetBond(i) == this)
                end->RemoveBond(i);
        }
    }
}

bool Bond::ShallowCopyOK() const
{
    return IsInsideCopy(this) && IsInsideCopy(m_atom1) && IsInsideCopy(m_atom2);
}

void Bond::DeepenShallowCopy()
{
    const auto& source = static_cast<const Bond&>(*GetCopySource());
    Geometric::DeepenShallowCopy();
    Bondable* const sourceEnd1 = m_atom1;
    Bondable* const sourceEnd2 = m_atom2;
    m_atom1 = DynCast<Bondable>(m_atom1 ? m_atom1->Copy() : nullptr);
    m_atom2 = DynCast<Bondable>(m_atom2 ? m_atom2->Copy() : nullptr);
    if (m_atom1)
        m_atom1->ListCopiedBond(this, *sourceEnd1, source);
    if (m_atom2 && m_atom2 != m_atom1)
        m_atom2->ListCopiedBond(this, *sourceEnd2, source);
}

// ---- Queries

void Bond::GetAtoms(Bondable*& atom1, Bondable*& atom2) const
{
    atom1 = m_atom1;
    atom2 = m_atom2;
}

// A bond made by class name has no ends yet: it stands at the origin, with no length.
Point3d Bond::GetMidPoint() const
{
    if (!m_atom1 || !m_atom2)
        return Point3d::origin;
    return MidPoint(m_atom1->GetXYZ(), m_atom2->GetXYZ());
}

double Bond::GetValenceContribution(const Bondable* end) const
{
    if (!IsDative(m_type))
        return m_order;
    return end == m_atom1 ? m_order + 1.0 : m_order - 1.0;
}

double Bond::GetLength() const
{
    if (!m_atom1 || !m_atom2)
        return 0.0;
    return Distance(m_atom1->GetXYZ(), m_atom2->GetXYZ());
}

bool Bond::FindBond(const Bondable* a, const Bondable* b) const
{
    return (a == m_atom1 && b == m_atom2) || (a == m_atom2 && b == m_atom1);
}

bool Bond::IsTerminal() const
{
    return m_atom1 && m_atom2 && (m_atom1->IsTerminal() || m_atom2->IsTerminal());
}

bool Bond::IsVisible() const
{
    return m_atom1 && m_atom2 && m_atom1->IsVisible() && m_atom2->IsVisible();
}

std::int32_t Bond::GetDisplayStyle() const
{
    if (!m_atom1 || !m_atom2)
        return Object::GetDisplayStyle();
    const std::int32_t style1 = m_atom1->GetDisplayStyle();
    const std::int32_t style2 = m_atom2->GetDisplayStyle();
    if (style1 == 6 || style2 == 6)
        return 6;
    return std::min(style1, style2);
}

float Bond::GetDisplaySize() const
{
    const Atom* const atom = DynCast<Atom>(m_atom1);
    if (!atom)
        return 0.0f;
    switch (GetDisplayStyle()) {
    case 2:
    case 3:
    case 7:
    case 8:
    case 9:
    case 10: return atom->GetStickRadius();
    case 4: return atom->GetCPKScale() * atom->GetVDWRadius();
    default: return 0.0f;
    }
}

Point3d Bond::GetAnnotationXYZ() const
{
    if (!m_atom1 || !m_atom2)
        return GetMidPoint();
    const Point3d direction = (m_atom1->GetXYZ() - m_atom2->GetXYZ()).Normal();
    return GetMidPoint() + direction * (GetDisplaySize() + 0.1);
}

std::string Bond::GetLabel() const
{
    std::string own = Object::GetLabel();
    if (!own.empty() || !m_atom1 || !m_atom2)
        return own;
    const Object* const container1 = Container(m_atom1);
    const Object* const container2 = Container(m_atom2);
    if (container1 == container2 || t_labelling)
        return StringUtils::Format("%s - %s", m_atom1->GetLabel(), m_atom2->GetLabel());
    t_labelling = true;
    const struct Done {
        ~Done() { t_labelling = false; }
    } done;
    return StringUtils::Format("%s:%s - %s:%s", Label(container1), m_atom1->GetLabel(), Label(container2),
                               m_atom2->GetLabel());
}

const char* Bond::GetOrderName(BondType type)
{
    if (IsDative(type))
        return "Dative";
    for (const NamedType& named : SettableTypes) {
        if (named.type == type)
            return named.name;
    }
    return "Unknown";
}

std::string Bond::GetOrderName() const
{
    return GetOrderName(m_type);
}

// ---- Changes

void Bond::SetOrder(double order)
{
    m_order = static_cast<float>(order);
}

void Bond::SetOrder(BondType type)
{
    switch (type) {
    case Ionic: m_order = 0.0f; break;
    case Single:
    case Dative: m_order = 1.0f; break;
    case PartialDouble:
    case Aromatic: m_order = 1.5f; break;
    case Double:
    case DativeDouble: m_order = 2.0f; break;
    case PartialTriple: m_order = 2.5f; break;
    case Triple:
    case DativeTriple: m_order = 3.0f; break;
    case Quadruple:
    case DativeQuadruple: m_order = 4.0f; break;
    default: break;
    }
}

void Bond::SetType(BondType type)
{
    m_type = type;
    SetOrder(type);
    const Watch self(this);
    NotifyIfHeard(Object::classType, Object::EventPropertySet, nullptr, nullptr);
    if (!self.alive)
        return;
    NotifyIfHeard(classType, EventTypeSet, nullptr, nullptr);
    // Each end is read when it is reached: a bond being built lets go of an end that dies meanwhile.
    for (Bondable* Bond::*end : {&Bond::m_atom1, &Bond::m_atom2}) {
        if (!self.alive)
            return;
        if (Atom* const atom = DynCast<Atom>(this->*end))
            atom->SetHybridization(atom->PerceiveHybridization());
    }
}

bool Bond::SetType(std::string_view name)
{
    for (const NamedType& named : SettableTypes) {
        if (StringUtils::EqualsNoCase(name, named.name)) {
            SetType(named.type);
            return true;
        }
    }
    return false;
}

bool Bond::SetLength(double length)
{
    if (!HasEnds() || !std::isfinite(length) || length <= 0.0)
        return false;
    Bondable* const atom1 = m_atom1;
    Bondable* const atom2 = m_atom2;
    const Point3d p1 = atom1->GetXYZ();
    const Point3d p2 = atom2->GetXYZ();
    if (p1 == p2)
        return false;
    SetCollection side1;
    SetCollection side2;
    SetCollection crossed;
    SetCollection stop1;
    SetCollection stop2;
    stop1.Add(atom2);
    stop2.Add(atom1);
    atom1->GetFragment(&side1, &crossed, &stop1, nullptr, true);
    crossed.RemoveAll();
    atom2->GetFragment(&side2, &crossed, &stop2, nullptr, true);
    if (side1 == side2) {
        atom1->SetXYZ(p2 + ChangeLength(p1 - p2, length));
        return true;
    }
    const Point3d shift = (p1 + ChangeLength(p2 - p1, length)) - p2;
    side2.Remove(atom1);
    for (Object* moved : side2.GetMembers()) {
        if (auto* const positioned = DynCast<Geometric>(moved))
            positioned->SetXYZ(positioned->GetXYZ() + shift);
    }
    return true;
}

template <bool TestModified>
void Bond::UpdateClippedNow()
{
    if (!m_atom1 || !m_atom2)
        return;
    const bool clipped = m_atom1->IsClipped() && m_atom2->IsClipped();
    // Unchanged and unheard (as on load), the display event would only mark the bond modified. Its
    // code is asked of the TreeNode level directly, without the levels above.
    if (clipped == IsClipped() && !TreeNode::IsHeard(TreeNode::classType, TreeNode::EventDisplayChanged)) {
        // A modified node's SetModified changes nothing.
        if (!TestModified || !IsModified())
            SetModified();
    } else {
        SetClipped(clipped);
    }
}

void Bond::UpdateClipped()
{
    UpdateClippedNow<true>();
}

// ---- Fusing pieces onto the bond

namespace {

constexpr std::int32_t HydrogenNumber = 1;

bool IsHydrogenEnd(const Bondable* end)
{
    const Atom* const atom = DynCast<Atom>(end);
    return atom && atom->GetAtomicNumber() == HydrogenNumber;
}

// The live atom of an OID; null once it is gone. Pieces are followed by OID because listeners may
// delete atoms and change the caller's collection at every step.
Atom* LiveAtom(std::uint32_t oid)
{
    return DynCast<Atom>(Object::GetObjectA(oid));
}

bool HasHydrogens(std::uint32_t oid)
{
    const Atom* const atom = LiveAtom(oid);
    return atom && atom->GetNumHydrogens() > 0;
}

// The OIDs of the collection's atoms in order; false when an entry is not a live atom or is one of
// the excluded atoms.
bool CollectAtoms(const OrdCollection& atoms, const Bondable* excluded1, const Bondable* excluded2,
                  std::vector<std::uint32_t>& oids)
{
    for (int i = 0; i < atoms.GetSize(); ++i) {
        const Atom* const atom = DynCast<Atom>(atoms.GetAt(i));
        if (!atom || atom == excluded1 || atom == excluded2)
            return false;
        oids.push_back(atom->GetOID());
    }
    return true;
}

// Replaces the collection's entries by the atoms of the OIDs that still live, in order.
void KeepLiveAtoms(OrdCollection& atoms, const std::vector<std::uint32_t>& oids)
{
    atoms.SetSize(0, -1);
    for (const std::uint32_t oid : oids) {
        if (Atom* const atom = LiveAtom(oid))
            atoms.Add(atom);
    }
}

// The side neighbour of the pair (first, second) by the bond-side rule: second's attached atom 0 (1
// when 0 is first) when second has two bonds or more, else first's attached atom 0 (1 when 0 is
// second) when first has two or more, else first.
const Bondable* SideNeighbour(const Bondable& first, const Bondable& second)
{
    const auto other = [](const Bondable& end, const Bondable& partner) {
        const Bondable* const zero = end.GetAttached(0);
        return zero == &partner ? end.GetAttached(1) : zero;
    };
    const Bondable* found = nullptr;
    if (second.GetNumBonds() >= 2)
        found = other(second, first);
    else if (first.GetNumBonds() >= 2)
        found = other(first, second);
    return found ? found : &first;
}

// The turn about centre, in the plane of a and f, that brings f onto the line from centre through a.
Matrix4x4 FirstTurn(const Point3d& a, const Point3d& centre, const Point3d& f)
{
    Matrix4x4 turn;
    turn.SetRotation((a - centre).Cross(f - centre), centre, -Angle(a, centre, f));
    return turn;
}

} // namespace

bool Bond::IsAntiToHeavyPath(const Atom& atom, const Point3d& position)
{
    const Point3d centre = atom.GetXYZ();
    for (int i = 0; i < atom.GetNumBonds(); ++i) {
        const Bondable* const n = atom.GetAttached(i);
        if (IsHydrogenEnd(n))
            continue;
        for (int j = 0; j < n->GetNumBonds(); ++j) {
            const Bondable* const m = n->GetAttached(j);
            if (m != &atom && !IsHydrogenEnd(m) &&
                std::abs(Dihedral(position, centre, n->GetXYZ(), m->GetXYZ())) > 120.0)
                return true;
        }
    }
    return false;
}

Point3d Bond::FindSproutDirection(const Atom& atom)
{
    Point3d::Array vectors;
    const int count = atom.GetValenceSproutVectors(vectors);
    const int bonds = atom.GetNumBonds();
    const int hydrogens = atom.GetNumHydrogens();
    const int first = bonds < count ? bonds : bonds - hydrogens < count ? bonds - hydrogens : -1;
    if (first < 0) {
        Point3d random;
        random.Randomize();
        random.Normalize();
        return random;
    }
    Point3d result;
    const Point3d centre = atom.GetXYZ();
    for (int i = first; i < count; ++i) {
        result = vectors[static_cast<std::size_t>(i)];
        if (IsAntiToHeavyPath(atom, centre + result))
            break;
    }
    return result;
}

bool Bond::FuseFragment(OrdCollection& fragment, float tolerance, Atom* fragmentAtom1, Atom* fragmentAtom2,
                        Atom* bondReference, Atom* fragmentReference)
{
    Atom* const atom1 = DynCast<Atom>(m_atom1);
    Atom* const atom2 = DynCast<Atom>(m_atom2);
    const Atom* const f1 = fragmentAtom1 ? fragmentAtom1 : DynCast<Atom>(fragment.GetAt(0));
    const Atom* const f2 = fragmentAtom2 ? fragmentAtom2 : DynCast<Atom>(fragment.GetAt(1));
    std::vector<std::uint32_t> members;
    if (!atom1 || !atom2 || fragment.GetSize() < 2 || !f1 || !f2 || f1 == f2 || f1 == atom1 || f1 == atom2 ||
        f2 == atom1 || f2 == atom2 || !CollectAtoms(fragment, atom1, atom2, members))
        return false;
    const std::uint32_t end1 = atom1->GetOID();
    const std::uint32_t end2 = atom2->GetOID();
    const std::uint32_t fused1 = f1->GetOID();
    const std::uint32_t fused2 = f2->GetOID();
    const Point3d pA = atom1->GetXYZ();
    const Point3d pB = atom2->GetXYZ();

    // Reference points that fix the turn about the bond, one on each side.
    const Point3d r1 = bondReference ? bondReference->GetXYZ() : pB + FindSproutDirection(*atom2);
    Point3d r2;
    if (fragmentReference) {
        r2 = fragmentReference->GetXYZ();
    } else if (f2->GetNumBonds() - f2->GetNumHydrogens() > 1) {
        r2 = f1->GetXYZ();
        for (int i = 0; i < f2->GetNumBonds(); ++i) {
            const Bondable* const attached = f2->GetAttached(i);
            if (attached != f1 && !IsHydrogenEnd(attached)) {
                r2 = attached->GetXYZ();
                break;
            }
        }
    } else {
        r2 = f2->GetXYZ() + FindSproutDirection(*f2);
    }

    // Translate fragment atom 2 onto atom 2, turn fragment atom 1 onto the bond's line, then turn
    // about the bond.
    const auto move = [&](const auto& motion) {
        for (const std::uint32_t oid : members) {
            if (Atom* const atom = LiveAtom(oid))
                atom->SetXYZ(motion(atom->GetXYZ()));
        }
    };
    const Point3d shift = pB - f2->GetXYZ();
    move([&](const Point3d& p) { return p + shift; });
    r2 += shift;
    if (const Atom* const moved1 = LiveAtom(fused1)) {
        const Matrix4x4 turn = FirstTurn(pA, pB, moved1->GetXYZ());
        move([&](const Point3d& p) { return p * turn; });
        r2 *= turn;
    }
    const Point3d bond = pA - pB;
    const Point3d normal1 = bond.Cross(r1 - pB);
    const Point3d normal2 = bond.Cross(r2 - pB);
    const double angle2 = Angle(normal1, Point3d::origin, normal2);
    Matrix4x4 turn;
    turn.SetRotation(angle2 < 179.0 ? pB - pA : pA - pB, pB, -angle2);
    move([&](const Point3d& p) { return p * turn; });

    // A hydrogen end takes its fragment atom's element before the hydrogens go.
    for (const auto& [end, fused] : {std::pair{end1, fused1}, std::pair{end2, fused2}}) {
        Atom* const atom = LiveAtom(end);
        const Atom* const source = LiveAtom(fused);
        if (atom && source && atom->GetAtomicNumber() == HydrogenNumber)
            atom->ChangeElement(source->GetElementSymbol());
    }
    const std::uint32_t involved[] = {end1, end2, fused1, fused2};
    const bool hydrogens = std::any_of(std::begin(involved), std::end(involved), HasHydrogens);
    if (hydrogens) {
        for (const std::uint32_t oid : involved) {
            if (Atom* const atom = LiveAtom(oid))
                atom->RemoveHydrogens(Atom::AllHydrogens);
        }
    }

    for (const std::uint32_t oid : members) {
        Atom* const atom = LiveAtom(oid);
        const Atom* const style = LiveAtom(end1);
        if (!atom || !style)
            continue;
        atom->SetDisplayStyle(style->GetDisplayStyle());
        Atom* const into = oid == fused1 ? LiveAtom(end1) : oid == fused2 ? LiveAtom(end2) : nullptr;
        if (into && LiveAtom(oid))
            into->Fuse(atom);
    }

    // Heavy fragment atoms that landed on an existing atom are merged into it.
    for (const std::uint32_t oid : members) {
        Atom* const atom = LiveAtom(oid);
        if (!atom || atom->GetAtomicNumber() == HydrogenNumber)
            continue;
        OrdCollection overlaps;
        atom->FindOverlaps(tolerance, overlaps);
        if (Atom* const into = DynCast<Atom>(overlaps.GetAt(0)))
            into->MergeAtom(atom, true, true);
    }

    for (const std::uint32_t end : {end1, end2}) {
        if (Atom* const atom = LiveAtom(end); atom && hydrogens)
            atom->UpdateHydrogens(Atom::AllHydrogens, true);
    }
    for (const std::uint32_t end : {end1, end2}) {
        if (Atom* const atom = LiveAtom(end))
            atom->SetHybridization(Atom::PerceiveRequest);
    }
    KeepLiveAtoms(fragment, members);
    return true;
}

bool Bond::FuseRing(OrdCollection& ring, float tolerance, int index1, int index2)
{
    Atom* const atom1 = DynCast<Atom>(m_atom1);
    Atom* const atom2 = DynCast<Atom>(m_atom2);
    const int n = ring.GetSize();
    std::vector<std::uint32_t> members;
    if (!atom1 || !atom2 || index1 < 0 || index1 >= n || index2 < 0 || index2 >= n || index1 == index2 ||
        !CollectAtoms(ring, atom1, atom2, members))
        return false;
    const auto member = [&](int i) { return static_cast<Atom*>(ring.GetAt(i)); };
    Point3d::Array points;
    points.reserve(members.size());
    for (int i = 0; i < n; ++i)
        points.push_back(member(i)->GetXYZ());
    const Watch self(this);
    const BondType bondType = m_type;
    const Atom* const r1 = member(index1);
    const Atom* const r2 = member(index2);
    const Bond* const ringBond = r1->FindBond(r2);
    const BondType ringType = ringBond ? ringBond->GetType() : Single;
    const Point3d pA = atom1->GetXYZ();
    const Point3d pB = atom2->GetXYZ();
    const Point3d pN = SideNeighbour(*atom1, *atom2)->GetXYZ();
    const Bondable* const ringSide = SideNeighbour(*r1, *r2);
    int kM = 0;
    for (int i = 0; i < n; ++i) {
        if (member(i) == ringSide) {
            kM = i;
            break;
        }
    }

    // Translate ring atom 2 onto atom 2, turn ring atom 1 onto the bond's line, then turn about the
    // bond so that the ring's side neighbour lies opposite the bond's.
    const Point3d shift = pB - points[static_cast<std::size_t>(index2)];
    for (Point3d& p : points)
        p += shift;
    const Matrix4x4 first = FirstTurn(pA, pB, points[static_cast<std::size_t>(index1)]);
    for (Point3d& p : points)
        p *= first;
    const Point3d bond = pA - pB;
    const Point3d normal1 = bond.Cross(pN - pB);
    const Point3d m = -bond.Cross(points[static_cast<std::size_t>(kM)] - pB);
    const double angle2 = Angle(normal1, Point3d::origin, m);
    Matrix4x4 second;
    second.SetRotation(angle2 < 179.0 ? normal1.Cross(m) : pA - pB, pB, -angle2);
    for (Point3d& p : points)
        p *= second;

    const std::uint32_t end1 = atom1->GetOID();
    const std::uint32_t end2 = atom2->GetOID();
    const std::string carbon = ElementFactory::GetElementFactory().GetElementSymbol(ElementType(6));
    for (const std::uint32_t end : {end1, end2}) {
        if (Atom* const atom = LiveAtom(end); atom && atom->GetAtomicNumber() == HydrogenNumber)
            atom->ChangeElement(carbon);
    }
    for (int k = 0; k < n; ++k) {
        Atom* const atom = LiveAtom(members[static_cast<std::size_t>(k)]);
        const Atom* const style = LiveAtom(end1);
        if (!atom || !style)
            continue;
        const Watch watched(atom);
        atom->SetXYZ(points[static_cast<std::size_t>(k)]);
        if (watched.alive)
            atom->SetDisplayStyle(style->GetDisplayStyle());
        Atom* const into = k == index1 ? LiveAtom(end1) : k == index2 ? LiveAtom(end2) : nullptr;
        if (into && watched.alive)
            into->MergeAtom(atom, true, false);
    }
    for (const std::uint32_t end : {end1, end2}) {
        if (Atom* const atom = LiveAtom(end))
            atom->SetHybridization(Atom::PerceiveRequest);
    }

    // Ring atoms that landed on an existing atom are merged into it, which keeps its element.
    members.erase(members.begin() + std::max(index1, index2));
    members.erase(members.begin() + std::min(index1, index2));
    for (std::size_t k = members.size(); k-- > 0;) {
        Atom* const atom = LiveAtom(members[k]);
        if (!atom)
            continue;
        OrdCollection overlaps;
        atom->FindOverlaps(tolerance, overlaps);
        if (Atom* const into = DynCast<Atom>(overlaps.GetAt(0))) {
            into->MergeAtom(atom, false, true);
            members.erase(members.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }
    KeepLiveAtoms(ring, members);
    if (self.alive)
        SetType(std::max(bondType, ringType));
    return true;
}

// ---- Display

void Bond::NormalDisplay(DisplayList3D& list)
{
    switch (GetDisplayStyle()) {
    case Atom::StyleLine: DisplayLine(list, false); break;
    case Atom::StyleStick:
    case Atom::StyleBallAndStick: DisplayStick(list, false, 1.0f); break;
    case Atom::StyleCPK:
    case Atom::StyleLineSingle: DisplayLine(list, true); break;
    case Atom::StyleStickSingle:
    case Atom::StyleBallAndStickSingle: DisplayStick(list, true, 1.0f); break;
    case Atom::StyleScaledBallAndStick: DisplayStick(list, false, ScaledStick); break;
    case Atom::StyleScaledBallAndStickSingle: DisplayStick(list, true, ScaledStick); break;
    default: break;
    }
}

void Bond::FastDisplay(DisplayList3D& list)
{
    if (GetDisplayStyle() != Atom::StyleNone)
        DisplayLine(list, true);
}

bool Bond::GetClippedPoints(Point3d& p1, Point3d& mid, Point3d& p2) const
{
    if (!HasEnds())
        return false;
    p1 = m_atom1->GetXYZ();
    p2 = m_atom2->GetXYZ();
    mid = MidPoint(p1, p2);
    const bool clipped1 = m_atom1->IsClipped();
    const bool clipped2 = m_atom2->IsClipped();
    if (clipped1 && clipped2)
        return false;
    if (clipped1)
        p1 = mid;
    if (clipped2)
        p2 = mid;
    return true;
}

void Bond::DisplayLine(DisplayList3D& list, bool single)
{
    Point3d p1;
    Point3d mid;
    Point3d p2;
    if (!GetClippedPoints(p1, mid, p2))
        return;
    const Color color1 = m_atom1->GetColor();
    const Color color2 = m_atom2->GetColor();
    if (IsSelected())
        list.Add(Rect2DPrimitive(mid, Color::Selected(), MarkerSize, MarkerSize, 0));
    if (single || m_type == Single) {
        DisplayBondLine(list, p1, mid, p2, color1, color2, false);
        return;
    }
    if (m_type < Single || m_type > Triple)
        return;
    const Point3d offset = GetBondOffset(p1, p2);
    const bool dashed = IsDelocalized(m_type);
    const auto shifted = [&](const Point3d& by, bool dashes) {
        DisplayBondLine(list, p1 + by, mid + by, p2 + by, color1, color2, dashes);
    };
    if (IsDoubleType(m_type) && m_inRing) {
        const Point3d by = offset * RingLineOffset;
        DisplayBondLine(list, p1, mid, p2, color1, color2, false);
        shifted(by, dashed);
        if (JoinsDelocalizedRings(*m_atom1, *m_atom2))
            shifted(-by, dashed);
    } else if (IsDoubleType(m_type)) {
        const Point3d by = offset * ChainLineOffset;
        shifted(by, false);
        shifted(-by, dashed);
    } else {
        const Point3d by = offset * RingLineOffset;
        DisplayBondLine(list, p1, mid, p2, color1, color2, false);
        shifted(by, false);
        shifted(-by, false);
    }
}

void Bond::GetStickColors(Color& color1, Color& color2) const
{
    if (IsSelected()) {
        color1 = color2 = Color::Selected();
        return;
    }
    color1 = m_atom1->IsSelected() ? Color::Selected() : m_atom1->GetColor();
    color2 = m_atom2->IsSelected() ? Color::Selected() : m_atom2->GetColor();
}

void Bond::DisplayStick(DisplayList3D& list, bool single, float scale)
{
    const Atom* const atom1 = DynCast<Atom>(m_atom1);
    if (!atom1)
        return;
    const float radius = atom1->GetStickRadius() * scale;
    Color color1;
    Color color2;
    GetStickColors(color1, color2);
    Point3d p1;
    Point3d mid;
    Point3d p2;
    if (!GetClippedPoints(p1, mid, p2))
        return;
    if (single || m_type == Single) {
        DisplayBondStick(list, p1, p2, color1, color2, radius, GetOID());
        return;
    }
    if (m_type < Single || m_type > Triple)
        return;
    if (IsDelocalized(m_type)) {
        DisplayBondAromatic(list, scale);
        return;
    }
    const Point3d offset = GetBondOffset(p1, p2);
    const auto shifted = [&](const Point3d& by, float thickness) {
        DisplayBondStick(list, p1 + by, p2 + by, color1, color2, thickness, GetOID());
    };
    if (m_type == Double) {
        const Point3d by = offset * (radius * DoubleStickOffset);
        shifted(by, radius * DoubleStickRadius);
        shifted(-by, radius * DoubleStickRadius);
    } else {
        const Point3d by = offset * (radius * TripleStickOffset);
        shifted(Point3d(), radius * TripleStickRadius);
        shifted(by, radius * TripleStickRadius);
        shifted(-by, radius * TripleStickRadius);
    }
}

void Bond::DisplayBondLine(DisplayList3D& list, const Point3d& start, const Point3d& middle, const Point3d& end,
                           const Color& color1, const Color& color2, bool dashed) const
{
    constexpr double width = 1.0;
    if (!dashed) {
        list.Add(LinePrimitive(start, middle, color1, width, {m_atom1->GetOID(), GetOID()}));
        list.Add(LinePrimitive(middle, end, color2, width, {GetOID(), m_atom2->GetOID()}));
    } else if (color1 == color2) {
        list.Add(DashedLinePrimitive(start, end, color1, width, 0, 4));
    } else {
        list.Add(DashedLinePrimitive(start, middle, color1, width, 0, 2));
        list.Add(DashedLinePrimitive(middle, end, color2, width, 0, 2));
    }
}

void Bond::DisplayBondStick(DisplayList3D& list, const Point3d& start, const Point3d& end, const Color& color1,
                            const Color& color2, float radius, std::uint32_t id) const
{
    list.Add(CylinderPrimitive(start, color1, end, color2, radius, {id, m_atom1->GetOID(), m_atom2->GetOID()}));
}

void Bond::DisplayBondAromatic(DisplayList3D& list, float scale) const
{
    const Atom* const atom1 = DynCast<Atom>(m_atom1);
    if (!atom1 || !HasEnds())
        return;
    const float radius = atom1->GetStickRadius() * scale;
    const Point3d q1 = m_atom1->GetXYZ();
    const Point3d q2 = m_atom2->GetXYZ();
    Color color1;
    Color color2;
    GetStickColors(color1, color2);
    DisplayBondStick(list, q1, q2, color1, color2, radius, GetOID());

    const Point3d offset = GetBondOffset(q1, q2) * (m_inRing ? -DashOffset * radius : DashOffset * radius);
    const Point3d along = q2 - q1;
    const auto dashes = [&](const Point3d& by) {
        list.Add(CylinderPrimitive(q1 + along * 0.25 + by, q1 + along * 0.4 + by, color1, radius * DashRadius, GetOID()));
        list.Add(CylinderPrimitive(q1 + along * 0.6 + by, q1 + along * 0.75 + by, color2, radius * DashRadius, GetOID()));
    };
    dashes(offset);
    if (JoinsDelocalizedRings(*m_atom1, *m_atom2))
        dashes(-offset);
}

Point3d Bond::GetBondOffset(const Point3d& a, const Point3d& b) const
{
    const Point3d axis = b - a;
    const Point3d reference = FindBestNeighbor(m_atom1, m_atom2)->GetXYZ();
    Point3d normal = axis.Cross(reference - a);
    normal.Normalize();
    Point3d offset = axis.Cross(normal);
    // A reference on the bond's line leaves no plane: any perpendicular does.
    if (offset.Normalize() == 0.0)
        offset = axis.Normal();
    return offset;
}

Bondable* Bond::FindBestNeighbor(const Bondable* a, const Bondable* b) const
{
    // The first neighbour of one end that is not the other end, else a neighbour of the other end.
    const auto firstOther = [](const Bondable* end, const Bondable* other) {
        Bondable* chosen = end->GetAttached(0);
        if (chosen == other)
            chosen = end->GetNumBonds() > 1 ? end->GetAttached(1) : other->GetAttached(0);
        if (chosen == other && other->GetNumBonds() > 1)
            chosen = other->GetAttached(1);
        return chosen;
    };
    Bondable* const ca = firstOther(a, b);
    Bondable* const cb = firstOther(b, a);
    if (!m_inRing) {
        if (ca->GetNumBonds() > 1)
            return ca;
        if (cb->GetNumBonds() > 1)
            return cb;
        if (a->GetNumBonds() > 2)
            return a->GetAttached(2);
        if (b->GetNumBonds() > 2)
            return b->GetAttached(2);
        return ca;
    }
    const bool strict = IsDelocalized(m_type);
    Bondable* ringA[2] = {};
    Bondable* ringB[2] = {};
    const int countA = RingNeighbours(*a, *this, strict, ringA);
    const int countB = RingNeighbours(*b, *this, strict, ringB);
    if (countA == 1 && countB == 1)
        return ringA[0];
    if (countA == 1 && countB == 2)
        return Nearer(ringB[0], ringB[1], ringA[0]);
    if (countA == 2 && countB == 1)
        return Nearer(ringA[0], ringA[1], ringB[0]);
    return ca;
}

bool Bond::IsCoordClipped(const Point3d& point) const
{
    return CrystalImageQueries::Installed().IsClipped(*this, point);
}

// ---- Conformer index

void Bond::SetConformerIndex(std::int32_t index)
{
    SetProperty(ConformerIndexKey, index, 0);
}

std::int32_t Bond::GetConformerIndex() const
{
    std::int32_t index = -1;
    return GetProperty(ConformerIndexKey, index) ? index : -1;
}

bool Bond::HasConformers() const
{
    std::int32_t index = -1;
    return GetProperty(ConformerIndexKey, index) && index >= 0;
}

void Bond::ClearConformerIndex()
{
    RemoveProperty(ConformerIndexKey);
}

// ---- Text properties and persistence

const PropertyTable& Bond::Properties()
{
    static const PropertyTable table(
        &Object::Properties(),
        PropertyList<Bond>()
            .Text("Order")
            .Getter<&Bond::GetOrder>()
            .Format("%.2f")
            .ReadOnly()
            .Shown()
            .Text("Type")
            .GetText([](const Bond& bond) { return bond.GetOrderName(); })
            .SetText([](Bond& bond, std::string_view word) { return bond.SetType(word); })
            .Choices({"Single", "Partial double", "Aromatic", "Double", "Triple"})
            .Shown(ObjectProperty::CategoryChoice)
            .Text("Length")
            .Getter<&Bond::GetLength>()
            .Format("%.3f")
            .SetText([](Bond& bond, std::string_view text) {
                double length = 0.0;
                if (!StringUtils::StringToReal(text, length) || !(length > 0.0 && length <= MaxTextLength))
                    return false;
                return bond.SetLength(length);
            })
            .Shown()
            .Text("Stereochemistry")
            .GetText([](const Bond& bond) {
                const double order = bond.GetOrder();
                return order > 1.0 && order < 2.5 ? "E/Z" : "";
            })
            .ReadOnly()
            // The stored properties.
            .ArchiveOnly([](const Bond&, Archive& archive) { archive << std::int32_t{0} << std::int32_t{0} << std::int32_t{0}; },
                         [](Bond&, Archive& archive) {
                             std::int32_t offset[3] = {};
                             archive >> offset[0] >> offset[1] >> offset[2];
                         })
            .Reference("Atom1", [](const Bond& bond) { return bond.m_atom1; }, [](Bond& bond, Bondable* end) { bond.m_atom1 = end; })
            .Reference("Atom2", [](const Bond& bond) { return bond.m_atom2; }, [](Bond& bond, Bondable* end) { bond.m_atom2 = end; })
            .Field<Storage::StorageInt, &Bond::m_type>("BondType")
            .Field<&Bond::m_wedge>("WedgeType")
            .ArchiveField<&Bond::m_order>()
            .Field<&Bond::m_inRing>("BondInRing")
            .ArchiveDropped<std::int32_t>(2)
            .BeforeLoad([](Bond& bond, Archive&, PropertyArchive*) {
                bond.m_reading = true;
                bond.m_keptBy = 0;
            })
            .AfterRecord([](Bond& bond, Archive& archive, PropertyArchive* stream) {
                if (archive.IsLoading()) {
                    bond.m_reading = false;
                    if (stream) {
                        // The stream keeps no order: the type gives it.
                        bond.SetOrder(bond.m_type);
                        stream->FinishObject(&bond);
                    } else if (!bond.HasEnds()) {
                        archive.Refuse(ArchiveException::badIndex, "a bond record without both of its ends");
                    } else {
                        // An end read inside this record may not list it; one whose list is being
                        // read lists it twice for a moment (its own record's end drops the second).
                        bond.ListOnEnds();
                    }
                    bond.UpdateClippedNow<false>();
                    return;
                }
                bond.UpdateClipped();
            }));
    return table;
}

// A plain scan of the end's few entries; defined first so that the finishing passes take it inline.
bool Bond::IsListedBy(const Bondable& end) const
{
    Bond* const* const bonds = end.BondData();
    const std::uint32_t count = end.m_numBonds.Get();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (bonds[i] == this)
            return true;
    }
    return false;
}

void Bond::FinishLoading(std::uint32_t schema)
{
    Geometric::FinishLoading(schema);
    if (!HasEnds()) {
        // Every end that listed this bond has dropped it by now: its finishing ran first.
        delete this;
        return;
    }
    // Both ends' finishing kept it: it is listed on each.
    if (m_keptBy.Get() != (KeptByAtom1 | KeptByAtom2))
        ListOnEnds();
    m_keptBy = 0;
}

void Bond::ListOnEnds()
{
    // Spelt out for the two ends: PushBond raises nothing, so neither end changes between them.
    if (!IsListedBy(*m_atom1))
        m_atom1->PushBond(this);
    if (!IsListedBy(*m_atom2))
        m_atom2->PushBond(this);
}

void Bond::SettleLinks()
{
    Geometric::SettleLinks();
    m_keptBy = 0;
    for (Bondable* Bond::*end : {&Bond::m_atom1, &Bond::m_atom2}) {
        if (this->*end && !IsListedBy(*(this->*end)))
            this->*end = nullptr;
    }
}

} // namespace Tavrel
