#include <tavrel/monitors/Monitor.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Monitor)

Monitor::Monitor()
{
    Object::SetDisplayStyle(1);
}

Monitor::Monitor(Object* parent) : Geometric3d(parent)
{
    const ConstructionScope construction(*this);
    // As in Geometric: tree registrations above reach this level's mask byte.
    SetMaskFromParents();
    Object::SetDisplayStyle(1);
}

Monitor::Monitor(Object* parent, const OrdCollection& objects) : Monitor(parent)
{
    for (int i = 0; i < objects.GetSize(); ++i)
        AddMonitoredItem(objects.GetAt(i));
}

Monitor::Monitor(Object* parent, std::span<Object* const> objects) : Monitor(parent)
{
    for (Object* object : objects)
        AddMonitoredItem(object);
}

Monitor::~Monitor()
{
    for (TreeNode* item : m_items.GetNodes())
        item->UnregisterAllEvents(this);
}

const PropertyTable& Monitor::Properties()
{
    static const PropertyTable table(
        &Geometric3d::Properties(),
        PropertyList<Monitor>()
            .References(
                "Monitor Array", [](const Monitor& monitor) { return monitor.m_items.Size(); },
                [](const Monitor& monitor, std::size_t index) -> Base* { return monitor.m_items.At(index); },
                [](Monitor& monitor, std::size_t index, Base* item) { monitor.m_items.Set(index, DynCast<Object>(item)); })
            .Text("Objects")
            .GetText([](const Monitor& monitor) {
                std::string text;
                for (int i = 0; i < monitor.GetNumItemsMonitoring(); ++i) {
                    if (const Object* item = monitor.GetItem(i))
                        text += item->GetInvariant() + ' ';
                }
                return text;
            })
            .ReadOnly()
            .AfterRecord([](Monitor& monitor, Archive& archive, PropertyArchive*) {
                monitor.PostProcess(archive.IsStoring());
            })
            .ArchiveRecord([](Monitor& monitor, Archive& archive) { monitor.SerializeItems(archive); }));
    return table;
}

// ---- Items

void Monitor::RegisterDeletion(Object& object)
{
    object.RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &EventUpdate, false, this, nullptr);
}

void Monitor::AddMonitoredItem(Object* object)
{
    if (!object)
        return;
    m_items.Append(object);
    RegisterDeletion(*object);
}

void Monitor::RemoveMonitoredItem(Object* object)
{
    if (!object || !m_items.RemoveFirst(object->GetOID()))
        return;
    if (m_items.Count(object->GetOID()) == 0)
        object->UnregisterAllEvents(this);
}

int Monitor::GetNumItemsMonitoring() const
{
    return static_cast<int>(m_items.Size());
}

Object* Monitor::GetItem(int index) const
{
    return index < 0 ? nullptr : m_items.At(static_cast<std::size_t>(index));
}

std::vector<Object*> Monitor::GetItems(int first) const
{
    return m_items.GetObjects(static_cast<std::size_t>(std::max(first, 0)));
}

void Monitor::RegisterTreeEvent(Object* object, std::uint32_t type, std::uint16_t code, bool tree,
                                const char* attribute)
{
    if (!object)
        return;
    const TreeNode::EventKind kind{type, code};
    if (tree) {
        RegisterTreeEvents(*object, {&kind, 1}, attribute);
        return;
    }
    if (m_items.Count(object->GetOID()) != 0) {
        object->RegisterEvent(type, code, &EventUpdate, false, this, attribute);
        return;
    }
    m_items.Append(WatchNewItem(*object, kind, attribute));
}

MonitorItemList::Entry Monitor::WatchNewItem(Object& object, TreeNode::EventKind kind, const char* attribute)
{
    // Its deletion registration and this one in one pass.
    const std::array<TreeNode::EventKind, 2> both{{{TreeNode::classType, TreeNode::EventDeleted}, kind}};
    object.RegisterEvents(both, &EventUpdate, false, this, attribute);
    return MonitorItemList::Track(&object);
}

void Monitor::AddWatchedItems(std::span<const MonitorItemList::Entry> entries)
{
    m_items.Reserve(entries.size());
    for (const MonitorItemList::Entry& entry : entries)
        m_items.Append(entry);
}

void Monitor::RegisterTreeEvents(Object& object, std::span<const TreeNode::EventKind> kinds, const char* attribute,
                                 const TreeNode::DescendentVisit& visit)
{
    if (m_items.Count(object.GetOID()) == 0) {
        m_items.Append(&object);
        object.RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &EventUpdate, false, this, attribute);
    }
    // Registering a tree registration again only sets the masks of the whole subtree once more,
    // which the monitors' recalculations would do each time.
    std::vector<TreeNode::EventKind> missing;
    for (const TreeNode::EventKind& kind : kinds) {
        if (!object.IsRegistered(kind.type, kind.code, &EventUpdate, true, this, attribute))
            missing.push_back(kind);
    }
    if (visit.visit)
        object.RegisterTreeEvents(missing, &EventUpdate, this, attribute, visit);
    else
        object.RegisterEvents(missing, &EventUpdate, true, this, attribute);
}

void Monitor::UnregisterTreeEvent(Object* object, std::uint32_t type, std::uint16_t code, bool tree,
                                  const char* attribute)
{
    if (object)
        object->UnregisterEvent(type, code, &EventUpdate, tree, this, attribute);
}

void Monitor::Update(Event&) {}

bool Monitor::ShouldDeleteMonitor() const
{
    return true;
}

void Monitor::SetOwner(const Object* owner)
{
    m_ownerOID = owner ? owner->GetOID() : 0u;
}

Object* Monitor::GetOwner() const
{
    return m_ownerOID.Get() != 0 ? Object::GetObjectA(m_ownerOID.Get()) : nullptr;
}

bool Monitor::HasOwner() const
{
    return Geometric3d::HasOwner() || GetOwner() != nullptr;
}

bool Monitor::IsMonitoredItem(const Object* object) const
{
    return object && m_items.Count(object->GetOID()) > 0;
}

bool Monitor::MayHaveMonitorItems() const
{
    return m_items.HasMonitors();
}

bool Monitor::CheckAnyObject(ItemPredicate predicate) const
{
    if (!predicate)
        return false;
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        if (predicate(GetItem(i)))
            return true;
    }
    return false;
}

bool Monitor::CheckAllObjects(ItemPredicate predicate) const
{
    if (!predicate)
        return true;
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        if (!predicate(GetItem(i)))
            return false;
    }
    return true;
}

// The item's deletion arrives from its destructor, where a lookup by OID no longer finds it as an
// Object: its entries are found by OID, and the node is reached through the event's own pointer.
void Monitor::EventUpdate(Event& event)
{
    auto* const monitor = static_cast<Monitor*>(event.GetData());
    if (!event.CheckType(TreeNode::classType, TreeNode::EventDeleted)) {
        monitor->Update(event);
        return;
    }
    const std::uint32_t oid = event.GetTreeNodeOID();
    if (monitor->m_items.Count(oid) > 0) {
        monitor->m_items.RemoveAll(oid);
        if (TreeNode* const item = event.GetTreeNode(false))
            item->UnregisterAllEvents(monitor);
    }
    if (monitor->ShouldDeleteMonitor()) {
        Discard(monitor);
        return;
    }
    monitor->Update(event);
}

// ---- Copies

bool Monitor::ShallowCopyOK() const
{
    const TreeNode* const root = GetCopyRoot();
    if (!root || !IsInSubtreeOf(root))
        return false;
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        const Object* const item = GetItem(i);
        if (item && !item->IsInSubtreeOf(root))
            return false;
    }
    return true;
}

bool Monitor::ItemsInsideCopy() const
{
    if (!GetCopyRoot())
        return false;
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        const Object* const item = GetItem(i);
        if (item && !IsInsideCopy(item))
            return false;
    }
    return true;
}

void Monitor::DeepenShallowCopy()
{
    Geometric3d::DeepenShallowCopy();
    const TreeNode* const root = GetCopyRoot();
    std::vector<Object*> sources;
    sources.reserve(m_items.Size());
    for (std::size_t i = 0; i < m_items.Size(); ++i)
        sources.push_back(m_items.At(i));
    m_items.Clear();
    for (const Object* source : sources) {
        if (!source) {
            m_items.Append(nullptr);
            continue;
        }
        if (!root || (source != root && !source->IsInSubtreeOf(root)))
            continue;
        if (auto* const copy = DynCast<Object>(source->Copy())) {
            m_items.Append(copy);
            RegisterDeletion(*copy);
        }
    }
}

// ---- Persistence

void Monitor::PostProcess(bool storing)
{
    if (storing)
        return;
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        if (Object* const item = GetItem(i))
            RegisterDeletion(*item);
    }
}

void Monitor::SerializeItems(Archive& archive)
{
    Object::Serialize(archive);
    if (archive.IsStoring()) {
        std::vector<Object*> items;
        items.reserve(m_items.Size());
        for (std::size_t i = 0; i < m_items.Size(); ++i)
            items.push_back(m_items.At(i));
        archive.WriteCount(static_cast<std::uint32_t>(items.size()));
        SerializeObjects(archive, items.data(), static_cast<int>(items.size()));
        return;
    }
    // Each reference takes at least its two-byte tag.
    std::vector<Object*> items(archive.ReadCount(2), nullptr);
    SerializeObjects(archive, items.data(), static_cast<int>(items.size()));
    m_items.Clear();
    for (Object* item : items)
        m_items.Append(item);
    PostProcess(false);
}

} // namespace Tavrel
