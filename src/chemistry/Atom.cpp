#include <tavrel/chemistry/Atom.h>

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <vector>

#include <tavrel/chemistry/BondedTraversalIterator.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/chemistry/ElementPropertyValue.h>
#include <tavrel/core/ColorMap.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Atom)

namespace {

constexpr const char* DonatedLonePairsKey = "__nLP";

// Crystallographic data: the occupancy, its mark, the isotropic displacement and the anisotropic
// components followed by their uncertainties.
constexpr const char* OccupancyKey = "_OCC";
constexpr const char* HasOccupancyKey = "_HOC";
constexpr const char* IsotropicKey = "_IDP";
constexpr const char* AnisotropicKeys[12] = {
    "_ADPU11",  "_ADPU22",  "_ADPU33",  "_ADPU12",  "_ADPU13",  "_ADPU23",
    "_ADPSU11", "_ADPSU22", "_ADPSU33", "_ADPSU12", "_ADPSU13", "_ADPSU23",
};

// The words of the display styles, by code.
constexpr const char* DisplayStyleNames[] = {
    "None",       "Line",        "Stick",              "BallAndStick",       "CPK", "Polyhedron",
    "LineSingle", "StickSingle", "BallAndStickSingle", "ScaledBallAndStick", "ScaledBallAndStickSingle",
};

constexpr std::int32_t ReadWriteAccess = ObjectProperty::AccessReadable | ObjectProperty::AccessWritable;

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

Atom::Atom(Object* parent) : Bondable(parent) {}

Atom::~Atom()
{
    DoNotify(classType, EventDestroyed, nullptr, nullptr);
}

namespace {

// The formal charge as "+1", "-1/2"; empty when neutral.
std::string FormalChargeText(const Rational& charge)
{
    const std::int32_t numerator = charge.GetNumerator();
    const std::int32_t denominator = charge.GetDenominator();
    if (numerator == 0 || denominator == 0)
        return {};
    return denominator == 1 ? StringUtils::Format("%+d", numerator)
                            : StringUtils::Format("%+d/%d", numerator, denominator);
}

// The blanks are removed first ("- 1 / 2" is "-1/2", "1 2" is "12"); each side of the slash is then
// read as StringToInteger reads ("+2abc" gives 2); text without a slash is the numerator over 1, and
// blank text is neutral. False, with nothing changed, for a side without a number or a zero
// denominator.
bool SetFormalChargeText(Atom& atom, std::string_view text)
{
    std::string compact;
    for (const char c : text) {
        if (!StringUtils::IsSpace(c))
            compact += c;
    }
    if (compact.empty()) {
        atom.SetFormalCharge(0, 0);
        return true;
    }
    std::int32_t numerator = 1;
    std::int32_t denominator = 1;
    const std::string_view charge(compact);
    const std::size_t slash = charge.find('/');
    if (!StringUtils::StringToInteger(charge.substr(0, slash), numerator))
        return false;
    if (slash != std::string_view::npos &&
        (!StringUtils::StringToInteger(charge.substr(slash + 1), denominator) || denominator == 0))
        return false;
    atom.SetFormalCharge(numerator, denominator);
    return true;
}

// The text interface reads through const objects; reading the chirality may refresh the code the
// atom keeps.
std::string ChiralityText(const Atom& atom)
{
    return const_cast<Atom&>(atom).GetChiralityAsString();
}

ObjectProperty TextProperty(const char* name, std::string text, std::int32_t access)
{
    return ObjectProperty(name, std::move(text), access, 0);
}

// The text forms of a crystallographic value: "%.2f", read as a float, listed only when set.
template <float (Atom::*Get)() const, void (Atom::*Set)(float), bool (Atom::*Has)() const>
struct CrystalValue {
    static std::string Text(const Atom& atom) { return StringUtils::Format("%.2f", (atom.*Get)()); }
    static bool Parse(Atom& atom, std::string_view text)
    {
        float value = 0.0f;
        if (!StringUtils::StringToReal(text, value))
            return false;
        (atom.*Set)(value);
        return true;
    }
    static ObjectProperty Listed(const Atom& atom, const char* name)
    {
        return (atom.*Has)() ? TextProperty(name, Text(atom), ReadWriteAccess) : ObjectProperty();
    }
};
using Occupancy = CrystalValue<&Atom::GetOccupancy, &Atom::SetOccupancy, &Atom::HasOccupancy>;

using Displacement =
    CrystalValue<&Atom::GetIsotropicDisplacement, &Atom::SetIsotropicDisplacement, &Atom::HasIsotropicDisplacement>;

} // namespace

const PropertyTable& Atom::Properties()
{
    static const PropertyTable table(
        PropertyList<Atom>()
            .Text("Element")
            .GetText([](const Atom& atom) { return atom.GetElement()->GetName(); })
            .SetText([](Atom& atom, std::string_view name) {
                ElementPropertyValue element(atom.GetElement());
                if (!element.FromString(name))
                    return false;
                const Watch self(&atom);
                atom.SetElement(element.GetValue()->GetType());
                if (self.alive && atom.CheckColorScheme(1))
                    atom.SetColor(atom.GetElement()->GetColor());
                return true;
            })
            .Described([](const Atom& atom) {
                const ElementPropertyValue value(atom.GetElement());
                return ObjectProperty("Element", &value, ReadWriteAccess, 4);
            })
            .Text("Hybridization")
            .GetText([](const Atom& atom) { return atom.GetHybridizationAsString(); })
            .SetText([](Atom& atom, std::string_view word) {
                atom.SetHybridizationAsString(word);
                return true;
            })
            .Described([](const Atom& atom) {
                ObjectProperty property("Hybridization", atom.GetHybridizationAsString(), ReadWriteAccess, 1);
                property.SetAllValues({"Sp", "Sp2", "Sp3"});
                return property;
            })
            .Text("PartialCharge")
            .GetText([](const Atom& atom) { return StringUtils::Format("%.3f", atom.GetCharge()); })
            .SetText([](Atom& atom, std::string_view text) {
                // Atoms keep the charge as a float.
                float charge = 0.0f;
                if (!StringUtils::StringToReal(text, charge))
                    return false;
                atom.SetCharge(charge);
                return true;
            })
            .Described([](const Atom& atom) {
                return TextProperty("PartialCharge", StringUtils::Format("%.3f", atom.GetCharge()), ReadWriteAccess);
            })
            .Text("FormalCharge")
            .GetText([](const Atom& atom) { return FormalChargeText(atom.GetFormalCharge()); })
            .SetText([](Atom& atom, std::string_view text) { return SetFormalChargeText(atom, text); })
            .Described([](const Atom& atom) {
                return TextProperty("FormalCharge", FormalChargeText(atom.GetFormalCharge()), ReadWriteAccess);
            })
            .Text("Chirality")
            .GetText([](const Atom& atom) { return ChiralityText(atom); })
            .ReadOnly()
            .Described([](const Atom& atom) {
                return TextProperty("Chirality", ChiralityText(atom), ObjectProperty::AccessReadable);
            })
            .Text("Style")
            .SetText([](Atom& atom, std::string_view word) {
                for (std::int32_t code = 0; code < static_cast<std::int32_t>(std::size(DisplayStyleNames)); ++code) {
                    if (StringUtils::EqualsNoCase(word, DisplayStyleNames[code])) {
                        atom.SetDisplayStyle(code);
                        return true;
                    }
                }
                return false;
            })
            .Text("Occupancy")
            .GetText([](const Atom& atom) { return Occupancy::Text(atom); })
            .SetText([](Atom& atom, std::string_view text) { return Occupancy::Parse(atom, text); })
            .Described([](const Atom& atom) { return Occupancy::Listed(atom, "Occupancy"); })
            .Text("Isotropic Displacement")
            .GetText([](const Atom& atom) { return Displacement::Text(atom); })
            .SetText([](Atom& atom, std::string_view text) { return Displacement::Parse(atom, text); })
            .Described([](const Atom& atom) { return Displacement::Listed(atom, "Isotropic Displacement"); })
            .Text("SymmetryLabel")
            .GetText([](const Atom& atom) { return CrystalImageQueries::Installed().GetSymmetryLabel(atom); })
            .ReadOnly()
            .Described([](const Atom& atom) {
                std::string label = CrystalImageQueries::Installed().GetSymmetryLabel(atom);
                if (label.empty())
                    return ObjectProperty();
                return TextProperty("SymmetryLabel", std::move(label), ObjectProperty::AccessReadable);
            })
            .AfterLoad([](Atom& atom, Archive&, PropertyArchive*) {
                // Most atoms have no user properties to look at.
                const Property* const properties = atom.FindUserProperties();
                if (properties && properties->GetNumTemporaries() > 0)
                    atom.KeepOwnCellsArchived(atom.EditUserPropertyTable());
            }));
    return table;
}

void Atom::KeepOwnCellsArchived(Property& cells) const
{
    for (const char* const key : {OccupancyKey, HasOccupancyKey, IsotropicKey})
        cells.SetTemporary(key, false);
    for (const char* const key : AnisotropicKeys)
        cells.SetTemporary(key, false);
}

std::string Atom::GetLabel() const
{
    std::string label = Object::GetLabel();
    if (label.empty())
        return DefaultLabel();
    return label;
}

std::string Atom::DefaultLabel() const
{
    std::string label = GetElementSymbol();
    StringUtils::AppendInteger(label, GetIndex() + 1);
    return label;
}

// ---- Colour schemes and typed descriptors

std::int32_t Atom::GetColorSchemes(std::vector<std::string>& schemes) const
{
    schemes.emplace_back("Element");
    schemes.emplace_back("Parent Color");
    schemes.emplace_back("Charge");
    if (HasIsotropicDisplacement())
        schemes.emplace_back("Isotropic Displacement");
    return GetParentColorSchemes(schemes);
}

void Atom::SetColorScheme(std::string_view name)
{
    if (name.empty())
        return;
    const auto mapped = [](double value, double begin, double end, const Color& first, const Color& last) {
        ColorMap map(99);
        map.SetBeginEnd(begin, end);
        map.Ramp(first, Color::White(), last, true);
        return map.ColorAtValue(value);
    };
    Color color;
    std::int32_t hint = 0;
    if (StringUtils::EqualsNoCase(name, "Element")) {
        hint = 1;
        color = GetElement()->GetColor();
    } else if (StringUtils::EqualsNoCase(name, "Parent Color")) {
        const Object* const parent = GetParent();
        if (!parent)
            return;
        hint = 2;
        color = parent->GetColor();
    } else if (StringUtils::EqualsNoCase(name, "Chirality")) {
        // Deciding the code may store it, and listeners may delete the atom meanwhile.
        const Watch self(this);
        const Chirality code = GetChirality(true);
        if (!self.alive)
            return;
        hint = 3;
        color = code == ChiralityR ? Color::Red()
                : code == ChiralityS ? Color::Blue()
                : code == ChiralityUndetermined ? Color::Yellow()
                                                 : Color::White();
    } else if (StringUtils::EqualsNoCase(name, "Charge")) {
        hint = 4;
        color = mapped(GetCharge(), -1.0, 1.0, Color::Red(), Color::Blue());
    } else if (StringUtils::EqualsNoCase(name, "Isotropic Displacement")) {
        hint = 5;
        color = mapped(GetIsotropicDisplacement(), 0.0, 40.0, Color::Blue(), Color::Red());
    } else {
        SetColorSchemeHint(6);
        Bondable::SetColorScheme(name);
        return;
    }
    SetColorSchemeHint(hint);
    SetColor(color);
}

ObjectProperty Atom::GetPropertyAsObjectProperty(std::string_view name) const
{
    if (StringUtils::EqualsNoCase(name, "Occupancy")) {
        if (!HasOccupancy())
            return {};
        return ObjectProperty("Occupancy", GetOccupancy(), ReadWriteAccess, 0);
    }
    if (StringUtils::EqualsNoCase(name, "Isotropic Displacement"))
        return ObjectProperty("pIsotropicDisplacement", GetIsotropicDisplacement(), ReadWriteAccess, 0);
    if (StringUtils::EqualsNoCase(name, "SymmetryLabel")) {
        return TextProperty("SymmetryLabel", CrystalImageQueries::Installed().GetSymmetryLabel(*this),
                            ObjectProperty::AccessReadable);
    }
    return Bondable::GetPropertyAsObjectProperty(name);
}

void Atom::ChangeElement(std::string_view symbol)
{
    SetElement(symbol);
    if (CheckColorScheme(1))
        SetColor(GetElement()->GetColor());
    SetLabel(DefaultLabel());
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
    return GetHybridizationName(PerceiveHybridization());
}

void Atom::SetHybridizationAsString(std::string_view word)
{
    std::int32_t code = 11;
    while (code > 0 && !StringUtils::EqualsNoCase(word, HybridizationNames[code]))
        --code;
    SetHybridization(static_cast<HybridizationType>(code));
}

Atom::Chirality Atom::GetChirality(bool)
{
    return ChiralityUndetermined;
}

const char* Atom::GetChiralityName(std::int32_t code)
{
    switch (code) {
    case ChiralityUndetermined: return "?";
    case ChiralityR: return "R";
    case ChiralityS: return "S";
    case ChiralityProR: return "ProR";
    case ChiralityProS: return "ProS";
    default: return "";
    }
}

std::string Atom::GetChiralityAsString()
{
    std::string text = GetChiralityName(GetChirality(true));
    if (std::int32_t mark = 0; GetProperty(ChiralityMarkKey, mark)) {
        if (mark == ChiralityExtra6)
            text += '*';
        else if (mark == ChiralityExtra7)
            text += '?';
    }
    return text;
}

// ---- Crystallographic data

bool Atom::HasOccupancy() const
{
    return HasProperty(HasOccupancyKey);
}

float Atom::GetOccupancy() const
{
    float occupancy = 1.0f;
    if (HasOccupancy())
        GetProperty(OccupancyKey, occupancy);
    return occupancy;
}

void Atom::SetOccupancy(float occupancy)
{
    const Watch self(this);
    if (occupancy == 1.0f)
        RemoveProperty(OccupancyKey);
    else
        SetProperty(OccupancyKey, occupancy, 0);
    if (self.alive)
        SetProperty(HasOccupancyKey, std::int32_t{1}, 0);
}

bool Atom::HasIsotropicDisplacement() const
{
    return HasProperty(IsotropicKey);
}

float Atom::GetIsotropicDisplacement() const
{
    float displacement = 0.0f;
    GetProperty(IsotropicKey, displacement);
    return displacement;
}

void Atom::SetIsotropicDisplacement(float displacement)
{
    if (displacement == 0.0f)
        RemoveIsotropicDisplacement();
    else
        SetProperty(IsotropicKey, displacement, 0);
}

void Atom::RemoveIsotropicDisplacement()
{
    RemoveProperty(IsotropicKey);
}

bool Atom::HasAnisotropicDisplacement() const
{
    return HasProperty(AnisotropicKeys[0]);
}

AnisotropicDisplacement Atom::GetAnisotropicDisplacement() const
{
    float v[12] = {};
    for (std::size_t i = 0; i < std::size(AnisotropicKeys); ++i)
        GetProperty(AnisotropicKeys[i], v[i]);
    return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]};
}

void Atom::SetAnisotropicDisplacement(float u11, float u22, float u33, float u12, float u13, float u23, float sigu11,
                                      float sigu22, float sigu33, float sigu12, float sigu13, float sigu23)
{
    const float values[12] = {u11, u22, u33, u12, u13, u23, sigu11, sigu22, sigu33, sigu12, sigu13, sigu23};
    const Watch self(this);
    for (std::size_t i = 0; i < std::size(AnisotropicKeys) && self.alive; ++i)
        SetProperty(AnisotropicKeys[i], values[i], 0);
}

void Atom::SetAnisotropicDisplacement(const AnisotropicDisplacement& d)
{
    SetAnisotropicDisplacement(d.GetU11(), d.GetU22(), d.GetU33(), d.GetU12(), d.GetU13(), d.GetU23(), d.GetSigu11(),
                               d.GetSigu22(), d.GetSigu33(), d.GetSigu12(), d.GetSigu13(), d.GetSigu23());
}

void Atom::RemoveAnisotropicDisplacement()
{
    const Watch self(this);
    for (std::size_t i = 0; i < std::size(AnisotropicKeys) && self.alive; ++i)
        RemoveProperty(AnisotropicKeys[i]);
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

void Atom::MergeAtom(Atom* other, bool takeElement, bool perceive)
{
    if (!other || other == this)
        return;
    const Watch self(this);
    const Watch merged(other);
    const bool hydrogens = GetNumHydrogens() != 0;
    if (takeElement)
        ChangeElement(other->GetElementSymbol());
    if (hydrogens && self.alive && merged.alive)
        RemoveHydrogens(AllHydrogens);
    if (self.alive && merged.alive)
        Fuse(other);
    if (perceive && self.alive)
        SetHybridization(PerceiveRequest);
    if (hydrogens && self.alive)
        UpdateHydrogens(AllHydrogens, true);
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
