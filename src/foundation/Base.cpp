#include <tavrel/foundation/Base.h>

#include <array>
#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include <tavrel/core/ObjectPool.h>
#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/ClassNameTable.h>
#include <tavrel/foundation/InternalBase.h>

namespace Tavrel {

namespace {

// Every live object by OID. OIDs come from a counter, so they index a directory of fixed-size pages
// directly; a page is allocated when its first object registers and freed when its last one leaves.
// The pages' live counts stand in an array of their own, which stays in the cache while objects
// leave in any order, so a removal waits for memory once, for its slot.
// During an outermost Copy a page also holds the copies of its objects, in a block given on the
// page's first copy and taken back when that Copy ends. After a Copy of a few objects, a few blocks
// are kept, emptied slot by slot, for the next Copy: copying one object at a time then neither
// allocates nor clears a whole block.
class OIDTable {
public:
    // Base::GetObjectA reads the pages inline with the same split.
    static constexpr unsigned PageBits = 8;
    static constexpr std::uint32_t SlotMask = (1u << PageBits) - 1;

    Base* Find(std::uint32_t oid) const
    {
        const Page* const entries = GetPage(oid);
        return entries ? entries->slots[oid & SlotMask] : nullptr;
    }

    // Registers the object, whose OID follows the last one inserted, when it falls in that one's page
    // and the page is still there; false, changing nothing, otherwise.
    bool InsertAfterLast(std::uint32_t oid, Base* object)
    {
        if ((oid & SlotMask) == 0 || !m_lastSlots)
            return false;
        m_lastSlots[oid & SlotMask] = object;
        ++*m_lastLive;
        return true;
    }

    // True when the object took a new page: the directory GetObjectA reads has changed.
    bool Insert(std::uint32_t oid, Base* object)
    {
        const std::size_t page = oid >> PageBits;
        Page* const entries = page < m_pages.size() ? m_pages[page].get() : nullptr;
        const bool added = !entries;
        Page& held = entries ? *entries : AddPage(page);
        held.slots[oid & SlotMask] = object;
        ++m_live[page];
        m_lastSlots = held.slots.data();
        m_lastLive = &m_live[page];
        m_lastPage = page;
        return added;
    }

    // True when the object's page went with it.
    bool Erase(std::uint32_t oid)
    {
        const std::size_t page = oid >> PageBits;
        if (page >= m_pages.size() || !m_pages[page])
            return false;
        Page& entries = *m_pages[page];
        Base*& slot = entries.slots[oid & SlotMask];
        if (!slot)
            return false;
        slot = nullptr;
        if (--m_live[page] != 0)
            return false;
        m_pages[page].reset();
        m_slots[page] = nullptr;
        if (page == m_lastPage)
            m_lastSlots = nullptr;
        return true;
    }

    // Each page's slots, null for a page without objects.
    Base* const* const* SlotPages() const { return m_slots.data(); }
    std::size_t PageCount() const { return m_slots.size(); }

    // The copy recorded for a live object, or null.
    Base* FindCopy(std::uint32_t oid) const
    {
        const Page* const entries = GetPage(oid);
        return entries && entries->copies ? (*entries->copies)[oid & SlotMask] : nullptr;
    }

    // Records the copy of a live object.
    void SetCopy(std::uint32_t oid, Base* copy)
    {
        Page& entries = *m_pages[oid >> PageBits];
        if (!entries.copies) {
            if (m_spareCopies.empty()) {
                entries.copies = std::make_unique<Slots>();
            } else {
                entries.copies = std::move(m_spareCopies.back());
                m_spareCopies.pop_back();
            }
            m_copyPages.push_back(oid >> PageBits);
        }
        (*entries.copies)[oid & SlotMask] = copy;
        if (m_copied.size() < LongestCopyList)
            m_copied.push_back(oid);
        else
            m_copiedUnlisted = true;
    }

    void ForgetCopy(std::uint32_t oid)
    {
        const std::size_t page = oid >> PageBits;
        if (page < m_pages.size() && m_pages[page] && m_pages[page]->copies)
            (*m_pages[page]->copies)[oid & SlotMask] = nullptr;
    }

    void ClearCopies()
    {
        const bool listed = !m_copiedUnlisted;
        if (listed) {
            for (const std::uint32_t oid : m_copied) {
                const std::size_t page = oid >> PageBits;
                if (page < m_pages.size() && m_pages[page] && m_pages[page]->copies)
                    (*m_pages[page]->copies)[oid & SlotMask] = nullptr;
            }
        }
        for (const std::size_t page : m_copyPages) {
            if (!m_pages[page] || !m_pages[page]->copies)
                continue;
            if (listed && m_spareCopies.size() < SpareCopyBlocks)
                m_spareCopies.push_back(std::move(m_pages[page]->copies));
            else
                m_pages[page]->copies.reset();
        }
        m_copyPages.clear();
        m_copied.clear();
        m_copiedUnlisted = false;
    }

private:
    static constexpr std::size_t SpareCopyBlocks = 4;
    static constexpr std::size_t LongestCopyList = 1024;
    using Slots = std::array<Base*, std::size_t{1} << PageBits>;
    struct Page {
        Slots slots{};
        std::unique_ptr<Slots> copies;
    };

    // The page an object is registered in first.
    [[gnu::noinline]] Page& AddPage(std::size_t page)
    {
        if (page >= m_pages.size()) {
            m_pages.resize(page + 1);
            m_live.resize(page + 1);
            m_slots.resize(page + 1);
        }
        if (!m_pages[page]) {
            m_pages[page] = std::make_unique<Page>();
            m_slots[page] = m_pages[page]->slots.data();
        }
        return *m_pages[page];
    }

    const Page* GetPage(std::uint32_t oid) const
    {
        const std::size_t page = oid >> PageBits;
        return page < m_pages.size() ? m_pages[page].get() : nullptr;
    }

    std::vector<std::unique_ptr<Page>> m_pages;
    std::vector<Base* const*> m_slots;  // per page, its slots (null without a page): the directory
    std::vector<std::uint32_t> m_live;  // per page, the objects registered in it
    // The page of the last insertion while it is there: its slots, live count and number.
    Base** m_lastSlots = nullptr;
    std::uint32_t* m_lastLive = nullptr;
    std::size_t m_lastPage = 0;
    std::vector<std::size_t> m_copyPages;  // pages given a copy block during the current Copy
    std::vector<std::uint32_t> m_copied;   // the sources copied during the current Copy, the first ones
    bool m_copiedUnlisted = false;         // more were copied than m_copied lists
    std::vector<std::unique_ptr<Slots>> m_spareCopies;  // empty blocks kept for the next Copy
};

struct OIDRegistry {
    OIDTable objects;
    std::uint32_t lastOID = 0;
    bool useOIDs = true;
};

// The registry once made. It is never destroyed, as objects may outlive every static.
OIDRegistry& MakeRegistry()
{
    static OIDRegistry* const registry = new OIDRegistry;
    return *registry;
}

// The registry once an object has registered; the first one makes it, out of line.
OIDRegistry* g_registry = nullptr;

OIDRegistry& Registry()
{
    if (OIDRegistry* const registry = g_registry) [[likely]]
        return *registry;
    return MakeRegistry();
}

// Set during an outermost Copy, while the OID table records the copy of each source.
bool g_copying = false;
// The source of the copy being deepened.
const Base* g_copySource = nullptr;
// Base objects alive now: constructed and not yet destroyed.
std::size_t g_liveObjects = 0;

// Copied events waiting for the end of the outermost copy, in order of copying. Sources are held by
// OID, which is never reused: one destroyed meanwhile no longer resolves. 0 marks a dropped entry.
struct PendingCopied {
    std::uint32_t sourceOID;
    std::uint32_t copyOID;
};
struct CopiedEvents {
    std::vector<PendingCopied> pending;
    std::size_t next = 0;  // first entry not yet delivered
    int scopes = 0;
    int deliveries = 0;
};
CopiedEvents g_copied;

// Empties the waiting list once no scope or delivery uses it any more.
void ResetCopiedWhenIdle()
{
    if (g_copied.deliveries == 0 && g_copied.scopes == 0) {
        g_copied.pending.clear();
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
        Base* const source = entry.sourceOID != 0 ? Registry().objects.Find(entry.sourceOID) : nullptr;
        if (!source)
            continue;
        std::uint32_t copyOID = entry.copyOID;
        source->DoNotify(Base::classType, Base::EventCopied, nullptr, &copyOID);
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

// AddOID sets m_OID, so nothing waits for it here.
Base::Base()
{
    AddOID(this);
    ++g_liveObjects;
}

Base::Base(const Base& other) : Catalog(other)
{
    AddOID(this);
    ++g_liveObjects;
}

Base::~Base()
{
    ++s_destroyed;
    --g_liveObjects;
    RemoveOID(m_OID);
}

void* Base::AllocateElsewhere(std::size_t size)
{
    if (ObjectPool::ServesObjects && ObjectPool::Fits(size)) {
        s_objectPool = &ObjectPool::Objects();
        return s_objectPool->Allocate(size);
    }
    return ::operator new(size);
}

void Base::operator delete(void* object, std::size_t size) noexcept
{
    if (ObjectPool::ServesObjects && ObjectPool::Fits(size))
        ObjectPool::Objects().Free(object);
    else
        ::operator delete(object);
}

// Only the outermost scope reads its exceptions count when it ends.
Base::CopyEventScope::CopyEventScope()
    : m_exceptions(g_copied.scopes == 0 ? std::uncaught_exceptions() : 0), m_first(g_copied.pending.size())
{
    ++g_copied.scopes;
}

Base::CopyEventScope::~CopyEventScope()
{
    if (--g_copied.scopes != 0)
        return;
    if (std::uncaught_exceptions() > m_exceptions) {
        for (std::size_t i = m_first; i < g_copied.pending.size(); ++i)
            g_copied.pending[i].sourceOID = 0;
        ResetCopiedWhenIdle();
        return;
    }
    DeliverCopied();
}

namespace {

[[noreturn, gnu::noinline, gnu::cold]] void RefuseOID()
{
    throw std::overflow_error("object identifiers exhausted");
}

} // namespace

std::uint32_t Base::AddOID(Base* object)
{
    static_assert(OIDTable::PageBits == OIDPageBits && OIDTable::SlotMask == OIDSlotMask);
    // Past the common case: the first object, the last OID, the first object of a page, or one
    // whose page went. It sets the object's OID itself, so the caller keeps nothing across the call.
    constexpr auto addToNewPage = [](Base* target) __attribute__((noinline)) -> std::uint32_t {
        OIDRegistry& registry = MakeRegistry();
        g_registry = &registry;
        if (registry.lastOID == UINT32_MAX)
            RefuseOID();
        const std::uint32_t oid = ++registry.lastOID;
        const bool added = registry.objects.Insert(oid, target);
        target->m_OID = oid;
        if (added)
            s_oidPages = {registry.objects.SlotPages(), registry.objects.PageCount()};
        return oid;
    };
    if (OIDRegistry* const registry = g_registry) [[likely]] {
        if (const std::uint32_t oid = registry->lastOID + 1; registry->objects.InsertAfterLast(oid, object)) [[likely]] {
            registry->lastOID = oid;
            object->m_OID = oid;
            return oid;
        }
    }
    return addToNewPage(object);
}

void Base::RemoveOID(std::uint32_t oid)
{
    OIDRegistry& registry = Registry();
    if (registry.objects.Erase(oid)) [[unlikely]]
        s_oidPages = {registry.objects.SlotPages(), registry.objects.PageCount()};
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
    OIDTable& table = Registry().objects;
    // The outermost call forgets the recorded copies when it leaves, by return or by exception.
    struct CopyRelease {
        bool outermost;
        ~CopyRelease()
        {
            if (outermost) {
                g_copying = false;
                Registry().objects.ClearCopies();
            }
        }
    } const release{!g_copying};
    g_copying = true;

    const std::uint32_t oid = m_OID;
    if (Base* const known = table.FindCopy(oid))
        return known;

    Base* copy = ShallowCopy();
    if (!copy)
        return nullptr;
    table.SetCopy(oid, copy);
    const Base* const outerSource = std::exchange(g_copySource, this);
    try {
        copy->DeepenShallowCopy();
    } catch (...) {
        g_copySource = outerSource;
        table.ForgetCopy(oid);
        delete copy;
        throw;
    }
    g_copySource = outerSource;
    g_copied.pending.push_back({oid, copy->GetOID()});
    return copy;
}

Base* Base::ShallowCopy() const
{
    return new Base(*this);
}

void Base::DeepenShallowCopy() {}

const Base* Base::GetCopySource()
{
    return g_copySource;
}

Base* Base::GetCopyMade(const Base& source)
{
    return Registry().objects.FindCopy(source.m_OID);
}

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
