#include <tavrel/biopolymers/Residue.h>

#include <tavrel/biopolymers/DisplaySize.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/biopolymers/TemplateBonding.h>
#include <tavrel/chemistry/Atom.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Residue)

namespace {

constexpr std::string_view InsertionCodeProperty = "_IC";

const std::string& NoText()
{
    static const std::string empty;
    return empty;
}

} // namespace

Residue::Residue(Object* parent) : SubUnit(parent) {}

const PropertyTable& Residue::Properties()
{
    static const PropertyTable table(
        PropertyList<Residue>()
            .Value<Storage::StorageInt>(
                "Residue Type", [](const Residue& residue) { return residue.GetStoredType(); },
                [](Residue& residue, std::int32_t type) { residue.SetStoredType(type); })
            .Text("Type")
            .ReadOnly()
            .Getter([](const Residue& residue) { return residue.GetLongName(); })
            .Shown()
            .Text("1-Letter")
            .ReadOnly()
            .Getter([](const Residue& residue) { return residue.GetSymbol(); })
            .Shown()
            .Text("1-Letter & ID#")
            .ReadOnly()
            .Getter([](const Residue& residue) { return residue.GetSymbolAndID(); })
            .Shown()
            .Text("3-Letter")
            .ReadOnly()
            .Getter([](const Residue& residue) { return residue.GetAbbreviation(); })
            .Shown()
            .Text("Hydrophobicity")
            .ReadOnly()
            .Getter([](const Residue& residue) { return residue.GetHydrophobicity(); })
            .GetText([](const Residue& residue) { return StringUtils::Format("%.3f", residue.GetHydrophobicity()); })
            .Shown()
            .Value<Storage::StorageFloat>(
                "Ribbon Size", [](const Residue& residue) { return residue.m_ribbonSize; },
                [](Residue& residue, float size) { residue.SetRibbonSize(size); })
            .StreamOnly()
            .Shows("Ribbon Size")
            .Getter([](const Residue& residue) { return residue.GetRibbonSize(); })
            .GetText([](const Residue& residue) { return StringUtils::Format("%.2f", residue.GetRibbonSize()); })
            .SetText([](Residue& residue, std::string_view text) {
                float size = 0.0f;
                if (!StringUtils::StringToReal(text, size) || !IsDisplaySize(size))
                    return false;
                residue.SetRibbonSize(size);
                return true;
            })
            .Shown()
            .Text("Avg. Isotropic Displacement")
            .ReadOnly()
            .GetText([](const Residue& residue) {
                return StringUtils::Format("%.4f", residue.GetAvgIsotropicDisplacement());
            })
            .Described([](const Residue& residue) {
                return residue.HasAvgIsotropicDisplacement()
                           ? ObjectProperty("Avg. Isotropic Displacement", residue.GetAvgIsotropicDisplacement(),
                                            ObjectProperty::AccessReadable, 0)
                           : ObjectProperty();
            })
            .Value<Storage::StorageString>(
                "Residue Name", [](const Residue& residue) { return residue.GetDistinctName(); },
                [](Residue& residue, const std::string& name) { residue.SetDistinctName(name); })
            .StreamOnly());
    return table;
}

// ---- Typing

void Residue::SetType(const char* pdbName)
{
    m_template = ResiduePool::GetResiduePool().GetResidueData(pdbName);
    SetColor(m_template->GetColor());
}

void Residue::SetType(ResidueType type)
{
    m_template = ResiduePool::GetResiduePool().GetResidueData(type);
}

std::string Residue::GetDistinctName() const
{
    if (!m_template || ResiduePool::GetResiduePool().GetResidueData(m_template->GetType()) == m_template)
        return {};
    return m_template->GetPDBName();
}

std::int32_t Residue::GetStoredType() const
{
    return m_template ? static_cast<std::int32_t>(m_template->GetType()) : UntypedCode;
}

void Residue::SetStoredType(std::int32_t type)
{
    if (type == UntypedCode)
        m_template = nullptr;
    else
        SetType(static_cast<ResidueType>(type));
}

void Residue::SetDistinctName(const std::string& name)
{
    if (name.empty())
        return;
    const ResidueData* const record = ResiduePool::GetResiduePool().FindResidueData(name);
    if (record && m_template && record->GetType() == m_template->GetType())
        m_template = record;
}

void Residue::SetRibbonSize(float size)
{
    if (IsDisplaySize(size))
        m_ribbonSize = size;
}

void Residue::SetDefaultColor()
{
    SetColor(GetResidueColor());
}

// ---- Template values

ResidueType Residue::GetType() const
{
    return m_template ? m_template->GetType() : UnknownResidueType;
}

const std::string& Residue::GetSymbol() const
{
    return m_template ? m_template->GetSymbol() : NoText();
}

std::string Residue::GetSymbolAndID() const
{
    return m_template ? StringUtils::Format("%s%d", m_template->GetSymbol(), GetID()) : std::string();
}

const std::string& Residue::GetAbbreviation() const
{
    return m_template ? m_template->GetAbbreviation() : NoText();
}

const std::string& Residue::GetLongName() const
{
    return m_template ? m_template->GetName() : NoText();
}

const std::string& Residue::GetPDBName() const
{
    return m_template ? m_template->GetPDBName() : NoText();
}

ResidueBondMethod Residue::GetBondMethod() const
{
    return m_template ? m_template->GetBondMethod() : BondNull;
}

Color Residue::GetResidueColor() const
{
    return m_template ? m_template->GetColor() : Color::White();
}

float Residue::GetResiduepKa() const
{
    return m_template ? m_template->GetpKa() : 0.0f;
}

float Residue::GetHydrophobicity() const
{
    return m_template ? m_template->GetHydrophobicity() : 0.0f;
}

// ---- Atoms

namespace {

// Calls visit with every Atom below the residue, in tree order, until it returns false.
template <class Visit>
void ForEachAtom(const Residue& residue, Visit&& visit)
{
    DescendentIterator walk(const_cast<Residue*>(&residue), Atom::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        if (!visit(*static_cast<const Atom*>(object)))
            return;
    }
}

} // namespace

bool Residue::HasAvgIsotropicDisplacement() const
{
    bool found = false;
    ForEachAtom(*this, [&found](const Atom& atom) {
        found = atom.HasIsotropicDisplacement();
        return !found;
    });
    return found;
}

float Residue::GetAvgIsotropicDisplacement() const
{
    double sum = 0.0;
    int count = 0;
    bool any = false;
    ForEachAtom(*this, [&](const Atom& atom) {
        any = any || atom.HasIsotropicDisplacement();
        sum += atom.GetIsotropicDisplacement();
        ++count;
        return true;
    });
    return any ? static_cast<float>(sum / count) : 0.0f;
}

// ---- Annotation

Point3d Residue::GetAnnotationNear(std::string_view label) const
{
    auto* const self = const_cast<Residue*>(this);
    Object* anchor = self->FindChild(label);
    if (!anchor)
        anchor = GetChild(0);
    const auto* const geometric = DynCast<Geometric>(anchor);
    const Point3d at = geometric ? geometric->GetAnnotationXYZ() : Point3d::origin;
    return at + Point3d(0.5, 0.3, 0.0);
}

// ---- Insertion code

std::string Residue::GetInsertionCode() const
{
    const char* code = nullptr;
    return GetProperty(InsertionCodeProperty, code) && code ? std::string(code) : std::string();
}

void Residue::SetInsertionCode(std::string_view code)
{
    if (code.empty())
        RemoveProperty(InsertionCodeProperty);
    else
        SetProperty(InsertionCodeProperty, std::string(code).c_str(), 0);
}

} // namespace Tavrel
