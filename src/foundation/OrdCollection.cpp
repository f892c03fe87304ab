#include <tavrel/foundation/OrdCollection.h>

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>

#include <tavrel/foundation/Enumerator.h>
#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/Iterator.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(OrdCollection)

namespace {

// The members of any collection in its walking order.
std::vector<Object*> Members(const BaseCollection& collection)
{
    std::vector<Object*> members;
    members.reserve(static_cast<std::size_t>(std::max(collection.GetSize(), 0)));
    for (POSITION position = collection.GetStartPosition(); position;)
        members.push_back(collection.GetNext(position));
    return members;
}

} // namespace

// ---- Construction

OrdCollection::OrdCollection(int size, int)
{
    if (size > 0)
        m_entries.resize(static_cast<std::size_t>(size), Entry{nullptr, 0});
}

OrdCollection::OrdCollection(const Iterator& iterator, int size, int growBy) : OrdCollection(size, growBy)
{
    BaseCollection::Add(iterator);
}

OrdCollection::OrdCollection(const SetCollection& set)
{
    Assign(Members(set));
}

OrdCollection::~OrdCollection() = default;

OrdCollection& OrdCollection::operator=(const OrdCollection& other)
{
    if (this != &other) {
        std::vector<Object*> objects;
        objects.reserve(other.m_entries.size());
        for (const Entry& entry : other.m_entries)
            objects.push_back(other.Resolve(entry));
        Assign(objects);
    }
    return *this;
}

OrdCollection& OrdCollection::operator=(const SetCollection& set)
{
    Assign(Members(set));
    return *this;
}

bool OrdCollection::operator==(const OrdCollection& other) const
{
    if (m_entries.size() != other.m_entries.size())
        return false;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (Resolve(m_entries[i]) != other.Resolve(other.m_entries[i]))
            return false;
    }
    return true;
}

// ---- Liveness

OrdCollection::Entry OrdCollection::Track(Object* object)
{
    return object ? Entry{object, object->GetOID()} : Entry{nullptr, 0};
}

bool OrdCollection::IsLive(const Entry& entry) const
{
    return entry.object && Base::GetObjectA(entry.oid);
}

void OrdCollection::Assign(const std::vector<Object*>& objects)
{
    std::vector<Entry> entries;
    entries.reserve(objects.size());
    for (Object* object : objects)
        entries.push_back(Track(object));
    m_entries = std::move(entries);
}

// ---- Collection interface

bool OrdCollection::Copy(BaseCollection& target) const
{
    if (&target == this)
        return true;
    const std::vector<Object*> objects = Members(*this);
    target.RemoveAll();
    for (Object* object : objects)
        target.Add(object);
    return true;
}

void OrdCollection::SetSize(int size, int)
{
    if (size < 0)
        return;
    m_entries.resize(static_cast<std::size_t>(size), Entry{nullptr, 0});
}

bool OrdCollection::IsEmpty() const
{
    return m_entries.empty();
}

bool OrdCollection::Add(Object* object)
{
    m_entries.push_back(Track(object));
    return true;
}

int OrdCollection::GetNumItems() const
{
    return static_cast<int>(m_entries.size());
}

int OrdCollection::GetSize() const
{
    return GetNumItems();
}

void OrdCollection::RemoveAll()
{
    m_entries.clear();
}

void OrdCollection::DropDeleted()
{
    for (Entry& entry : m_entries) {
        if (entry.object && !IsLive(entry))
            entry = Entry{nullptr, 0};
    }
}

void OrdCollection::ApplyFilter(const Filter& filter, FilterMode mode)
{
    // Decide every entry first, so that a filter's side effects cannot disturb the compaction.
    std::vector<bool> removed(m_entries.size(), false);
    for (std::size_t i = m_entries.size(); i-- > 0;) {
        if (Object* object = i < m_entries.size() ? Resolve(m_entries[i]) : nullptr)
            removed[i] = filter(object) == (mode == RemoveMatching);
    }
    std::vector<Entry> kept;
    kept.reserve(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (i >= removed.size() || !removed[i])
            kept.push_back(m_entries[i]);
    }
    m_entries = std::move(kept);
}

bool OrdCollection::Enumerate(Enumerator& enumerator) const
{
    if (!enumerator.Initialize())
        return false;
    bool result = true;
    const std::size_t count = m_entries.size();
    for (std::size_t i = 0; result && i < count && i < m_entries.size(); ++i)
        result = enumerator.Enumerate(Resolve(m_entries[i]), static_cast<int>(i));
    enumerator.Finalize();
    return result;
}

POSITION OrdCollection::GetStartPosition() const
{
    return m_entries.empty() ? 0 : 1;
}

Object* OrdCollection::GetNext(POSITION& position) const
{
    if (position == 0 || position > m_entries.size()) {
        position = 0;
        return nullptr;
    }
    Object* object = Resolve(m_entries[position - 1]);
    position = position < m_entries.size() ? position + 1 : 0;
    return object;
}

int OrdCollection::GetNumItems(const Filter& filter) const
{
    int count = 0;
    for (const Entry& entry : m_entries) {
        if (Object* object = Resolve(entry); object && filter(object))
            ++count;
    }
    return count;
}

int OrdCollection::GetNumItems(std::uint32_t type) const
{
    int count = 0;
    for (const Entry& entry : m_entries) {
        if (const Object* object = Resolve(entry); object && object->IsA(type))
            ++count;
    }
    return count;
}

Object* OrdCollection::GetAt(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_entries.size())
        return nullptr;
    return Resolve(m_entries[static_cast<std::size_t>(index)]);
}

bool OrdCollection::InsertAt(int index, Object* object)
{
    if (index < 0)
        return false;
    const auto at = static_cast<std::size_t>(index);
    if (at >= m_entries.size()) {
        m_entries.resize(at, Entry{nullptr, 0});
        m_entries.push_back(Track(object));
    } else {
        m_entries.insert(m_entries.begin() + index, Track(object));
    }
    return true;
}

bool OrdCollection::SetAt(int index, Object* object)
{
    if (index < 0)
        return false;
    const auto at = static_cast<std::size_t>(index);
    if (at >= m_entries.size())
        m_entries.resize(at + 1, Entry{nullptr, 0});
    m_entries[at] = Track(object);
    return true;
}

bool OrdCollection::RemoveAt(int index, int count)
{
    if (index < 0 || count < 0 || static_cast<std::size_t>(index) + static_cast<std::size_t>(count) > m_entries.size())
        return false;
    const auto first = m_entries.begin() + index;
    m_entries.erase(first, first + count);
    return true;
}

Object* OrdCollection::operator[](int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_entries.size())
        throw std::out_of_range("OrdCollection index out of range");
    return Resolve(m_entries[static_cast<std::size_t>(index)]);
}

// ---- Persistence

const PropertyTable& OrdCollection::Properties()
{
    static const PropertyTable table(
        PropertyList<OrdCollection>()
            .References(
                "OrdCollection Array", [](const OrdCollection& collection) { return collection.m_entries.size(); },
                [](const OrdCollection& collection, std::size_t index) {
                    return collection.GetAt(static_cast<int>(index));
                },
                [](OrdCollection& collection, std::size_t count) {
                    collection.SetSize(static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max())), -1);
                },
                [](OrdCollection& collection, std::size_t index, Object* object) {
                    if (index < collection.m_entries.size())
                        collection.SetAt(static_cast<int>(index), object);
                }));
    return table;
}

// ---- Tree copy

void OrdCollection::DeepenShallowCopy()
{
    Superclass::DeepenShallowCopy();
    const TreeNode* root = GetCopyRoot();
    std::vector<Object*> copies(m_entries.size(), nullptr);
    for (std::size_t i = m_entries.size(); i-- > 0;) {
        if (const Object* source = Resolve(m_entries[i]); source && source->IsInSubtreeOf(root))
            copies[i] = DynCast<Object>(source->Copy());
    }
    if (KeepIndicesScope::s_depth == 0)
        std::erase(copies, nullptr);
    Assign(copies);
}

OrdCollection::KeepIndicesScope::KeepIndicesScope()
{
    ++s_depth;
}

OrdCollection::KeepIndicesScope::~KeepIndicesScope()
{
    --s_depth;
}

} // namespace Tavrel
