#include <tavrel/core/ColorMap.h>

#include <algorithm>
#include <cmath>

namespace Tavrel {

namespace {

int Blend(int a, int b, double t) { return static_cast<int>(std::lround(a + (b - a) * t)); }

Color Blend(const Color& a, const Color& b, double t)
{
    return Color(Blend(a.GetRed(), b.GetRed(), t), Blend(a.GetGreen(), b.GetGreen(), t),
                 Blend(a.GetBlue(), b.GetBlue(), t), Blend(a.GetAlpha(), b.GetAlpha(), t));
}

} // namespace

ColorMap::ColorMap(int entries) : m_entries(static_cast<std::size_t>(std::max(entries, 1))) {}

Color ColorMap::GetEntry(int index) const
{
    if (index < 0 || index >= GetSize())
        return Color();
    return m_entries[static_cast<std::size_t>(index)];
}

void ColorMap::SetEntry(int index, const Color& color)
{
    if (index >= 0 && index < GetSize())
        m_entries[static_cast<std::size_t>(index)] = color;
}

void ColorMap::SetBeginEnd(double begin, double end)
{
    m_begin = begin;
    m_end = end;
}

void ColorMap::Ramp(const Color& first, const Color& middle, const Color& last, bool interpolate)
{
    m_interpolate = interpolate;
    const std::size_t n = m_entries.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double s = n == 1 ? 0.5 : static_cast<double>(i) / static_cast<double>(n - 1);
        m_entries[i] = s <= 0.5 ? Blend(first, middle, s * 2.0) : Blend(middle, last, (s - 0.5) * 2.0);
    }
}

Color ColorMap::ColorAtValue(double value) const
{
    // Halved operands keep the width finite for any finite range.
    const double width = m_end / 2.0 - m_begin / 2.0;
    if (std::isnan(value) || width == 0.0 || !std::isfinite(width) || m_entries.size() == 1)
        return m_entries.front();
    const double t = std::clamp((value / 2.0 - m_begin / 2.0) / width, 0.0, 1.0);
    const double position = t * static_cast<double>(m_entries.size() - 1);
    if (!m_interpolate)
        return m_entries[static_cast<std::size_t>(std::lround(position))];
    const auto lower = static_cast<std::size_t>(std::floor(position));
    if (lower + 1 >= m_entries.size())
        return m_entries.back();
    return Blend(m_entries[lower], m_entries[lower + 1], position - static_cast<double>(lower));
}

} // namespace Tavrel
