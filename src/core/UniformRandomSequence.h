// UniformRandomSequence: a seedable, platform-independent sequence of uniform random doubles.
#pragma once

#include <cstdint>
#include <random>

namespace Tavrel {

// Draws doubles uniformly from [low, high). The generator is the 64-bit Mersenne twister and the
// mapping to doubles is done here, so a seed gives the same values on every platform.
class UniformRandomSequence {
public:
    // Seeded from the calling thread's default sequence (repeatable once that one is seeded).
    explicit UniformRandomSequence(double low = 0.0, double high = 1.0);
    UniformRandomSequence(double low, double high, std::uint64_t seed);

    void Seed(std::uint64_t seed) { m_engine.seed(seed); }

    double GetLow() const { return m_low; }
    double GetHigh() const { return m_high; }

    double Next();
    double operator()() { return Next(); }

    // The calling thread's default sequence over [0, 1), started with a fixed seed. Code that
    // needs randomness without holding a sequence draws from it; tests reseed it for repeatability.
    static UniformRandomSequence& Default();

    static constexpr std::uint64_t defaultSeed = 5489u;

private:
    struct FixedSeed {};
    explicit UniformRandomSequence(FixedSeed);

    std::mt19937_64 m_engine;
    double m_low;
    double m_high;
};

} // namespace Tavrel
