#include <tavrel/chemistry/Atom3d.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include <tavrel/chemistry/ChiralityTree.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Atom3d)

namespace {

constexpr const char* NumeratorKey = "_NFC";
constexpr const char* DenominatorKey = "_DFC";
constexpr std::string_view CrystalMarkers[] = {"_ASU", "_REP", "_RMI"};

// The nearest ancestor of the class, starting at node itself.
template <class T>
T* FindFrom(TreeNode* node)
{
    for (; node; node = node->GetParent()) {
        if (IsA<T>(node))
            return static_cast<T*>(node);
    }
    return nullptr;
}

} // namespace

Atom3d::Atom3d()
{
    static const bool named = (SetCommonName(GetCommonName()), true);
    static_cast<void>(named);
    TakeUnknownElement();
}

Atom3d::Atom3d(Object* parent)
{
    TakeUnknownElement();
    SetParent(parent);
}

Atom3d::Atom3d(Object* parent, const Element* element)
{
    Initialize(parent, element);
}

Atom3d::Atom3d(Object* parent, ElementType type)
{
    Initialize(parent, ElementFactory::GetElementFactory().FindElementByType(type));
}

Atom3d::Atom3d(Object* parent, const char* symbol)
{
    Initialize(parent, symbol ? ElementFactory::GetElementFactory().FindElement(symbol)
                              : ElementFactory::GetElementFactory().FindElementByType(UnknownElementType));
}

void Atom3d::Initialize(Object* parent, const Element* element)
{
    const ConstructionScope construction(*this);
    SetElement(element);
    SetCharge(0.0);
    SetHybridization(Sp3);
    SetDisplayStyle(StyleLine);
    SetColor(ElementRecord().GetColor());
    SetParent(parent);
}

Atom3d::~Atom3d()
{
    DoNotify(classType, EventAtom3dDeleted, nullptr, nullptr);
    SetParent(nullptr);
}

std::span<const std::string_view> Atom3d::GetUserPropertiesLeftOutOfCopy() const
{
    if (CrystalImageQueries::Installed().IsCellCopied(*this, GetCopyRoot()))
        return {};
    return CrystalMarkers;
}

void Atom3d::KeepOwnCellsArchived(Property& cells) const
{
    Atom::KeepOwnCellsArchived(cells);
    cells.SetTemporary(NumeratorKey, false);
    cells.SetTemporary(DenominatorKey, false);
}

void Atom3d::DeepenShallowCopy()
{
    // A node copy left them out already.
    const Property& properties = GetUserPropertyTable();
    if (properties.GetNumProperties() != 0) {
        for (const std::string_view name : static_cast<const Atom3d&>(*GetCopySource()).GetUserPropertiesLeftOutOfCopy()) {
            if (properties.HasProperty(name))
                RemoveProperty(name);
        }
    }
    Atom::DeepenShallowCopy();
}

std::string Atom3d::GetCommonName() const
{
    return "Atom";
}

// ---- Element

void Atom3d::SetElement(const Element* element)
{
    m_element = (element ? element : ElementFactory::GetElementFactory().FindElementByType(UnknownElementType))->GetHandle();
    // Without user properties and unheard (a new or loading atom), the clearing and the event would
    // only mark the atom modified.
    const bool properties = FindUserProperties() != nullptr;
    if (!properties && !Object::IsHeard(Object::classType, EventPropertyRemoved) && !IsHeard(classType, EventElementSet)) {
        if (!IsModified())
            SetModified();
        return;
    }
    if (properties || Object::IsHeard(Object::classType, EventPropertyRemoved))
        ClearDonatedLonePairs();
    DoNotify(classType, EventElementSet, nullptr, nullptr);
}

void Atom3d::TakeUnknownElement()
{
    // What SetElement leaves on an atom without parent, registrations or user properties.
    m_element = ElementFactory::GetElementFactory().FindElementByType(UnknownElementType)->GetHandle();
    SetModified();
}

void Atom3d::SetElement(ElementType type)
{
    SetElement(ElementFactory::GetElementFactory().FindElementByType(type));
}

void Atom3d::SetElement(std::string_view symbol)
{
    SetElement(ElementFactory::GetElementFactory().FindElement(symbol));
}

// ---- Charges

void Atom3d::SetCharge(double charge)
{
    const auto stored = static_cast<float>(charge);
    if (std::isnan(charge) || stored == m_charge)
        return;
    m_charge = stored;
    DoNotify(Object::classType, EventPropertySet, "Partial Charge", nullptr);
}

Rational Atom3d::StoredFormalCharge() const
{
    std::int32_t numerator = 0;
    std::int32_t denominator = 1;
    if (GetProperty(NumeratorKey, numerator) && GetProperty(DenominatorKey, denominator))
        return {numerator, denominator};
    return {0, 1};
}

void Atom3d::SetFormalCharge(const Rational& charge)
{
    SetFormalCharge(charge.GetNumerator(), charge.GetDenominator());
}

void Atom3d::SetFormalCharge(std::int32_t numerator, std::int32_t denominator)
{
    if (numerator == 0 && denominator == 0) {
        RemoveProperty(NumeratorKey);
        RemoveProperty(DenominatorKey);
    } else {
        SetProperty(NumeratorKey, numerator, 0);
        SetProperty(DenominatorKey, denominator, 0);
    }
    DoNotify(classType, EventFormalChargeSet, nullptr, nullptr);
}

// ---- Hybridization

void Atom3d::SetHybridization(HybridizationType type)
{
    if (type == PerceiveRequest)
        type = PerceiveHybridization();
    const auto code = static_cast<std::uint8_t>(type);
    if (code == m_hybridization)
        return;
    // Out of line, so that the unchanged code (the common answer to a bond's perception) returns
    // without the frame the announcement needs.
    const auto announce = [this](std::uint8_t changed) __attribute__((noinline)) {
        m_hybridization = changed;
        const Watch self(this);
        DoNotify(Object::classType, EventPropertySet, "Hybridization", nullptr);
        if (self.alive)
            DoNotify(classType, EventHybridizationSet, nullptr, nullptr);
    };
    announce(code);
}

Atom::HybridizationType Atom3d::PerceiveHybridization() const
{
    int doubles = 0;
    for (const Bond* bond : GetBonds()) {
        if (const HybridizationType type = ScanBond(bond->GetType(), doubles); type != PerceiveRequest)
            return type;
    }
    const ElementType element = GetElementType();
    return HybridizationByCount(doubles, element, element == 7 && GetFormalCharge() == Rational(1, 1));
}

bool Atom3d::HasSp2Neighbour() const
{
    for (const Bond* bond : GetBonds()) {
        const Atom* const neighbour = DynCast<Atom>(bond->GetAtom1() == this ? bond->GetAtom2() : bond->GetAtom1());
        if (neighbour && neighbour->GetHybridization() == Sp2)
            return true;
    }
    return false;
}

// ---- Valence and hydrogens

namespace {

constexpr ElementType HydrogenType = ElementType(1);

bool IsHydrogen(const Bondable* end)
{
    const Atom* const atom = DynCast<Atom>(end);
    return atom && atom->GetElementType() == HydrogenType;
}

// Unit direction templates of the valence geometries.
constexpr Point3d SpTemplates[] = {{1.0, 0.0, 0.0}, {-1.0, 0.0, 0.0}};
constexpr Point3d Sp2Templates[] = {{1.0, 0.0, 0.0}, {-0.5f, 0.866f, 0.0}, {-0.5f, -0.866f, 0.0}};
constexpr Point3d Sp3Templates[] = {
    {1.0, 0.0, 0.0}, {-0.3338f, 0.9426f, 0.0}, {-0.3338f, -0.4713f, 0.8164f}, {-0.3338f, -0.4713f, -0.8164f}};

Point3d Unit(Point3d p)
{
    p.Normalize();
    return p;
}

Point3d Turned(const Point3d& p, const Point3d& axis, double degrees)
{
    Matrix3x3 rotation;
    rotation.SetRotation(axis, degrees);
    return p * rotation;
}

} // namespace

std::int32_t Atom3d::GetValenceUsed() const
{
    double sum = 0.0;
    for (const Bond* bond : GetBonds())
        sum += bond->GetValenceContribution(this);
    return ValenceUsed(sum);
}

std::int32_t Atom3d::GetValence() const
{
    std::int32_t valence = ElementRecord().GetCommonOxidationState();
    if (GetElementType() != 7) {
        if (m_hybridization == Sp)
            valence -= 2;
        else if (m_hybridization == Sp2)
            valence -= 1;
    }
    return std::max(valence + ClampedCharge(), 0);
}

std::int32_t Atom3d::GetNumHydrogensToAdd() const
{
    return HydrogensToAdd(ClampedCharge(), GetValenceUsed());
}

std::int32_t Atom3d::GetNumHydrogensToDelete() const
{
    return CountOf(std::int64_t{GetValenceUsed()} - ClampedCharge() - ElementRecord().GetCommonOxidationState() -
                   (HasDonatedLonePairs() ? 1 : 0));
}

bool Atom3d::IsValenceSatisfied() const
{
    return GetNumHydrogensToAdd() == 0 && GetNumHydrogensToDelete() == 0;
}

std::int32_t Atom3d::GetNumHydrogens() const
{
    std::int32_t count = 0;
    for (int i = 0; i < GetNumBonds(); ++i)
        count += IsHydrogen(GetAttached(i)) ? 1 : 0;
    return count;
}

std::int32_t Atom3d::GetHydrogens(BaseCollection& out) const
{
    std::int32_t count = 0;
    for (int i = 0; i < GetNumBonds(); ++i) {
        Bondable* const attached = GetAttached(i);
        if (IsHydrogen(attached)) {
            out.Add(attached);
            ++count;
        }
    }
    return count;
}

bool Atom3d::IsHeteroatom() const
{
    const ElementType type = GetElementType();
    return type == 7 || type == 8 || type == 15 || type == 16;
}

bool Atom3d::IsHBondDonor() const
{
    if (GetElementType() == HydrogenType) {
        if (GetNumBonds() == 0)
            return false;
        const Atom* const heavy = DynCast<Atom>(GetAttached(0));
        return heavy && heavy->IsHeteroatom() && IsActive();
    }
    if (!IsHeteroatom())
        return false;
    if (GetNumHydrogensToAdd() >= 1)
        return true;
    for (int i = 0; i < GetNumBonds(); ++i) {
        const Bondable* const attached = GetAttached(i);
        if (IsHydrogen(attached))
            return !attached->IsActive();
    }
    return false;
}

bool Atom3d::IsHBondAcceptor() const
{
    if (GetNumBonds() == 0)
        return false;
    switch (static_cast<std::int32_t>(GetElementType())) {
    case 9:
    case 17:
    case 35:
    case 53: return true;
    case 8:
    case 15:
    case 16: return GetNumLonePairs() >= 1;
    case 7: break;
    default: return false;
    }
    if (GetNumLonePairs() < 1)
        return false;
    if (std::int64_t{GetNumHydrogensToAdd()} + GetNumBonds() <= 2 || PerceiveHybridization() == Sp3 ||
        m_hybridization != Sp2)
        return true;
    // Conjugated, amide-like: a single bond to an Sp2 neighbour takes the lone pair.
    for (const Bond* bond : GetBonds()) {
        const Atom* const neighbour = DynCast<Atom>(bond->GetAtom1() == this ? bond->GetAtom2() : bond->GetAtom1());
        if (bond->GetType() == Bond::Single && neighbour && neighbour->PerceiveHybridization() == Sp2)
            return false;
    }
    return true;
}

std::int32_t Atom3d::GetNumLonePairs() const
{
    const std::int32_t charge = GetFormalCharge().GetNumerator();
    if (GetElementType() == 6)
        return charge < 0 ? 1 : 0;
    double sum = 0.0;
    for (const Bond* bond : GetBonds()) {
        switch (bond->GetType()) {
        case Bond::Double: sum += 2.0; break;
        case Bond::Aromatic:
        case Bond::PartialDouble: sum += 1.5; break;
        default: sum += 1.0; break;
        }
    }
    // In 64 bits: the numerator is whatever the user property holds.
    return CountOf(4 - static_cast<std::int64_t>(sum) - charge);
}

std::int32_t Atom3d::UpdateHydrogens(HydrogenSet set, bool add)
{
    const bool carbon = GetElementType() == 6;
    if ((set == NonCarbonHydrogens && carbon) || (set == CarbonHydrogens && !carbon))
        return 0;
    switch (static_cast<std::int32_t>(GetElementType())) {
    case 1:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 34:
    case 35:
    case 53: break;
    default: return 0;
    }
    // Surplus hydrogens: at most the surplus goes, and no further once the bonds fit the valence.
    const std::int32_t surplus = GetNumHydrogensToDelete();
    if (surplus > 0) {
        const Watch self(this);
        std::int32_t deleted = 0;
        for (int i = GetNumBonds() - 1; i >= 0 && self.alive; --i) {
            Bondable* const attached = GetAttached(i);
            if (IsHydrogen(attached) && attached->GetNumBonds() == 1) {
                delete attached;
                ++deleted;
            }
            if (!self.alive || deleted >= surplus || GetNumBonds() <= GetValence())
                break;
            i = std::min(i, GetNumBonds());
        }
        if (!self.alive)
            return -surplus;
    }
    if (GetElementType() == HydrogenType)
        return 0;
    Point3d directions[5];
    int count = 0;
    GetValenceVectors(directions, count, true);
    if (count == 0)
        return 0;
    std::int64_t missing = add ? std::int64_t{GetNumHydrogensToAdd()} + (HasDonatedLonePairs() ? 1 : 0) : 0;
    const std::int64_t used = GetValenceUsed();
    if (used + missing > 4)
        missing = 4 - used;
    // A valence below 0 (an order no type sets) would ask for any number: never more than four.
    missing = std::min<std::int64_t>(missing, 4);
    const Watch self(this);
    for (std::int64_t i = 0; i < missing && self.alive; ++i) {
        Atom* const hydrogen = CreateNewAtom(GetParent(), HydrogenType);
        hydrogen->SetDisplayStyle(GetDisplayStyle());
        if (IsVisible())
            hydrogen->SetVisible(false);
        else
            hydrogen->SetInvisible(false);
        MakeBond(hydrogen, Bond::Single);
    }
    if (!self.alive)
        return surplus > 0 ? -surplus : static_cast<std::int32_t>(missing);
    // Hydrogens take the free directions in bond order; any beyond them keep their positions.
    const Point3d centre = GetXYZ();
    int slot = GetNumBonds() - GetNumHydrogens();
    for (int i = 0; i < GetNumBonds() && slot < count; ++i) {
        Bondable* const attached = GetAttached(i);
        if (!IsHydrogen(attached))
            continue;
        attached->SetXYZ(centre + directions[slot++]);
    }
    return surplus > 0 ? -surplus : static_cast<std::int32_t>(missing);
}

void Atom3d::RemoveHydrogens(HydrogenSet)
{
    const Watch self(this);
    for (int i = GetNumBonds() - 1; i >= 0 && self.alive; --i) {
        Bondable* const attached = GetAttached(i);
        if (::Tavrel::IsA<Atom3d>(attached) && static_cast<Atom3d*>(attached)->GetElementType() == HydrogenType)
            delete attached;
        if (self.alive)
            i = std::min(i, GetNumBonds());
    }
}

std::int32_t Atom3d::GetValenceSproutVectors(Point3d::Array& out) const
{
    out.assign(5, Point3d());
    int count = 0;
    GetValenceVectors(out.data(), count, true);
    out.resize(static_cast<std::size_t>(count));
    return count;
}

void Atom3d::GetValenceVectors(Point3d* out, int& count, bool skipHydrogens) const
{
    switch (m_hybridization) {
    case Sp: GetSPValenceVectors(out, count, skipHydrogens); break;
    case Sp2: GetSP2ValenceVectors(out, count, skipHydrogens); break;
    case Sp3: GetSP3ValenceVectors(out, count, skipHydrogens); break;
    default: count = 0; break;
    }
}

int Atom3d::TakenDirections(Point3d* out, int count, bool skipHydrogens, const Bondable*& first) const
{
    const Point3d centre = GetXYZ();
    int written = 0;
    first = nullptr;
    for (int i = 0; i < count && i < GetNumBonds(); ++i) {
        const Bondable* const attached = GetAttached(i);
        if (skipHydrogens && IsHydrogen(attached))
            continue;
        if (written == 0)
            first = attached;
        out[written++] = attached->GetXYZ() - centre;
    }
    return skipHydrogens ? written : GetNumBonds();
}

void Atom3d::OrientTemplates(Point3d* templates, int count, const Bondable& neighbour) const
{
    const Point3d away = GetXYZ() - neighbour.GetXYZ();
    const double theta = Angle(away, Point3d::origin, templates[0]);
    const Point3d axis = theta > 0.00001 && theta < 179.99999 ? away.Cross(templates[0]) : Point3d(0.0, 0.0, 1.0);
    for (int i = 0; i < count; ++i)
        templates[i] = Turned(templates[i], axis, 180.0 - theta);
    const Bondable* other = nullptr;
    for (int i = 0; i < neighbour.GetNumBonds() && !other; ++i) {
        if (neighbour.GetAttached(i) != this)
            other = neighbour.GetAttached(i);
    }
    if (neighbour.GetNumBonds() < 2 || !other)
        return;
    const Point3d d = other->GetXYZ() - neighbour.GetXYZ();
    const double phi = Dihedral(d, Point3d::origin, templates[0], templates[1]);
    for (int i = 1; i < count; ++i)
        templates[i] = Turned(templates[i], templates[0], 180.0 - phi);
}

void Atom3d::GetSPValenceVectors(Point3d* out, int& count, bool skipHydrogens) const
{
    count = 2;
    const Bondable* neighbour = nullptr;
    const int taken = TakenDirections(out, count, skipHydrogens, neighbour);
    if (taken == 0) {
        out[0] = SpTemplates[0];
        out[1] = SpTemplates[1];
    } else if (taken == 1) {
        out[1] = -Unit(out[0]);
    }
}

void Atom3d::GetSP2ValenceVectors(Point3d* out, int& count, bool skipHydrogens) const
{
    count = 3;
    const Bondable* neighbour = nullptr;
    const int taken = TakenDirections(out, count, skipHydrogens, neighbour);
    if (taken == 0) {
        std::copy(std::begin(Sp2Templates), std::end(Sp2Templates), out);
    } else if (taken == 1) {
        Point3d templates[3];
        std::copy(std::begin(Sp2Templates), std::end(Sp2Templates), templates);
        OrientTemplates(templates, count, *(neighbour ? neighbour : GetAttached(0)));
        std::copy(templates + 1, templates + count, out + 1);
    } else if (taken == 2) {
        out[2] = -Unit(Unit(out[0]) + Unit(out[1]));
    }
}

void Atom3d::GetSP3ValenceVectors(Point3d* out, int& count, bool skipHydrogens) const
{
    count = 4;
    const Bondable* neighbour = nullptr;
    const int taken = TakenDirections(out, count, skipHydrogens, neighbour);
    if (taken == 0) {
        // An isolated centre gets a randomly oriented tetrahedron.
        UniformRandomSequence random(0.0, 360.0);
        const double aboutX = random.Next();
        const double aboutY = random.Next();
        const double aboutZ = random.Next();
        for (int i = 0; i < count; ++i) {
            out[i] = Sp3Templates[i];
            out[i].RotateAboutX(aboutX).RotateAboutY(aboutY).RotateAboutZ(aboutZ);
        }
    } else if (taken == 1) {
        Point3d templates[4];
        std::copy(std::begin(Sp3Templates), std::end(Sp3Templates), templates);
        OrientTemplates(templates, count, *(neighbour ? neighbour : GetAttached(0)));
        std::copy(templates + 1, templates + count, out + 1);
    } else if (taken == 2) {
        // The two new directions lie in the plane perpendicular to the existing pair, 109.5 apart.
        const Point3d a = Unit(out[0]);
        const Point3d b = Unit(out[1]);
        const Point3d m = -Unit(a + b);
        Point3d p = -Turned(a, m, 90.0);
        Point3d q = -Turned(b, m, 90.0);
        const double psi = Angle(p, Point3d::origin, q);
        const Point3d c = p.Cross(q);
        const double opening = (109.5 - psi) / 2.0;
        p = Turned(p, -c, opening);
        q = Turned(q, c, opening);
        out[2] = Unit(p);
        out[3] = Unit(q);
    } else if (taken == 3) {
        out[3] = -Unit(Unit(out[0]) + Unit(out[1]) + Unit(out[2]));
    }
}

// ---- Chirality

namespace {

// The priority trees give up beyond this many nodes, and ties beyond this many levels.
constexpr int MaxTreeNodes = 255;
constexpr int MaxTreeLevels = 40;
// Neighbours taken from each atom of a branch.
constexpr int MaxBranchNeighbours = 8;

// The extra entries a bond adds for the multiple bond it stands for.
int ExtraEntries(Bond::BondType type)
{
    switch (type) {
    case Bond::PartialDouble:
    case Bond::Aromatic:
    case Bond::Double: return 1;
    case Bond::Triple: return 2;
    default: return 0;
    }
}

// One sphere further out: expands the tree's nodes at depth level. False when nothing was added.
bool Expand(ChiralityTree& tree, int level)
{
    bool added = false;
    const int count = tree.GetSize();
    for (int i = 0; i < count; ++i) {
        const Atom* atom = nullptr;
        int depth = 0;
        if (!tree.GetNode(i, &atom, &depth) || depth != level)
            continue;
        Bondable* neighbours[MaxBranchNeighbours];
        const int found = atom->GetAttached(neighbours, MaxBranchNeighbours);
        for (int j = 0; j < found; ++j) {
            const Atom* const next = DynCast<Atom>(neighbours[j]);
            if (!next)
                continue;
            const int entries = 1 + ExtraEntries(atom->GetBond(j)->GetType());
            for (int k = 0; k < entries; ++k)
                added = tree.AddNode(next, i, next->GetAtomicNumber()) || added;
        }
    }
    return added;
}

} // namespace

Atom::Chirality Atom3d::GetChirality(bool recalculate)
{
    if (GetNumBonds() != 4 || GetNumHydrogens() > 1)
        return NotStereocentre;
    std::int32_t stored = ChiralityUndetermined;
    if (FindUserProperties())
        GetProperty(ChiralityKey, stored);
    if (recalculate) {
        const Chirality code = CalculateChirality();
        if (code != stored)
            SetChirality(code);
        return code;
    }
    return stored != ChiralityUndetermined ? static_cast<Chirality>(stored) : CalculateChirality();
}

void Atom3d::SetChirality(Chirality code)
{
    if (code == ChiralityExtra6 || code == ChiralityExtra7)
        SetChiralityExt(code);
    else
        SetProperty(ChiralityKey, static_cast<std::int32_t>(code), 0);
}

void Atom3d::SetChiralityExt(Chirality code)
{
    if (code == ChiralityExtra6 || code == ChiralityExtra7)
        SetProperty(ChiralityMarkKey, static_cast<std::int32_t>(code), 0);
}

Atom::Chirality Atom3d::CalculateChirality() const
{
    constexpr int Branches = 4;
    Bondable* ends[MaxBranchNeighbours];
    if (GetAttached(ends, MaxBranchNeighbours) < Branches)
        return ChiralityUndetermined;
    std::array<ChiralityTree, Branches> trees;
    std::array<bool, Branches> open{};
    for (int k = 0; k < Branches; ++k) {
        const Atom* const neighbour = DynCast<Atom>(ends[k]);
        if (!neighbour)
            return ChiralityUndetermined;
        trees[k].AddNode(this, 0, GetAtomicNumber());
        trees[k].AddNode(neighbour, 0, neighbour->GetAtomicNumber());
        open[k] = true;
    }

    // Sphere by sphere until no two branches are alike.
    constexpr std::array<std::pair<int, int>, 6> pairs{{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}};
    for (int level = 1;;) {
        for (int k = 0; k < Branches; ++k) {
            if (!open[k])
                continue;
            if (trees[k].GetSize() > MaxTreeNodes)
                return ChiralityUndetermined;
            if (Expand(trees[k], level))
                trees[k].Sort();
            else
                open[k] = false;
        }
        const auto tie = std::find_if(pairs.begin(), pairs.end(),
                                      [&](const auto& pair) { return trees[pair.first] == trees[pair.second]; });
        if (tie == pairs.end())
            break;
        // Two identical branches explored to their ends.
        if (!open[tie->first] && !open[tie->second])
            return NotStereocentre;
        if (++level == MaxTreeLevels)
            return ChiralityUndetermined;
    }

    // Highest priority first.
    std::array<int, Branches> order{0, 1, 2, 3};
    for (int i = 1; i < Branches; ++i) {
        for (int j = i; j > 0 && trees[order[j - 1]] < trees[order[j]]; --j)
            std::swap(order[j - 1], order[j]);
    }
    const Point3d centre = GetXYZ();
    const Point3d d1 = ends[order[0]]->GetXYZ() - centre;
    const Point3d d2 = ends[order[1]]->GetXYZ() - centre;
    const Point3d d3 = ends[order[2]]->GetXYZ() - centre;
    // Seen with the lowest priority away from the viewer, 1 -> 2 -> 3 runs clockwise for R.
    return d1.Cross(d2).Dot(d3) >= 0.0 ? ChiralityS : ChiralityR;
}

// ---- Display-size percentages

bool Atom3d::Percent(float factor, std::uint8_t& percent)
{
    if (std::isnan(factor))
        return false;
    const float scaled = std::round(factor * 100.0f);
    percent = static_cast<std::uint8_t>(scaled <= 0.0f ? 0.0f : scaled >= 255.0f ? 255.0f : scaled);
    return true;
}

void Atom3d::SetPercent(std::uint8_t& field, float factor, const char* attribute)
{
    std::uint8_t percent = 0;
    if (!Percent(factor, percent) || percent == field)
        return;
    field = percent;
    DoNotify(Object::classType, EventPropertySet, attribute, nullptr);
}

void Atom3d::SetCPKScale(float scale)
{
    SetPercent(m_cpkPercent, scale, "CPK Scale");
}

void Atom3d::SetBallSize(float size)
{
    SetPercent(m_ballPercent, size, "Ball Size");
}

void Atom3d::SetStickRadius(float radius)
{
    SetPercent(m_stickPercent, radius, "Stick Radius");
}

void Atom3d::SetCPKScaleDefault(float scale)
{
    Percent(scale, s_cpkDefault);
}

void Atom3d::SetBallSizeDefault(float size)
{
    Percent(size, s_ballDefault);
}

void Atom3d::SetStickRadiusDefault(float radius)
{
    Percent(radius, s_stickDefault);
}

// ---- Crystal symmetry

bool Atom3d::IsPeriodic() const
{
    return CrystalImageQueries::Installed().IsPeriodic(*this);
}

bool Atom3d::IsSymmetric() const
{
    return CrystalImageQueries::Installed().IsSymmetric(*this);
}

std::int16_t Atom3d::GetSymmetryOperator() const
{
    return CrystalImageQueries::Installed().GetSymmetryOperator(*this);
}

LatticeOffset Atom3d::GetLatticeOffset() const
{
    return CrystalImageQueries::Installed().GetLatticeOffset(*this);
}

Atom* Atom3d::CreateNewAtom(Object* parent, ElementType type)
{
    return new Atom3d(parent, type);
}

// ---- Structure building

namespace {

// The live atom of an OID; null once it is gone.
Atom* LiveAtomOf(std::uint32_t oid)
{
    return DynCast<Atom>(Object::GetObjectA(oid));
}

bool IsPositiveLength(double length)
{
    return length > 0.0 && std::isfinite(length);
}

// Appends n carbon atoms under parent; those that listeners delete read null in the collection.
void AddCarbons(Object* parent, int n, OrdCollection& atoms)
{
    for (int i = 0; i < n; ++i)
        atoms.Add(new Atom3d(parent, "C"));
}

// Places atom i of the collection at points[i] × turn + origin.
void PlaceAtoms(const OrdCollection& atoms, const Point3d::Array& points, const Matrix4x4& turn, const Point3d& origin)
{
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (auto* const atom = DynCast<Atom>(atoms.GetAt(static_cast<int>(i))))
            atom->SetXYZ(points[i] * turn + origin);
    }
}

// The rotation turning axis onto direction; the identity for a zero direction.
Matrix4x4 TurnTowards(const Point3d& axis, const Point3d& direction)
{
    Matrix4x4 turn;
    if (direction != Point3d::origin)
        turn.SetRotation(axis, direction);
    return turn;
}

} // namespace

Atom3d* Atom3d::SproutAtom(const Point3d& position, std::string_view symbol, Bond::BondType type, bool updateHydrogens,
                           bool fuseOverlaps)
{
    const Watch self(this);
    auto* const sprouted = new Atom3d(DynCast<Object>(GetParent()), std::string(symbol).c_str());
    const Watch watched(sprouted);
    const auto bothAlive = [&] { return self.alive && watched.alive; };
    if (bothAlive())
        sprouted->SetDisplayStyle(GetDisplayStyle());
    if (bothAlive())
        sprouted->SetXYZ(position);
    if (updateHydrogens && bothAlive())
        RemoveHydrogens(AllHydrogens);
    if (bothAlive()) {
        if (Bond* const bond = MakeBond(sprouted, Bond::Single))
            bond->SetType(type);
    }
    if (bothAlive())
        SetHybridization(PerceiveRequest);
    if (updateHydrogens) {
        if (bothAlive())
            UpdateHydrogens(AllHydrogens, true);
        if (bothAlive())
            sprouted->UpdateHydrogens(AllHydrogens, true);
    }
    if (fuseOverlaps && watched.alive)
        sprouted->FuseOverlaps(type, 8, updateHydrogens);
    return watched.alive ? sprouted : nullptr;
}

Atom3d* Atom3d::SproutAtom(std::string_view symbol, Bond::BondType type, bool updateHydrogens, bool fuseOverlaps)
{
    if (GetNumBonds() != 1)
        return nullptr;
    auto* const neighbour = DynCast<Atom3d>(GetAttached(0));
    if (!neighbour)
        return nullptr;
    const Point3d from = neighbour->GetXYZ();
    Point3d direction = GetXYZ() - from;
    direction.Normalize();
    const Point3d position = from + direction * (2.0 * neighbour->GetCovalentRadius());
    return neighbour->SproutAtom(position, symbol, type, updateHydrogens, fuseOverlaps);
}

bool Atom3d::FuseRing(OrdCollection& ring, int index)
{
    const int n = ring.GetSize();
    if (index < 0 || index >= n)
        return false;
    // The ring by OID: listeners may delete its atoms or change the collection while it is fused.
    std::vector<std::uint32_t> members;
    Point3d::Array points;
    members.reserve(static_cast<std::size_t>(n));
    points.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto* const atom = DynCast<Atom>(ring.GetAt(i));
        if (!atom || atom == this)
            return false;
        members.push_back(atom->GetOID());
        points.push_back(atom->GetXYZ());
    }
    const auto at = [&](int i) { return points[static_cast<std::size_t>(i)]; };
    const Point3d fused = at(index);
    const Point3d next = at(index + 1 == n ? 0 : index + 1);
    const Point3d prev = at(index == 0 ? n - 1 : index - 1);
    const Point3d centre = GetXYZ();

    // From-points on the ring, to-points at this atom.
    Point3d::Array from;
    Point3d::Array to;
    if (GetNumBonds() == 1) {
        const Point3d free = Unit(centre - GetAttached(0)->GetXYZ());
        const Point3d inward = Unit(Unit(prev - fused) + Unit(next - fused));
        from = {fused, fused + inward};
        to = {centre, centre + free};
    } else if (GetNumBonds() >= 2) {
        const Point3d d0 = Unit(GetAttached(0)->GetXYZ() - centre);
        const Point3d d1 = Unit(GetAttached(1)->GetXYZ() - centre);
        const Point3d m = Unit(d0 + d1);
        // Unit frames on both sides, so that the fit is exact.
        const Point3d w = Unit(CrossProduct(m, CrossProduct(m, d0)));
        const Point3d e1 = Unit(next - fused);
        const Point3d e2 = Unit(prev - fused);
        const Point3d outward = -Unit(e1 + e2);
        const Point3d normal = Unit(CrossProduct(outward, e1));
        from = {fused, fused + outward, fused + normal};
        to = {centre, centre + m, centre + w};
    }
    RMSBestFit(from, to, points);

    const Watch self(this);
    for (int i = 0; i < n && self.alive; ++i) {
        Atom* const atom = LiveAtomOf(members[static_cast<std::size_t>(i)]);
        if (!atom)
            continue;
        const Watch member(atom);
        atom->SetXYZ(at(i));
        if (self.alive && member.alive)
            atom->SetDisplayStyle(GetDisplayStyle());
        if (i == index && self.alive && member.alive)
            MergeAtom(atom, true, false);
    }

    // The merged atom leaves the ring; so does any atom that listeners deleted.
    ring.RemoveAll();
    for (int i = 0; i < n; ++i) {
        if (i != index)
            if (Atom* const atom = LiveAtomOf(members[static_cast<std::size_t>(i)]))
                ring.Add(atom);
    }
    return true;
}

bool Atom3d::CreateChain(Object* parent, int n, OrdCollection& atoms, OrdCollection& bonds)
{
    if (n < 1)
        return false;
    atoms.RemoveAll();
    bonds.RemoveAll();
    AddCarbons(parent, n, atoms);
    for (int i = 1; i < n; ++i) {
        auto* const a = DynCast<Atom>(atoms.GetAt(i - 1));
        auto* const b = DynCast<Atom>(atoms.GetAt(i));
        if (Bond* const bond = a && b ? a->MakeBond(b, Bond::Single) : nullptr)
            bonds.Add(bond);
    }
    return true;
}

bool Atom3d::CreateChain(Object* parent, int n, double bondLength, const Point3d& origin, const Point3d& direction,
                         bool flip, OrdCollection& atoms, OrdCollection& bonds)
{
    Point3d::Array points;
    if (!GetChainCoords(bondLength, n, points))
        return false;
    if (flip) {
        for (Point3d& point : points)
            point.y = -point.y;
    }
    CreateChain(parent, n, atoms, bonds);
    PlaceAtoms(atoms, points, TurnTowards(Point3d(1.0, 0.0, 0.0), direction), origin);
    return true;
}

bool Atom3d::CreateRing(Object* parent, int n, bool aromatic, OrdCollection& atoms, OrdCollection& bonds)
{
    if (n < 3)
        return false;
    atoms.RemoveAll();
    bonds.RemoveAll();
    AddCarbons(parent, n, atoms);
    for (int i = 0; i < n; ++i) {
        auto* const a = DynCast<Atom>(atoms.GetAt(i));
        auto* const b = DynCast<Atom>(atoms.GetAt((i + 1) % n));
        Bond* const bond = a && b ? a->MakeBond(b, Bond::Single) : nullptr;
        if (!bond)
            continue;
        bond->SetIsInRing(true);
        bonds.Add(bond);
        if (aromatic)
            bond->SetType(Bond::Aromatic);
    }
    return true;
}

bool Atom3d::CreateRing(Object* parent, int n, double bondLength, const Point3d& origin, const Point3d& normal,
                        bool aromatic, OrdCollection& atoms, OrdCollection& bonds)
{
    Point3d::Array points;
    if (!GetRingCoords(bondLength, n, points))
        return false;
    CreateRing(parent, n, aromatic, atoms, bonds);
    PlaceAtoms(atoms, points, TurnTowards(Point3d(0.0, 0.0, 1.0), normal), origin);
    return true;
}

void Atom3d::AssignRingCoords(double radius, double step, int n, Point3d::Array& out)
{
    out.resize(static_cast<std::size_t>(std::max(n, 0)));
    double theta = 0.0;
    for (Point3d& point : out) {
        point = Point3d(radius * std::sin(theta), radius * std::cos(theta), 0.0);
        theta += step;
    }
}

bool Atom3d::GetRingCoords(double bondLength, int n, Point3d::Array& out)
{
    if (n < 3 || !IsPositiveLength(bondLength))
        return false;
    constexpr double TwoPi = 6.283185307179586;
    const double step = TwoPi / n;
    AssignRingCoords(bondLength / std::sqrt(2.0 * (1.0 - std::cos(step))), step, n, out);
    return true;
}

bool Atom3d::GetRingCoords(double bondLength, double radius, Point3d::Array& out)
{
    out.clear();
    if (!IsPositiveLength(radius) || !IsPositiveLength(bondLength))
        return false;
    const double ratio = bondLength / radius;
    const double x = std::clamp(1.0 - ratio * ratio / 2.0, -1.0, 1.0);
    constexpr double TwoPi = 6.283185307179586;
    const double size = TwoPi / std::acos(x) + 0.5;
    // A bond length far below the radius asks for more points than a ring can sensibly have.
    if (!(size < MaxGeneratedPoints + 1.0))
        return false;
    return GetRingCoords(bondLength, static_cast<int>(size), out);
}

bool Atom3d::GetChainCoords(double bondLength, int n, Point3d::Array& out)
{
    if (n < 1 || !IsPositiveLength(bondLength))
        return false;
    out.resize(static_cast<std::size_t>(n));
    const double dx = 0.866 * bondLength;
    const double dy = 0.5 * bondLength;
    double x = 0.0;
    double y = 0.0;
    for (int k = 0; k < n; ++k) {
        if (k > 0) {
            x += dx;
            y += k % 2 == 1 ? dy : -dy;
        }
        out[static_cast<std::size_t>(k)] = Point3d(x, y, 0.0);
    }
    return true;
}

bool Atom3d::GetChainCoords(double bondLength, double length, Point3d::Array& out)
{
    out.clear();
    if (!IsPositiveLength(bondLength) || !std::isfinite(length))
        return false;
    const double dx = 0.866 * bondLength;
    const double size = (0.5 * dx + length) / dx;
    if (!(size >= 2.0 && size < MaxGeneratedPoints + 1.0))
        return false;
    return GetChainCoords(bondLength, static_cast<int>(size), out);
}

int Atom3d::CollectPoints(Point3d::Array& out) const
{
    out.push_back(GetXYZ());
    for (int i = 0; i < GetNumBonds(); ++i)
        out.push_back(GetAttached(i)->GetXYZ());
    return static_cast<int>(out.size());
}

bool Atom3d::IsSquarePlanarGeometry() const
{
    static constexpr int Sets[5][4] = {{0, 1, 2, 3}, {0, 2, 3, 4}, {0, 1, 2, 4}, {1, 2, 3, 4}, {0, 1, 3, 4}};
    const int bonds = GetNumBonds();
    Point3d::Array points(5);
    points[0] = GetXYZ();
    for (const auto& set : Sets) {
        for (int j = 0; j < 4; ++j) {
            if (set[j] >= bonds)
                return false;
            points[static_cast<std::size_t>(j) + 1] = GetAttached(set[j])->GetXYZ();
        }
        if (IsPlanar(points, 0.2))
            return true;
    }
    return false;
}

// ---- Molecule membership

template <class Move>
void Atom3d::MoveAnnounced(TreeNode* parent, Move&& move)
{
    Molecule* const from = FindFrom<Molecule>(GetParent());
    Molecule* to = nullptr;
    if (::Tavrel::IsA<Molecule>(parent))
        to = static_cast<Molecule*>(parent);
    else if (::Tavrel::IsA<Object>(parent))
        to = FindFrom<Molecule>(parent);
    const Watch self(this);
    if (from && to != from) {
        DoNotify(classType, EventLeavingMolecule, nullptr, nullptr);
        if (!self.alive)
            return;
    }
    move();
    if (!self.alive || !to || to == from || GetParent() != parent)
        return;
    // Joining its parent gave the atom the mask bits of every tree registration above it, so the
    // mask tells whether anyone there, or on the atom, hears the arrival.
    NotifyIfHeard(classType, EventAtomAdded, nullptr, nullptr);
}

void Atom3d::SetParent(TreeNode* parent)
{
    MoveAnnounced(parent, [this, parent] { Atom::SetParent(parent); });
}

void Atom3d::SetParentAt(TreeNode* parent, int index)
{
    MoveAnnounced(parent, [this, parent, index] { Atom::SetParentAt(parent, index); });
}

// ---- Persistence

const PropertyTable& Atom3d::Properties()
{
    static const PropertyTable table(
        PropertyList<Atom3d>()
            .Value<Storage::StorageInt>(
                "Element", [](const Atom3d& atom) { return static_cast<std::int32_t>(atom.GetElementType()); },
                [](Atom3d& atom, std::int32_t type) { atom.SetElement(static_cast<ElementType>(type)); })
            .Field<&Atom3d::m_hybridization>("Hybridization")
            .ArchiveAs<std::int32_t>()
            .Field<&Atom3d::m_charge>("Charge")
            .Field<&Atom3d::m_cpkPercent>("CPKScale")
            .Field<&Atom3d::m_ballPercent>("BallSize")
            .Field<&Atom3d::m_stickPercent>("StickRadius")
            .FromSchema(2));
    return table;
}

} // namespace Tavrel
