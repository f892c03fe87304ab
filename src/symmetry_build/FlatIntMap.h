// FlatIntMap: a hash map from integer keys to small values in one flat array, with no allocation per entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace Tavrel {

// Open addressing with linear probing, at most half full, so a lookup is O(1) on average at any
// size. emptyKey marks a free slot and cannot be stored. Iteration follows the slots, not the order
// of insertion.
template <class Key, class Value, Key emptyKey>
class FlatIntMap {
public:
    std::size_t GetCount() const { return m_count; }

    Value* Find(Key key) { return const_cast<Value*>(std::as_const(*this).Find(key)); }
    const Value* Find(Key key) const
    {
        if (m_slots.empty() || key == emptyKey)
            return nullptr;
        for (std::size_t i = Home(key);; i = Next(i)) {
            const Slot& slot = m_slots[i];
            if (slot.key == key)
                return &slot.value;
            if (slot.key == emptyKey)
                return nullptr;
        }
    }

    // Starts loading the slot where a lookup of the key begins, so that lookups of several keys
    // wait for memory together.
    void Prefetch(Key key) const
    {
        if (!m_slots.empty())
            __builtin_prefetch(&m_slots[Home(key)]);
    }

    // The key's value, value-initialised when the key is new. key must not be emptyKey.
    Value& operator[](Key key)
    {
        if ((m_count + 1) * 2 > m_slots.size())
            Rehash(m_slots.empty() ? 16 : m_slots.size() * 2);
        std::size_t i = Home(key);
        while (m_slots[i].key != key && m_slots[i].key != emptyKey)
            i = Next(i);
        if (m_slots[i].key == emptyKey) {
            m_slots[i].key = key;
            m_slots[i].value = Value{};
            ++m_count;
        }
        return m_slots[i].value;
    }

    // False when the key is absent.
    bool Erase(Key key)
    {
        if (m_slots.empty() || key == emptyKey)
            return false;
        std::size_t hole = Home(key);
        while (m_slots[hole].key != key) {
            if (m_slots[hole].key == emptyKey)
                return false;
            hole = Next(hole);
        }
        // Moves back every later entry of the run that may not sit beyond the hole.
        for (std::size_t i = Next(hole); m_slots[i].key != emptyKey; i = Next(i)) {
            const std::size_t home = Home(m_slots[i].key);
            const bool homeAfterHole = hole <= i ? home > hole && home <= i : home > hole || home <= i;
            if (!homeAfterHole) {
                m_slots[hole] = std::move(m_slots[i]);
                hole = i;
            }
        }
        m_slots[hole].key = emptyKey;
        --m_count;
        return true;
    }

    // Room for count entries without growing.
    void Reserve(std::size_t count)
    {
        std::size_t size = m_slots.empty() ? 16 : m_slots.size();
        while (count * 2 > size)
            size *= 2;
        if (size > m_slots.size())
            Rehash(size);
    }

    void Clear()
    {
        m_slots.clear();
        m_count = 0;
    }

    void Swap(FlatIntMap& other) noexcept
    {
        m_slots.swap(other.m_slots);
        std::swap(m_count, other.m_count);
        std::swap(m_shift, other.m_shift);
    }

    // visit(key, value) for every entry.
    template <class Visit>
    void ForEach(Visit&& visit)
    {
        for (Slot& slot : m_slots)
            if (slot.key != emptyKey)
                visit(slot.key, slot.value);
    }

private:
    struct Slot {
        Key key = emptyKey;
        Value value{};
    };

    // Keys that differ only in their two lowest bits start in neighbouring slots, so that lookups of
    // consecutive keys share cache lines; the groups of four are spread by the hash.
    std::size_t Home(Key key) const
    {
        const auto k = static_cast<std::uint64_t>(key);
        const auto group = static_cast<std::size_t>(((k >> 2) * 0x9E3779B97F4A7C15ull) >> (m_shift + 2));
        return (group << 2 | (k & 3)) & (m_slots.size() - 1);
    }
    std::size_t Next(std::size_t i) const { return (i + 1) & (m_slots.size() - 1); }

    // size: a power of two above twice the count.
    void Rehash(std::size_t size)
    {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.resize(size);
        m_shift = 64;
        for (std::size_t s = size; s > 1; s >>= 1)
            --m_shift;
        m_count = 0;
        for (Slot& slot : old)
            if (slot.key != emptyKey)
                (*this)[slot.key] = std::move(slot.value);
    }

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
    unsigned m_shift = 64;
};

} // namespace Tavrel
