// FlatHashMap: an open-addressing hash map of small plain keys and values, one array and no node per entry.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace Tavrel {

// For lookups by the million: linear probing over a power-of-two table kept at most three quarters
// full. Erase moves the later entries of the probe run back, so no tombstone is left; Clear empties
// the table and keeps its room. One key value, given
// to the constructor, marks a free slot and is never stored. Hash gives a well-mixed word for a key.
template <class Key, class Value, class Hash>
class FlatHashMap {
    static_assert(std::is_trivially_copyable_v<Key> && std::is_trivially_copyable_v<Value>,
                  "FlatHashMap holds plain keys and values");

public:
    explicit FlatHashMap(const Key& freeKey) : m_freeKey(freeKey) {}

    std::size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }

    // Room for count entries without growing.
    void Reserve(std::size_t count)
    {
        if (count * 4 > Capacity() * 3)
            Rehash(std::bit_ceil(count * 4 / 3 + 1));
    }

    // The value stored under key, or null.
    const Value* Find(const Key& key) const
    {
        if (m_size == 0)
            return nullptr;
        for (std::size_t slot = Hash{}(key) & Mask();; slot = (slot + 1) & Mask()) {
            const Slot& at = m_slots[slot];
            if (at.key == m_freeKey)
                return nullptr;
            if (at.key == key)
                return &at.value;
        }
    }

    Value* Find(const Key& key)
    {
        return const_cast<Value*>(std::as_const(*this).Find(key));
    }

    // Starts loading the slot where a lookup of the key begins, so that lookups of several keys
    // wait for memory together.
    void Prefetch(const Key& key) const
    {
        if (!m_slots.empty())
            __builtin_prefetch(&m_slots[Hash{}(key) & Mask()]);
    }

    // Stores the value under key when the key is absent; the stored value and whether it is new. The
    // free key is refused (null, false).
    std::pair<Value*, bool> Insert(const Key& key, const Value& value)
    {
        if (key == m_freeKey)
            return {nullptr, false};
        if ((m_size + 1) * 4 > Capacity() * 3)
            Rehash(Capacity() == 0 ? 16 : Capacity() * 2);
        for (std::size_t slot = Hash{}(key) & Mask();; slot = (slot + 1) & Mask()) {
            Slot& at = m_slots[slot];
            if (at.key == key)
                return {&at.value, false};
            if (at.key == m_freeKey) {
                at.key = key;
                at.value = value;
                ++m_size;
                return {&at.value, true};
            }
        }
    }

    // Whether the key was stored.
    bool Erase(const Key& key)
    {
        if (m_size == 0 || key == m_freeKey)
            return false;
        std::size_t hole = Hash{}(key) & Mask();
        while (!(m_slots[hole].key == key)) {
            if (m_slots[hole].key == m_freeKey)
                return false;
            hole = (hole + 1) & Mask();
        }
        // Each later entry of the run whose home lies cyclically outside (hole, slot] moves into the hole.
        for (std::size_t slot = (hole + 1) & Mask(); !(m_slots[slot].key == m_freeKey); slot = (slot + 1) & Mask()) {
            const std::size_t home = Hash{}(m_slots[slot].key) & Mask();
            if (((slot - home) & Mask()) >= ((slot - hole) & Mask())) {
                m_slots[hole] = m_slots[slot];
                hole = slot;
            }
        }
        m_slots[hole].key = m_freeKey;
        --m_size;
        return true;
    }

    void Clear()
    {
        for (Slot& slot : m_slots)
            slot.key = m_freeKey;
        m_size = 0;
    }

    // Bytes held, for cost figures.
    std::size_t HeapBytes() const { return m_slots.capacity() * sizeof(Slot); }

private:
    struct Slot {
        Key key;
        Value value;
    };

    std::size_t Capacity() const { return m_slots.size(); }
    std::size_t Mask() const { return m_slots.size() - 1; }

    void Rehash(std::size_t capacity)
    {
        std::vector<Slot> old(capacity, Slot{m_freeKey, Value{}});
        old.swap(m_slots);
        m_size = 0;
        for (const Slot& slot : old) {
            if (!(slot.key == m_freeKey))
                Insert(slot.key, slot.value);
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
    Key m_freeKey;
};

// Mixes a 64-bit word so that every input bit reaches every output bit (the splitmix64 finaliser).
constexpr std::uint64_t MixBits(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

// Hash for integer keys (identifiers, packed cell keys); signed keys hash by their 64-bit two's complement.
struct IntegerHash {
    std::size_t operator()(std::uint64_t key) const noexcept { return static_cast<std::size_t>(MixBits(key)); }
};

// Hash for pointer keys.
struct PointerHash {
    std::size_t operator()(const void* pointer) const
    {
        return static_cast<std::size_t>(MixBits(reinterpret_cast<std::uintptr_t>(pointer)));
    }
};

} // namespace Tavrel
