#include <tavrel/chemistry/Atom.h>

#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Atom, ClassKind::DynamicOnly)

namespace {

constexpr const char* DonatedLonePairsKey = "__nLP";

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

} // namespace Tavrel
