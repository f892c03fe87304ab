#include <tavrel/biopolymers/NucleicAcidChain.h>

#include <array>

#include <tavrel/biopolymers/ChainMeshBuilder.h>
#include <tavrel/biopolymers/DisplaySize.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(NucleicAcidChain)

namespace {

constexpr std::string_view ResidueScheme = "Residue";
constexpr std::string_view BaseTypeScheme = "Base Type";

bool Is(std::string_view name, std::string_view known)
{
    return StringUtils::EqualsNoCase(name, known);
}

enum class Backbone { None, Arrows, Tubes };
enum class Bases { None, Ladder, Rings };

struct StyleParts {
    Backbone backbone;
    Bases bases;
};

// The backbone and bases of each style; any other style is drawn as 1.
StyleParts PartsOf(std::int32_t style)
{
    static constexpr std::array<StyleParts, 7> parts = {{{Backbone::None, Bases::None},
                                                         {Backbone::Arrows, Bases::Ladder},
                                                         {Backbone::Arrows, Bases::Rings},
                                                         {Backbone::Arrows, Bases::None},
                                                         {Backbone::Tubes, Bases::Ladder},
                                                         {Backbone::Tubes, Bases::Rings},
                                                         {Backbone::Tubes, Bases::None}}};
    return style >= 0 && style < static_cast<std::int32_t>(parts.size()) ? parts[static_cast<std::size_t>(style)]
                                                                         : parts[1];
}

// Samples per span and sides of the backbone tube at the chains' display quality.
int TubeSampling()
{
    switch (Chain::GetDisplayQuality()) {
    case 0: return 6;
    case 2: return 16;
    case 3: return 22;
    default: return 12;
    }
}

// The guide points of the backbone: the C3' atoms, each with its colour and its residue's identifier.
struct Guides {
    Point3d::Array points;
    ColorArray colors;
    OIDArray oids;
};

} // namespace

NucleicAcidChain::NucleicAcidChain(Object* parent) : Chain(parent) {}

const PropertyTable& NucleicAcidChain::Properties()
{
    static const PropertyTable table(
        PropertyList<NucleicAcidChain>()
            .Field<&NucleicAcidChain::m_colorScheme>("NucleicAcid Color Scheme")
            .FromSchema(2)
            .Value<Storage::StorageFloat>(
                "NA Tube Radius", [](const NucleicAcidChain& chain) { return chain.m_tubeRadius; },
                [](NucleicAcidChain& chain, float radius) { chain.SetTubeRadius(radius); })
            .StreamOnly());
    return table;
}

void NucleicAcidChain::SetTubeRadius(float radius)
{
    if (IsDisplaySize(radius))
        m_tubeRadius = radius;
}

std::vector<NucleicAcid*> NucleicAcidChain::Residues() const
{
    std::vector<NucleicAcid*> residues;
    ChildIterator walk(const_cast<NucleicAcidChain*>(this), NucleicAcid::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        residues.push_back(static_cast<NucleicAcid*>(object));
    return residues;
}

// ---- Colours

std::int32_t NucleicAcidChain::GetColorSchemes(std::vector<std::string>& schemes) const
{
    schemes.emplace_back(ResidueScheme);
    schemes.emplace_back(BaseTypeScheme);
    if (NucleicAcid::classInstance)
        static_cast<const NucleicAcid*>(NucleicAcid::classInstance)->GetColorSchemes(schemes);
    return static_cast<std::int32_t>(schemes.size());
}

void NucleicAcidChain::SetColorScheme(std::string_view name)
{
    m_colorScheme = name;
    if (name.empty())
        return;
    const bool byResidue = Is(name, ResidueScheme);
    const bool byBase = Is(name, BaseTypeScheme);
    if (!byResidue && !byBase)
        Object::SetColorScheme(name);
    for (NucleicAcid* residue : Residues()) {
        if (byResidue)
            residue->SetDefaultColor();
        else if (byBase)
            residue->SetColor(residue->IsPurine()      ? Color::Red()
                              : residue->IsPyrimidine() ? Color::Blue()
                                                        : Color::White());
        else
            residue->SetColor(GetColor());
    }
}

// ---- Style

void NucleicAcidChain::SpecifyDisplayStylePiece(std::int32_t piece)
{
    const std::int32_t style = GetDisplayStyle();
    // The new style for each current style 0 to 6 (-1: unchanged), by piece 1 to 5.
    static constexpr std::array<std::array<std::int32_t, 7>, 5> changes = {{
        {3, 3, -1, -1, 1, 2, 3},   // arrows backbone
        {6, 4, 5, 6, -1, -1, -1},  // tubes backbone
        {-1, 3, 3, -1, 6, 6, -1},  // no bases
        {1, 1, 1, 1, -1, 4, 4},    // ladder bases
        {2, 2, -1, 2, 5, -1, 5},   // ring bases
    }};
    if (piece == NoPieces) {
        SetDisplayStyle(0);
        return;
    }
    if (piece < ArrowsBackbone || piece > RingBases) {
        SetDisplayStyle(1);
        return;
    }
    if (style < 0 || style >= 7)
        return;
    const std::int32_t next = changes[static_cast<std::size_t>(piece - 1)][static_cast<std::size_t>(style)];
    if (next >= 0)
        SetDisplayStyle(next);
}

// ---- Display

void NucleicAcidChain::NormalDisplay(DisplayList3D& list)
{
    DisplayStyle(list, Solid);
}

void NucleicAcidChain::FastDisplay(DisplayList3D& list)
{
    DisplayStyle(list, Lines);
}

void NucleicAcidChain::DisplayStyle(DisplayList3D& list, Representation representation)
{
    const StyleParts parts = PartsOf(GetDisplayStyle());
    if (parts.backbone == Backbone::Arrows)
        DisplayDNAArrows(list, representation);
    else if (parts.backbone == Backbone::Tubes)
        DisplayDNATubes(list, representation);
    if (parts.bases == Bases::Ladder)
        DisplayLadderTube(list, representation);
    else if (parts.bases == Bases::Rings)
        DisplayNARings(list, representation);
}

namespace {

Color PieceColor(const NucleicAcid& residue, const Color& own)
{
    return residue.IsSelected() ? Color::Selected() : own;
}

Guides BackboneGuides(const std::vector<NucleicAcid*>& residues, const Color& chainColor)
{
    Guides guides;
    for (const NucleicAcid* residue : residues) {
        if (const Atom3d* c3 = residue->GetC3Prime()) {
            guides.points.push_back(c3->GetXYZ());
            guides.colors.push_back(PieceColor(*residue, chainColor));
            guides.oids.push_back(residue->GetOID());
        }
    }
    return guides;
}

} // namespace

void NucleicAcidChain::DisplayDNAArrows(DisplayList3D& list, Representation)
{
    Guides guides = BackboneGuides(Residues(), GetColor());
    ChainMeshBuilder::AddColoredArrowRibbon(guides.points, static_cast<int>(guides.points.size()), 6.0, 2.2, 1.1, 0.4,
                                            5, 0, guides.colors, GetOID(), guides.oids, list);
}

void NucleicAcidChain::DisplayDNATubes(DisplayList3D& list, Representation)
{
    const Guides guides = BackboneGuides(Residues(), GetColor());
    if (list.GetMode() == DisplayList3D::normalMode) {
        const int sampling = TubeSampling();
        ChainMeshBuilder::AddSplineTube(guides.points, guides.colors, static_cast<int>(guides.points.size()), nullptr,
                                        nullptr, sampling, sampling, GetTubeRadius(), 2.6, 0, GetOID(), guides.oids,
                                        list);
    } else if (list.GetMode() == DisplayList3D::fastMode) {
        for (std::size_t i = 0; i + 1 < guides.points.size(); ++i)
            list.Add(LinePrimitive(guides.points[i], guides.points[i + 1], guides.colors[i], 3.0, guides.oids[i]));
    }
}

void NucleicAcidChain::DisplayLadderTube(DisplayList3D& list, Representation representation)
{
    for (const NucleicAcid* residue : Residues()) {
        const Atom3d* const c3 = residue->GetC3Prime();
        if (!c3)
            continue;
        const Atom3d* const base = residue->IsPurine() ? residue->GetN1() : residue->GetN3();
        if (!base)
            continue;
        const Color color = PieceColor(*residue, residue->GetColor());
        const std::uint32_t oid = residue->GetOID();
        if (representation == Solid) {
            list.Add(CylinderPrimitive(base->GetXYZ(), color, c3->GetXYZ(), color, 0.5, oid));
            list.Add(SpherePrimitive(base->GetXYZ(), 0.5, color, oid));
        } else {
            list.Add(LinePrimitive(base->GetXYZ(), color, c3->GetXYZ(), color, 1.0, oid));
        }
    }
}

void NucleicAcidChain::DisplayNARings(DisplayList3D& list, Representation)
{
    constexpr double halfThickness = 0.3;
    Point3d::Array ring;
    // A slab over the ring when every atom of it exists.
    const auto slab = [&](std::initializer_list<const Atom3d*> atoms, const Color& color, std::uint32_t oid) {
        ring.clear();
        for (const Atom3d* atom : atoms) {
            if (!atom)
                return;
            ring.push_back(atom->GetXYZ());
        }
        ChainMeshBuilder::AddRingSlab(ring, static_cast<int>(ring.size()), halfThickness, color, oid, list);
    };
    const std::uint32_t chainOid = GetOID();
    for (const NucleicAcid* residue : Residues()) {
        if (!residue->GetC3Prime())
            continue;
        const Color baseColor = PieceColor(*residue, residue->GetColor());
        const Color sugarColor = PieceColor(*residue, GetColor());
        const std::uint32_t oid = residue->GetOID();
        const bool purine = residue->IsPurine();
        slab({residue->GetN1(), residue->GetC2(), residue->GetN3(), residue->GetC4(), residue->GetC5(),
              residue->GetC6()},
             baseColor, oid);
        slab({residue->GetC1Prime(), residue->GetC2Prime(), residue->GetC3Prime(), residue->GetC4Prime(),
              residue->GetO4Prime()},
             sugarColor, chainOid);
        if (purine)
            slab({residue->GetC4(), residue->GetC5(), residue->GetN7(), residue->GetC8(), residue->GetN9()}, baseColor,
                 oid);
        const Atom3d* const c1 = residue->GetC1Prime();
        const Atom3d* const glycosidic = purine ? residue->GetN9() : residue->GetN1();
        if (c1 && glycosidic)
            ChainMeshBuilder::AddRodSegment(glycosidic->GetXYZ(), sugarColor, c1->GetXYZ(), sugarColor, 0.3, oid, list);
    }
}

} // namespace Tavrel
