#include <tavrel/monitors/HBondMonitor.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/BondedPrefetch.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/RecycledVectors.h>
#include <tavrel/core/StringUtils.h>
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
// What an item is watched for besides its deletion.
const TreeNode::EventKind Moved{Geometric::classType, Geometric::EventMoved};
// The largest length the text interface takes for the criterion.
constexpr double MaxCriterionLength = 100.0;

// What the pair test reads of an atom, read once per drawing (or once by the build, for the first).
struct End {
    Atom* atom;
    Point3d position;
    bool hydrogen;
    bool active;
    bool visible;
    bool styled;
};

// The squared distance limits: for a hydrogen donor, and for any other.
struct Limits {
    double hydrogen;
    double other;
};

// The pair test but the bond path: both active, one visible, one drawn in some style, within the
// donor's limit (a limit that is not a number takes nothing).
bool MayBond(const End& acceptor, const End& donor, const Limits& limits)
{
    return acceptor.active && donor.active && (acceptor.visible || donor.visible) &&
           (acceptor.styled || donor.styled) &&
           Distance2(donor.position, acceptor.position) <= (donor.hydrogen ? limits.hydrogen : limits.other);
}

End MakeEnd(Atom& atom, const Point3d& position)
{
    return {&atom, position, atom.GetElementType() == HydrogenType, atom.IsActive(), atom.IsVisible(),
            atom.GetDisplayStyle() != 0};
}

// The atom items from index 1, told apart now: a donor, else an acceptor, in item order. Each is read
// once, with its bonded atoms asked for ahead.
void SplitItems(const Monitor& monitor, std::vector<End>& donors, std::vector<End>& acceptors)
{
    const std::vector<Object*> items = monitor.GetItems(1);
    for (std::size_t i = 0; i < items.size(); ++i) {
        BondedPrefetch::Ahead(i, items.size(), [&items](std::size_t k) { return items[k]; });
        auto* const atom = DynCast<Atom>(items[i]);
        if (atom && atom->IsHBondDonor())
            donors.push_back(MakeEnd(*atom, atom->GetXYZ()));
        else if (atom && atom->IsHBondAcceptor())
            acceptors.push_back(MakeEnd(*atom, atom->GetXYZ()));
    }
}

// Hands on each atom added a few atoms later, in order, its bonds asked for as it came: a walk that
// read each atom's bonds as it reached them would wait on memory at every atom of a large tree.
class HeldAtoms {
public:
    template <class Visit>
    void Add(Atom& atom, Visit&& visit)
    {
        BondedPrefetch::Bonds(atom);
        if (m_held == Count)
            visit(m_atoms[m_next]);
        else
            ++m_held;
        m_atoms[m_next] = &atom;
        m_next = (m_next + 1) % Count;
    }
    // Hands on the atoms still held.
    template <class Visit>
    void Flush(Visit&& visit)
    {
        const std::size_t first = m_held == Count ? m_next : 0;
        for (std::size_t k = 0; k < m_held; ++k)
            visit(m_atoms[(first + k) % Count]);
        m_held = 0;
        m_next = 0;
    }

private:
    static constexpr std::size_t Count = 8;
    std::array<Atom*, Count> m_atoms{};
    std::size_t m_next = 0;
    std::size_t m_held = 0;
};

std::vector<Point3d> PositionsOf(const std::vector<End>& ends)
{
    std::vector<Point3d> positions;
    ReserveRecycled(positions, ends.size());
    for (const End& end : ends)
        positions.push_back(end.position);
    return positions;
}

} // namespace

// What a walk told apart of the items as it held them, in lists of walk order: the items it reached, by
// their role now, and the new items it made, by role. The item list is these lists interleaved, each
// kept in order (the new items last), unless items were added, moved or changed role otherwise. The
// build's walk makes one, which the first drawing adopts while nothing has changed since; a drawing's
// recalculation makes its own.
struct HBondMonitor::Split {
    enum List : std::uint8_t { Donors, Acceptors, Neither, NewDonors, NewAcceptors, Count };
    struct Reached {
        const TreeNode* node;
        std::uint32_t oid;
    };

    // A drawing's, over its items.
    explicit Split(std::size_t items) : m_items(items) {}
    // The build's: every item is new, and the first drawing adopts the lists under the build's stamp,
    // so no account is kept of the items reached.
    static std::shared_ptr<Split> ForBuild()
    {
        auto split = std::make_shared<Split>(0);
        split->m_forBuild = true;
        return split;
    }
    Split(const Split&) = delete;
    Split& operator=(const Split&) = delete;
    // The lists' room is kept for the next drawing.
    ~Split()
    {
        for (std::size_t list = 0; list < Count; ++list) {
            GiveRecycled(reached[list]);
            GiveRecycled(ends[list]);
        }
    }

    // Before a walk: room for as many donors and as many acceptors as there are items (pages never
    // written are never taken); for the build's, the most room kept for the new ones, whose counts are
    // not known. A drawing without a walk takes none.
    void Reserve()
    {
        if (m_forBuild) {
            for (const List list : {NewDonors, NewAcceptors})
                TakeRecycled(ends[list], 0);
            return;
        }
        for (const List list : {Donors, Acceptors}) {
            ReserveRecycled(reached[list], m_items);
            ReserveRecycled(ends[list], m_items);
        }
    }

    // The list of an item of this role that the walk reached, or made with `made`.
    static List ListOf(Role role, bool made)
    {
        if (role == Role::None)
            return Neither;
        if (role == Role::Donor)
            return made ? NewDonors : Donors;
        return made ? NewAcceptors : Acceptors;
    }

    void Add(List list, Atom& atom, std::uint32_t oid)
    {
        if (!m_forBuild)
            reached[list].push_back({&atom, oid});
        if (list != Neither)
            ends[list].push_back(MakeEnd(atom, atom.GetXYZ()));
    }

    // The donors and the acceptors among the items from index 1, each in item order: false when the
    // walk is not over, a callback ran since (it may have changed what was read), or, for a walk of the
    // drawing's own, an entry that is not empty is not the next of one of the lists (not reached,
    // listed twice, or out of walk order) or an item reached has no entry.
    bool Take(std::span<const MonitorItemList::Entry> entries, std::vector<End>& donors, std::vector<End>& acceptors)
    {
        if (!done || callbacks != TreeNode::GetCallbacksRun() || entries.empty())
            return false;
        if (!m_adopted && !InWalkOrder(entries))
            return false;
        // The new items came after every other: each role's items are its list, then its new ones.
        donors = Join(ends[Donors], ends[NewDonors]);
        acceptors = Join(ends[Acceptors], ends[NewAcceptors]);
        return true;
    }

    // No walk: the build's walk told the items apart, and nothing has changed since (the items from
    // index 1 are its new donors, then its new acceptors, read as they stand).
    void Adopt(Split& build)
    {
        for (const List list : {NewDonors, NewAcceptors})
            std::swap(ends[list], build.ends[list]);
        callbacks = TreeNode::GetCallbacksRun();
        done = true;
        m_adopted = true;
    }

    std::array<std::vector<Reached>, Count> reached;
    std::array<std::vector<End>, Count> ends;  // of the donors and acceptors
    std::uint64_t callbacks = 0;               // as the walk ended
    bool done = false;

private:
    std::size_t m_items;
    bool m_forBuild = false;
    bool m_adopted = false;  // the build's lists, checked by its stamp

    // Every entry that is not empty is the next of one of the lists, and every item reached has one.
    bool InWalkOrder(std::span<const MonitorItemList::Entry> entries) const
    {
        std::array<std::size_t, Count> next{};
        const auto isNext = [&](std::size_t list, const MonitorItemList::Entry& entry) {
            return next[list] < reached[list].size() && reached[list][next[list]].node == entry.node &&
                   reached[list][next[list]].oid == entry.oid;
        };
        for (const MonitorItemList::Entry& entry : entries.subspan(1)) {
            if (!entry.node)
                continue;
            std::size_t list = 0;
            while (list < Count && !isNext(list, entry))
                ++list;
            if (list == Count)
                return false;
            ++next[list];
        }
        for (std::size_t list = 0; list < Count; ++list) {
            if (next[list] != reached[list].size())
                return false;
        }
        return true;
    }

    static std::vector<End> Join(std::vector<End>& first, std::vector<End>& then)
    {
        if (first.empty())
            return std::move(then);
        first.insert(first.end(), then.begin(), then.end());
        return std::move(first);
    }
};

HBondMonitor::Built HBondMonitor::Built::Stamp(const HBondMonitor& monitor, std::shared_ptr<Split> split)
{
    return {TreeNode::GetChangesMarked(), TreeNode::GetCallbacksRun(), monitor.GetItemEdits(), std::move(split)};
}

bool HBondMonitor::Built::Holds(const HBondMonitor& monitor) const
{
    return changes == TreeNode::GetChangesMarked() && callbacks == TreeNode::GetCallbacksRun() &&
           edits == monitor.GetItemEdits();
}

HBondMonitor::HBondMonitor(Object* parent) : GeometryMonitor(parent), m_tree(true)
{
    SetColor(Color::Green());
    if (!parent)
        return;
    // The items are the parent, the new donors, then the new acceptors, unless a callback ran.
    const std::uint64_t callbacks = TreeNode::GetCallbacksRun();
    std::shared_ptr<Split> split = Split::ForBuild();
    CollectBelow(*parent, split.get());
    if (callbacks == TreeNode::GetCallbacksRun())
        m_built = Built::Stamp(*this, std::move(split));
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
    Collect(objects, true, true);
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

bool HBondMonitor::IsHBondingPair(const Point3d& acceptorPosition, const Point3d& donorPosition, Atom* acceptor,
                                  Atom* donor) const
{
    const Limits limits{m_criterion, m_noHydrogenCriterion};
    return acceptor && donor && MayBond(MakeEnd(*acceptor, acceptorPosition), MakeEnd(*donor, donorPosition), limits) &&
           !acceptor->HasPathOfLength(donor, 5, true);
}

// ---- Recalculation

void HBondMonitor::CollectDonorAtoms(std::span<Object* const> objects)
{
    Collect(objects, true, false);
}

void HBondMonitor::CollectAcceptorAtoms(std::span<Object* const> objects)
{
    Collect(objects, false, true);
}

HBondMonitor::Role HBondMonitor::RoleOf(const Object* object, bool donors, bool acceptors) const
{
    if (!object || object->IsClipped() || IsMonitoredItem(object))
        return Role::None;
    if (const auto* const atom = DynCast<Atom>(object)) {
        if (donors && atom->IsHBondDonor())
            return Role::Donor;
        if (acceptors && atom->IsHBondAcceptor())
            return Role::Acceptor;
    }
    return Role::None;
}

HBondMonitor::Role HBondMonitor::Classify(const Atom& atom)
{
    return atom.IsHBondDonor() ? Role::Donor : atom.IsHBondAcceptor() ? Role::Acceptor : Role::None;
}

void HBondMonitor::Collect(std::span<Object* const> objects, bool donors, bool acceptors)
{
    // Each new object is read once (and its bonded atoms with it), as a donor, else as an acceptor.
    NewItems found;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        BondedPrefetch::Ahead(i, objects.size(), [objects](std::size_t k) { return objects[k]; });
        found.Add(objects[i], RoleOf(objects[i], donors, acceptors));
    }
    Register(found);
}

void HBondMonitor::CollectBelow(Object& parent, Split* split)
{
    // Each atom is told apart, and a new item watched, within the walk that sets the masks of the
    // parent's subtree (registrations held already: a walk of its own), a few atoms after the walk
    // reached it, while it is still in the cache and its bonds have come in.
    if (split)
        split->Reserve();
    // Neither count is known before the walk: each takes the most room kept.
    std::vector<MonitorItemList::Entry> acceptors;
    std::vector<MonitorItemList::Entry> donors;
    TakeRecycled(acceptors, 0);
    TakeRecycled(donors, 0);
    const auto classify = [&](Atom* atom) {
        if (IsMonitoredItem(atom)) {
            if (split)
                split->Add(Split::ListOf(Classify(*atom), false), *atom, atom->GetOID());
            return;
        }
        if (atom->IsClipped())
            return;
        const Role role = Classify(*atom);
        if (role == Role::None)
            return;
        const MonitorItemList::Entry entry = WatchNewItem(*atom, Moved);
        (role == Role::Donor ? donors : acceptors).push_back(entry);
        if (split)
            split->Add(Split::ListOf(role, true), *atom, entry.oid);
    };
    HeldAtoms held;
    auto visit = [&](TreeNode* node) { held.Add(*static_cast<Atom*>(node), classify); };
    WatchStructure(parent, TreeNode::DescendentVisit::Of(Atom::classType, visit));
    held.Flush(classify);
    ReserveItems(donors.size() + acceptors.size());
    AddWatchedItems(donors);
    AddWatchedItems(acceptors);
    GiveRecycled(donors);
    GiveRecycled(acceptors);
    if (split) {
        split->callbacks = TreeNode::GetCallbacksRun();
        split->done = true;
    }
}

void HBondMonitor::Register(const NewItems& found)
{
    // Registering writes into each object: those a few places on are asked for.
    constexpr std::size_t ahead = 2 * BondedPrefetch::Step;
    ReserveItems(found.donors.size() + found.acceptors.size());
    for (const std::vector<Object*>* objects : {&found.donors, &found.acceptors}) {
        for (std::size_t i = 0; i < objects->size(); ++i) {
            if (i + ahead < objects->size())
                BondedPrefetch::Lines((*objects)[i + ahead], BondedPrefetch::AtomBytes);
            RegisterTreeEvent((*objects)[i], Geometric::classType, Geometric::EventMoved, false, nullptr);
        }
    }
}

void HBondMonitor::Calculate()
{
    const Watch self(this);
    if (m_tree) {
        const std::optional<Built> built = std::exchange(m_built.Get(), std::nullopt);
        Object* const parent = GetParent();
        if (parent && built && built->Holds(*this)) {
            // A walk would find no new item and tell the items apart as the build did.
            WatchStructure(parent);
            if (Split* const split = m_split.Get())
                split->Adopt(*built->split);
        } else if (parent) {
            CollectBelow(*parent, m_split.Get());
        }
    } else {
        // Monitored hydrogens are reached through their heavy atoms.
        std::vector<Object*> atoms;
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
        WatchStructure(GetParent());
        Collect(atoms, true, true);
    }
    if (self.alive)
        SetNeedsRecalc(false);
}

// ---- Drawing

void HBondMonitor::NormalDisplay(DisplayList3D& list)
{
    // A recalculation now tells the items apart within its walk, while it holds them.
    Split split(static_cast<std::size_t>(GetNumItemsMonitoring()));
    m_split = &split;
    const Watch self(this);
    try {
        if (!Refresh())
            return;
    } catch (...) {
        // No later recalculation may write into this drawing's split.
        if (self.alive)
            m_split = nullptr;
        throw;
    }
    m_split = nullptr;
    const Color color = GetDrawingColor();
    std::vector<End> donors;
    std::vector<End> acceptors;
    const Limits limits{m_criterion, m_noHydrogenCriterion};
    if (!split.Take(GetItemEntries(), donors, acceptors)) {
        const auto items = static_cast<std::size_t>(GetNumItemsMonitoring());
        ReserveRecycled(donors, items);
        ReserveRecycled(acceptors, items);
        SplitItems(*this, donors, acceptors);
    }
    // The widest limit that takes anything.
    double widest = -1.0;
    for (const double limit : {m_criterion, m_noHydrogenCriterion}) {
        if (limit >= 0.0)
            widest = std::max(widest, limit);
    }
    const double reach = widest >= 0.0 ? std::sqrt(widest) : -1.0;
    std::vector<Point3d> positions = PositionsOf(acceptors);
    ContactSearch acceptorSearch(positions, reach);

    // The pairs that pass every test but the bond path, in the order they are drawn. The atom the
    // search held when it found a pair (the donor of an internal pair, the other atom of an external
    // one) is its centre for the bond path; both ends are kept here, so that the bond path's look-ahead
    // reads no list of ends scattered over memory.
    struct Candidate {
        const Atom* centre;
        const Atom* other;
        std::uint32_t donor;
        std::uint32_t acceptor;
    };
    // Their count is not known before the search: the most room kept.
    std::vector<Candidate> candidates;
    TakeRecycled(candidates, 0);
    const auto offer = [&](std::size_t donor, std::size_t acceptor, bool donorHeld) {
        const End& acceptorEnd = acceptors[acceptor];
        const End& donorEnd = donors[donor];
        if (MayBond(acceptorEnd, donorEnd, limits)) {
            Atom* const held = donorHeld ? donorEnd.atom : acceptorEnd.atom;
            Atom* const other = donorHeld ? acceptorEnd.atom : donorEnd.atom;
            candidates.push_back({held, other, static_cast<std::uint32_t>(donor), static_cast<std::uint32_t>(acceptor)});
        }
    };
    if (m_tree || m_internal) {
        for (std::size_t d = 0; d < donors.size(); ++d)
            acceptorSearch.ForEachNear(donors[d].position,
                                       [&](std::int32_t a) { offer(d, static_cast<std::size_t>(a), true); });
    }
    // External pairs: the other atoms below the parent join the lists after the items.
    if (Object* const parent = GetParent(); parent && !m_tree) {
        // The donors' grid serves only these pairs.
        GiveRecycled(positions);
        positions = PositionsOf(donors);
        ContactSearch donorSearch(positions, reach);
        std::vector<const Atom*> monitored;
        monitored.reserve(donors.size() + acceptors.size());
        for (const std::vector<End>* ends : {&donors, &acceptors}) {
            for (const End& end : *ends)
                monitored.push_back(end.atom);
        }
        std::sort(monitored.begin(), monitored.end());
        std::vector<std::int32_t> nearDonors;
        std::vector<std::int32_t> nearAcceptors;
        std::vector<TreeNode*> others;
        parent->GetDescendents(Atom::classType, others);
        for (TreeNode* const node : others) {
            auto* const atom = static_cast<Atom*>(node);
            if (std::binary_search(monitored.begin(), monitored.end(), atom))
                continue;
            const Point3d position = atom->GetXYZ();
            nearDonors.clear();
            nearAcceptors.clear();
            donorSearch.ForEachNear(position, [&](std::int32_t j) { nearDonors.push_back(j); });
            acceptorSearch.ForEachNear(position, [&](std::int32_t j) { nearAcceptors.push_back(j); });
            if (nearDonors.empty() && nearAcceptors.empty())
                continue;
            if (atom->IsHBondAcceptor()) {
                acceptors.push_back(MakeEnd(*atom, position));
                for (const std::int32_t d : nearDonors)
                    offer(static_cast<std::size_t>(d), acceptors.size() - 1, false);
            } else if (!nearAcceptors.empty() && atom->IsHBondDonor()) {
                donors.push_back(MakeEnd(*atom, position));
                for (const std::int32_t a : nearAcceptors)
                    offer(donors.size() - 1, static_cast<std::size_t>(a), true);
            }
        }
    }

    // The bond path last, the atoms around both ends of the pairs asked for ahead: the atoms within
    // two bonds of the centre, gathered once for its pairs, met from within two bonds of the other.
    const auto endOf = [](const Candidate& pair, bool centre) { return centre ? pair.centre : pair.other; };
    BondNeighbourhood near;
    const Atom* centre = nullptr;
    m_count.Get() = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        for (const bool held : {true, false}) {
            const auto at = [&](std::size_t k) { return endOf(candidates[k], held); };
            BondedPrefetch::Ahead(i, candidates.size(), at, BondedPrefetch::Reach::BondedBonds);
        }
        const Candidate& pair = candidates[i];
        if (centre != endOf(pair, true)) {
            centre = endOf(pair, true);
            near.Gather(*centre, 2);
        }
        if (near.Reaches(*endOf(pair, false), 2))
            continue;
        const Point3d& from = donors[pair.donor].position;
        const Point3d& to = acceptors[pair.acceptor].position;
        ++m_count.Get();
        // Made in place: the list keeps the primitive itself rather than a copy of it.
        auto line = std::make_unique<LinePrimitive>(from, to, color, 1.0, GetOID());
        line->SetDashes(5, true);
        list.Add(std::move(line));
        if (m_showLabels)
            list.Add(std::make_unique<Text3DPrimitive>(StringUtils::Format("%.2f", Distance(from, to)),
                                                       MidPoint(from, to), 0.2, color, Font::DefaultFont(), GetOID()));
    }
    // Their room is kept for the next drawing.
    GiveRecycled(positions);
    GiveRecycled(candidates);
    GiveRecycled(donors);
    GiveRecycled(acceptors);
}

} // namespace Tavrel
