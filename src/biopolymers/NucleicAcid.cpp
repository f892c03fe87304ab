#include <tavrel/biopolymers/NucleicAcid.h>

#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(NucleicAcid)

NucleicAcid::NucleicAcid(Object* parent) : Residue(parent) {}

const PropertyTable& NucleicAcid::Properties()
{
    static const PropertyTable table(
        PropertyList<NucleicAcid>()
            .Value<Storage::StorageString>(
                "NucleicAcid Color Scheme", [](const NucleicAcid& residue) { return residue.GetColorScheme(); },
                [](NucleicAcid& residue, const std::string& scheme) { residue.m_colorScheme = scheme; })
            .FromSchema(2));
    return table;
}

// ---- Base class

bool NucleicAcid::IsPurine() const
{
    const ResidueType type = GetType();
    return type == 21 || type == 22;
}

bool NucleicAcid::IsPyrimidine() const
{
    const ResidueType type = GetType();
    return type >= 23 && type <= 25;
}

// ---- Named atoms

Atom3d* NucleicAcid::FindAtom(std::initializer_list<std::string_view> labels) const
{
    for (const std::string_view label : labels) {
        if (Atom3d* atom = ResiduePool::FindAtom(const_cast<NucleicAcid*>(this), label))
            return atom;
    }
    return nullptr;
}

Atom3d* NucleicAcid::GetC1Prime() const { return FindAtom({"C1'", "C1*", "C1P"}); }
Atom3d* NucleicAcid::GetC2Prime() const { return FindAtom({"C2'", "C2*", "C2P"}); }
Atom3d* NucleicAcid::GetC3Prime() const { return FindAtom({"C3'", "C3*", "C3P"}); }
Atom3d* NucleicAcid::GetC4Prime() const { return FindAtom({"C4'", "C4*", "C4P"}); }
Atom3d* NucleicAcid::GetO4Prime() const { return FindAtom({"O4'", "O4*", "O4P"}); }
Atom3d* NucleicAcid::GetC5Prime() const { return FindAtom({"C5'", "C5*", "C5P"}); }
Atom3d* NucleicAcid::GetC1() const { return FindAtom({"C1"}); }
Atom3d* NucleicAcid::GetC2() const { return FindAtom({"C2"}); }
Atom3d* NucleicAcid::GetC3() const { return FindAtom({"C3"}); }
Atom3d* NucleicAcid::GetC4() const { return FindAtom({"C4"}); }
Atom3d* NucleicAcid::GetC5() const { return FindAtom({"C5"}); }
Atom3d* NucleicAcid::GetC6() const { return FindAtom({"C6"}); }
Atom3d* NucleicAcid::GetC8() const { return FindAtom({"C8"}); }
Atom3d* NucleicAcid::GetN1() const { return FindAtom({"N1"}); }
Atom3d* NucleicAcid::GetN3() const { return FindAtom({"N3"}); }
Atom3d* NucleicAcid::GetN7() const { return FindAtom({"N7"}); }
Atom3d* NucleicAcid::GetN9() const { return FindAtom({"N9"}); }
Atom3d* NucleicAcid::GetP() const { return FindAtom({"P"}); }

// ---- Display and colours

Point3d NucleicAcid::GetAnnotationXYZ() const
{
    return GetAnnotationNear("P");
}

std::int32_t NucleicAcid::GetColorSchemes(std::vector<std::string>& schemes) const
{
    return GetParentColorSchemes(schemes);
}

void NucleicAcid::SetColorScheme(std::string_view name)
{
    m_colorScheme = name;
    if (!name.empty())
        Object::SetColorScheme(name);
}

} // namespace Tavrel
