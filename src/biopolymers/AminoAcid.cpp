#include <tavrel/biopolymers/AminoAcid.h>

#include <array>

#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/ColorMap.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(AminoAcid)

namespace {

constexpr std::array<std::string_view, 4> EnvironmentWords = {"Coil", "Helix", "Sheet", "Turn"};

std::string EnvironmentWord(std::int32_t environment)
{
    return environment >= 0 && environment < static_cast<std::int32_t>(EnvironmentWords.size())
               ? std::string(EnvironmentWords[environment])
               : std::string();
}

bool Is(std::string_view name, std::string_view known)
{
    return StringUtils::EqualsNoCase(name, known);
}

} // namespace

AminoAcid::AminoAcid(Object* parent) : Residue(parent) {}

const PropertyTable& AminoAcid::Properties()
{
    static const PropertyTable table(
        PropertyList<AminoAcid>()
            .Field<&AminoAcid::m_environment>("AminoAcid Secondary Structure")
            .Value<Storage::StorageString>(
                "AminoAcid Color Scheme", [](const AminoAcid& residue) { return residue.GetColorScheme(); },
                [](AminoAcid& residue, const std::string& scheme) { residue.m_colorScheme = SmallString(scheme); })
            .NotCopied()
            .FromSchema(2)
            .Field<&AminoAcid::m_externalEnvironment>("AminoAcid External Secondary Structure")
            .StreamOnly()
            .Text("Secondary")
            .GetText([](const AminoAcid& residue) { return EnvironmentWord(residue.m_environment); })
            .SetText([](AminoAcid& residue, std::string_view word) {
                for (std::size_t code = 0; code < EnvironmentWords.size(); ++code) {
                    if (!Is(word, EnvironmentWords[code]))
                        continue;
                    const Watch self(&residue);
                    residue.SetEnvironment(static_cast<SecondaryStructure>(code));
                    if (!self.alive)
                        return true;
                    for (TreeNode* node = residue.TreeNode::GetParent(); node; node = node->GetParent()) {
                        if (auto* chain = DynCast<AminoAcidChain>(node)) {
                            chain->SetHasSecondaryStructure(true);
                            break;
                        }
                    }
                    return true;
                }
                return false;
            })
            .Described([](const AminoAcid& residue) {
                ObjectProperty property("Secondary", EnvironmentWord(residue.m_environment),
                                        ObjectProperty::AccessReadable | ObjectProperty::AccessWritable,
                                        ObjectProperty::CategoryChoice);
                property.SetAllValues({"Coil", "Sheet", "Helix", "Turn"});
                return property;
            }));
    return table;
}

// ---- Secondary structure

void AminoAcid::SetEnvironment(SecondaryStructure environment)
{
    m_environment = environment;
    DoNotify(Object::classType, Object::EventPropertySet, nullptr, nullptr);
}

void AminoAcid::UseExternalEnvironment()
{
    if (m_environment != m_externalEnvironment)
        SetEnvironment(m_externalEnvironment);
}

// ---- Backbone atoms

Atom3d* AminoAcid::GetCAlpha() const
{
    return ResiduePool::FindAtom(const_cast<AminoAcid*>(this), "CA");
}

Atom3d* AminoAcid::GetCBeta() const
{
    return ResiduePool::FindAtom(const_cast<AminoAcid*>(this), "CB");
}

Atom3d* AminoAcid::GetAmideNitrogen() const
{
    return ResiduePool::FindAtom(const_cast<AminoAcid*>(this), "N");
}

Atom3d* AminoAcid::GetAmideCarbon() const
{
    return ResiduePool::FindAtom(const_cast<AminoAcid*>(this), "C");
}

Atom3d* AminoAcid::GetAmideOxygen() const
{
    auto* const self = const_cast<AminoAcid*>(this);
    if (Atom3d* oxygen = ResiduePool::FindAtom(self, "O"))
        return oxygen;
    return ResiduePool::FindAtom(self, "O1");
}

Atom3d* AminoAcid::GetAmideHydrogen() const
{
    auto* const self = const_cast<AminoAcid*>(this);
    if (Atom3d* hydrogen = ResiduePool::FindAtom(self, "HN"))
        return hydrogen;
    return ResiduePool::FindAtom(self, "H");
}

bool AminoAcid::GetAmideHydrogenPosition(Point3d& out) const
{
    if (const Atom3d* hydrogen = GetAmideHydrogen()) {
        out = hydrogen->GetXYZ();
        return true;
    }
    const Atom3d* const nitrogen = GetAmideNitrogen();
    if (!nitrogen || nitrogen->GetNumBonds() < 2)
        return false;
    const Point3d n = nitrogen->GetXYZ();
    Point3d u1 = nitrogen->GetAttached(0)->GetXYZ() - n;
    Point3d u2 = nitrogen->GetAttached(1)->GetXYZ() - n;
    u1.Normalize();
    u2.Normalize();
    Point3d d = -(u1 + u2);
    if (d.Normalize() == 0.0)
        return false;
    out = n + d;
    return true;
}

// ---- Colour schemes

std::int32_t AminoAcid::GetColorSchemes(std::vector<std::string>& schemes) const
{
    for (const char* scheme : {"Residue", "Hydrophobicity", "pKa", "CAlpha"})
        schemes.emplace_back(scheme);
    return GetParentColorSchemes(schemes);
}

void AminoAcid::SetColorScheme(std::string_view name)
{
    m_colorScheme = SmallString(name);
    if (name.empty() || Is(name, "Secondary Type") || Is(name, "Custom"))
        return;
    Color color = GetColor();
    if (Is(name, "Hydrophobicity")) {
        ColorMap map(13);
        map.SetBeginEnd(-4.5, 4.5);
        map.Ramp(Color::Red(), Color::White(), Color::Blue(), true);
        color = map.ColorAtValue(GetHydrophobicity());
    } else if (Is(name, "Residue")) {
        color = GetResidueColor();
    } else if (Is(name, "pKa")) {
        ColorMap map(17);
        map.SetBeginEnd(0.0, 14.0);
        map.Ramp(Color::Blue(), Color::White(), Color::Red(), true);
        const float pKa = GetResiduepKa();
        color = pKa == 0.0f ? Color::White() : map.ColorAtValue(pKa);
    } else if (Is(name, "CAlpha")) {
        if (const Atom3d* alpha = GetCAlpha())
            color = alpha->GetColor();
    } else {
        Object::SetColorScheme(name);
        return;
    }
    SetColor(color);
}

// ---- Display

Point3d AminoAcid::GetAnnotationXYZ() const
{
    return GetAnnotationNear("CA");
}

void AminoAcid::DisplayExtents(DisplayList3D& list)
{
    if (!IsActive() || !IsVisible() || IsClipped() || GetDisplayStyle() == 0)
        return;
    Point3d low = Point3d::maximum;
    Point3d high = Point3d::minimum;
    bool any = false;
    DescendentIterator walk(this, Geometric::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        const Point3d at = static_cast<const Geometric*>(object)->GetXYZ();
        low.Minimum(at);
        high.Maximum(at);
        any = true;
    }
    if (!any)
        return;
    list.Add(UnlitPointPrimitive(high, Color(0u), GetOID()));
    list.Add(UnlitPointPrimitive(low, Color(0u), GetOID()));
}

} // namespace Tavrel
