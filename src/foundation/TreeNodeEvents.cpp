#include <tavrel/foundation/TreeNode.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tavrel/core/UniqueString.h>
#include <tavrel/foundation/InternalTreeNode.h>
#include <tavrel/foundation/PooledBlock.h>
#include <tavrel/foundation/Property.h>

namespace Tavrel {

using namespace TreeNodeShared;

namespace {

// Attribute texts of registrations by number, 0 standing for none, so that a registration holds
// four bytes for its attribute.
struct AttributeTable {
    std::vector<UniqueString::StringPtr> texts{nullptr};
    std::unordered_map<UniqueString::StringPtr, std::uint32_t> numbers;
};

AttributeTable& Attributes()
{
    static AttributeTable table;
    return table;
}

std::uint32_t AttributeNumber(const char* attribute)
{
    if (!attribute)
        return 0;
    AttributeTable& table = Attributes();
    const UniqueString::StringPtr text = UniqueString::Intern(attribute);
    const auto [entry, added] = table.numbers.try_emplace(text, static_cast<std::uint32_t>(table.texts.size()));
    if (added)
        table.texts.push_back(text);
    return entry->second;
}

const char* AttributeText(std::uint32_t number)
{
    return number == 0 ? nullptr : Attributes().texts[number]->c_str();
}

} // namespace

// The side block of a node whose first rare member was a registration or its temp data.
struct TreeNode::Extras::RegistrationsFirst : PooledBlock {
    RegistrationList registrations;
    std::unique_ptr<Property> properties;
    void* tempData = nullptr;
};

// The side block of a node whose first rare member was a user property.
struct TreeNode::Extras::PropertiesFirst : PooledBlock {
    Property properties;
    std::unique_ptr<RegistrationList> registrations;
    void* tempData = nullptr;
};

TreeNode::Extras::RegistrationsFirst* TreeNode::Extras::AsRegistrationsFirst() const
{
    return (m_bits & PropertiesFirstTag) != 0 ? nullptr : reinterpret_cast<RegistrationsFirst*>(m_bits);
}

TreeNode::Extras::PropertiesFirst* TreeNode::Extras::AsPropertiesFirst() const
{
    return (m_bits & PropertiesFirstTag) != 0 ? reinterpret_cast<PropertiesFirst*>(m_bits & ~PropertiesFirstTag)
                                              : nullptr;
}

TreeNode::Extras::Extras(const Extras& other)
{
    const Property* const properties = other.FindProperties();
    const std::int32_t count = properties ? properties->GetNumProperties() : 0;
    if (count == 0)
        return;
    NodeCopySource* const source = m_pNodeCopySource;
    const std::span<const std::string_view> names = source && &source->node->m_extras == &other
                                                        ? source->node->GetUserPropertiesLeftOutOfCopy()
                                                        : std::span<const std::string_view>();
    // Most often every property is left out (an image's markers), or none: then no filtered table
    // is built.
    const std::int32_t leftOut = names.empty() ? 0 : properties->CountNamesAmong(names);
    if (leftOut == 0) {
        EditProperties() = *properties;
        return;
    }
    source->leftOut = true;
    if (leftOut == count)
        return;
    Property kept;
    kept.CopyPropertiesExcept(*properties, names);
    EditProperties() = std::move(kept);
}

std::span<const std::string_view> TreeNode::GetUserPropertiesLeftOutOfCopy() const
{
    return {};
}

void TreeNode::Extras::Reset() noexcept
{
    // Either layout fits 56 bytes, a pool slot of that size (a 64-byte block of the heap under
    // AddressSanitizer), so one registration or one scalar user property costs that block alone.
    static_assert(sizeof(RegistrationsFirst) <= 56 && sizeof(PropertiesFirst) <= 56);
    RegistrationsFirst* const registrationsFirst = AsRegistrationsFirst();
    PropertiesFirst* const propertiesFirst = AsPropertiesFirst();
    m_bits = 0;
    delete registrationsFirst;
    delete propertiesFirst;
}

TreeNode::RegistrationList* TreeNode::Extras::FindRegistrations() const
{
    if (RegistrationsFirst* block = AsRegistrationsFirst())
        return &block->registrations;
    if (PropertiesFirst* block = AsPropertiesFirst())
        return block->registrations.get();
    return nullptr;
}

TreeNode::RegistrationList& TreeNode::Extras::EditRegistrations()
{
    if (PropertiesFirst* block = AsPropertiesFirst()) {
        if (!block->registrations)
            block->registrations = std::make_unique<RegistrationList>();
        return *block->registrations;
    }
    if (m_bits == 0)
        m_bits = reinterpret_cast<std::uintptr_t>(new RegistrationsFirst());
    return AsRegistrationsFirst()->registrations;
}

Property* TreeNode::Extras::FindProperties() const
{
    if (m_bits == 0)
        return nullptr;
    if (RegistrationsFirst* block = AsRegistrationsFirst())
        return block->properties.get();
    if (PropertiesFirst* block = AsPropertiesFirst())
        return &block->properties;
    return nullptr;
}

Property& TreeNode::Extras::EditProperties()
{
    if (RegistrationsFirst* block = AsRegistrationsFirst()) {
        if (!block->properties)
            block->properties = std::make_unique<Property>();
        return *block->properties;
    }
    if (m_bits == 0) {
        static_assert(alignof(PropertiesFirst) > PropertiesFirstTag, "the tag bit is free in the address");
        m_bits = reinterpret_cast<std::uintptr_t>(new PropertiesFirst()) | PropertiesFirstTag;
    }
    return AsPropertiesFirst()->properties;
}

void* TreeNode::Extras::GetTempData() const
{
    if (const RegistrationsFirst* block = AsRegistrationsFirst())
        return block->tempData;
    if (const PropertiesFirst* block = AsPropertiesFirst())
        return block->tempData;
    return nullptr;
}

void TreeNode::Extras::SetTempData(void* data)
{
    if (PropertiesFirst* block = AsPropertiesFirst()) {
        block->tempData = data;
        return;
    }
    if (m_bits == 0) {
        if (!data)
            return;
        m_bits = reinterpret_cast<std::uintptr_t>(new RegistrationsFirst());
    }
    AsRegistrationsFirst()->tempData = data;
}

// ---- Registrations and masks

Property& TreeNode::EditUserProperties()
{
    return m_extras.EditProperties();
}

void* TreeNode::GetTempDataSlot() const
{
    return m_extras.GetTempData();
}

void TreeNode::SetTempDataSlot(void* data)
{
    m_extras.SetTempData(data);
}

void TreeNode::RegisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                             const char* attribute)
{
    const EventKind kind{type, code};
    RegisterEvents({&kind, 1}, callback, tree, data, attribute);
}

void TreeNode::RegisterEvents(std::span<const EventKind> kinds, Event::Callback callback, bool tree, void* data,
                              const char* attribute)
{
    if (!callback || kinds.empty())
        return;
    AddRegistrations(kinds, callback, tree, data, attribute);
    // A tree registration sets the masks of the subtree again even when it was known.
    if (tree) {
        ForgetAncestry();
        PropagateSetEventMasks(kinds);
    }
}

void TreeNode::RegisterTreeEvents(std::span<const EventKind> kinds, Event::Callback callback, void* data,
                                  const char* attribute, const DescendentVisit& visit)
{
    if (!callback || kinds.empty()) {
        ForEachDescendent(visit);
        return;
    }
    AddRegistrations(kinds, callback, true, data, attribute);
    ForgetAncestry();
    for (const EventKind& kind : kinds)
        SetEventMask(kind.type, kind.code);
    VisitDescendants(this, [&](TreeNode* node) {
        node->SetInheritedMasks(kinds);
        visit(node);
        return true;
    });
}

void TreeNode::AddRegistrations(std::span<const EventKind> kinds, Event::Callback callback, bool tree, void* data,
                                const char* attribute)
{
    const std::uint32_t attributeNumber = AttributeNumber(attribute);
    RegistrationList& registrations = m_extras.EditRegistrations();
    for (const EventKind& kind : kinds) {
        const Registration registration{callback, data, kind.type, 0, attributeNumber, kind.code, tree, false};
        const bool known = std::any_of(registrations.begin(), registrations.end(),
                                       [&](const Registration& held) { return held.Same(registration); });
        if (!known) {
            registrations.Append(registration);
            SetFlag(EventsMuted, false);
            if (!tree)
                SetEventMask(kind.type, kind.code);
        }
    }
}

bool TreeNode::IsRegistered(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                            const char* attribute) const
{
    const RegistrationList* const registrations = m_extras.FindRegistrations();
    if (!registrations || !callback)
        return false;
    const Registration registration{callback, data, type, 0, AttributeNumber(attribute), code, tree, false};
    return std::any_of(registrations->begin(), registrations->end(),
                       [&](const Registration& held) { return held.Same(registration); });
}

void TreeNode::UnregisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                               const char* attribute)
{
    RegistrationList* const found = m_extras.FindRegistrations();
    if (!found)
        return;
    const Registration registration{callback, data, type, 0, AttributeNumber(attribute), code, tree, false};
    RegistrationList& registrations = *found;
    for (std::size_t i = registrations.size(); i-- > 0;) {
        if (registrations[i].Same(registration)) {
            registrations.Erase(i);
            if (tree)
                ForgetAncestry();
            PropagateUnsetEventMask(type, code, tree);
            return;
        }
    }
}

void TreeNode::UnregisterAllEvents(void* data)
{
    if (!data) {
        UnregisterAllEvents();
        return;
    }
    RegistrationList* const found = m_extras.FindRegistrations();
    if (!found)
        return;
    // The masks follow once all are gone, with one walk of the subtree for the tree registrations.
    std::vector<DroppedBits> plain;
    std::vector<DroppedBits> tree;
    RegistrationList& registrations = *found;
    for (std::size_t i = registrations.size(); i-- > 0;) {
        const Registration& held = registrations[i];
        if (held.data != data)
            continue;
        std::vector<DroppedBits>& dropped = held.tree ? tree : plain;
        const auto same = std::find_if(dropped.begin(), dropped.end(),
                                       [&](const DroppedBits& entry) { return entry.type == held.classType; });
        const auto bits = static_cast<std::uint8_t>(held.code & 0xFFu);
        if (same == dropped.end())
            dropped.push_back({held.classType, bits});
        else
            same->bits = static_cast<std::uint8_t>(same->bits | bits);
        registrations.Erase(i);
    }
    if (!tree.empty()) {
        ForgetAncestry();
        UnsetDroppedBits(tree, true);
    }
    if (!plain.empty())
        UnsetDroppedBits(plain, false);
}

void TreeNode::UnregisterAllEvents()
{
    const auto drop = [](TreeNode* node) {
        if (RegistrationList* registrations = node->m_extras.FindRegistrations())
            registrations->Clear();
        return true;
    };
    drop(this);
    VisitDescendants(this, drop);
    ForgetAncestry();
    PropagateClearEventMask();
    // Tree registrations above this subtree still need their bits in it.
    SetMaskFromParents();
}

void TreeNode::MuteTreeEvents(const void* data, bool muted)
{
    RegistrationList* const registrations = m_extras.FindRegistrations();
    if (!registrations)
        return;
    bool allMuted = true;
    for (Registration& held : *registrations) {
        if (held.tree && held.data == data)
            held.muted = muted;
        allMuted = allMuted && held.muted;
    }
    SetFlag(EventsMuted, allMuted);
}

std::uint8_t TreeNode::RegisteredBits(std::uint32_t type, bool treeOnly) const
{
    unsigned bits = 0;
    if (const RegistrationList* registrations = m_extras.FindRegistrations()) {
        for (const Registration& held : *registrations) {
            if (held.classType == type && (!treeOnly || held.tree))
                bits |= held.code & 0xFFu;
        }
    }
    return static_cast<std::uint8_t>(bits);
}

bool TreeNode::HoldsRegistration(std::uint32_t type, std::uint16_t code) const
{
    const RegistrationList* registrations = m_extras.FindRegistrations();
    return registrations &&
           std::any_of(registrations->begin(), registrations->end(),
                       [&](const Registration& held) { return held.classType == type && held.code == code; });
}

void TreeNode::PropagateSetEventMasks(std::span<const EventKind> kinds)
{
    for (const EventKind& kind : kinds)
        SetEventMask(kind.type, kind.code);
    if (!m_children)
        return;
    // The subtree in batches of nodes, each batch's children gathered into the next (a batch is taken
    // up once full, so at most a few thousand nodes wait per level). Within a batch the nodes a few
    // places on are asked for ahead, in turn the node, its child array, its block table and its first
    // slots, as a large tree's nodes are mostly out of the cache.
    constexpr std::size_t batchSize = 4096;
    constexpr std::size_t nodeDistance = 32;
    constexpr std::size_t arrayDistance = 16;
    constexpr std::size_t blocksDistance = 8;
    constexpr std::size_t slotsDistance = 4;
    struct Batch {
        std::vector<TreeNode*> nodes;
        std::size_t next = 0;
    };
    std::vector<Batch> batches(1);
    m_children->ForEach([&](TreeNode* child) { batches.back().nodes.push_back(child); });
    std::vector<TreeNode*> children;
    while (!batches.empty()) {
        Batch& batch = batches.back();
        const std::vector<TreeNode*>& nodes = batch.nodes;
        const bool done = batch.next == nodes.size();
        if (done || children.size() >= batchSize) {
            if (done)
                batches.pop_back();
            if (!children.empty())
                batches.push_back({std::exchange(children, {}), 0});
            continue;
        }
        const std::size_t i = batch.next++;
        const auto arrayAt = [&nodes, i](std::size_t distance) -> const ChildArray* {
            return i + distance < nodes.size() ? nodes[i + distance]->m_children.Get().get() : nullptr;
        };
        if (i + nodeDistance < nodes.size())
            PrefetchObject(nodes[i + nodeDistance]);
        if (const ChildArray* ahead = arrayAt(arrayDistance))
            __builtin_prefetch(ahead);
        if (const ChildArray* ahead = arrayAt(blocksDistance))
            ahead->PrefetchBlocks();
        if (const ChildArray* ahead = arrayAt(slotsDistance))
            ahead->PrefetchSlots();
        TreeNode* const node = nodes[i];
        node->SetInheritedMasks(kinds);
        if (node->m_children)
            node->m_children->ForEach([&children](TreeNode* child) { children.push_back(child); });
    }
}

void TreeNode::SetInheritedMasks(std::span<const EventKind> kinds)
{
    // Every level passes this level's bits down to this byte.
    for (const EventKind& kind : kinds) {
        if (kind.type == classType)
            m_levelEventMask.Set(kind.code);
        else
            SetEventMask(kind.type, kind.code);
    }
}

void TreeNode::PropagateUnsetEventMask(std::uint32_t type, std::uint16_t code, bool tree)
{
    if (!tree && HoldsRegistration(type, code))
        return;
    const DroppedBits dropped{type, static_cast<std::uint8_t>(code & 0xFFu)};
    UnsetDroppedBits({&dropped, 1}, tree);
}

void TreeNode::UnsetDroppedBits(std::span<const DroppedBits> dropped, bool tree)
{
    constexpr std::size_t most = 8;
    if (dropped.size() > most) {
        UnsetDroppedBits(dropped.first(most), tree);
        UnsetDroppedBits(dropped.subspan(most), tree);
        return;
    }
    // Per dropped type: the bits that tree registrations above the node keep.
    using Bits = std::array<std::uint8_t, most>;
    Bits inherited{};
    for (const TreeNode* above = m_parent.Get(); above; above = above->m_parent.Get()) {
        for (std::size_t i = 0; i < dropped.size(); ++i)
            inherited[i] = static_cast<std::uint8_t>(inherited[i] | above->RegisteredBits(dropped[i].type, true));
    }
    std::vector<std::pair<TreeNode*, Bits>> stack{{this, inherited}};
    while (!stack.empty()) {
        const auto [node, needed] = stack.back();
        stack.pop_back();
        // A registration held here keeps the node's bits; a tree registration also those of its
        // subtree, where the walk stops once no dropped bit is left to clear.
        const RegistrationList* const held = node->m_extras.FindRegistrations();
        const bool holds = held && !held->empty();
        Bits below = needed;
        bool more = false;
        for (std::size_t i = 0; i < dropped.size(); ++i) {
            const std::uint32_t type = dropped[i].type;
            const unsigned kept = needed[i] | (holds ? node->RegisteredBits(type, false) : 0u);
            const unsigned clear = dropped[i].bits & ~kept & 0xFFu;
            if (clear != 0)
                node->UnsetEventMask(type, static_cast<std::uint16_t>(clear));
            if (holds)
                below[i] = static_cast<std::uint8_t>(below[i] | node->RegisteredBits(type, true));
            more = more || (dropped[i].bits & ~below[i]) != 0;
        }
        if (tree && more && node->m_children)
            node->m_children->ForEach([&](TreeNode* child) { stack.emplace_back(child, below); });
    }
}

void TreeNode::PropagateClearEventMask()
{
    ClearEventMask();
    VisitDescendants(this, [](TreeNode* node) {
        node->ClearEventMask();
        return true;
    });
}

void TreeNode::SetMaskFromParents()
{
    // Each class level's constructor asks again for its own mask byte: the cache answers, most often
    // that nothing is registered above.
    if (!m_parent.Get() || (g_ancestry.node == m_parent.Get() && g_ancestry.inherited.empty()))
        return;
    CacheAncestry(m_parent.Get());
    if (g_ancestry.inherited.empty())
        return;
    const auto apply = [](TreeNode* node) {
        for (std::size_t i = 0; i < g_ancestry.inherited.size(); ++i)
            node->SetEventMask(g_ancestry.inherited[i].first, g_ancestry.inherited[i].second);
        return true;
    };
    apply(this);
    VisitDescendants(this, apply);
}

// ---- Delivery

void TreeNode::ProcessEvent(TreeNode* source, std::uint32_t type, std::uint16_t code, const char* attribute, bool tree,
                            void* data)
{
    // Read from the source once: callbacks may delete it while the event climbs.
    const std::uint32_t sourceOID = source ? source->GetOID() : 0;
    const Base* const instance = source ? source->GetClassInstance() : nullptr;
    for (TreeNode* node = this; node; node = node->m_parent.Get()) {
        if (node->HasFlag(EventsMuted))
            continue;
        const RegistrationList* registrations = node->m_extras.FindRegistrations();
        if (!registrations || registrations->empty())
            continue;
        Watch watch(node);
        node->DeliverHere(source, sourceOID, instance, type, code, attribute, tree, data, watch);
        // A callback destroyed the node: there is no way up from it any more.
        if (!watch.alive)
            return;
    }
}

// One pass over this node's registrations. After every callback the scan starts again from the
// first registration, since callbacks may add or remove registrations, and skips those already dealt
// with. Serials grow along the array, so what this pass has dealt with is every serial up to the last
// one it looked at; a pass nested in a callback keeps its own account.
void TreeNode::DeliverHere(TreeNode* source, std::uint32_t sourceOID, const Base* instance, std::uint32_t type,
                           std::uint16_t code, const char* attribute, bool tree, void* data, const Watch& watch)
{
    std::uint32_t done = 0;
    for (bool fired = true; fired && watch.alive;) {
        fired = false;
        const RegistrationList& registrations = *m_extras.FindRegistrations();
        const Registration* next = std::upper_bound(
            registrations.begin(), registrations.end(), done,
            [](std::uint32_t serial, const Registration& held) { return serial < held.serial; });
        for (; next != registrations.end(); ++next) {
            done = next->serial;
            const Registration& held = *next;
            if (held.muted)
                continue;
            const bool treeWide = tree && held.classType == TreeNode::classType && held.code == EventTreeWide;
            const bool matches = held.classType == type && held.code == code &&
                                 (!attribute || held.attribute == 0 ||
                                  std::strcmp(AttributeText(held.attribute), attribute) == 0);
            if (!treeWide && !matches)
                continue;
            // A plain registration hears only events of the node it was made on.
            if (!held.tree && GetOID() != sourceOID)
                continue;
            Event delivered(type, code, held.callback, held.tree, held.data, AttributeText(held.attribute), data);
            delivered.m_treeNode = source;
            delivered.m_treeNodeOID = sourceOID;
            delivered.m_classInstance = instance;
            const Event::Callback callback = held.callback;
            {
                const Walk::Suspension suspension;
                ++s_callbacksRun;
                callback(delivered);
            }
            fired = true;
            break;
        }
    }
}

} // namespace Tavrel
