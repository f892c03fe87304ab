// BuildResults: the images a build method chose for each asymmetric-unit atom, handed to the symmetry map to show.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

class BuildResults {
public:
    // n atoms of OID 0 without keys; both flags off. n below 0 counts as 0.
    explicit BuildResults(std::int32_t n);

    std::int32_t GetAtomCount() const { return static_cast<std::int32_t>(m_oids.size()); }
    // Ignored unless 0 <= i < n.
    void SetAtom(std::int32_t i, std::int32_t oid, const SymmetryImageKey::Array& keys);
    // Ignored unless keys holds n lists.
    void SetAll(const IntArray& oids, const std::vector<SymmetryImageKey::Array>& keys);
    void GetAll(IntArray& oids, std::vector<SymmetryImageKey::Array>& keys) const;
    const IntArray& GetOIDs() const { return m_oids; }
    const std::vector<SymmetryImageKey::Array>& GetKeys() const { return m_keys; }

    // Bonds by distance between the images shown.
    void SetComputeBonds(bool compute) { m_computeBonds = compute; }
    bool GetComputeBonds() const { return m_computeBonds; }
    // Each image is shown with the rest of its residue.
    void SetConnectivity(bool connectivity) { m_connectivity = connectivity; }
    bool GetConnectivity() const { return m_connectivity; }

private:
    IntArray m_oids;
    std::vector<SymmetryImageKey::Array> m_keys;
    bool m_computeBonds = false;
    bool m_connectivity = false;
};

} // namespace Tavrel
