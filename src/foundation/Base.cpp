#include "foundation/Base.h"

#include <exception>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "foundation/ClassHierarchy.h"
#include "foundation/ClassNameTable.h"
#include "foundation/InternalBase.h"

namespace Tavrel {

namespace {

struct OIDRegistry {
    std::unordered_map<std::uint32_t, Base*> objects;
    std::uint32_t lastOID = 0;
    bool useOIDs = true;
};

OIDRegistry& Registry()
{
    static OIDRegistry registry;
    return registry;
}

bool g_notify = true;

// Base objects alive now: constructed and not yet destroyed.
std::size_t g_liveObjects = 0;

// Source -> copy, alive only during an outermost Copy.
std::unordered_map<const Base*, Base*>* g_copyMap = nullptr;

// Copied events waiting for the end of the outermost copy: the source (null once it is destroyed or
// its event delivered) and the copy's OID, in order of copying.
struct PendingCopied {
    Base* source;
    std::uint32_t copyOID;
};
struct CopiedEvents {
    std::vector<PendingCopied> pending;
    std::unordered_map<const Base*, std::size_t> index;  // source -> its entry
    std::size_t next = 0;                                // first entry not yet delivered
    int scopes = 0;
    int deliveries = 0;
};
CopiedEvents g_copied;

void Forget(const Base* source)
{
    if (const auto found = g_copied.index.find(source); found != g_copied.index.end()) {
        g_copied.pending[found->second].source = nullptr;
        g_copied.index.erase(found);
    }
}

// Empties the waiting list once no scope or delivery uses it any more.
void ResetCopiedWhenIdle()
{
    if (g_copied.deliveries == 0 && g_copied.scopes == 0) {
        g_copied.pending.clear();
        g_copied.index.clear();
        g_copied.next = 0;
    }
}

// Delivers the waiting events; a listener may destroy other sources or copy again meanwhile.
void DeliverCopied()
{
    struct Delivery {
        Delivery() { ++g_copied.deliveries; }
        ~Delivery()
        {
            --g_copied.deliveries;
            ResetCopiedWhenIdle();
        }
    } const delivery;
    while (g_copied.next < g_copied.pending.size()) {
        const PendingCopied entry = g_copied.pending[g_copied.next++];
        if (!entry.source)
            continue;
        Forget(entry.source);
        std::uint32_t copyOID = entry.copyOID;
        entry.source->DoNotify(Base::classType, Base::EventCopied, nullptr, &copyOID);
    }
}

} // namespace

const ClassKind Base::classKind = ClassKind::RecordOnly;

PersistentObject* Base::CreateObject()
{
    return ClassAccess::New<Base>();
}

const RuntimeClass& Base::GetThisClass() noexcept
{
    static const RuntimeClass record{className, RuntimeClass::VersionableSchema | 13u, &Base::CreateObject,
                                     &PersistentObject::GetThisClass()};
    return record;
}

Base::Base() : m_OID(AddOID(this))
{
    ++g_liveObjects;
}

Base::Base(const Base& other) : PersistentObject(other), Catalog(other), m_OID(AddOID(this))
{
    ++g_liveObjects;
}

Base::~Base()
{
    --g_liveObjects;
    if (!g_copied.index.empty())
        Forget(this);
    if (g_copyMap)
        g_copyMap->erase(this);
    RemoveOID(m_OID);
}

Base::CopyEventScope::CopyEventScope()
    : m_exceptions(std::uncaught_exceptions()), m_first(g_copied.pending.size())
{
    ++g_copied.scopes;
}

Base::CopyEventScope::~CopyEventScope()
{
    if (--g_copied.scopes != 0)
        return;
    if (std::uncaught_exceptions() > m_exceptions) {
        for (std::size_t i = m_first; i < g_copied.pending.size(); ++i) {
            if (g_copied.pending[i].source)
                Forget(g_copied.pending[i].source);
        }
        ResetCopiedWhenIdle();
        return;
    }
    DeliverCopied();
}

std::uint32_t Base::AddOID(Base* object)
{
    OIDRegistry& registry = Registry();
    if (registry.lastOID == UINT32_MAX)
        throw std::overflow_error("object identifiers exhausted");
    const std::uint32_t oid = ++registry.lastOID;
    if (registry.useOIDs)
        registry.objects.emplace(oid, object);
    return oid;
}

void Base::RemoveOID(std::uint32_t oid)
{
    Registry().objects.erase(oid);
}

Base* Base::GetObjectA(std::uint32_t oid)
{
    const auto& objects = Registry().objects;
    const auto found = objects.find(oid);
    return found == objects.end() ? nullptr : found->second;
}

void Base::EnableOIDValidation(bool enable)
{
    OIDRegistry& registry = Registry();
    if (registry.useOIDs)
        registry.useOIDs = enable;
}

bool Base::IsOIDValidationEnabled()
{
    return Registry().useOIDs;
}

std::uint32_t Base::GetLastOID()
{
    return Registry().lastOID;
}

bool Base::GetEventNotify()
{
    return g_notify;
}

void Base::SetEventNotify(bool notify)
{
    g_notify = notify;
}

std::string Base::GetCommonName() const
{
    std::string_view name = GetClassNameA();
    if (name.size() >= 2 && (name[0] == 'X' || name[0] == 'x') && (name[1] == 'X' || name[1] == 'x'))
        name.remove_prefix(2);
    return std::string(name);
}

int Base::SetCommonName(std::string_view commonName) const
{
    if (!commonName.empty())
        ClassNameTable::AddCommonClassName(GetClassNameA(), commonName);
    return 0;
}

std::uint32_t Base::FindClassType(std::string_view name)
{
    return ClassNameTable::FindType(name);
}

const Base* Base::FindClassInstance(std::string_view name)
{
    return ClassNameTable::FindInstance(name);
}

std::string Base::GetCommonName(std::string_view name)
{
    const Base* instance = ClassNameTable::FindInstance(name);
    return instance ? instance->GetCommonName() : std::string();
}

std::size_t CountLiveObjectsForTests()
{
    return g_liveObjects;
}

void Base::BuildClassHierarchy(ClassHierarchy& hierarchy) const
{
    hierarchy.AddClass("Base");
}

void Base::GetSetObjectProperties(PropertyArchive&) {}

Base* Base::Copy() const
{
    const CopyEventScope events;
    std::unique_ptr<std::unordered_map<const Base*, Base*>> ownedMap;
    if (!g_copyMap) {
        ownedMap = std::make_unique<std::unordered_map<const Base*, Base*>>();
        g_copyMap = ownedMap.get();
    }
    // Releases the map when the outermost call leaves, by return or by exception.
    struct MapRelease {
        bool outermost;
        ~MapRelease()
        {
            if (outermost)
                g_copyMap = nullptr;
        }
    } release{ownedMap != nullptr};

    if (const auto known = g_copyMap->find(this); known != g_copyMap->end())
        return known->second;

    Base* copy = ShallowCopy();
    if (!copy)
        return nullptr;
    g_copyMap->emplace(this, copy);
    try {
        copy->DeepenShallowCopy();
    } catch (...) {
        g_copyMap->erase(this);
        delete copy;
        throw;
    }
    g_copied.index.emplace(this, g_copied.pending.size());
    g_copied.pending.push_back({const_cast<Base*>(this), copy->GetOID()});
    return copy;
}

Base* Base::ShallowCopy() const
{
    return new Base(*this);
}

void Base::DeepenShallowCopy() {}

void Base::DoNotify(std::uint32_t, std::uint16_t, const char*, void*) {}

bool Base::IsEventMaskSet(std::uint32_t type, std::uint16_t code) const
{
    return type == classType && (m_eventMask & (code & 0xFFu)) != 0;
}

void Base::SetEventMask(std::uint32_t type, std::uint16_t code)
{
    if (type == classType)
        m_eventMask = static_cast<std::uint8_t>(m_eventMask | (code & 0xFFu));
}

void Base::UnsetEventMask(std::uint32_t type, std::uint16_t code)
{
    if (type == classType && (m_eventMask & (code & 0xFFu)) != 0)
        m_eventMask = static_cast<std::uint8_t>(m_eventMask & ~(code & 0xFFu));
}

void Base::ClearEventMask()
{
    m_eventMask = 0;
}

} // namespace Tavrel
