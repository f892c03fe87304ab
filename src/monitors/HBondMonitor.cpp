#include <tavrel/monitors/HBondMonitor.h>

#include <algorithm>
#include <cmath>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/BondNeighbourhood.h>
#include <tavrel/monitors/ContactSearch.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(HBondMonitor)

namespace {

constexpr ElementType HydrogenType = ElementType(1);
// The largest length the text interface takes for the criterion.
constexpr double MaxCriterionLength = 100.0;

// The pair test; near() tells whether the two lie within four bonds of each other and is asked last.
template <class Near>
bool IsBondingPair(const Atom& acceptor, const Point3d& acceptorPosition, const Atom& donor,
                   const Point3d& donorPosition, double limit, Near&& near)
{
    if (!acceptor.IsActive() || !donor.IsActive())
        return false;
    if (!acceptor.IsVisible() && !donor.IsVisible())
        return false;
    if (acceptor.GetDisplayStyle() == 0 && donor.GetDisplayStyle() == 0)
        return false;
    // A limit that is not a number takes nothing.
    if (!(Distance2(donorPosition, acceptorPosition) <= limit))
        return false;
    return !near();
}

// A donor or acceptor item resolved for one drawing.
struct End {
    Atom* atom;
    Point3d position;
};

// The atom items from index 1, told apart now: a donor, else an acceptor, in item order.
void SplitItems(const Monitor& monitor, std::vector<End>& donors, std::vector<End>& acceptors)
{
    for (int i = 1; i < monitor.GetNumItemsMonitoring(); ++i) {
        auto* const atom = DynCast<Atom>(monitor.GetItem(i));
        if (atom && atom->IsHBondDonor())
            donors.push_back({atom, atom->GetXYZ()});
        else if (atom && atom->IsHBondAcceptor())
            acceptors.push_back({atom, atom->GetXYZ()});
    }
}

std::vector<Point3d> PositionsOf(const std::vector<End>& ends)
{
    std::vector<Point3d> positions;
    positions.reserve(ends.size());
    for (const End& end : ends)
        positions.push_back(end.position);
    return positions;
}

} // namespace

HBondMonitor::HBondMonitor(Object* parent) : GeometryMonitor(parent), m_tree(true)
{
    SetColor(Color::Green());
    if (!parent)
        return;
    std::vector<Object*> atoms;
    DescendentIterator walk(parent, Atom::classType, false);
    while (Object* const atom = walk.GetNext())
        atoms.push_back(atom);
    WatchStructure(parent);
    CollectDonorAtoms(atoms);
    CollectAcceptorAtoms(atoms);
}

HBondMonitor::HBondMonitor(Object* parent, const OrdCollection& atoms, bool internal)
    : GeometryMonitor(parent), m_internal(internal)
{
    SetColor(Color::Green());
    if (!parent)
        return;
    std::vector<Object*> objects;
    for (int i = 0; i < atoms.GetSize(); ++i)
        objects.push_back(atoms.GetAt(i));
    WatchStructure(parent);
    CollectDonorAtoms(objects);
    CollectAcceptorAtoms(objects);
}

const PropertyTable& HBondMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<HBondMonitor>()
            // The framework record has the tree flag alone after GeometryMonitor's.
            .Field<Storage::StorageBool, &HBondMonitor::m_tree>("HBondMonitor Tree Monitor")
            .Field<Storage::StorageBool, &HBondMonitor::m_internal>("HBondMonitor Internal HBs")
            .StreamOnly()
            .Field<Storage::StorageDouble, &HBondMonitor::m_criterion>("HBondMonitor DistCriterion")
            .StreamOnly()
            .Field<Storage::StorageDouble, &HBondMonitor::m_noHydrogenCriterion>("HBondMonitor NoHDistCriterion")
            .StreamOnly()
            .Field<Storage::StorageBool, &HBondMonitor::m_showLabels>("HBondMonitor Dist Labels")
            .StreamOnly()
            .Text("Hydrogen Bonds")
            .GetText([](const HBondMonitor& monitor) { return StringUtils::Format("%d", monitor.m_count.Get()); })
            .ReadOnly()
            .Described([](const HBondMonitor& monitor) {
                return ObjectProperty("Hydrogen Bonds", monitor.m_count.Get(), ObjectProperty::AccessReadable, ObjectProperty::CategoryValue);
            })
            .Text("Distance Criterion")
            .GetText([](const HBondMonitor& monitor) {
                return StringUtils::Format("%.2f", std::sqrt(monitor.m_criterion));
            })
            .SetText([](HBondMonitor& monitor, std::string_view text) {
                double length = 0.0;
                if (!StringUtils::StringToReal(text, length) || !(length > 0.0 && length <= MaxCriterionLength))
                    return false;
                monitor.SetDistanceCriterion(length * length);
                return true;
            })
            .Described([](const HBondMonitor& monitor) {
                return ObjectProperty("Distance Criterion", std::sqrt(monitor.m_criterion), ReadWriteAccess, ObjectProperty::CategoryValue);
            })
            .Text("Show distances")
            .GetText([](const HBondMonitor& monitor) { return monitor.m_showLabels ? "True" : "False"; })
            .SetText(SwitchText<&HBondMonitor::ShowDistanceLabels>{})
            .Described([](const HBondMonitor& monitor) {
                return ObjectProperty("Show distances", monitor.m_showLabels, ReadWriteAccess, ObjectProperty::CategorySwitch);
            })
            .AfterRecord([](HBondMonitor& monitor, Archive& archive, PropertyArchive*) {
                if (archive.IsLoading())
                    monitor.SetNeedsRecalc(true);
            }));
    return table;
}

ObjectProperty HBondMonitor::GetPropertyAsObjectProperty(std::string_view name) const
{
    if (StringUtils::EqualsNoCase(name, "Distance Criterion"))
        return {};
    return GeometryMonitor::GetPropertyAsObjectProperty(name);
}

std::int32_t HBondMonitor::GetProperties(ObjectProperty::Array& properties) const
{
    return ListObjectPropertiesThen(Properties(), properties);
}

int HBondMonitor::GetNumberOfHydrogenBonds() const
{
    return m_count.Get();
}

void HBondMonitor::ShowDistanceLabels(bool show)
{
    m_showLabels = show;
}

bool HBondMonitor::GetShowDistanceLabels() const
{
    return m_showLabels;
}

double HBondMonitor::GetDistanceCriterion() const
{
    return m_criterion;
}

void HBondMonitor::SetDistanceCriterion(double squaredDistance)
{
    m_criterion = squaredDistance;
    m_noHydrogenCriterion = squaredDistance * NoHydrogenFactor;
}

bool HBondMonitor::GetDisplayInternalHBonds() const
{
    return m_internal;
}

void HBondMonitor::SetDisplayInternalHBonds(bool internal)
{
    m_internal = internal;
}

double HBondMonitor::GetLimit(const Atom& donor) const
{
    return donor.GetElementType() == HydrogenType ? m_criterion : m_noHydrogenCriterion;
}

bool HBondMonitor::IsHBondingPair(const Point3d& acceptorPosition, const Point3d& donorPosition, Atom* acceptor,
                                  Atom* donor) const
{
    return acceptor && donor &&
           IsBondingPair(*acceptor, acceptorPosition, *donor, donorPosition, GetLimit(*donor),
                         [&] { return acceptor->HasPathOfLength(donor, 5, true); });
}

// ---- Recalculation


void HBondMonitor::CollectDonorAtoms(std::span<Object* const> objects)
{
    for (Object* const object : objects) {
        if (!object || object->IsClipped() || IsMonitoredItem(object))
            continue;
        if (const auto* const atom = DynCast<Atom>(object); atom && atom->IsHBondDonor())
            RegisterTreeEvent(object, Geometric::classType, Geometric::EventMoved, false, nullptr);
    }
}

void HBondMonitor::CollectAcceptorAtoms(std::span<Object* const> objects)
{
    for (Object* const object : objects) {
        if (!object || object->IsClipped() || IsMonitoredItem(object))
            continue;
        if (const auto* const atom = DynCast<Atom>(object); atom && atom->IsHBondAcceptor())
            RegisterTreeEvent(object, Geometric::classType, Geometric::EventMoved, false, nullptr);
    }
}

void HBondMonitor::Calculate()
{
    const Watch self(this);
    std::vector<Object*> atoms;
    if (m_tree) {
        if (Object* const parent = GetParent()) {
            DescendentIterator walk(parent, Atom::classType, false);
            while (Object* const atom = walk.GetNext())
                atoms.push_back(atom);
        }
    } else {
        // Monitored hydrogens are reached through their heavy atoms.
        OrdCollection hydrogens;
        for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
            const auto* const atom = DynCast<Atom>(GetItem(i));
            if (!atom || atom->GetElementType() == HydrogenType)
                continue;
            atoms.push_back(GetItem(i));
            hydrogens.RemoveAll();
            atom->GetHydrogens(hydrogens);
            for (int h = 0; h < hydrogens.GetSize(); ++h)
                atoms.push_back(hydrogens.GetAt(h));
        }
    }
    WatchStructure(GetParent());
    CollectDonorAtoms(atoms);
    CollectAcceptorAtoms(atoms);
    if (self.alive)
        SetNeedsRecalc(false);
}

// ---- Drawing

void HBondMonitor::NormalDisplay(DisplayList3D& list)
{
    if (!Refresh())
        return;
    const Color color = GetDrawingColor();
    std::vector<End> donors;
    std::vector<End> acceptors;
    SplitItems(*this, donors, acceptors);
    const std::vector<Point3d> donorPositions = PositionsOf(donors);
    const std::vector<Point3d> acceptorPositions = PositionsOf(acceptors);
    // The widest limit that takes anything.
    double widest = -1.0;
    for (const double limit : {m_criterion, m_noHydrogenCriterion}) {
        if (limit >= 0.0)
            widest = std::max(widest, limit);
    }
    const double reach = widest >= 0.0 ? std::sqrt(widest) : -1.0;
    ContactSearch donorSearch(donorPositions, reach);
    ContactSearch acceptorSearch(acceptorPositions, reach);
    // The bond-path test, around the atom the outer loop holds: gathered at its first pair in reach.
    BondNeighbourhood near;
    const Atom* centre = nullptr;
    const auto within = [&](const Atom& held, const Atom& other) {
        if (centre != &held) {
            near.Gather(held, 4);
            centre = &held;
        }
        return near.Contains(&other);
    };
    const auto draw = [&](const Point3d& from, const Point3d& to) {
        ++m_count.Get();
        list.Add(DashedLinePrimitive(from, to, color, 1.0, GetOID(), 5, true));
        if (m_showLabels)
            list.Add(Text3DPrimitive(StringUtils::Format("%.2f", Distance(from, to)), MidPoint(from, to), 0.2, color,
                                     Font::DefaultFont(), GetOID()));
    };

    m_count.Get() = 0;
    if (m_tree || m_internal) {
        for (const End& donor : donors) {
            acceptorSearch.ForEachNear(donor.position, [&](std::int32_t j) {
                const End& acceptor = acceptors[static_cast<std::size_t>(j)];
                if (IsBondingPair(*acceptor.atom, acceptor.position, *donor.atom, donor.position, GetLimit(*donor.atom),
                                  [&] { return within(*donor.atom, *acceptor.atom); }))
                    draw(donor.position, acceptor.position);
            });
        }
    }
    Object* const parent = GetParent();
    if (m_tree || !parent)
        return;
    std::vector<const Atom*> monitored;
    monitored.reserve(donors.size() + acceptors.size());
    for (const std::vector<End>* ends : {&donors, &acceptors}) {
        for (const End& end : *ends)
            monitored.push_back(end.atom);
    }
    std::sort(monitored.begin(), monitored.end());
    std::vector<std::int32_t> nearDonors;
    std::vector<std::int32_t> nearAcceptors;
    DescendentIterator walk(parent, Atom::classType, false);
    while (Object* const next = walk.GetNext()) {
        auto* const other = DynCast<Atom>(next);
        if (!other || std::binary_search(monitored.begin(), monitored.end(), other))
            continue;
        const Point3d position = other->GetXYZ();
        nearDonors.clear();
        nearAcceptors.clear();
        donorSearch.ForEachNear(position, [&](std::int32_t j) { nearDonors.push_back(j); });
        acceptorSearch.ForEachNear(position, [&](std::int32_t j) { nearAcceptors.push_back(j); });
        if (nearDonors.empty() && nearAcceptors.empty())
            continue;
        if (other->IsHBondAcceptor()) {
            for (const std::int32_t j : nearDonors) {
                const End& donor = donors[static_cast<std::size_t>(j)];
                if (IsBondingPair(*other, position, *donor.atom, donor.position, GetLimit(*donor.atom),
                                  [&] { return within(*other, *donor.atom); }))
                    draw(donor.position, position);
            }
        } else if (!nearAcceptors.empty() && other->IsHBondDonor()) {
            for (const std::int32_t j : nearAcceptors) {
                const End& acceptor = acceptors[static_cast<std::size_t>(j)];
                if (IsBondingPair(*acceptor.atom, acceptor.position, *other, position, GetLimit(*other),
                                  [&] { return within(*other, *acceptor.atom); }))
                    draw(position, acceptor.position);
            }
        }
    }
}

} // namespace Tavrel
