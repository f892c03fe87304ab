// CosetList: the component images claimed by one parent item, gathered for the coset check.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

class CosetList {
public:
    struct Entry {
        std::int32_t component = -1;
        SymmetryImageKey key;
        std::int32_t atom = -1;
    };

    // -1 until the first entry is accepted.
    std::int32_t GetParent() const { return m_parent; }
    // Appends the entry when the list has no parent yet (it takes this one) or the parent is the
    // same; false, nothing added, for another parent.
    bool AddEntry(std::int32_t parent, const Entry& entry);
    std::int32_t GetEntryCount() const { return static_cast<std::int32_t>(m_entries.size()); }
    // An entry of component -1, the default key and atom -1 for an index outside the list.
    const Entry& GetEntry(std::int32_t index) const;

    void SetIndexList(const IntArray& indices) { m_indices = indices; }
    const IntArray& GetIndexList() const { return m_indices; }
    std::int32_t GetIndexCount() const { return static_cast<std::int32_t>(m_indices.size()); }

private:
    std::int32_t m_parent = -1;
    std::vector<Entry> m_entries;
    IntArray m_indices;
};

// "CosetList Parent = " and the parent, then one line per entry: its component, a blank, its key.
std::ostream& operator<<(std::ostream& os, const CosetList& list);

} // namespace Tavrel
