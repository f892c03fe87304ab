#include <tavrel/chemistry/Molecule.h>

#include <algorithm>
#include <map>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/ConformationQueries.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Molecule)

namespace {

constexpr ElementType HydrogenType = ElementType(1);
constexpr ElementType CarbonType = ElementType(6);

// Atom counts by element type, implicit hydrogens counted under type 1, and the weight of the first
// element met of each type (hydrogen's table weight for type 1). Counts and sums of implicit
// hydrogens take 64 bits: a bond order no type sets can make an atom lack any number.
struct Census {
    std::map<std::int32_t, std::int64_t> counts;
    std::map<std::int32_t, float> weights;
    bool anyKnown = false;  // an atom with an atomic number above 0
};

template <class Visit>
void ForEachAtom(const Molecule& molecule, std::uint32_t type, Visit&& visit)
{
    DescendentIterator walk(const_cast<Molecule*>(&molecule), type, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        visit(*static_cast<Atom*>(object));
}

Census TakeCensus(const Molecule& molecule)
{
    Census census;
    std::int64_t implicit = 0;
    ForEachAtom(molecule, Atom3d::classType, [&census, &implicit](const Atom& atom) {
        census.anyKnown = census.anyKnown || atom.GetAtomicNumber() > 0;
        implicit += atom.GetNumHydrogensToAdd();
        const auto type = static_cast<std::int32_t>(atom.GetElementType());
        ++census.counts[type];
        census.weights.try_emplace(type, atom.GetElement()->GetAtomicWeight());
    });
    if (implicit > 0)
        census.counts[HydrogenType] += implicit;
    census.weights[HydrogenType] = ElementFactory::GetElementFactory().FindElementByAtomicNumber(1)->GetAtomicWeight();
    return census;
}

std::string SymbolOf(std::int32_t type)
{
    return ElementFactory::GetElementFactory().FindElementByType(static_cast<ElementType>(type))->GetSymbol();
}

// Carbon, hydrogen, then the other types in ascending order; the unknown element is left out.
template <class Part>
std::string Compose(const Census& census, Part&& part)
{
    std::string text;
    const auto add = [&](std::int32_t type) {
        const auto found = census.counts.find(type);
        if (found != census.counts.end() && found->second > 0)
            text += part(type, found->second);
    };
    add(CarbonType);
    add(HydrogenType);
    for (const auto& [type, count] : census.counts) {
        if (type >= 2 && type != CarbonType)
            add(type);
    }
    return text;
}

void TrimEnd(std::string& text, std::string_view characters)
{
    text.erase(text.find_last_not_of(characters) + 1);
}

} // namespace

Molecule::Molecule(Object* parent) : Geometric3d(parent) {}

const PropertyTable& Molecule::Properties()
{
    static const PropertyTable table(
        PropertyList<Molecule>()
            .Field<&Molecule::m_is2D>("Molecule Is 2d")
            .StreamOnly()
            .Text("Number of Atoms")
            .ReadOnly()
            .Getter<&Molecule::CalculateNumberAtoms>()
            .Shown()
            .Text("Molecular Formula")
            .Getter<&Molecule::CalculateMolFormula>()
            .Shown()
            .Text("Molecular Composition")
            .Getter<&Molecule::CalculateComposition>()
            .Shown()
            .Text("Molecular Weight")
            .ReadOnly()
            .Getter<&Molecule::CalculateMolWeight>()
            .Format("%.3f")
            .Shown()
            .Text("Exact Mol. Weight")
            .ReadOnly()
            .Getter<&Molecule::CalculateExactWeight>()
            .Format("%.7f")
            .Shown()
            .Text("Molecular Volume")
            .ReadOnly()
            .Getter<&Molecule::CalculateFastVolume>()
            .Format("%.1f")
            .Shown()
            .Text("Clean Energy")
            .GetText([](const Molecule& molecule) {
                float energy = 0.0f;
                if (!molecule.GetProperty("Clean Energy", energy))
                    return std::string("Not Calculated");
                return StringUtils::Format("%.1f", static_cast<double>(energy));
            })
            .Shown());
    return table;
}

std::int32_t Molecule::GetProperties(ObjectProperty::Array& properties) const
{
    Object::Properties().List(*this, properties);
    for (const PropertyEntry& entry : Properties().Entries()) {
        if (entry.Has(PropertyEntry::Shown))
            properties.push_back(entry.describe(*this, entry));
    }
    return static_cast<std::int32_t>(properties.size());
}

bool Molecule::Has2D() const
{
    const ConformationQueries& conformations = ConformationQueries::Installed();
    for (int i = 0; i < GetNumChildren(); ++i) {
        if (conformations.Is2DConformation(*TreeNode::GetChild(i)))
            return true;
    }
    return false;
}

Point3d Molecule::GetXYZ() const
{
    return CalculateCenter();
}

Point3d Molecule::GetAnnotationXYZ() const
{
    return CalculateCenter();
}

std::int32_t Molecule::CalculateNumberAtoms() const
{
    return GetNumDescendents(Atom3d::classType);
}

std::string Molecule::CalculateMolFormula() const
{
    const Census census = TakeCensus(*this);
    if (!census.anyKnown)
        return {};
    std::string text = Compose(census, [](std::int32_t type, std::int64_t count) {
        return count == 1 ? SymbolOf(type) + " " : SymbolOf(type) + std::to_string(count) + " ";
    });
    TrimEnd(text, " ");
    return text;
}

std::string Molecule::CalculateComposition() const
{
    const Census census = TakeCensus(*this);
    if (!census.anyKnown)
        return {};
    const double weight = CalculateMolWeight();
    std::string text = Compose(census, [&census, weight](std::int32_t type, std::int64_t count) {
        const double mass = static_cast<double>(count) * census.weights.at(type);
        return StringUtils::Format("%s: %.3f, ", SymbolOf(type), weight > 0.0 ? mass / weight : 0.0);
    });
    TrimEnd(text, ", ");
    return text;
}

float Molecule::CalculateMolWeight() const
{
    float weight = 0.0f;
    std::int64_t implicit = 0;
    ForEachAtom(*this, Atom3d::classType, [&weight, &implicit](const Atom& atom) {
        weight += atom.GetElement()->GetAtomicWeight();
        implicit += atom.GetNumHydrogensToAdd();
    });
    const Element* const hydrogen = ElementFactory::GetElementFactory().FindElementByAtomicNumber(1);
    return weight + static_cast<float>(implicit) * hydrogen->GetAtomicWeight();
}

double Molecule::CalculateExactWeight() const
{
    double weight = 0.0;
    std::int64_t implicit = 0;
    ForEachAtom(*this, Atom3d::classType, [&weight, &implicit](const Atom& atom) {
        weight += atom.GetElement()->GetExactMass();
        implicit += atom.GetNumHydrogensToAdd();
    });
    const Element* const hydrogen = ElementFactory::GetElementFactory().FindElementByAtomicNumber(1);
    return weight + static_cast<double>(implicit) * hydrogen->GetExactMass();
}

Point3d Molecule::CalculateCenterOfMass() const
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float mass = 0.0f;
    ForEachAtom(*this, Atom::classType, [&](const Atom& atom) {
        const float m = atom.GetMass();
        const Point3d p = atom.GetXYZ();
        x += m * p.x;
        y += m * p.y;
        z += m * p.z;
        mass += m;
    });
    if (mass <= 0.0f)
        return Point3d::origin;
    return Point3d(x / mass, y / mass, z / mass);
}

double Molecule::CalculateFastVolume() const
{
    constexpr double FourPi = 12.566370614359172;
    constexpr double Pi = 3.141592653589793;
    constexpr double Third = 0.3333333;
    double volume = 0.0;
    ForEachAtom(*this, Atom3d::classType, [&volume](const Atom& atom) {
        const double r = atom.GetVDWRadius();
        volume += r * r * r * FourPi * Third;
        // Each bond is met from both ends; each end gives up the cap its sphere loses to the overlap,
        // so together a bonded pair loses its lens once.
        for (int i = 0; i < atom.GetNumAttached(); ++i) {
            const Atom* const other = DynCast<Atom>(atom.GetAttached(i));
            if (!other)
                continue;
            const double h = std::min((r + other->GetVDWRadius() - Distance(atom.GetXYZ(), other->GetXYZ())) / 2.0, 2.0 * r);
            if (h > 0.0)
                volume -= Pi * Third * h * h * (3.0 * r - h);
        }
    });
    return volume * 0.95;
}

void Molecule::AddHydrogens(Atom::HydrogenSet set)
{
    std::vector<std::pair<Atom*, std::uint32_t>> atoms;
    ForEachAtom(*this, Atom::classType, [&atoms](Atom& atom) { atoms.emplace_back(&atom, atom.GetOID()); });
    for (const auto& [atom, oid] : atoms) {
        if (Base::GetObjectA(oid) != atom || atom->GetElementType() == HydrogenType)
            continue;
        atom->SetHybridization(atom->PerceiveHybridization());
        if (Base::GetObjectA(oid) == atom)
            atom->UpdateHydrogens(set, true);
    }
}

void Molecule::RemoveHydrogens(Atom::HydrogenSet set)
{
    std::vector<std::pair<Atom*, std::uint32_t>> atoms;
    ForEachAtom(*this, Atom::classType, [&atoms](Atom& atom) { atoms.emplace_back(&atom, atom.GetOID()); });
    for (const auto& [atom, oid] : atoms) {
        if (Base::GetObjectA(oid) == atom)
            atom->RemoveHydrogens(set);
    }
}

} // namespace Tavrel
