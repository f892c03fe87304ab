// Printers: the PrintTo overloads GoogleTest finds by argument-dependent lookup, so a failed comparison
// of a core value type shows its value instead of its bytes. Every test source sees them (the test
// targets include this header first), so all translation units print a type the same way.
#pragma once

#include <charconv>
#include <ostream>
#include <string_view>

#include <tavrel/core/AnisotropicDisplacement.h>
#include <tavrel/core/Color.h>
#include <tavrel/core/Font.h>
#include <tavrel/core/GraphicsAttributes.h>
#include <tavrel/core/LatticeOffset.h>
#include <tavrel/core/LightSource.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point2d.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/core/Rational.h>
#include <tavrel/core/UniqueString.h>

namespace Tavrel {

namespace printers {

// The shortest text that reads back as the same value.
template <class Real>
void Number(std::ostream& os, Real value)
{
    char text[32];
    const char* const end = std::to_chars(text, text + sizeof text, value).ptr;
    os << std::string_view(text, static_cast<std::size_t>(end - text));
}

template <class... Real>
void Tuple(std::ostream& os, Real... values)
{
    const char* separator = "";
    os << '(';
    ((os << separator, Number(os, values), separator = ", "), ...);
    os << ')';
}

template <class Matrix>
void Rows(std::ostream& os, const Matrix& m, int size)
{
    os << '[';
    for (int row = 0; row < size; ++row) {
        os << (row ? "; " : "");
        for (int column = 0; column < size; ++column) {
            os << (column ? " " : "");
            Number(os, m(row, column));
        }
    }
    os << ']';
}

} // namespace printers

inline void PrintTo(const Point2d& p, std::ostream* os)
{
    printers::Tuple(*os, p.x, p.y);
}

inline void PrintTo(const Point3d& p, std::ostream* os)
{
    printers::Tuple(*os, p.x, p.y, p.z);
}

inline void PrintTo(const LatticeOffset& o, std::ostream* os)
{
    *os << '(' << o.a << ", " << o.b << ", " << o.c << ')';
}

inline void PrintTo(const Matrix3x3& m, std::ostream* os)
{
    printers::Rows(*os, m, 3);
}

inline void PrintTo(const Matrix4x4& m, std::ostream* os)
{
    printers::Rows(*os, m, 4);
}

// Red, green, blue, alpha.
inline void PrintTo(const Color& color, std::ostream* os)
{
    *os << "rgba(" << int{color.GetRed()} << ", " << int{color.GetGreen()} << ", " << int{color.GetBlue()} << ", "
        << int{color.GetAlpha()} << ')';
}

inline void PrintTo(const Rational& r, std::ostream* os)
{
    *os << r.GetNumerator() << '/' << r.GetDenominator();
}

inline void PrintTo(const UniqueString& s, std::ostream* os)
{
    *os << '"' << s.GetString() << '"';
}

inline void PrintTo(const Font& font, std::ostream* os)
{
    *os << '"' << font.GetFaceName() << "\" " << font.GetPointSize() << "pt" << (font.IsBold() ? " bold" : "")
        << (font.IsItalic() ? " italic" : "");
}

inline void PrintTo(const LightSource& light, std::ostream* os)
{
    *os << (light.IsEnabled() ? "on " : "off ");
    PrintTo(light.GetColor(), os);
    *os << " along ";
    PrintTo(light.GetDirection(), os);
}

// U11, U22, U33, U12, U13, U23, then their standard uncertainties.
inline void PrintTo(const AnisotropicDisplacement& d, std::ostream* os)
{
    *os << 'U';
    printers::Tuple(*os, d.GetU11(), d.GetU22(), d.GetU33(), d.GetU12(), d.GetU13(), d.GetU23());
    *os << " sigma";
    printers::Tuple(*os, d.GetSigu11(), d.GetSigu22(), d.GetSigu33(), d.GetSigu12(), d.GetSigu13(), d.GetSigu23());
}

// The attributes keep their real numbers as floats.
inline void PrintTo(const GraphicsAttributes& g, std::ostream* os)
{
    const auto single = [](double value) { return static_cast<float>(value); };
    *os << "{background ";
    PrintTo(g.GetBackgroundColor(), os);
    *os << ", fast render " << g.GetFastRenderOnMove() << ", depth cue " << g.GetDepthCue() << ", stereo "
        << g.GetUseStereo() << ", font scale ";
    printers::Number(*os, single(g.GetFontScale()));
    *os << ", line width ";
    printers::Number(*os, single(g.GetLineWidth()));
    *os << ", model ";
    PrintTo(g.GetModelMatrix(), os);
    *os << ", projection " << g.GetProjectionMode() << ", quality " << g.GetGraphicsQuality() << ", perspective ";
    printers::Number(*os, single(g.GetPerspectiveAngle()));
    *os << ", stereo angle, separation, skew ";
    printers::Tuple(*os, single(g.GetStereoAngle()), single(g.GetStereoSeparationFactor()),
                    single(g.GetStereoSkewFactor()));
    *os << ", view size ";
    printers::Number(*os, single(g.GetViewSize()));
    *os << ", far and near clipping ";
    printers::Tuple(*os, g.GetZFarAdj(), g.GetZNearAdj());
    for (int i = 0; i < GraphicsAttributes::numberOfLights; ++i) {
        *os << ", light " << i << ' ';
        PrintTo(g.GetLight(i), os);
    }
    *os << '}';
}

} // namespace Tavrel
