#include <tavrel/foundation/SetCollection.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include <tavrel/foundation/Enumerator.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(SetCollection)

namespace {

// Marks a running walk, during which slots keep their places.
class WalkScope {
public:
    explicit WalkScope(int& walks) : m_walks(walks) { ++m_walks; }
    ~WalkScope() { --m_walks; }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

private:
    int& m_walks;
};

} // namespace

// ---- Construction

SetCollection::SetCollection(int, int) {}

SetCollection::SetCollection(const Iterator& iterator, int, int)
{
    BaseCollection::Add(iterator);
}

SetCollection::SetCollection(const OrdCollection& collection)
{
    for (POSITION position = collection.GetStartPosition(); position;)
        Add(collection.GetNext(position));
}

SetCollection::SetCollection(Object* parent, int, int) : BaseCollection(parent) {}

SetCollection::~SetCollection() = default;

SetCollection& SetCollection::operator=(const SetCollection& other)
{
    if (this != &other) {
        m_members.Clear();
        *this |= other;
    }
    return *this;
}

SetCollection& SetCollection::operator=(const OrdCollection& collection)
{
    m_members.Clear();
    for (POSITION position = collection.GetStartPosition(); position;)
        Add(collection.GetNext(position));
    return *this;
}

bool SetCollection::operator==(const SetCollection& other) const
{
    return GetSize() == other.GetSize() && IsSubset(other);
}

// ---- Algebra

SetCollection& SetCollection::operator|=(const SetCollection& other)
{
    if (this != &other) {
        for (Object* member : other.GetMembers())
            Add(member);
    }
    return *this;
}

SetCollection& SetCollection::operator-=(const SetCollection& other)
{
    if (this == &other) {
        m_members.Clear();
        return *this;
    }
    for (Object* member : other.GetMembers())
        Remove(member);
    return *this;
}

SetCollection& SetCollection::operator&=(const SetCollection& other)
{
    for (std::size_t i = 0; i < m_members.slots.size(); ++i) {
        const Slot& slot = m_members.slots[i];
        if (slot.object && (!m_members.IsLive(slot) || (this != &other && !other.IsMember(slot.object))))
            m_members.Erase(i);
    }
    Compact();
    return *this;
}

SetCollection& SetCollection::operator^=(const SetCollection& other)
{
    if (this == &other) {
        m_members.Clear();
        return *this;
    }
    for (Object* member : other.GetMembers()) {
        if (!Remove(member))
            Add(member);
    }
    return *this;
}

SetCollection operator&(const SetCollection& a, const SetCollection& b)
{
    SetCollection result;
    for (Object* member : a.GetMembers()) {
        if (b.IsMember(member))
            result.Add(member);
    }
    return result;
}

SetCollection operator|(const SetCollection& a, const SetCollection& b)
{
    SetCollection result(a);
    result |= b;
    return result;
}

SetCollection operator^(const SetCollection& a, const SetCollection& b)
{
    SetCollection result;
    for (Object* member : a.GetMembers()) {
        if (!b.IsMember(member))
            result.Add(member);
    }
    for (Object* member : b.GetMembers()) {
        if (!a.IsMember(member))
            result.Add(member);
    }
    return result;
}

SetCollection operator-(const SetCollection& a, const SetCollection& b)
{
    SetCollection result;
    for (Object* member : a.GetMembers()) {
        if (!b.IsMember(member))
            result.Add(member);
    }
    return result;
}

// ---- Entries and liveness

SetCollection::Members::Members(const Members& other) : validate(other.validate)
{
    for (const Slot& slot : other.slots) {
        if (!other.IsLive(slot))
            continue;
        Slot& copied = Insert(slot.object);
        if (validate)
            Listen(copied);
    }
}

SetCollection::Members::~Members()
{
    Clear();
}

bool SetCollection::Members::IsLive(const Slot& slot) const
{
    return slot.object && Base::GetObjectA(slot.oid);
}

SetCollection::Slot& SetCollection::Members::Insert(Object* object)
{
    const std::uint32_t oid = object->GetOID();
    index.Insert(object, slots.size());
    slots.push_back({object, object, oid, false});
    ++count;
    return slots.back();
}

void SetCollection::Members::Listen(Slot& slot)
{
    if (slot.listening || !IsLive(slot))
        return;
    slot.object->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &OnMemberDeleted, false, this, nullptr);
    slot.listening = true;
}

void SetCollection::Members::StopListening(Slot& slot)
{
    if (!slot.listening)
        return;
    if (IsLive(slot))
        slot.object->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &OnMemberDeleted, false, this,
                                     nullptr);
    slot.listening = false;
}

void SetCollection::Members::Erase(std::size_t at)
{
    Slot& slot = slots[at];
    if (!slot.object)
        return;
    StopListening(slot);
    index.Erase(slot.node);
    slot.object = nullptr;
    slot.node = nullptr;
    --count;
}

void SetCollection::Members::Clear()
{
    // Unregistering touches each member: load those a few slots ahead while one is handled.
    constexpr std::size_t ahead = 8;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (i + ahead < slots.size() && slots[i + ahead].listening)
            __builtin_prefetch(slots[i + ahead].node);
        StopListening(slots[i]);
    }
    index.Clear();
    count = 0;
    if (walks > 0) {
        for (Slot& slot : slots)
            slot = Slot{nullptr, nullptr, 0, false};
    } else {
        slots.clear();
    }
}

const SetCollection::Slot* SetCollection::Find(const Object* object) const
{
    const std::size_t* const found = m_members.index.Find(object);
    return found ? &m_members.slots[*found] : nullptr;
}

void SetCollection::DropDeleted()
{
    for (std::size_t i = 0; i < m_members.slots.size(); ++i) {
        if (m_members.slots[i].object && !m_members.IsLive(m_members.slots[i]))
            m_members.Erase(i);
    }
    Compact();
}

void SetCollection::Compact()
{
    const std::size_t holes = m_members.slots.size() - m_members.count;
    if (m_members.walks > 0 || holes == 0 || (holes < 64 && m_members.count > 0) || holes < m_members.count)
        return;
    std::size_t kept = 0;
    for (const Slot& slot : m_members.slots) {
        if (!slot.object)
            continue;
        *m_members.index.Find(slot.node) = kept;
        m_members.slots[kept++] = slot;
    }
    m_members.slots.resize(kept);
}

std::size_t SetCollection::NextLive(std::size_t index) const
{
    while (index < m_members.slots.size() && !m_members.IsLive(m_members.slots[index]))
        ++index;
    return index;
}

void SetCollection::OnMemberDeleted(Event& event)
{
    static_cast<Members*>(event.GetData())->RemoveDying(event.GetTreeNode(false), event.GetTreeNodeOID());
}

bool SetCollection::RemoveDying(const TreeNode* node, std::uint32_t oid)
{
    return m_members.RemoveDying(node, oid);
}

bool SetCollection::Members::RemoveDying(const TreeNode* node, std::uint32_t oid)
{
    const std::size_t* const found = index.Find(node);
    if (!found)
        return false;
    const std::size_t at = *found;
    Slot& slot = slots[at];
    if (slot.oid != oid)
        return false;
    // The object is being destroyed: its registrations go with it.
    slot.listening = false;
    // No compaction here: a walk over the set may be under way in a caller, and positions must hold.
    // The holes go at the next change made through the set itself.
    Erase(at);
    return true;
}

std::vector<Object*> SetCollection::GetMembers() const
{
    std::vector<Object*> members;
    members.reserve(m_members.count);
    for (const Slot& slot : m_members.slots) {
        if (m_members.IsLive(slot))
            members.push_back(slot.object);
    }
    return members;
}

std::vector<TreeNode*> SetCollection::GetMemberNodes() const
{
    std::vector<TreeNode*> nodes;
    nodes.reserve(m_members.count);
    for (const Slot& slot : m_members.slots) {
        if (m_members.IsLive(slot))
            nodes.push_back(const_cast<TreeNode*>(slot.node));
    }
    return nodes;
}

// ---- Collection interface

bool SetCollection::Copy(BaseCollection& target) const
{
    if (&target == this)
        return true;
    const std::vector<Object*> members = GetMembers();
    target.RemoveAll();
    for (Object* member : members)
        target.Add(member);
    return true;
}

void SetCollection::SetSize(int, int)
{
    if (m_members.count == 0)
        m_members.Clear();
}

bool SetCollection::IsEmpty() const
{
    return m_members.count == 0;
}

bool SetCollection::Add(Object* object)
{
    if (!object)
        return false;
    if (const std::size_t* const found = m_members.index.Find(object)) {
        if (m_members.IsLive(m_members.slots[*found]))
            return false;
        // A deleted member's entry; the new object took its address.
        m_members.Erase(*found);
        Compact();
    }
    Slot& slot = m_members.Insert(object);
    if (m_members.validate)
        m_members.Listen(slot);
    return true;
}

std::size_t SetCollection::AddAll(std::span<Object* const> objects)
{
    // Hashed lookups of members in tree order land anywhere in a large index: start loading the
    // slots a few objects ahead so that their misses overlap.
    constexpr std::size_t ahead = 16;
    m_members.index.Reserve(m_members.index.Size() + objects.size());
    if (const std::size_t needed = m_members.slots.size() + objects.size(); needed > m_members.slots.capacity())
        m_members.slots.reserve(std::max(needed, 2 * m_members.slots.capacity()));
    std::size_t added = 0;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (i + ahead < objects.size() && objects[i + ahead]) {
            m_members.index.Prefetch(objects[i + ahead]);
            __builtin_prefetch(objects[i + ahead]);
        }
        if (Add(objects[i]))
            ++added;
    }
    return added;
}

int SetCollection::GetNumItems() const
{
    return static_cast<int>(m_members.count);
}

int SetCollection::GetSize() const
{
    return GetNumItems();
}

void SetCollection::RemoveAll()
{
    m_members.Clear();
}

void SetCollection::ApplyFilter(const Filter& filter, FilterMode mode)
{
    {
        const WalkScope walk(m_members.walks);
        const std::size_t count = m_members.slots.size();
        for (std::size_t i = 0; i < count && i < m_members.slots.size(); ++i) {
            if (!m_members.slots[i].object)
                continue;
            if (!m_members.IsLive(m_members.slots[i]) || filter(m_members.slots[i].object) != (mode == KeepMatching))
                m_members.Erase(i);
        }
    }
    Compact();
}

bool SetCollection::Enumerate(Enumerator& enumerator) const
{
    if (!enumerator.Initialize())
        return false;
    bool result = true;
    {
        const WalkScope walk(m_members.walks);
        const std::size_t count = m_members.slots.size();
        int index = 0;
        for (std::size_t i = NextLive(0); result && i < count && i < m_members.slots.size(); i = NextLive(i + 1))
            result = enumerator.Enumerate(m_members.slots[i].object, index++);
    }
    enumerator.Finalize();
    return result;
}

POSITION SetCollection::GetStartPosition() const
{
    const std::size_t first = NextLive(0);
    return first < m_members.slots.size() ? first + 1 : 0;
}

Object* SetCollection::GetNext(POSITION& position) const
{
    const std::size_t at = position == 0 ? m_members.slots.size() : NextLive(position - 1);
    if (at >= m_members.slots.size()) {
        position = 0;
        return nullptr;
    }
    const std::size_t next = NextLive(at + 1);
    position = next < m_members.slots.size() ? next + 1 : 0;
    return m_members.slots[at].object;
}

bool SetCollection::IsSubset(const SetCollection& other) const
{
    for (const Slot& slot : other.m_members.slots) {
        if (other.m_members.IsLive(slot) && !IsMember(slot.object))
            return false;
    }
    return true;
}

bool SetCollection::IsMember(const Object* object) const
{
    const Slot* slot = object ? Find(object) : nullptr;
    return slot && m_members.IsLive(*slot);
}

bool SetCollection::Remove(const Object* object)
{
    if (!object)
        return false;
    const std::size_t* const found = m_members.index.Find(object);
    if (!found)
        return false;
    const std::size_t at = *found;
    const bool member = m_members.IsLive(m_members.slots[at]);
    m_members.Erase(at);
    Compact();
    return member;
}

Object* SetCollection::GetFirstItem() const
{
    const std::size_t first = NextLive(0);
    return first < m_members.slots.size() ? m_members.slots[first].object : nullptr;
}

void SetCollection::SetValidate(bool validate)
{
    if (validate == m_members.validate)
        return;
    m_members.validate = validate;
    if (validate)
        DropDeleted();
    for (Slot& slot : m_members.slots) {
        if (validate)
            m_members.Listen(slot);
        else
            m_members.StopListening(slot);
    }
}

int SetCollection::FindBestHashSize(int size)
{
    static constexpr std::array<int, 14> sizes{17, 47, 107, 227, 337, 479, 757, 1049, 2011, 3001, 4649, 7507, 10007, 25111};
    for (const int candidate : sizes) {
        if (candidate >= size)
            return candidate;
    }
    return size;
}

// ---- Persistence

void SetCollection::TakeLoaded(Object* object)
{
    if (!object || IsMember(object))
        return;
    // A deleted member's entry; the new object took its address.
    if (const std::size_t* const found = m_members.index.Find(object))
        m_members.Erase(*found);
    m_members.Insert(object);
}

const PropertyTable& SetCollection::Properties()
{
    static const PropertyTable table(
        PropertyList<SetCollection>()
            .ReferenceList(
                "SetCollection Map", [](const SetCollection& set) { return set.GetMembers(); }, [](SetCollection&, std::size_t) {},
                [](SetCollection& set, std::size_t, Object* object) { set.TakeLoaded(object); })
            .ArchiveWith(
                [](const SetCollection& set, Archive& archive) {
                    archive.WriteCount(static_cast<std::uint32_t>(set.m_members.count));
                    for (const Slot& slot : set.m_members.slots) {
                        if (!slot.object)
                            continue;
                        archive.WriteObject(slot.object);
                        archive << slot.oid;
                    }
                },
                [](SetCollection& set, Archive& archive) {
                    // Each member takes at least its two-byte tag and its four-byte OID.
                    const std::uint32_t count = archive.ReadCount(6);
                    std::vector<Object*> members;
                    members.reserve(count);
                    for (std::uint32_t i = 0; i < count; ++i) {
                        Object* member = nullptr;
                        SerializeObjects(archive, &member, 1);
                        std::uint32_t storedOID = 0;
                        archive >> storedOID;
                        members.push_back(member);
                    }
                    set.m_members.Clear();
                    for (Object* member : members)
                        set.Add(member);
                })
            .BeforeRecord([](SetCollection& set, Archive& archive, PropertyArchive*) {
                if (archive.IsStoring())
                    set.DropDeleted();
            })
            .AfterRecord([](SetCollection& set, Archive& archive, PropertyArchive* stream) {
                if (!stream || !archive.IsLoading() || !set.m_members.validate)
                    return;
                for (Slot& slot : set.m_members.slots) {
                    if (slot.object)
                        set.m_members.Listen(slot);
                }
            }));
    return table;
}

// ---- Tree copy

void SetCollection::DeepenShallowCopy()
{
    Superclass::DeepenShallowCopy();
    const TreeNode* root = GetCopyRoot();
    const std::vector<Object*> members = GetMembers();
    m_members.Clear();
    for (const Object* member : members) {
        if (member->IsInSubtreeOf(root))
            Add(DynCast<Object>(member->Copy()));
    }
}

} // namespace Tavrel
