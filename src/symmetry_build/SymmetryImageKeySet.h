// SymmetryImageKeySet: the numbered set of the image keys met in one build, exported as an operation index list.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/FlatHashMap.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

// Key number i is the "_RMI" marker of the images made with it, and the set travels with a cell as
// its operation index list of (op, a, b, c) tuples, so that the numbering survives saving. Numbers
// are dense, in order of first appearance.
class SymmetryImageKeySet {
public:
    void Clear();
    // The key's number; a new key is appended with the next number.
    std::int32_t Add(const SymmetryImageKey& key)
    {
        if (!key.HasTranslation() && key.op >= 0 && static_cast<std::size_t>(key.op) < m_byOperator.size()) {
            if (const std::int32_t number = m_byOperator[static_cast<std::size_t>(key.op)]; number >= 0)
                return number;
        }
        return AddNew(key);
    }

    // Replaces the contents with the keys of the tuples in order. A size that is not a positive
    // multiple of 4 leaves the set empty. A repeated tuple keeps its first number for lookups but
    // stays in the key list, and so in the next export.
    void SetOperationIndexList(const IntArray& list);
    // The keys in number order as (op, a, b, c) tuples.
    void GetOperationIndexList(IntArray& list) const;

    const SymmetryImageKey::Array& GetKeys() const { return m_keys; }
    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_keys.size()); }

private:
    struct KeyHash {
        std::size_t operator()(const SymmetryImageKey& key) const;
    };
    // Marks the table's free slots; its own number, when met, is kept apart.
    static constexpr SymmetryImageKey FreeKey{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};

    // The key's number and whether it is new; a new key is numbered after the listed keys.
    std::pair<std::int32_t, bool> Enter(const SymmetryImageKey& key);
    // Add for a key not found in the operator table.
    std::int32_t AddNew(const SymmetryImageKey& key);

    // Keys without translation, the common case, are numbered in a table by operator (-1: not met);
    // only operators below this bound, so that a stray index cannot grow the table.
    static constexpr std::int32_t TabledOperators = 1024;

    std::vector<std::int32_t> m_byOperator;
    FlatHashMap<SymmetryImageKey, std::int32_t, KeyHash> m_lookup{FreeKey};
    std::int32_t m_freeKeyNumber = -1;
    SymmetryImageKey::Array m_keys;
};

} // namespace Tavrel
