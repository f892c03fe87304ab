#include <tavrel/monitors/StructureMonitor.h>

#include <algorithm>
#include <array>
#include <cmath>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(StructureMonitor)

namespace {

// How the formal charge q moves the allowed valence away from an oxidation state s.
enum class ChargeRule : std::uint8_t {
    Added,      // s + q: a cation binds more (ammonium), an anion less (alkoxide)
    Subtracted, // s - q: an anion binds more ([BF4]-, [AlCl4]-)
    Lowered,    // s - |q|: a carbocation and a carbanion both bind three
};

struct ValenceRule {
    std::int32_t type;  // the element type (its atomic number)
    std::array<std::int8_t, 3> states;  // common oxidation states, the last deciding a mismatch
    std::uint8_t count;
    ChargeRule charge;
};

constexpr std::array<ValenceRule, 13> ValenceRules{{
    {5, {3}, 1, ChargeRule::Subtracted},
    {6, {4}, 1, ChargeRule::Lowered},
    {7, {3}, 1, ChargeRule::Added},
    {8, {2}, 1, ChargeRule::Added},
    {9, {1}, 1, ChargeRule::Added},
    {13, {3}, 1, ChargeRule::Subtracted},
    {14, {4}, 1, ChargeRule::Lowered},
    {15, {3, 4, 5}, 3, ChargeRule::Added},
    {16, {2, 4, 6}, 3, ChargeRule::Added},
    {17, {1}, 1, ChargeRule::Added},
    {34, {2}, 1, ChargeRule::Added},
    {35, {1}, 1, ChargeRule::Added},
    {53, {1}, 1, ChargeRule::Added},
}};

// Used valences are sums of halves and charges small rationals: anything closer is equal.
constexpr double Tolerance = 1e-3;

const ValenceRule* FindRule(std::int32_t type)
{
    const auto found = std::find_if(ValenceRules.begin(), ValenceRules.end(),
                                    [type](const ValenceRule& rule) { return rule.type == type; });
    return found != ValenceRules.end() ? &*found : nullptr;
}

double AllowedValence(const ValenceRule& rule, int state, double charge)
{
    switch (rule.charge) {
    case ChargeRule::Subtracted: return state - charge;
    case ChargeRule::Lowered: return state - std::abs(charge);
    case ChargeRule::Added: break;
    }
    return state + charge;
}

int CountAromaticBonds(const Atom& atom)
{
    int count = 0;
    for (int i = 0; i < atom.GetNumBonds(); ++i)
        count += atom.GetBond(i)->GetType() == Bond::Aromatic ? 1 : 0;
    return count;
}

} // namespace

StructureMonitor::StructureMonitor(Object* parent) : GeometryMonitor(parent), m_tree(true)
{
    if (!parent)
        return;
    std::vector<Object*> objects = GatherAtoms(true);
    DescendentIterator bonds(parent, Bond::classType, false);
    while (Object* const bond = bonds.GetNext())
        objects.push_back(bond);
    const Watch self(this);
    WatchChemistry(parent);
    if (self.alive)
        CollectAtoms(objects);
}

StructureMonitor::StructureMonitor(Object* parent, const OrdCollection& atoms) : GeometryMonitor(parent)
{
    if (!parent)
        return;
    std::vector<Object*> objects;
    objects.reserve(static_cast<std::size_t>(atoms.GetSize()));
    for (int i = 0; i < atoms.GetSize(); ++i)
        objects.push_back(atoms.GetAt(i));
    const Watch self(this);
    WatchChemistry(parent);
    if (self.alive)
        CollectAtoms(objects);
}

const PropertyTable& StructureMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<StructureMonitor>()
            .Field<&StructureMonitor::m_tree>("StructureMonitor Monitor Tree")
            .Field<&StructureMonitor::m_displayUnderValence>("StructureMonitor Display Under Valence")
            .Field<&StructureMonitor::m_displayLabels>("StructureMonitor Display Labels")
            // The text interface reads the counts after the recalculation that is due, so a loaded
            // monitor reads what it read before the save.
            .Text("Over-valence Atoms")
            .Getter([](const StructureMonitor& monitor) {
                return monitor.Refresh() ? monitor.GetNumOverValenceAtoms() : 0;
            })
            .ReadOnly()
            .Shown()
            .Text("Under-valence Atoms")
            .Getter([](const StructureMonitor& monitor) {
                return monitor.Refresh() ? monitor.GetNumUnderValenceAtoms() : 0;
            })
            .ReadOnly()
            .Shown()
            .Text("Show under-valence")
            .GetText([](const StructureMonitor& monitor) { return monitor.GetDisplayUnderValence() ? "True" : "False"; })
            .SetText(SwitchText<&StructureMonitor::SetDisplayUnderValence>{})
            .Shown(ObjectProperty::CategorySwitch)
            .Text("Show labels")
            .GetText([](const StructureMonitor& monitor) { return monitor.GetDisplayLabels() ? "True" : "False"; })
            .SetText(SwitchText<&StructureMonitor::SetDisplayLabels>{})
            .Shown(ObjectProperty::CategorySwitch)
            .AfterRecord([](StructureMonitor& monitor, Archive&, PropertyArchive*) { monitor.SetNeedsRecalc(true); }));
    return table;
}

std::int32_t StructureMonitor::GetProperties(ObjectProperty::Array& properties) const
{
    return ListObjectPropertiesThen(Properties(), properties);
}

bool StructureMonitor::GetDisplayUnderValence() const
{
    return m_displayUnderValence;
}

void StructureMonitor::SetDisplayUnderValence(bool display)
{
    m_displayUnderValence = display;
}

bool StructureMonitor::GetDisplayLabels() const
{
    return m_displayLabels;
}

void StructureMonitor::SetDisplayLabels(bool display)
{
    m_displayLabels = display;
}

int StructureMonitor::GetNumUnderValenceAtoms() const
{
    return static_cast<int>(m_underValence.Get().size());
}

int StructureMonitor::GetNumOverValenceAtoms() const
{
    return static_cast<int>(m_overValence.Get().size());
}

namespace {

int AddAtoms(const std::vector<std::uint32_t>& atoms, BaseCollection& out)
{
    int count = 0;
    for (const std::uint32_t oid : atoms) {
        if (Object* const atom = Object::GetObjectA(oid)) {
            out.Add(atom);
            ++count;
        }
    }
    return count;
}

} // namespace

int StructureMonitor::GetUnderValenceAtoms(BaseCollection& out)
{
    return Refresh() ? AddAtoms(m_underValence.Get(), out) : 0;
}

int StructureMonitor::GetOverValenceAtoms(BaseCollection& out)
{
    return Refresh() ? AddAtoms(m_overValence.Get(), out) : 0;
}

// ---- Valence

double StructureMonitor::SumAtomBondOrders(const Atom& atom)
{
    double sum = 0.0;
    bool allAromatic = true;
    for (int i = 0; i < atom.GetNumBonds(); ++i) {
        const Bond* const bond = atom.GetBond(i);
        sum += bond->GetValenceContribution(&atom);
        allAromatic = allAromatic && bond->GetType() == Bond::Aromatic;
    }
    if (atom.GetElementType() == 6 && allAromatic)
        sum -= 0.5;
    if (atom.HasDonatedLonePairs())
        sum -= 1.0;
    return sum;
}

StructureMonitor::Valence StructureMonitor::CheckValence(const Atom& atom)
{
    const ValenceRule* const rule = FindRule(atom.GetElementType());
    if (!rule)
        return Valence::Unchecked;
    const double used = SumAtomBondOrders(atom);
    // A heteroatom's valence with every aromatic bond counted as a single bond.
    const double leastUsed = atom.IsHeteroatom() ? used - 0.5 * CountAromaticBonds(atom) : used;
    const double charge = atom.GetFormalCharge().ToDouble();
    double allowed = 0.0;
    for (std::uint8_t i = 0; i < rule->count; ++i) {
        allowed = AllowedValence(*rule, rule->states[i], charge);
        if (leastUsed - Tolerance <= allowed && allowed <= used + Tolerance)
            return Valence::Correct;
    }
    return used > allowed ? Valence::Over : Valence::Under;
}

// ---- Recalculation

void StructureMonitor::Calculate()
{
    const Watch self(this);
    const std::vector<Object*> candidates = GatherAtoms(m_tree);
    WatchChemistry(GetParent());
    if (!self.alive)
        return;
    CollectAtoms(candidates);
    m_overValence.Get().clear();
    m_underValence.Get().clear();
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        const auto* const atom = DynCast<Atom>(GetItem(i));
        if (!atom)
            continue;
        switch (CheckValence(*atom)) {
        case Valence::Over: m_overValence.Get().push_back(atom->GetOID()); break;
        case Valence::Under: m_underValence.Get().push_back(atom->GetOID()); break;
        case Valence::Correct:
        case Valence::Unchecked: break;
        }
    }
    SetNeedsRecalc(false);
}

// ---- Display

void StructureMonitor::MarkAtoms(const std::vector<std::uint32_t>& atoms, const Color& color, const char* word,
                                 DisplayList3D& list) const
{
    for (const std::uint32_t oid : atoms) {
        const auto* const atom = DynCast<Atom>(Object::GetObjectA(oid));
        if (!atom || !atom->IsVisible() || atom->GetDisplayStyle() == 0 || !atom->IsActive())
            continue;
        const Point3d position = atom->GetXYZ();
        const Point3d label = atom->GetAnnotationXYZ();
        const double radius = std::max(Distance(position, label) + 0.1, 0.3);
        for (const ArcPrimitive& ring : ArcPrimitive::Cage(position, radius, 20, color, 1.0, GetOID()))
            list.Add(ring);
        if (m_displayLabels)
            list.Add(Text3DPrimitive(word, label, color, GetOID()));
    }
}

void StructureMonitor::NormalDisplay(DisplayList3D& list)
{
    if (!IsVisible() || !Refresh())
        return;
    MarkAtoms(m_overValence.Get(), IsSelected() ? Color::Selected() : Color::Red(), "Over", list);
    if (m_displayUnderValence)
        MarkAtoms(m_underValence.Get(), IsSelected() ? Color::Selected() : Color::Cyan(), "Under", list);
}

} // namespace Tavrel
