#include <tavrel/foundation/TreeNode.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tavrel/core/UniqueString.h>
#include <tavrel/foundation/InternalTreeNode.h>
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
struct TreeNode::Extras::RegistrationsFirst {
    RegistrationList registrations;
    std::unique_ptr<Property> properties;
    void* tempData = nullptr;
};

// The side block of a node whose first rare member was a user property.
struct TreeNode::Extras::PropertiesFirst {
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
    if (const Property* properties = other.FindProperties(); properties && properties->GetNumProperties() > 0)
        EditProperties() = *properties;
}

void TreeNode::Extras::Reset() noexcept
{
    // Either layout fits the 56 bytes of a 64-byte heap block, so one registration or one scalar
    // user property costs that block alone.
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

Property* TreeNode::FindUserProperties() const
{
    return m_extras.FindProperties();
}

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
    if (!callback)
        return;
    const Registration registration{callback, data, type, 0, AttributeNumber(attribute), code, tree};
    RegistrationList& registrations = m_extras.EditRegistrations();
    const bool known = std::any_of(registrations.begin(), registrations.end(),
                                   [&](const Registration& held) { return held.Same(registration); });
    if (!known)
        registrations.Append(registration);
    else if (!tree)
        return;
    if (tree)
        ForgetAncestry();
    PropagateSetEventMask(type, code, tree);
}

void TreeNode::UnregisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                               const char* attribute)
{
    RegistrationList* const found = m_extras.FindRegistrations();
    if (!found)
        return;
    const Registration registration{callback, data, type, 0, AttributeNumber(attribute), code, tree};
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
    RegistrationList& registrations = *found;
    for (std::size_t i = registrations.size(); i-- > 0;) {
        const Registration& held = registrations[i];
        if (held.data != data)
            continue;
        const std::uint32_t type = held.classType;
        const std::uint16_t code = held.code;
        const bool tree = held.tree;
        registrations.Erase(i);
        if (tree)
            ForgetAncestry();
        PropagateUnsetEventMask(type, code, tree);
    }
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

bool TreeNode::HoldsRegistration(std::uint32_t type, std::uint16_t code, bool treeOnly) const
{
    const RegistrationList* registrations = m_extras.FindRegistrations();
    return registrations && std::any_of(registrations->begin(), registrations->end(), [&](const Registration& held) {
               return held.classType == type && held.code == code && (!treeOnly || held.tree);
           });
}

void TreeNode::PropagateSetEventMask(std::uint32_t type, std::uint16_t code, bool tree)
{
    SetEventMask(type, code);
    if (tree) {
        VisitDescendants(this, [&](TreeNode* node) {
            node->SetEventMask(type, code);
            return true;
        });
    }
}

void TreeNode::PropagateUnsetEventMask(std::uint32_t type, std::uint16_t code, bool tree)
{
    if (!tree && HoldsRegistration(type, code))
        return;
    unsigned inherited = 0;
    for (const TreeNode* above = m_parent.Get(); above; above = above->m_parent.Get())
        inherited |= above->RegisteredBits(type, true);
    if (!tree) {
        const unsigned clear = code & 0xFFu & ~(inherited | RegisteredBits(type, false));
        if (clear != 0)
            UnsetEventMask(type, static_cast<std::uint16_t>(clear));
        return;
    }
    std::vector<std::pair<TreeNode*, unsigned>> stack{{this, inherited}};
    while (!stack.empty()) {
        const auto [node, needed] = stack.back();
        stack.pop_back();
        // A tree registration of the code held here keeps the bits of the whole subtree; a plain one
        // keeps only this node's.
        if (node->HoldsRegistration(type, code, true))
            continue;
        const unsigned clear = code & 0xFFu & ~(needed | node->RegisteredBits(type, false));
        if (clear != 0)
            node->UnsetEventMask(type, static_cast<std::uint16_t>(clear));
        if (tree && node->m_children) {
            const unsigned below = needed | node->RegisteredBits(type, true);
            node->m_children->ForEach([&](TreeNode* child) { stack.emplace_back(child, below); });
        }
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
    if (!m_parent.Get())
        return;
    // Each class level's constructor asks again for its own mask byte: the cache answers.
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
                callback(delivered);
            }
            fired = true;
            break;
        }
    }
}

} // namespace Tavrel
