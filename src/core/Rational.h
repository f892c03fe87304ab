// Rational: a numerator and denominator kept as given (formal charges such as 1/2 or 0/0).
#pragma once

#include <cstdint>

namespace Tavrel {

// Values are not reduced: Rational(2, 4) keeps 2 and 4, so what is stored reads back unchanged.
// Equality compares values (2/4 == 1/2); a zero denominator makes a value only equal to the very
// same numerator and denominator.
class Rational {
public:
    constexpr Rational() = default;
    constexpr Rational(std::int32_t numerator, std::int32_t denominator = 1)
        : m_numerator(numerator), m_denominator(denominator)
    {
    }

    constexpr std::int32_t GetNumerator() const { return m_numerator; }
    constexpr std::int32_t GetDenominator() const { return m_denominator; }

    // The quotient; 0.0 when the denominator is 0.
    constexpr double ToDouble() const
    {
        return m_denominator == 0 ? 0.0 : static_cast<double>(m_numerator) / m_denominator;
    }
    constexpr explicit operator double() const { return ToDouble(); }

    friend constexpr bool operator==(const Rational& a, const Rational& b)
    {
        if (a.m_denominator == 0 || b.m_denominator == 0)
            return a.m_numerator == b.m_numerator && a.m_denominator == b.m_denominator;
        return std::int64_t{a.m_numerator} * b.m_denominator == std::int64_t{b.m_numerator} * a.m_denominator;
    }

private:
    std::int32_t m_numerator = 0;
    std::int32_t m_denominator = 1;
};

} // namespace Tavrel
