// SymmetryImageKey: the name of one symmetry image, an operator index and a lattice translation in whole cells.
#pragma once

#include <compare>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include <tavrel/core/Point3d.h>

namespace Tavrel {

// The default key {-1, 0, 0, 0} names no image; the identity key {0, 0, 0, 0} names the
// asymmetric-unit object itself. Keys order by operator index, then a, b and c, each signed.
struct SymmetryImageKey {
    using Array = std::vector<SymmetryImageKey>;

    std::int32_t op = -1;  // index in the space group's operation list; -1 for no image
    std::int32_t a = 0;    // lattice translation along the cell axes
    std::int32_t b = 0;
    std::int32_t c = 0;

    constexpr SymmetryImageKey() = default;
    constexpr explicit SymmetryImageKey(std::int32_t pop) : op(pop) {}
    constexpr SymmetryImageKey(std::int32_t pop, std::int32_t pa, std::int32_t pb, std::int32_t pc)
        : op(pop), a(pa), b(pb), c(pc)
    {
    }

    static const SymmetryImageKey identity;

    // (a, b, c) as floats.
    Point3d GetTranslation() const { return Point3d(a, b, c); }
    // Any of a, b, c non-zero; the operator index is not looked at.
    constexpr bool HasTranslation() const { return a != 0 || b != 0 || c != 0; }
    constexpr bool IsIdentity() const { return op == 0 && !HasTranslation(); }

    friend constexpr bool operator==(const SymmetryImageKey&, const SymmetryImageKey&) = default;
    friend constexpr auto operator<=>(const SymmetryImageKey&, const SymmetryImageKey&) = default;
};

inline constexpr SymmetryImageKey SymmetryImageKey::identity{0, 0, 0, 0};

// "op[a,b,c]" without blanks: {3, 0, 1, -1} prints as 3[0,1,-1].
std::ostream& operator<<(std::ostream& os, const SymmetryImageKey& key);

} // namespace Tavrel
