// MemberList: the objects a conformer or conformer model holds without owning them, in the order they joined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include <tavrel/foundation/BaseCollection.h>

namespace Tavrel {

// A plain value, not a tree node, so that an object loaded with one does not bring a parentless node
// along. Entries keep their objects' OIDs: an object deleted unnoticed is no member and is never
// touched. Adding, removing and asking are O(1); removals leave holes that the next walk by index
// squeezes out. A copy starts empty and assigning keeps the target's members: the holder's copy
// takes its members anew (those the copy reaches).
template <class T>
class MemberList {
public:
    MemberList() = default;
    MemberList(const MemberList&) noexcept {}
    MemberList& operator=(const MemberList&) noexcept { return *this; }

    // False for null or a member.
    bool Add(T* object)
    {
        if (!object || Contains(object))
            return false;
        if (const auto found = m_index.find(object); found != m_index.end())
            Drop(found);
        if (m_holes > m_entries.size() / 2)
            Compact();
        m_index.emplace(object, m_entries.size());
        m_entries.push_back({object, object->GetOID()});
        return true;
    }

    // False for a non-member.
    bool Remove(const T* object)
    {
        const auto found = m_index.find(object);
        if (found == m_index.end())
            return false;
        const bool live = IsLive(m_entries[found->second]);
        Drop(found);
        return live;
    }

    bool Contains(const T* object) const
    {
        const auto found = m_index.find(object);
        return found != m_index.end() && IsLive(m_entries[found->second]);
    }

    void Clear()
    {
        m_entries.clear();
        m_index.clear();
        m_holes = 0;
    }

    // The live members in the order they joined.
    std::vector<T*> Members() const
    {
        std::vector<T*> members;
        members.reserve(m_entries.size() - m_holes);
        for (const Entry& entry : m_entries) {
            if (IsLive(entry))
                members.push_back(entry.object);
        }
        return members;
    }

    // The entries without holes (for writing by index): Size() of them, At() null for an object
    // deleted unnoticed.
    std::size_t Size() const
    {
        Compact();
        return m_entries.size();
    }
    T* At(std::size_t index) const
    {
        Compact();
        return index < m_entries.size() && IsLive(m_entries[index]) ? m_entries[index].object : nullptr;
    }

private:
    struct Entry {
        T* object;  // null for a hole
        std::uint32_t oid;
    };
    using Index = std::unordered_map<const T*, std::size_t>;

    static bool IsLive(const Entry& entry)
    {
        return entry.object && Base::GetObjectA(entry.oid) == entry.object;
    }

    void Drop(typename Index::iterator found)
    {
        m_entries[found->second].object = nullptr;
        m_index.erase(found);
        ++m_holes;
    }

    void Compact() const
    {
        if (m_holes == 0)
            return;
        std::size_t kept = 0;
        for (const Entry& entry : m_entries) {
            if (!entry.object)
                continue;
            m_index[entry.object] = kept;
            m_entries[kept++] = entry;
        }
        m_entries.resize(kept);
        m_holes = 0;
    }

    mutable std::vector<Entry> m_entries;
    mutable Index m_index;
    mutable std::size_t m_holes = 0;
};

// The members of a collection that are of class T, in its walking order.
template <class T>
std::vector<T*> MembersOf(const BaseCollection& collection)
{
    std::vector<T*> members;
    for (POSITION position = collection.GetStartPosition(); position;) {
        if (T* const member = DynCast<T>(collection.GetNext(position)))
            members.push_back(member);
    }
    return members;
}

} // namespace Tavrel
