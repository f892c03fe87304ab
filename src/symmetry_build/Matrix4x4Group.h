// Matrix4x4Group: a space group's operations, with the inverse and product of image keys found in a table.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

// Operations are row-vector fractional transforms, operation 0 the identity; two operations that
// differ by a whole lattice translation are one operation, the lattice part being carried in the
// image key. The inverse and the product of every pair of operations are looked up once, when the
// operations are set, so that GetInverse and Multiply cost O(1) and give the lattice translation of
// the result exactly. Keys of an operation the group cannot resolve give the default key.
class Matrix4x4Group {
public:
    // What SetOperations' caller reports when the operations are refused as a group.
    static constexpr std::string_view notAGroupMessage =
        "The symmetry operations do not form a group with the identity first";

    // Copies the operations and builds the inverse and product tables. False when operation 0 is not
    // the identity, an operation has no inverse in the list or a product of two is not in it (each
    // comparison modulo the lattice), or there are more than maxOperations (then no table is built);
    // the operations are kept, and keys that need a missing inverse or product give the default key.
    bool SetOperations(const std::vector<Matrix4x4>& operations);
    void Clear();

    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_operations.size()); }
    bool IsValidIndex(std::int32_t i) const { return i >= 0 && i < GetCount(); }
    const std::vector<Matrix4x4>& GetOperations() const { return m_operations; }
    // The index of the operation equal to the inverse of operation i modulo the lattice; -1 when
    // there is none or i is not an index.
    std::int32_t GetInverseIndex(std::int32_t i) const;

    // The key of the inverse image of k.
    SymmetryImageKey GetInverse(const SymmetryImageKey& k) const;
    // The key of the image made by a followed by b. The default key for an operator index outside
    // the group, an operation without inverse or product, or a translation beyond the int range.
    SymmetryImageKey Multiply(const SymmetryImageKey& a, const SymmetryImageKey& b) const;

    // More operations than any setting of a space group has, far beyond what the product table
    // needs, are refused outright: the table grows with the square of the count.
    static constexpr std::int32_t maxOperations = 4096;

private:
    std::vector<Matrix4x4> m_operations;
    // Exact inverse of each operation; the null matrix where there is none.
    std::vector<Matrix4x4> m_inverses;
    IntArray m_inverseIndex;
    // Row-major n x n: the index of the operation equal to operations[i] x operations[j], or -1.
    IntArray m_products;
};

} // namespace Tavrel
