// AnisotropicDisplacement: the six components of an atom's displacement tensor and their uncertainties.
#pragma once

namespace Tavrel {

class Archive;

// U11, U22, U33, U12, U13, U23 (Å²) and the standard uncertainty of each, as read from a crystal
// structure. All zero when default-constructed.
class AnisotropicDisplacement {
public:
    constexpr AnisotropicDisplacement() = default;
    // The twelve values in the order U11, U22, U33, U12, U13, U23, then their six uncertainties.
    constexpr AnisotropicDisplacement(float u11, float u22, float u33, float u12, float u13, float u23,
                                      float sigu11, float sigu22, float sigu33, float sigu12, float sigu13,
                                      float sigu23)
        : m_values{u11, u22, u33, u12, u13, u23, sigu11, sigu22, sigu33, sigu12, sigu13, sigu23}
    {
    }

    constexpr float GetU11() const { return m_values[0]; }
    constexpr float GetU22() const { return m_values[1]; }
    constexpr float GetU33() const { return m_values[2]; }
    constexpr float GetU12() const { return m_values[3]; }
    constexpr float GetU13() const { return m_values[4]; }
    constexpr float GetU23() const { return m_values[5]; }
    constexpr float GetSigu11() const { return m_values[6]; }
    constexpr float GetSigu22() const { return m_values[7]; }
    constexpr float GetSigu33() const { return m_values[8]; }
    constexpr float GetSigu12() const { return m_values[9]; }
    constexpr float GetSigu13() const { return m_values[10]; }
    constexpr float GetSigu23() const { return m_values[11]; }

    friend constexpr bool operator==(const AnisotropicDisplacement&, const AnisotropicDisplacement&) = default;

    // Twelve little-endian floats in constructor order.
    void Serialize(Archive& ar);
    friend Archive& operator<<(Archive& ar, const AnisotropicDisplacement& d);
    friend Archive& operator>>(Archive& ar, AnisotropicDisplacement& d);

private:
    float m_values[12] = {};
};

} // namespace Tavrel
