#include <tavrel/core/Color.h>

#include <cmath>

#include <tavrel/core/StringUtils.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

int FromFraction(double fraction)
{
    if (!(fraction > 0.0))
        return 0;
    return fraction >= 1.0 ? 255 : static_cast<int>(fraction * 255.0);
}

} // namespace

void Color::SetRGBFloat(double red, double green, double blue, double alpha)
{
    SetRGB(FromFraction(red), FromFraction(green), FromFraction(blue), FromFraction(alpha));
}

std::string Color::GetRGBString() const
{
    if (GetAlpha() == 0)
        return StringUtils::Format("%d %d %d", GetRed(), GetGreen(), GetBlue());
    return StringUtils::Format("%d %d %d %d", GetRed(), GetGreen(), GetBlue(), GetAlpha());
}

bool Color::SetRGB(std::string_view text)
{
    int components[4] = {0, 0, 0, 0};
    int count = 0;
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size() && StringUtils::IsSpace(text[pos]))
            ++pos;
        if (pos == text.size())
            break;
        if (count == 4)
            return false;
        if (count > 0 && text[pos] == ',') {
            ++pos;
            while (pos < text.size() && StringUtils::IsSpace(text[pos]))
                ++pos;
        }
        // Unsigned decimal digits only: no sign, no fraction.
        if (pos == text.size() || !StringUtils::IsDigit(text[pos]))
            return false;
        std::int32_t value = 0;
        const std::size_t used = StringUtils::ReadInteger(text.substr(pos), value);
        if (used == 0 || value > 255)
            return false;
        pos += used;
        if (pos < text.size() && !StringUtils::IsSpace(text[pos]) && text[pos] != ',')
            return false;
        components[count++] = value;
    }
    if (count < 3)
        return false;
    SetRGB(components[0], components[1], components[2], components[3]);
    return true;
}

Archive& operator<<(Archive& ar, const Color& color) { return ar << color.GetValue(); }

Archive& operator>>(Archive& ar, Color& color)
{
    std::uint32_t value = 0;
    ar >> value;
    color.SetValue(value);
    return ar;
}

} // namespace Tavrel
