#include <tavrel/core/UniformRandomSequence.h>

#include <cmath>

namespace Tavrel {

UniformRandomSequence::UniformRandomSequence(FixedSeed) : m_engine(defaultSeed), m_low(0.0), m_high(1.0)
{
}

UniformRandomSequence::UniformRandomSequence(double low, double high)
    : m_engine(Default().m_engine()), m_low(low), m_high(high)
{
}

UniformRandomSequence::UniformRandomSequence(double low, double high, std::uint64_t seed)
    : m_engine(seed), m_low(low), m_high(high)
{
}

double UniformRandomSequence::Next()
{
    // The top 53 bits give a double in [0, 1) exactly.
    const double unit = static_cast<double>(m_engine() >> 11) * 0x1.0p-53;
    const double value = m_low + unit * (m_high - m_low);
    // Rounding can reach high when the range is wide; keep the interval half-open.
    return value < m_high || m_high <= m_low ? value : std::nextafter(m_high, m_low);
}

UniformRandomSequence& UniformRandomSequence::Default()
{
    thread_local UniformRandomSequence sequence{FixedSeed{}};
    return sequence;
}

} // namespace Tavrel
