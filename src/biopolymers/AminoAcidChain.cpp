#include <tavrel/biopolymers/AminoAcidChain.h>

#include <algorithm>
#include <array>
#include <deque>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/ChainMeshBuilder.h>
#include <tavrel/biopolymers/DisplaySize.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/biopolymers/SecondaryPredict.h>
#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/Spline.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/graphics/SecondaryStructureQueries.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(AminoAcidChain)

// The current splines: five lines of one length across the ribbon (2 the middle, 0 and 4 the edges),
// a normal per point of each, and the residue each point shows.
struct AminoAcidChain::Splines {
    std::array<Point3d::Array, 5> lines;
    std::array<Point3d::Array, 5> normals;
    std::vector<AminoAcid*> residues;

    std::size_t Count() const { return lines[0].size(); }
    void Clear()
    {
        for (std::size_t k = 0; k < lines.size(); ++k) {
            lines[k].clear();
            normals[k].clear();
        }
        residues.clear();
    }
};

namespace {

constexpr std::array<std::string_view, 8> StyleWords = {"None",        "RibbonLine", "RibbonFlat", "RibbonTube",
                                                        "CAlphaStick", "Tube",       "Schematic",  "CAlphaWire"};
constexpr std::string_view SecondaryType = "Secondary Type";
constexpr ResidueType CysteineType = static_cast<ResidueType>(5);

bool Is(std::string_view name, std::string_view known)
{
    return StringUtils::EqualsNoCase(name, known);
}

using ChainMeshBuilder::UnitOr;

// The unit vector of v; zero for a zero vector.
Point3d Unit(const Point3d& v)
{
    return UnitOr(v, Point3d());
}

// The class of a residue for display; a code outside 0 to 3 is coil.
AminoAcid::SecondaryStructure DisplayClass(const AminoAcid& residue)
{
    const AminoAcid::SecondaryStructure environment = residue.GetEnvironment();
    return environment >= AminoAcid::Coil && environment <= AminoAcid::Turn ? environment : AminoAcid::Coil;
}

template <class Walk>
std::vector<AminoAcid*> Collect(Walk walk)
{
    std::vector<AminoAcid*> residues;
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        residues.push_back(static_cast<AminoAcid*>(object));
    return residues;
}

std::vector<AminoAcid*> AminoAcidsBelow(const AminoAcidChain& chain)
{
    return Collect(DescendentIterator(const_cast<AminoAcidChain*>(&chain), AminoAcid::classType, false));
}

std::vector<AminoAcid*> AminoAcidChildren(const AminoAcidChain& chain)
{
    return Collect(ChildIterator(const_cast<AminoAcidChain*>(&chain), AminoAcid::classType, false));
}

// Listeners of the events an operation raises may delete residues it has still to visit.
class WatchedResidues {
public:
    explicit WatchedResidues(std::vector<AminoAcid*> residues) : m_residues(std::move(residues))
    {
        for (AminoAcid* residue : m_residues)
            m_watches.emplace_back(residue);
    }
    std::size_t Size() const { return m_residues.size(); }
    // Null once deleted.
    AminoAcid* Get(std::size_t i) const { return m_watches[i].alive ? m_residues[i] : nullptr; }
    template <class F>
    void ForEach(F&& f) const
    {
        for (std::size_t i = 0; i < m_residues.size(); ++i) {
            if (AminoAcid* residue = Get(i))
                f(*residue);
        }
    }

private:
    std::vector<AminoAcid*> m_residues;
    std::deque<TreeNode::Watch> m_watches;
};

// The sampling of the chain displays, shared by every chain and set from the display quality.
struct Sampling {
    Spline sampler{Spline::Type::Cubic};
    int schematicSamples = 4;
    int schematicSides = 6;
    int tubeSamples = 5;
    int tubeSides = 6;
};

Sampling& TakeDisplayQuality()
{
    static Sampling sampling;
    struct Row {
        int granularity, schematic, tube;
    };
    static constexpr Row rows[] = {{5, 5, 6}, {10, 8, 12}, {15, 14, 16}, {30, 20, 22}};
    const std::int32_t quality = Chain::GetDisplayQuality();
    if (quality >= 0 && quality < static_cast<std::int32_t>(std::size(rows))) {
        const Row& row = rows[quality];
        sampling.sampler.SetGranularity(row.granularity);
        sampling.schematicSamples = sampling.schematicSides = row.schematic;
        sampling.tubeSamples = sampling.tubeSides = row.tube;
    }
    return sampling;
}

Color DisplayColor(const Object& object)
{
    return object.IsSelected() ? Color::Selected() : object.GetColor();
}

// The answers the secondary colouring of the graphics folder asks for.
class ChainQueries final : public SecondaryStructureQueries {
public:
    bool HasSecondaryStructure(const Object& chain) const override
    {
        const auto* protein = DynCast<AminoAcidChain>(&chain);
        return protein && protein->HasSecondaryStructure();
    }
    void CalcSecondaryStructure(Object& chain) const override
    {
        if (auto* protein = DynCast<AminoAcidChain>(&chain))
            protein->CalcSecondaryStructure();
    }
    bool GetEnvironment(const Object& residue, std::int32_t& environment) const override
    {
        const auto* amino = DynCast<AminoAcid>(&residue);
        if (!amino)
            return false;
        environment = amino->GetEnvironment();
        return true;
    }
};

} // namespace

// ---- Construction

AminoAcidChain::AminoAcidChain() = default;

AminoAcidChain::AminoAcidChain(Object* parent) : Chain(parent) {}

AminoAcidChain::~AminoAcidChain()
{
    // The children are deleted by the tree level, after this level is gone.
    UnregisterEvent(TreeNode::classType, TreeNode::EventTreeWide, &OnTreeEvent, true, this, nullptr);
}

const SecondaryStructureQueries& AminoAcidChain::SecondaryQueries()
{
    static const ChainQueries queries;
    return queries;
}

void AminoAcidChain::DeepenShallowCopy()
{
    Chain::DeepenShallowCopy();
    WireListeners();
}

// ---- Persistence

const PropertyTable& AminoAcidChain::Properties()
{
    static const PropertyTable table(
        PropertyList<AminoAcidChain>()
            .Value<Storage::StorageBool>(
                "AminoAcid Has Secondary Structure",
                [](const AminoAcidChain& chain) { return chain.HasSecondaryStructure(); },
                [](AminoAcidChain& chain, bool has) { chain.SetHasSecondaryStructure(has); })
            .FromSchema(3)
            .Field<&AminoAcidChain::m_useExternalEnvironment>("AminoAcid Use External Environment")
            .StreamOnly()
            .Value<Storage::StorageFloat>(
                "AminoAcid Display Size", [](const AminoAcidChain& chain) { return chain.m_displaySize; },
                [](AminoAcidChain& chain, float size) { chain.SetDisplaySize(size); })
            .FromSchema(2)
            .Field<&AminoAcidChain::m_colorScheme>("AminoAcid Color Scheme")
            .FromSchema(2)
            .Field<&AminoAcidChain::m_disulfideDisplay>("AminoAcidChain Disulfide Display")
            .StreamOnly()
            .Archived(
                "Amino Acid Chain Secondary Color Scheme",
                [](AminoAcidChain& chain, Archive& nested) { chain.SecondaryColorScheme::Serialize(nested); },
                [](AminoAcidChain& chain, Archive& nested) { chain.SecondaryColorScheme::Serialize(nested); })
            .StreamOnly()
            .Text("Style")
            .SetText([](AminoAcidChain& chain, std::string_view word) {
                const auto known = std::find_if(StyleWords.begin(), StyleWords.end(),
                                                [word](std::string_view style) { return Is(word, style); });
                if (known == StyleWords.end())
                    return false;
                const std::int32_t style = static_cast<std::int32_t>(known - StyleWords.begin());
                const Watch self(&chain);
                chain.SetDisplayStyle(style);
                if (self.alive && style != StyleNone)
                    chain.SetColorScheme(SecondaryType);
                return true;
            })
            .AfterRecord([](AminoAcidChain& chain, Archive& archive, PropertyArchive* stream) {
                if (archive.IsStoring()) {
                    if (stream)
                        chain.PostProcess(true, stream->GetObjectSchema());
                } else if (stream) {
                    // The residues' records may come later: the work waits for the finishing pass.
                    stream->FinishObject(&chain);
                } else {
                    chain.RestyleLoaded();
                }
            }));
    return table;
}

void AminoAcidChain::FinishLoading(std::uint32_t schema)
{
    Chain::FinishLoading(schema);
    const Watch self(this);
    PostProcess(false, schema);
    if (self.alive)
        WireListeners();
}

void AminoAcidChain::PostProcess(bool isStoring, std::uint32_t schema)
{
    if (!isStoring && schema < 10)
        SetDefaultRibbonSizes();
}

void AminoAcidChain::RestyleLoaded()
{
    // A mixed chain keeps the residues' own styles.
    const std::int32_t style = GetDisplayStyle();
    if (style == StyleNone || style == Mixed) {
        WireListeners();
        return;
    }
    Object::SetDisplayStyle(StyleNone);
    SetDisplayStyle(style);
}

// ---- Listeners

void AminoAcidChain::WireListeners()
{
    RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, &OnTreeEvent, true, this, nullptr);
}

void AminoAcidChain::OnTreeEvent(Event& event)
{
    auto* const chain = static_cast<AminoAcidChain*>(event.GetData());
    const std::uint16_t code = event.GetEventType();
    if (event.GetClassType() == Object::classType) {
        // A residue restyled apart makes the chain mixed.
        const auto* residue = DynCast<AminoAcid>(event.GetTreeNode(false));
        if (code == Object::EventDisplayStyleChanged && residue && chain->GetDisplayStyle() != Mixed &&
            residue->GetDisplayStyle() != chain->GetDisplayStyle())
            chain->SetDisplayStyle(Mixed);
        return;
    }
    if (event.GetClassType() == TreeNode::classType &&
        (code == TreeNode::EventSelectionChanged || code == TreeNode::EventDisplayChanged))
        return;
    chain->m_splinesDirty = true;
}

// ---- Secondary structure

void AminoAcidChain::CalcSecondaryStructure()
{
    const Watch self(this);
    SecondaryPredict predict;
    predict.Predict(this);
    if (!self.alive)
        return;
    SetHasSecondaryStructure(true);
    SetDefaultRibbonSizes();
}

void AminoAcidChain::SetDefaultRibbonSizes()
{
    for (AminoAcid* residue : AminoAcidChildren(*this)) {
        const AminoAcid::SecondaryStructure environment = residue->GetEnvironment();
        residue->SetRibbonSize(environment == AminoAcid::Helix || environment == AminoAcid::Sheet ? 1.3f : 0.225f);
    }
}

void AminoAcidChain::UseExternalEnvironment()
{
    if (m_useExternalEnvironment)
        return;
    m_useExternalEnvironment = true;
    const Watch self(this);
    WatchedResidues(AminoAcidsBelow(*this)).ForEach([](AminoAcid& residue) { residue.UseExternalEnvironment(); });
    if (!self.alive)
        return;
    SetHasSecondaryStructure(true);
    if (Is(m_colorScheme, SecondaryType))
        ApplyScheme(*this);
}

void AminoAcidChain::UsePredictedEnvironment()
{
    if (!m_useExternalEnvironment)
        return;
    m_useExternalEnvironment = false;
    SetHasSecondaryStructure(false);
    if (Is(m_colorScheme, SecondaryType))
        ApplyScheme(*this);
}

// ---- Display settings

void AminoAcidChain::SetDisplaySize(float size)
{
    if (!IsDisplaySize(size))
        return;
    m_displaySize = size;
    m_splinesDirty = true;
}

std::int32_t AminoAcidChain::GetAminoAcidDisplayStyle() const
{
    const std::vector<AminoAcid*> residues = AminoAcidsBelow(*this);
    if (residues.empty())
        return Mixed;
    const std::int32_t style = residues.front()->GetDisplayStyle();
    const bool shared = std::all_of(residues.begin(), residues.end(),
                                    [style](const AminoAcid* residue) { return residue->GetDisplayStyle() == style; });
    return shared ? style : Mixed;
}

void AminoAcidChain::SetDisplayStyle(std::int32_t style)
{
    if (style == GetDisplayStyle())
        return;
    const Watch self(this);
    Chain::SetDisplayStyle(style);
    if (!self.alive)
        return;
    if (style != Mixed)
        WatchedResidues(AminoAcidsBelow(*this)).ForEach([style](AminoAcid& residue) { residue.SetDisplayStyle(style); });
    if (self.alive)
        WireListeners();
}

// ---- Colours

std::string AminoAcidChain::GetAminoAcidColorScheme() const
{
    const std::vector<AminoAcid*> residues = AminoAcidsBelow(*this);
    if (residues.empty())
        return {};
    const std::string scheme = residues.front()->GetColorScheme();
    const bool shared = std::all_of(residues.begin(), residues.end(), [&scheme](const AminoAcid* residue) {
        return Is(residue->GetColorScheme(), scheme);
    });
    return shared ? scheme : std::string();
}

std::int32_t AminoAcidChain::GetColorSchemes(std::vector<std::string>& schemes) const
{
    if (AminoAcid::classInstance)
        static_cast<const AminoAcid*>(AminoAcid::classInstance)->GetColorSchemes(schemes);
    schemes.emplace_back(SecondaryType);
    return static_cast<std::int32_t>(schemes.size());
}

void AminoAcidChain::SetColorScheme(std::string_view name)
{
    m_colorScheme = name;
    const bool secondary = Is(name, SecondaryType);
    if (secondary)
        ApplyScheme(*this);
    for (AminoAcid* residue : AminoAcidsBelow(*this))
        residue->SetColorScheme(secondary ? std::string_view() : name);
}

void AminoAcidChain::SetColor(const Color& color)
{
    Chain::SetColor(color);
    for (AminoAcid* residue : AminoAcidsBelow(*this))
        residue->SetColor(color);
}

void AminoAcidChain::GetSecondaryColors(Color& coil, Color& helix, Color& sheet, Color& turn) const
{
    GetColors(coil, helix, sheet, turn);
}

void AminoAcidChain::SetSecondaryColors(const Color& coil, const Color& helix, const Color& sheet, const Color& turn)
{
    SetColors(coil, helix, sheet, turn);
    if (Is(m_colorScheme, SecondaryType))
        ApplyScheme(*this);
}

// ---- Structure

bool AminoAcidChain::InsertAminoAcid(AminoAcid* aa, AminoAcid* after)
{
    if (!aa)
        return false;
    if (!after) {
        aa->SetParentAt(this, 0);
        return aa->GetParent() == this && aa->GetIndex() == 0;
    }
    // The child of the chain that holds `after`.
    TreeNode* holder = after;
    while (holder && holder->GetParent() != this)
        holder = holder->GetParent();
    if (!holder || holder == aa)
        return false;
    int index = holder->GetIndex() + 1;
    // The index counts after aa leaves its place.
    if (aa->GetParent() == this && aa->GetIndex() < index)
        --index;
    aa->SetParentAt(this, index);
    return aa->GetParent() == this && aa->GetIndex() == index;
}

bool AminoAcidChain::IsContinuous() const
{
    const std::vector<AminoAcid*> residues = AminoAcidChildren(*this);
    if (residues.empty())
        return false;
    const auto firstAtom = [](AminoAcid* residue) {
        return static_cast<Atom*>(DescendentIterator(residue, Atom::classType, false).GetNext());
    };
    const Atom* const first = firstAtom(residues.front());
    const Atom* const last = firstAtom(residues.back());
    if (!first || !last)
        return false;
    SetCollection stops;
    for (AminoAcid* residue : residues) {
        if (residue->GetType() == CysteineType) {
            if (Atom3d* sulfur = ResiduePool::FindAtom(residue, "SG"))
                stops.Add(sulfur);
        }
    }
    SetCollection fragment;
    SetCollection bonds;
    first->GetFragment(&fragment, &bonds, &stops, nullptr, true);
    return fragment.IsMember(last);
}

void AminoAcidChain::CalculatePhiPsi(OrdCollection& residues, DoubleArray& phi, DoubleArray& psi)
{
    residues.ApplyFilter(AminoAcid::classType, BaseCollection::KeepMatching);
    const int n = residues.GetNumItems();
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    if (phi.size() < count)
        phi.resize(count);
    if (psi.size() < count)
        psi.resize(count);
    struct Backbone {
        const Atom3d* n;
        const Atom3d* ca;
        const Atom3d* c;
    };
    std::vector<Backbone> backbone(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto* residue = static_cast<const AminoAcid*>(residues.GetAt(static_cast<int>(i)));
        backbone[i] = residue ? Backbone{residue->GetAmideNitrogen(), residue->GetCAlpha(), residue->GetAmideCarbon()}
                              : Backbone{nullptr, nullptr, nullptr};
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Backbone& b = backbone[i];
        phi[i] = 0.0;
        psi[i] = 0.0;
        if (i > 0 && backbone[i - 1].c && b.n && b.ca && b.c)
            phi[i] = Torsion(backbone[i - 1].c->GetXYZ(), b.n->GetXYZ(), b.ca->GetXYZ(), b.c->GetXYZ());
        if (i + 1 < count && b.n && b.ca && b.c && backbone[i + 1].n)
            psi[i] = Torsion(b.n->GetXYZ(), b.ca->GetXYZ(), b.c->GetXYZ(), backbone[i + 1].n->GetXYZ());
    }
}

bool AminoAcidChain::CheckAllAminoAcidsSelected() const
{
    const std::vector<AminoAcid*> residues = AminoAcidsBelow(*this);
    return std::all_of(residues.begin(), residues.end(), [](const AminoAcid* residue) { return residue->IsSelected(); });
}

bool AminoAcidChain::CheckAnyAminoAcidSelected() const
{
    const std::vector<AminoAcid*> residues = AminoAcidsBelow(*this);
    return std::any_of(residues.begin(), residues.end(), [](const AminoAcid* residue) { return residue->IsSelected(); });
}

// ---- Display entry

void AminoAcidChain::Display(DisplayList3D& list)
{
    if (!IsActive())
        return;
    const Watch self(this);
    const std::int32_t shared = GetAminoAcidDisplayStyle();
    if (shared != GetDisplayStyle())
        SetDisplayStyle(shared);
    if (self.alive && m_colorScheme.empty())
        SetColorScheme(SecondaryType);
    if (!self.alive)
        return;
    if (list.GetMode() == DisplayList3D::normalMode)
        NormalDisplay(list);
    else if (list.GetMode() == DisplayList3D::fastMode)
        FastDisplay(list);
}

void AminoAcidChain::NormalDisplay(DisplayList3D& list)
{
    if (GetDisplayStyle() == Schematic) {
        if (IsVisible() && !IsClipped()) {
            GenerateSplines();
            DisplaySchematic(list);
        }
        return;
    }
    DisplayAminoAcidsNormally(list);
    m_splinesDirty = true;
}

void AminoAcidChain::FastDisplay(DisplayList3D& list)
{
    if (GetDisplayStyle() == Schematic) {
        if (IsVisible() && !IsClipped()) {
            GenerateSplines();
            const std::vector<AminoAcid*> residues = AminoAcidsBelow(*this);
            DisplayCAlpha(list, Wire, residues);
        }
        return;
    }
    DisplayAminoAcidsQuickly(list);
    m_splinesDirty = true;
}

// ---- Runs

void AminoAcidChain::DisplayAminoAcidsNormally(DisplayList3D& list)
{
    DisplayRuns(list, true);
}

void AminoAcidChain::DisplayAminoAcidsQuickly(DisplayList3D& list)
{
    DisplayRuns(list, false);
}

void AminoAcidChain::DisplayRuns(DisplayList3D& list, bool normal)
{
    const Watch self(this);
    const WatchedResidues residues(AminoAcidsBelow(*this));
    const auto takes = [](const AminoAcid& residue, std::int32_t style) {
        return residue.IsVisible() && !residue.IsClipped() && residue.GetDisplayStyle() == style &&
               residue.GetAmideNitrogen();
    };
    const auto linked = [](const AminoAcid& previous, const AminoAcid& residue) {
        const Atom3d* const carbon = previous.GetAmideCarbon();
        return carbon && carbon->IsBonded(residue.GetAmideNitrogen());
    };
    std::vector<AminoAcid*> run;
    bool traced[2] = {false, false};
    // The residue that ends a run starts the next one.
    for (std::size_t i = 0; i < residues.Size() && self.alive;) {
        AminoAcid* const first = residues.Get(i);
        const std::int32_t style = first ? first->GetDisplayStyle() : StyleNone;
        if (!first || !takes(*first, style)) {
            ++i;
            continue;
        }
        run.assign(1, first);
        std::size_t next = i + 1;
        for (; next < residues.Size(); ++next) {
            AminoAcid* const residue = residues.Get(next);
            if (!residue || !takes(*residue, style) || !linked(*run.back(), *residue))
                break;
            run.push_back(residue);
        }
        i = next;
        if (run.size() < 3)
            continue;
        switch (style) {
        case RibbonLine:
        case RibbonFlat:
        case RibbonTube:
            GenerateSplines(run);
            if (!self.alive)
                return;
            if (!normal || style == RibbonLine)
                DisplayLineRibbon(list);
            else if (style == RibbonFlat)
                DisplayFlatRibbon(list);
            else
                DisplayTubeRibbon(list);
            break;
        case CAlphaStick:
        case CAlphaWire: {
            const RepresentationType representation = normal && style == CAlphaStick ? Stick : Wire;
            TraceAlphas(list, representation, run);
            traced[representation] = true;
            break;
        }
        case Tube:
            DisplayTube(list, run);
            break;
        default:
            break;
        }
    }
    // The bridges between traced residues, once for all the runs of a representation.
    for (const RepresentationType representation : {Stick, Wire}) {
        if (traced[representation] && m_disulfideDisplay && self.alive)
            DisplayDisulfides(list, representation == Wire ? CAlphaWire : CAlphaStick, representation);
    }
}

// ---- Splines

AminoAcidChain::Splines& AminoAcidChain::GetSplines()
{
    if (!m_splines)
        m_splines = std::make_unique<Splines>();
    return *m_splines.Get();
}

void AminoAcidChain::GenerateSplines()
{
    if (!m_splinesDirty)
        return;
    const Watch self(this);
    const std::vector<AminoAcid*> residues = AminoAcidChildren(*this);
    GenerateSplines(residues);
    if (self.alive)
        m_splinesDirty = false;
}

void AminoAcidChain::GenerateSplines(std::span<AminoAcid* const> sequence)
{
    Spline& sampler = TakeDisplayQuality().sampler;
    const int g = sampler.GetGranularity();
    Splines& splines = GetSplines();
    splines.Clear();
    if (sequence.size() <= 2)
        return;
    std::vector<AminoAcid*> residues(sequence.begin(), sequence.end());
    if (!HasSecondaryStructure()) {
        const Watch self(this);
        const WatchedResidues watched(residues);
        CalcSecondaryStructure();
        if (!self.alive)
            return;
        residues.clear();
        watched.ForEach([&residues](AminoAcid& residue) { residues.push_back(&residue); });
        if (residues.size() <= 2)
            return;
    }

    std::array<Point3d::Array, 5> guides;
    std::vector<AminoAcid*> stepResidues;
    Point3d previousA;
    Point3d previousD;
    for (std::size_t i = 0; i + 1 < residues.size(); ++i) {
        const Atom3d* const alpha = residues[i]->GetCAlpha();
        const Atom3d* const nextAlpha = residues[i + 1]->GetCAlpha();
        const Atom3d* const oxygen = residues[i]->GetAmideOxygen();
        if (!alpha || !nextAlpha || !oxygen)
            continue;
        const Point3d ca = alpha->GetXYZ();
        const Point3d a = nextAlpha->GetXYZ() - ca;
        const Point3d c = Unit(a.Cross(oxygen->GetXYZ() - ca));
        Point3d d = Unit(c.Cross(a));
        Point3d m = (ca + nextAlpha->GetXYZ()) / 2.0;
        const AminoAcid::SecondaryStructure environment = DisplayClass(*residues[i]);
        if (environment == AminoAcid::Helix)
            m += c * 2.0;
        else if (environment == AminoAcid::Turn)
            m += c * (previousA.Dot(c) >= 0.0 ? 1.2 : -1.2);
        d *= residues[i]->GetRibbonSize() * m_displaySize;
        const bool first = stepResidues.empty();
        const bool flip = !first && d.Dot(previousD) < 0.0;
        for (std::size_t k = 0; k < guides.size(); ++k) {
            const double across = static_cast<double>(flip ? 4 - k : k);
            const Point3d q = (m - d) + d * (across / 2.0);
            if (first)
                guides[k].push_back(q - a / 2.0);
            guides[k].push_back(q);
        }
        previousD = flip ? -d : d;
        previousA = a;
        stepResidues.push_back(residues[i]);
    }
    stepResidues.push_back(residues.back());
    // A lead-in point and at least two steps.
    if (guides[0].size() < 3)
        return;
    for (std::size_t k = 0; k < guides.size(); ++k)
        sampler.GetCubicSpline(guides[k], splines.lines[k]);
    // Sample j lies in the span from guide point j / g: the lead-in span shows the first residue,
    // the span after each step's point the next residue, the last point the last residue.
    const std::size_t count = splines.Count();
    splines.residues.resize(count);
    for (std::size_t j = 0; j < count; ++j)
        splines.residues[j] = stepResidues[std::min(j / static_cast<std::size_t>(g), stepResidues.size() - 1)];
    GenerateNormals();
}

void AminoAcidChain::GenerateNormals()
{
    Splines& splines = GetSplines();
    const std::size_t count = splines.Count();
    for (Point3d::Array& normals : splines.normals)
        normals.assign(count, Point3d());
    if (count < 2)
        return;
    // A ribbon of no width has no normals of its own: any perpendicular of its middle line, the same
    // for every line, stands in.
    const Point3d fallback = ChainMeshBuilder::AnyPerpendicular(splines.lines[2]);
    for (std::size_t k = 0; k < 5; ++k) {
        const Point3d::Array& line = splines.lines[k];
        const Point3d::Array& beside = splines.lines[k < 4 ? k + 1 : 3];
        const double sign = k < 4 ? 1.0 : -1.0;
        Point3d::Array& normals = splines.normals[k];
        for (std::size_t j = 0; j + 1 < count; ++j)
            normals[j] = Unit((beside[j] - line[j]).Cross(line[j + 1] - line[j])) * sign;
        normals[count - 1] =
            Unit((line[count - 2] - line[count - 1]).Cross(beside[count - 1] - line[count - 1])) * sign;
        // Points where the neighbouring line meets this one take the normal before them.
        ChainMeshBuilder::FillZeroVectors(normals, fallback);
    }
}

// ---- Ribbons

Color AminoAcidChain::PointColor(std::size_t j) const
{
    return DisplayColor(*m_splines->residues[j]);
}

std::uint32_t AminoAcidChain::PointOID(std::size_t j) const
{
    return m_splines->residues[j]->GetOID();
}

void AminoAcidChain::DisplayLineRibbon(DisplayList3D& list)
{
    const Splines& splines = GetSplines();
    const std::size_t count = splines.Count();
    for (const Point3d::Array& line : splines.lines) {
        for (std::size_t j = 0; j + 1 < count; ++j)
            list.Add(LinePrimitive(line[j], line[j + 1], PointColor(j), 1.0, PointOID(j)));
    }
}

void AminoAcidChain::DisplayFlatRibbon(DisplayList3D& list)
{
    AddRibbonMesh(list, 0.0, 0.1, false);
}

void AminoAcidChain::DisplayTubeRibbon(DisplayList3D& list)
{
    AddRibbonMesh(list, 0.2, 0.2, true);
}

void AminoAcidChain::AddRibbonMesh(DisplayList3D& list, double lift, double drop, bool closed)
{
    const Splines& splines = GetSplines();
    const std::size_t p = splines.Count();
    if (p == 0)
        return;
    // The upper faces of lines 0 and 4 (vertices from 0 and p) along the normals, the lower ones
    // (from 2p and 3p) against them; a closed slab shades its edges round.
    std::vector<VertexNormal> vertices(4 * p);
    OIDArray oids(4 * p);
    for (std::size_t j = 0; j < p; ++j) {
        const Color color = PointColor(j);
        for (std::size_t edge = 0; edge < 2; ++edge) {
            const std::size_t lane = edge == 0 ? 0 : 4;
            const Point3d& at = splines.lines[lane][j];
            const Point3d& normal = splines.normals[lane][j];
            const Point3d out = closed ? UnitOr(at - splines.lines[4 - lane][j], Point3d()) : Point3d();
            vertices[edge * p + j] = {at + normal * lift, color, UnitOr(normal + out, normal)};
            vertices[(2 + edge) * p + j] = {at - normal * drop, color, UnitOr(out - normal, -normal)};
        }
        for (std::size_t lane = 0; lane < 4; ++lane)
            oids[lane * p + j] = PointOID(j);
    }
    std::vector<TriangleIndex> triangles;
    triangles.reserve((closed ? 8 : 4) * (p - 1));
    const auto index = [](std::size_t v) { return static_cast<std::int32_t>(v); };
    for (std::size_t j = 0; j + 1 < p; ++j) {
        triangles.push_back({index(j), index(p + j), index(p + j + 1)});
        triangles.push_back({index(j), index(p + j + 1), index(j + 1)});
        triangles.push_back({index(2 * p + j), index(3 * p + j + 1), index(3 * p + j)});
        triangles.push_back({index(2 * p + j), index(2 * p + j + 1), index(3 * p + j + 1)});
        if (!closed)
            continue;
        // The edge of line 0, then of line 4, each facing away from the other.
        triangles.push_back({index(j), index(j + 1), index(2 * p + j)});
        triangles.push_back({index(j + 1), index(2 * p + j + 1), index(2 * p + j)});
        triangles.push_back({index(p + j), index(3 * p + j), index(p + j + 1)});
        triangles.push_back({index(3 * p + j), index(3 * p + j + 1), index(p + j + 1)});
    }
    list.Add(TriangleMeshPrimitive(std::move(vertices), std::move(triangles), std::move(oids)));
}

// ---- Tubes and traces

void AminoAcidChain::DisplayTube(DisplayList3D& list, std::span<AminoAcid* const> residues)
{
    const Sampling& sampling = TakeDisplayQuality();
    Point3d::Array guides;
    ColorArray colors;
    OIDArray oids;
    for (AminoAcid* residue : residues) {
        if (const Atom3d* alpha = residue->GetCAlpha()) {
            guides.push_back(alpha->GetXYZ());
            colors.push_back(DisplayColor(*residue));
            oids.push_back(residue->GetOID());
        }
    }
    if (list.GetMode() == DisplayList3D::normalMode) {
        ChainMeshBuilder::AddSplineTube(guides, colors, static_cast<int>(guides.size()), nullptr, nullptr,
                                        sampling.tubeSamples, sampling.tubeSides, m_displaySize * 0.6, 2.0, 0,
                                        GetOID(), oids, list);
        return;
    }
    for (std::size_t i = 0; i + 1 < guides.size(); ++i) {
        const Point3d middle = MidPoint(guides[i], guides[i + 1]);
        list.Add(LinePrimitive(guides[i], middle, colors[i], 4.0, oids[i]));
        list.Add(LinePrimitive(middle, guides[i + 1], colors[i + 1], 4.0, oids[i + 1]));
    }
}

void AminoAcidChain::DisplayCAlpha(DisplayList3D& list, RepresentationType representation,
                                   std::span<AminoAcid* const> residues)
{
    TraceAlphas(list, representation, residues);
    if (m_disulfideDisplay)
        DisplayDisulfides(list, representation == Wire ? CAlphaWire : CAlphaStick, representation);
}

void AminoAcidChain::TraceAlphas(DisplayList3D& list, RepresentationType representation,
                                 std::span<AminoAcid* const> residues) const
{
    const double radius = m_displaySize * 0.5;
    bool first = true;
    Point3d previous;
    for (AminoAcid* residue : residues) {
        const Atom3d* const alpha = residue->GetCAlpha();
        if (!alpha)
            continue;
        const Point3d at = alpha->GetXYZ();
        const Color color = DisplayColor(*residue);
        if (representation == Wire) {
            if (!first)
                list.Add(LinePrimitive(previous, at, color, 1.0, 0u));
            list.Add(UnlitPointPrimitive(at, color, residue->GetOID()));
        } else {
            if (!first)
                list.Add(CylinderPrimitive(previous, at, color, radius, 0u));
            list.Add(SpherePrimitive(at, radius, color, residue->GetOID()));
        }
        previous = at;
        first = false;
    }
}

void AminoAcidChain::DisplayDisulfides(DisplayList3D& list, std::int32_t style, RepresentationType representation)
{
    const double radius = m_displaySize * 0.5 * 2.0 / 3.0;
    // The residue of a bridged sulfur, when it is shown in the style and has a C-alpha.
    const auto bridged = [style](const Bondable* atom) -> const Object* {
        const auto* sulfur = DynCast<Atom>(atom);
        if (!sulfur || sulfur->GetLabel() != "SG")
            return nullptr;
        Object* const residue = sulfur->GetParent();
        if (!residue || !residue->IsVisible() || residue->IsClipped() || residue->GetDisplayStyle() != style ||
            !ResiduePool::FindAtom(residue, "CA"))
            return nullptr;
        return residue;
    };
    const auto draw = [&](const Bond& bond) {
        const Object* const first = bridged(bond.GetAtom1());
        const Object* const second = first ? bridged(bond.GetAtom2()) : nullptr;
        if (!second)
            return;
        const Point3d from = ResiduePool::FindAtom(const_cast<Object*>(first), "CA")->GetXYZ();
        const Point3d to = ResiduePool::FindAtom(const_cast<Object*>(second), "CA")->GetXYZ();
        const Color color = first->IsSelected() ? Color::Selected() : bond.GetAtom1()->GetColor();
        if (representation == Wire)
            list.Add(LinePrimitive(from, to, color, 1.0, 0u));
        else
            list.Add(CylinderPrimitive(from, to, color, radius, 0u));
    };
    ChildIterator own(this, Bond::classType, false);
    for (Object* object = own.GetNext(); object; object = own.GetNext())
        draw(*static_cast<const Bond*>(object));
    // A bridge between chains lies under their common parent: the chain of its first atom draws it.
    if (Object* const parent = GetParent()) {
        ChildIterator shared(parent, Bond::classType, false);
        for (Object* object = shared.GetNext(); object; object = shared.GetNext()) {
            const auto* bond = static_cast<const Bond*>(object);
            if (bond->GetAtom1() && bond->GetAtom1()->HasAncestor(this))
                draw(*bond);
        }
    }
}

// ---- Schematic

void AminoAcidChain::DisplaySchematic(DisplayList3D& list)
{
    const std::vector<AminoAcid*> residues = AminoAcidChildren(*this);
    const int n = static_cast<int>(residues.size());
    if (n <= 2)
        return;
    const Sampling& sampling = TakeDisplayQuality();
    const auto classOf = [&residues](int i) { return DisplayClass(*residues[static_cast<std::size_t>(i)]); };

    // Segments of residues sharing a class; coil segments reach one residue into their neighbours,
    // and a connector joins two touching segments that are not coil.
    struct Record {
        int start;
        int last;
        AminoAcid::SecondaryStructure environment;
    };
    std::vector<Record> records;
    AminoAcid::SecondaryStructure current = AminoAcid::Coil;
    int start = 0;
    for (int i = 0; i < n; ++i) {
        const AminoAcid::SecondaryStructure environment = classOf(i);
        const bool extends = i == 0 || environment == current;
        if (extends && i < n - 1) {
            current = environment;
            continue;
        }
        // The residue that ends the segment lies outside it unless the chain ends in it.
        const bool endsInside = extends;
        Record record{start, endsInside ? i : i - 1, current};
        if (record.environment == AminoAcid::Coil) {
            if (record.start > 0)
                --record.start;
            if (record.last < n - 1)
                ++record.last;
        } else if (record.environment == AminoAcid::Sheet && record.last - record.start == 1 && !records.empty() &&
                   records.back().environment == AminoAcid::Coil) {
            --records.back().last;
            --record.start;
        }
        if (record.environment != AminoAcid::Coil && !endsInside && environment != AminoAcid::Coil)
            records.push_back({i - 1, i, AminoAcid::Coil});
        records.push_back(record);
        start = i;
        current = environment;
    }

    const std::uint32_t oid = GetOID();
    const auto colorOf = [&](const Record& record) {
        return IsSelected() ? Color::Selected()
                            : residues[static_cast<std::size_t>((record.start + record.last) / 2)]->GetColor();
    };
    const auto alphas = [&](const Record& record) {
        Point3d::Array points;
        for (int i = std::max(record.start, 0); i <= std::min(record.last, n - 1); ++i) {
            if (const Atom3d* alpha = residues[static_cast<std::size_t>(i)]->GetCAlpha())
                points.push_back(alpha->GetXYZ());
        }
        return points;
    };
    // Helices first: a cylinder on the axis fitted through the C-alpha atoms, with a cone at each end.
    for (const Record& record : records) {
        if (record.environment != AminoAcid::Helix)
            continue;
        const Point3d::Array points = alphas(record);
        if (points.size() < 2)
            continue;
        Point3d::Array axis(points.size());
        for (std::size_t k = 0; k < axis.size(); ++k)
            axis[k] = Point3d(1.5 * static_cast<double>(k), 0.0, 0.0);
        RMSBestFit(Point3d::Array(axis), points, axis);
        const Color color = colorOf(record);
        const Point3d& first = axis.front();
        const Point3d& last = axis.back();
        list.Add(CylinderPrimitive(first, last, color, 1.96, oid));
        list.Add(ConePrimitive(first, first + Unit(axis[1] - first) * 0.6, color, 1.96, oid));
        list.Add(ConePrimitive(last, last + Unit(last - axis[axis.size() - 2]) * 1.2, color, 1.96, oid));
    }
    // Then sheet arrows and coil tubes, in record order.
    const auto alphaOf = [&](int i) {
        const Atom3d* alpha =
            i >= 0 && i < n ? residues[static_cast<std::size_t>(i)]->GetCAlpha() : nullptr;
        return alpha ? alpha->GetXYZ() : Point3d();
    };
    for (std::size_t r = 0; r < records.size(); ++r) {
        const Record& record = records[r];
        if (record.environment == AminoAcid::Helix)
            continue;
        Point3d::Array points = alphas(record);
        const Color color = colorOf(record);
        if (record.environment == AminoAcid::Sheet) {
            if (points.size() > 2)
                ChainMeshBuilder::AddArrowRibbon(points, static_cast<int>(points.size()), 3.8, 1.9, 1.3, 0.3, 4, 3,
                                                 color, oid, list);
            continue;
        }
        if (points.empty())
            continue;
        const Point3d before = r > 0 ? alphaOf(records[r - 1].start) : Point3d();
        const Point3d after = r + 1 < records.size() ? alphaOf(records[r + 1].last) : Point3d();
        ChainMeshBuilder::AddSplineTube(points, ColorArray(points.size(), color), static_cast<int>(points.size()),
                                        &before, &after, sampling.schematicSamples, sampling.schematicSides, 0.4, 2.0,
                                        Spline::StartIsPoint | Spline::EndIsPoint, oid, {}, list);
    }
}

} // namespace Tavrel
