// LatticeOffset: one lattice translation of a crystal cell, three signed 16-bit cell steps a, b, c.
#pragma once

#include <cstdint>

namespace Tavrel {

struct LatticeOffset {
    std::int16_t a = 0;
    std::int16_t b = 0;
    std::int16_t c = 0;

    constexpr LatticeOffset() = default;
    // Each value keeps its low 16 bits (two's-complement wrap).
    constexpr LatticeOffset(int pa, int pb, int pc) { Set(pa, pb, pc); }

    constexpr void Set(int pa, int pb, int pc)
    {
        a = static_cast<std::int16_t>(pa);
        b = static_cast<std::int16_t>(pb);
        c = static_cast<std::int16_t>(pc);
    }
    // Component 0, 1 or 2, sign-extended.
    constexpr int GetAt(int i) const { return i == 0 ? a : i == 1 ? b : c; }
    constexpr bool IsSame(const LatticeOffset& o) const { return a == o.a && b == o.b && c == o.c; }
    // Any component non-zero.
    constexpr bool IsPeriodic() const { return a != 0 || b != 0 || c != 0; }
};

} // namespace Tavrel
