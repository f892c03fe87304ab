#include <tavrel/foundation/SetCollection.h>

#include <array>
#include <cstddef>

#include <tavrel/foundation/Enumerator.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(SetCollection, ClassKind::Creatable)

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

SetCollection::SetCollection(const SetCollection& other) : BaseCollection(other), m_validate(other.m_validate)
{
    for (Object* member : other.GetMembers())
        Add(member);
}

SetCollection::SetCollection(Object* parent, int, int) : BaseCollection(parent) {}

SetCollection::~SetCollection()
{
    Clear();
}

SetCollection& SetCollection::operator=(const SetCollection& other)
{
    if (this != &other) {
        Clear();
        *this |= other;
    }
    return *this;
}

SetCollection& SetCollection::operator=(const OrdCollection& collection)
{
    Clear();
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
        Clear();
        return *this;
    }
    for (Object* member : other.GetMembers())
        Remove(member);
    return *this;
}

SetCollection& SetCollection::operator&=(const SetCollection& other)
{
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        const Slot& slot = m_slots[i];
        if (slot.object && (!IsLive(slot) || (this != &other && !other.IsMember(slot.object))))
            Erase(i);
    }
    Compact();
    return *this;
}

SetCollection& SetCollection::operator^=(const SetCollection& other)
{
    if (this == &other) {
        Clear();
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

bool SetCollection::IsLive(const Slot& slot) const
{
    return slot.object && Base::GetObjectA(slot.oid);
}

const SetCollection::Slot* SetCollection::Find(const Object* object) const
{
    const auto found = m_index.find(object);
    return found == m_index.end() ? nullptr : &m_slots[found->second];
}

SetCollection::Slot& SetCollection::Insert(Object* object)
{
    const std::uint32_t oid = object->GetOID();
    m_index.emplace(object, m_slots.size());
    m_slots.push_back({object, object, oid, false});
    ++m_count;
    return m_slots.back();
}

void SetCollection::Listen(Slot& slot)
{
    if (slot.listening || !IsLive(slot))
        return;
    slot.object->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &OnMemberDeleted, false, this, nullptr);
    slot.listening = true;
}

void SetCollection::StopListening(Slot& slot)
{
    if (!slot.listening)
        return;
    if (IsLive(slot))
        slot.object->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &OnMemberDeleted, false, this,
                                     nullptr);
    slot.listening = false;
}

void SetCollection::Erase(std::size_t index)
{
    Slot& slot = m_slots[index];
    if (!slot.object)
        return;
    StopListening(slot);
    m_index.erase(slot.node);
    slot.object = nullptr;
    slot.node = nullptr;
    --m_count;
}

void SetCollection::DropDeleted()
{
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].object && !IsLive(m_slots[i]))
            Erase(i);
    }
    Compact();
}

void SetCollection::Clear()
{
    for (Slot& slot : m_slots)
        StopListening(slot);
    m_index.clear();
    m_count = 0;
    if (m_walks > 0) {
        for (Slot& slot : m_slots)
            slot = Slot{nullptr, nullptr, 0, false};
    } else {
        m_slots.clear();
    }
}

void SetCollection::Compact()
{
    const std::size_t holes = m_slots.size() - m_count;
    if (m_walks > 0 || holes == 0 || (holes < 64 && m_count > 0) || holes < m_count)
        return;
    std::size_t kept = 0;
    for (const Slot& slot : m_slots) {
        if (!slot.object)
            continue;
        m_index[slot.node] = kept;
        m_slots[kept++] = slot;
    }
    m_slots.resize(kept);
}

std::size_t SetCollection::NextLive(std::size_t index) const
{
    while (index < m_slots.size() && !IsLive(m_slots[index]))
        ++index;
    return index;
}

void SetCollection::OnMemberDeleted(Event& event)
{
    static_cast<SetCollection*>(event.GetData())->RemoveDying(event.GetTreeNode(false), event.GetTreeNodeOID());
}

bool SetCollection::RemoveDying(const TreeNode* node, std::uint32_t oid)
{
    const auto found = m_index.find(node);
    if (found == m_index.end())
        return false;
    Slot& slot = m_slots[found->second];
    if (slot.oid != oid)
        return false;
    // The object is being destroyed: its registrations go with it.
    slot.listening = false;
    // No compaction here: a walk over the set may be under way in a caller, and positions must hold.
    // The holes go at the next change made through the set itself.
    Erase(found->second);
    return true;
}

std::vector<Object*> SetCollection::GetMembers() const
{
    std::vector<Object*> members;
    members.reserve(m_count);
    for (const Slot& slot : m_slots) {
        if (IsLive(slot))
            members.push_back(slot.object);
    }
    return members;
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
    if (m_count == 0)
        Clear();
}

bool SetCollection::IsEmpty() const
{
    return m_count == 0;
}

bool SetCollection::Add(Object* object)
{
    if (!object)
        return false;
    if (const auto found = m_index.find(object); found != m_index.end()) {
        if (IsLive(m_slots[found->second]))
            return false;
        // A deleted member's entry; the new object took its address.
        Erase(found->second);
        Compact();
    }
    Slot& slot = Insert(object);
    if (m_validate)
        Listen(slot);
    return true;
}

int SetCollection::GetNumItems() const
{
    return static_cast<int>(m_count);
}

int SetCollection::GetSize() const
{
    return GetNumItems();
}

void SetCollection::RemoveAll()
{
    Clear();
}

void SetCollection::ApplyFilter(const Filter& filter, FilterMode mode)
{
    {
        const WalkScope walk(m_walks);
        const std::size_t count = m_slots.size();
        for (std::size_t i = 0; i < count && i < m_slots.size(); ++i) {
            if (!m_slots[i].object)
                continue;
            if (!IsLive(m_slots[i]) || filter(m_slots[i].object) != (mode == KeepMatching))
                Erase(i);
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
        const WalkScope walk(m_walks);
        const std::size_t count = m_slots.size();
        int index = 0;
        for (std::size_t i = NextLive(0); result && i < count && i < m_slots.size(); i = NextLive(i + 1))
            result = enumerator.Enumerate(m_slots[i].object, index++);
    }
    enumerator.Finalize();
    return result;
}

POSITION SetCollection::GetStartPosition() const
{
    const std::size_t first = NextLive(0);
    return first < m_slots.size() ? first + 1 : 0;
}

Object* SetCollection::GetNext(POSITION& position) const
{
    const std::size_t at = position == 0 ? m_slots.size() : NextLive(position - 1);
    if (at >= m_slots.size()) {
        position = 0;
        return nullptr;
    }
    const std::size_t next = NextLive(at + 1);
    position = next < m_slots.size() ? next + 1 : 0;
    return m_slots[at].object;
}

bool SetCollection::IsSubset(const SetCollection& other) const
{
    for (const Slot& slot : other.m_slots) {
        if (other.IsLive(slot) && !IsMember(slot.object))
            return false;
    }
    return true;
}

bool SetCollection::IsMember(const Object* object) const
{
    const Slot* slot = object ? Find(object) : nullptr;
    return slot && IsLive(*slot);
}

bool SetCollection::Remove(const Object* object)
{
    if (!object)
        return false;
    const auto found = m_index.find(object);
    if (found == m_index.end())
        return false;
    const bool member = IsLive(m_slots[found->second]);
    Erase(found->second);
    Compact();
    return member;
}

Object* SetCollection::GetFirstItem() const
{
    const std::size_t first = NextLive(0);
    return first < m_slots.size() ? m_slots[first].object : nullptr;
}

void SetCollection::SetValidate(bool validate)
{
    if (validate == m_validate)
        return;
    m_validate = validate;
    if (validate)
        DropDeleted();
    for (Slot& slot : m_slots) {
        if (validate)
            Listen(slot);
        else
            StopListening(slot);
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

void SetCollection::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass pass(archive, *this);
    const bool storing = archive.GetArchive().IsStoring();
    if (pass.Is(PropertyArchive::MethodBefore) && storing)
        DropDeleted();
    const std::vector<Object*> members = pass.Is(PropertyArchive::MethodWrite) ? GetMembers() : std::vector<Object*>();
    pass.Array<Storage::StorageObject>(
        "SetCollection Map", [&members] { return members.size(); },
        [&members](std::size_t index) { return index < members.size() ? members[index] : nullptr; },
        [](std::size_t) {},
        [this](std::size_t, Object* object) {
            if (!object || IsMember(object))
                return;
            if (const auto found = m_index.find(object); found != m_index.end())
                Erase(found->second);
            Insert(object);
        });
    if (pass.Is(PropertyArchive::MethodAfter) && !storing) {
        for (Slot& slot : m_slots) {
            if (m_validate && slot.object)
                Listen(slot);
        }
    }
}

void SetCollection::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        DropDeleted();
        Superclass::Serialize(archive);
        archive.WriteCount(static_cast<std::uint32_t>(m_count));
        for (const Slot& slot : m_slots) {
            if (!slot.object)
                continue;
            archive.WriteObject(slot.object);
            archive << slot.oid;
        }
        return;
    }
    Superclass::Serialize(archive);
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
    Clear();
    for (Object* member : members)
        Add(member);
}

// ---- Tree copy

void SetCollection::DeepenShallowCopy()
{
    Superclass::DeepenShallowCopy();
    const TreeNode* root = GetCopyRoot();
    const std::vector<Object*> members = GetMembers();
    Clear();
    for (const Object* member : members) {
        if (member->HasAncestor(root))
            Add(DynCast<Object>(member->Copy()));
    }
}

} // namespace Tavrel
