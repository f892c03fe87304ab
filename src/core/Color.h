// Color: an RGBA colour packed in one 32-bit value (R in the low byte, A in the high byte).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Tavrel {

class Archive;

class Color {
public:
    // Packed value 0: black with alpha 0.
    constexpr Color() = default;
    explicit constexpr Color(std::uint32_t value) : m_value(value) {}
    // Components are clamped to 0..255.
    constexpr Color(int red, int green, int blue, int alpha = 0) { SetRGB(red, green, blue, alpha); }

    // Named colours; alpha is 0 in all of them.
    static constexpr Color White() { return Color(255, 255, 255); }
    static constexpr Color Black() { return Color(0, 0, 0); }
    static constexpr Color Red() { return Color(255, 0, 0); }
    static constexpr Color Green() { return Color(0, 255, 0); }
    static constexpr Color Blue() { return Color(0, 0, 255); }
    static constexpr Color Yellow() { return Color(255, 255, 0); }
    static constexpr Color Cyan() { return Color(0, 255, 255); }
    static constexpr Color Magenta() { return Color(255, 0, 255); }
    static constexpr Color Grey() { return Color(128, 128, 128); }
    // The highlight of selected objects: a warm yellow, distinct from every other named colour.
    static constexpr Color Selected() { return Color(255, 230, 0); }

    constexpr std::uint32_t GetValue() const { return m_value; }
    constexpr void SetValue(std::uint32_t value) { m_value = value; }

    constexpr std::uint8_t GetRed() const { return Byte(0); }
    constexpr std::uint8_t GetGreen() const { return Byte(8); }
    constexpr std::uint8_t GetBlue() const { return Byte(16); }
    constexpr std::uint8_t GetAlpha() const { return Byte(24); }

    // Components as fractions of 255 (0.0 to 1.0).
    constexpr float GetRedFloat() const { return GetRed() / 255.0f; }
    constexpr float GetGreenFloat() const { return GetGreen() / 255.0f; }
    constexpr float GetBlueFloat() const { return GetBlue() / 255.0f; }
    constexpr float GetAlphaFloat() const { return GetAlpha() / 255.0f; }

    // Components are clamped to 0..255.
    constexpr void SetRGB(int red, int green, int blue, int alpha = 0)
    {
        m_value = Pack(red) | Pack(green) << 8 | Pack(blue) << 16 | Pack(alpha) << 24;
    }
    // Fractions are clamped to 0..1 and scaled by 255, truncated (0.5 gives 127); NaN gives 0.
    void SetRGBFloat(double red, double green, double blue, double alpha = 0.0);
    constexpr void SetAlpha(int alpha) { m_value = (m_value & 0x00FFFFFFu) | Pack(alpha) << 24; }

    // The text form: red, green and blue as decimal integers separated by single blanks
    // ("255 128 0"), followed by the alpha when it is not 0 ("255 128 0 127").
    std::string GetRGBString() const;
    // Reads the text form: three or four integers from 0 to 255 separated by blanks, tabs or
    // commas, optional white space around; three numbers set alpha 0. Any other text returns false
    // and leaves the colour unchanged.
    bool SetRGB(std::string_view text);

    friend constexpr bool operator==(const Color&, const Color&) = default;

private:
    constexpr std::uint8_t Byte(int shift) const { return static_cast<std::uint8_t>(m_value >> shift & 0xFFu); }
    static constexpr std::uint32_t Pack(int component)
    {
        return static_cast<std::uint32_t>(component < 0 ? 0 : component > 255 ? 255 : component);
    }

    std::uint32_t m_value = 0;
};

// One little-endian 32-bit packed value.
Archive& operator<<(Archive& ar, const Color& color);
Archive& operator>>(Archive& ar, Color& color);

} // namespace Tavrel
