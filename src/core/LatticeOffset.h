// LatticeOffset: one lattice translation of a crystal cell, three signed 16-bit cell steps a, b, c.
#pragma once

#include <cstdint>

#include <tavrel/core/Point3d.h>

namespace Tavrel {

class Archive;

// Every setter keeps the low 16 bits of its int (two's-complement wrap, no range check); every getter
// widens with the sign. Index operations take 0 (a), 1 (b) or 2 (c) and do not check the range.
struct LatticeOffset {
    std::int16_t a = 0;
    std::int16_t b = 0;
    std::int16_t c = 0;

    constexpr LatticeOffset() = default;
    constexpr LatticeOffset(int pa, int pb, int pc) { Set(pa, pb, pc); }

    // Each coordinate truncated toward zero (2.7 gives 2, -2.7 gives -2), then to 16 bits; a
    // coordinate beyond the int range or not a number gives 0.
    constexpr LatticeOffset& operator=(const Point3d& p)
    {
        Set(Truncate(p.x), Truncate(p.y), Truncate(p.z));
        return *this;
    }

    constexpr void Set(int pa, int pb, int pc)
    {
        a = static_cast<std::int16_t>(pa);
        b = static_cast<std::int16_t>(pb);
        c = static_cast<std::int16_t>(pc);
    }
    constexpr void SetAt(int i, int v) { (i == 0 ? a : i == 1 ? b : c) = static_cast<std::int16_t>(v); }
    constexpr int GetAt(int i) const { return i == 0 ? a : i == 1 ? b : c; }
    constexpr void Get(int* pa, int* pb, int* pc) const
    {
        *pa = a;
        *pb = b;
        *pc = c;
    }

    constexpr LatticeOffset& operator+=(const LatticeOffset& o)
    {
        Set(a + o.a, b + o.b, c + o.c);
        return *this;
    }
    constexpr LatticeOffset& operator-=(const LatticeOffset& o)
    {
        Set(a - o.a, b - o.b, c - o.c);
        return *this;
    }
    friend constexpr LatticeOffset operator+(LatticeOffset l, const LatticeOffset& r) { return l += r; }
    friend constexpr LatticeOffset operator-(LatticeOffset l, const LatticeOffset& r) { return l -= r; }

    // Comparisons with one value hold when they hold for every component.
    constexpr bool IsHigher(int v) const { return a > v && b > v && c > v; }
    constexpr bool IsLower(int v) const { return a < v && b < v && c < v; }
    constexpr bool IsSame(int v) const { return a == v && b == v && c == v; }
    constexpr bool operator>(int v) const { return IsHigher(v); }
    constexpr bool operator<(int v) const { return IsLower(v); }
    constexpr bool operator==(int v) const { return IsSame(v); }

    constexpr bool IsSame(const LatticeOffset& o) const { return a == o.a && b == o.b && c == o.c; }
    // Each component is the negation of o's (wrapped to 16 bits).
    constexpr bool IsOpposite(const LatticeOffset& o) const
    {
        return a == static_cast<std::int16_t>(-o.a) && b == static_cast<std::int16_t>(-o.b) &&
               c == static_cast<std::int16_t>(-o.c);
    }
    constexpr void Negate() { Set(-a, -b, -c); }
    constexpr void Clear() { Set(0, 0, 0); }
    // Any component non-zero.
    constexpr bool IsPeriodic() const { return a != 0 || b != 0 || c != 0; }

    // a, b, c as 32-bit signed integers (12 bytes); loading keeps the low 16 bits of each.
    void Serialize(Archive& archive);

private:
    static constexpr int Truncate(float v) { return v > -2147483648.0f && v < 2147483648.0f ? static_cast<int>(v) : 0; }
};

} // namespace Tavrel
