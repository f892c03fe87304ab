#include <tavrel/monitors/GeometryMonitor.h>

#include <array>
#include <unordered_set>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Bondable.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/graphics/Annotation.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(GeometryMonitor)

namespace {

Color& DefaultColor()
{
    static Color color = Color::Green();
    return color;
}

} // namespace

GeometryMonitor::GeometryMonitor()
{
    SetColor(DefaultColor());
}

GeometryMonitor::GeometryMonitor(Object* parent) : Monitor(parent)
{
    SetColor(DefaultColor());
}

const PropertyTable& GeometryMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<GeometryMonitor>().AfterRecord([](GeometryMonitor& monitor, Archive& archive, PropertyArchive*) {
            if (archive.IsLoading())
                monitor.WatchMovement();
        }));
    return table;
}

Color GeometryMonitor::GetDefaultMonitorColor()
{
    return DefaultColor();
}

void GeometryMonitor::SetDefaultMonitorColor(const Color& color)
{
    DefaultColor() = color;
}

std::string GeometryMonitor::GetAnnotation() const
{
    return {};
}

void GeometryMonitor::Calculate()
{
    SetNeedsRecalc(false);
}

void GeometryMonitor::FinishCalculation(const Point3d& position)
{
    const Watch self(this);
    Geometric3d::SetXYZ(position);
    if (self.alive)
        SetNeedsRecalc(false);
}

// ---- Items

void GeometryMonitor::AddMonitoredItem(Object* object)
{
    if (!Tavrel::IsA<Geometric>(object))
        return;
    Monitor::AddMonitoredItem(object);
    RegisterTreeEvent(object, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

void GeometryMonitor::WatchMovement()
{
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        if (Object* const item = GetItem(i))
            RegisterTreeEvent(item, Geometric::classType, Geometric::EventMoved, false, nullptr);
    }
}

void GeometryMonitor::Update(Event&)
{
    SetNeedsRecalc(true);
}

Point3d GeometryMonitor::GetItemPosition(int index) const
{
    const auto* const item = DynCast<Geometric>(GetItem(index));
    return item && item != this ? item->GetXYZ() : Point3d::origin;
}

namespace {

// What a monitor of a whole structure hears below its parent.
std::array<TreeNode::EventKind, 3> StructureEvents()
{
    return {{{TreeNode::classType, TreeNode::EventCreated},
             {TreeNode::classType, TreeNode::EventParentSet},
             {Atom3d::classType, Atom3d::EventElementSet}}};
}

// What a monitor of a whole structure's chemistry hears below its parent: those, then more.
std::array<TreeNode::EventKind, 8> ChemistryEvents()
{
    const std::array<TreeNode::EventKind, 3> structure = StructureEvents();
    return {{structure[0],
             structure[1],
             structure[2],
             {TreeNode::classType, TreeNode::EventDeleted},
             {Atom3d::classType, Atom3d::EventAtomAdded},
             {Atom3d::classType, Atom3d::EventFormalChargeSet},
             {Bond::classType, Bond::EventTypeSet},
             {Geometric::classType, Geometric::EventMoved}}};
}

} // namespace

void GeometryMonitor::WatchStructure(Object* parent)
{
    if (parent)
        RegisterTreeEvents(*parent, StructureEvents(), nullptr);
}

void GeometryMonitor::WatchStructure(Object& parent, const TreeNode::DescendentVisit& visit)
{
    RegisterTreeEvents(parent, StructureEvents(), nullptr, visit);
}

std::vector<Object*> GeometryMonitor::GatherAtoms(bool tree) const
{
    std::vector<Object*> atoms;
    if (tree) {
        if (const Object* const parent = GetParent()) {
            std::vector<TreeNode*> nodes;
            parent->GetDescendents(Atom::classType, nodes);
            atoms.reserve(nodes.size());
            // Atoms are Objects.
            for (TreeNode* const node : nodes)
                atoms.push_back(static_cast<Object*>(node));
        }
        return atoms;
    }
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        if (Object* const item = GetItem(i); Tavrel::IsA<Atom>(item))
            atoms.push_back(item);
    }
    return atoms;
}

void GeometryMonitor::CollectAtoms(std::span<Object* const> objects)
{
    for (Object* const object : objects) {
        if (object && !object->IsClipped() && !IsMonitoredItem(object))
            RegisterTreeEvent(object, Geometric::classType, Geometric::EventMoved, false, nullptr);
    }
}

void GeometryMonitor::CollectAtomsBelow(Object& parent)
{
    std::vector<MonitorItemList::Entry> found;
    auto visit = [&](TreeNode* node) {
        auto* const atom = static_cast<Object*>(node);
        if (!atom->IsClipped() && !IsMonitoredItem(atom))
            found.push_back(WatchNewItem(*atom, {Geometric::classType, Geometric::EventMoved}));
    };
    WatchStructure(parent, TreeNode::DescendentVisit::Of(Atom::classType, visit));
    AddWatchedItems(found);
}

void GeometryMonitor::WatchChemistry(Object* parent)
{
    if (parent)
        RegisterTreeEvents(*parent, ChemistryEvents(), nullptr);
}

Point3d::Array GeometryMonitor::GetItemPositions() const
{
    Point3d::Array positions;
    positions.reserve(static_cast<std::size_t>(GetNumItemsMonitoring()));
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        if (const auto* const item = DynCast<Geometric>(GetItem(i)); item && item != this)
            positions.push_back(item->GetXYZ());
    }
    return positions;
}

bool GeometryMonitor::GetMeasuredItems(std::span<Geometric*> items) const
{
    if (GetNumItemsMonitoring() < static_cast<int>(items.size()))
        return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i] = DynCast<Geometric>(GetItem(static_cast<int>(i)));
        if (!items[i] || items[i] == this)
            return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (items[j] == items[i])
                return false;
        }
    }
    return true;
}

bool GeometryMonitor::DependsOn(const Object* item, const SetCollection& moved)
{
    if (!item)
        return false;
    if (moved.IsMember(item))
        return true;
    const auto* const monitor = DynCast<Monitor>(item);
    if (!monitor)
        return false;
    std::vector<const Monitor*> pending{monitor};
    std::unordered_set<const Monitor*> seen{monitor};
    while (!pending.empty()) {
        const Monitor* const next = pending.back();
        pending.pop_back();
        for (int i = 0; i < next->GetNumItemsMonitoring(); ++i) {
            const Object* const inner = next->GetItem(i);
            if (!inner)
                continue;
            if (moved.IsMember(inner))
                return true;
            if (const auto* const measuring = DynCast<Monitor>(inner); measuring && seen.insert(measuring).second)
                pending.push_back(measuring);
        }
    }
    return false;
}

// ---- Recalculation

void GeometryMonitor::SetNeedsRecalc(bool value)
{
    if (m_needsRecalc.Get() == value)
        return;
    m_needsRecalc = value;
    if (!value)
        DoNotify(classType, EventRecalculated, nullptr, nullptr);
}

bool GeometryMonitor::HasMonitorItems() const
{
    if (!MayHaveMonitorItems())
        return false;
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        if (Tavrel::IsA<GeometryMonitor>(GetItem(i)))
            return true;
    }
    return false;
}

bool GeometryMonitor::NeedsRecalc() const
{
    if (m_needsRecalc.Get())
        return true;
    return HasMonitorItems() && !StaleOrder().empty();
}

// A post-order walk over the geometry monitors among the items, from an explicit stack. A monitor is
// stale when its own flag is set or one of its items is; an item met again (a shared item, or a cycle)
// adds what was found of it so far.
std::vector<std::uint32_t> GeometryMonitor::StaleOrder() const
{
    struct Frame {
        const GeometryMonitor* monitor;
        int next;
        bool stale;
    };
    const std::uint32_t epoch = ++s_visitEpoch;
    m_visit = epoch;
    m_visitStale = m_needsRecalc.Get();
    std::vector<Frame> stack{{this, 0, m_needsRecalc.Get()}};
    std::vector<std::uint32_t> order;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.monitor->GetNumItemsMonitoring()) {
            const auto* const item = DynCast<GeometryMonitor>(frame.monitor->GetItem(frame.next++));
            if (!item || item->m_calculating.Get() || !item->IsPositionCalculated())
                continue;
            if (item->m_visit.Get() == epoch) {
                frame.stale = frame.stale || item->m_visitStale.Get();
                continue;
            }
            item->m_visit = epoch;
            item->m_visitStale = item->m_needsRecalc.Get();
            stack.push_back({item, 0, item->m_needsRecalc.Get()});
            continue;
        }
        const Frame done = frame;
        stack.pop_back();
        done.monitor->m_visitStale = done.stale;
        if (!done.stale)
            continue;
        order.push_back(done.monitor->GetOID());
        if (!stack.empty())
            stack.back().stale = true;
    }
    return order;
}

void GeometryMonitor::Recalculate()
{
    const Watch self(this);
    m_needsRecalc = true;
    m_calculating = true;
    m_recalculation = ++s_recalculations;
    Calculate();
    if (self.alive)
        m_calculating = false;
}

// Each stale monitor once, innermost first; one already recalculated meanwhile (through a position
// query of an outer one) only again when a move has marked it since.
void GeometryMonitor::UpdateIfStale()
{
    if (m_calculating.Get())
        return;
    if (!HasMonitorItems()) {
        if (m_needsRecalc.Get())
            Recalculate();
        return;
    }
    const std::uint32_t start = s_recalculations;
    for (const std::uint32_t oid : StaleOrder()) {
        auto* const monitor = DynCast<GeometryMonitor>(Base::GetObjectA(oid));
        if (monitor && !monitor->m_calculating.Get() && (monitor->m_needsRecalc.Get() || monitor->m_recalculation.Get() <= start))
            monitor->Recalculate();
    }
}

bool GeometryMonitor::Refresh() const
{
    auto* const self = const_cast<GeometryMonitor*>(this);
    const Watch alive(self);
    self->UpdateIfStale();
    return alive.alive;
}

Point3d GeometryMonitor::GetXYZ() const
{
    return !IsPositionCalculated() || Refresh() ? Monitor::GetXYZ() : Point3d::origin;
}

Point3d GeometryMonitor::GetAnnotationXYZ() const
{
    return GetXYZ() + Point3d(0.05, 0.0, 0.0);
}

// ---- Label

Annotation* GeometryMonitor::GetAnnotationObject() const
{
    for (int i = 0; i < GetNumChildren(); ++i) {
        if (auto* const label = DynCast<Annotation>(GetChild(i)))
            return label;
    }
    return nullptr;
}

bool GeometryMonitor::PrepareLabelledDisplay(const Watch& self)
{
    if (!CheckAllObjects(static_cast<ItemPredicate>(&Object::CheckDisplayed))) {
        if (Annotation* const label = GetAnnotationObject())
            label->SetInvisible(false);
        return false;
    }
    UpdateIfStale();
    if (!self.alive)
        return false;
    if (Annotation* const label = GetAnnotationObject())
        label->SetVisible(true);
    return self.alive;
}

void GeometryMonitor::CreateLabel(std::string_view property)
{
    if (m_labelCreated)
        return;
    const Watch self(this);
    AnnotationProperty* const label =
        AnnotationProperty::Create(this, property, GetColor(), GetAnnotationXYZ(), true);
    if (!self.alive)
        return;
    m_labelCreated = true;
    if (!label)
        return;
    const Watch labelAlive(label);
    if (IsSelected())
        label->Select(true);
    if (labelAlive.alive)
        label->SetPropertyFromString("Movable", "false");
}

bool GeometryMonitor::ParseSwitch(std::string_view text)
{
    return text.starts_with('y') || text.starts_with('Y') || StringUtils::EqualsNoCase(text, "true");
}

std::int32_t GeometryMonitor::ListObjectPropertiesThen(const PropertyTable& level,
                                                       ObjectProperty::Array& properties) const
{
    Object::Properties().List(*this, properties);
    for (const PropertyEntry& entry : level.Entries()) {
        if (!entry.Has(PropertyEntry::Shown))
            continue;
        ObjectProperty property = entry.describe(*this, entry);
        if (property.HasValue())
            properties.push_back(std::move(property));
    }
    return static_cast<std::int32_t>(properties.size());
}

// ---- Selections and motions

bool GeometryMonitor::ExtractObjects(const OrdCollection& selection, OrdCollection& output, int maximum)
{
    std::unordered_set<const Object*> taken;
    int count = 0;
    const auto take = [&](Object* object) {
        if (object && taken.insert(object).second) {
            output.Add(object);
            ++count;
        }
    };
    for (int i = 0; i < selection.GetSize(); ++i) {
        Object* const entry = selection.GetAt(i);
        if (!entry)
            return false;
        if (const auto* const bond = DynCast<Bond>(entry)) {
            take(bond->GetAtom1());
            take(bond->GetAtom2());
        } else if (Tavrel::IsA<Geometric>(entry) && !Tavrel::IsA<Annotation>(entry)) {
            take(entry);
        }
        if (maximum > 0 && count > maximum)
            return false;
    }
    return true;
}

void GeometryMonitor::TranslateFragment(const SetCollection& objects, const Point3d& shift)
{
    // A walk skips the members that listeners of the moves delete.
    for (POSITION position = objects.GetStartPosition(); position;) {
        if (auto* const object = DynCast<Geometric>(objects.GetNext(position)))
            object->SetXYZ(object->GetXYZ() + shift);
    }
}

// ---- Copies and persistence

void GeometryMonitor::DeepenShallowCopy()
{
    Monitor::DeepenShallowCopy();
    WatchMovement();
}

} // namespace Tavrel
