// StringUtils: C-locale number reading and printf-style formatting, ASCII case folding and trimming.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include <tavrel/core/Point3d.h>

namespace Tavrel::StringUtils {

// White space of the C locale: blank, \t, \n, \v, \f, \r.
constexpr bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char ToUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Readers of numbers, as stream extraction reads them in the C locale: leading white space is
// skipped, then the longest prefix that forms a number is read and the text after it is left.
// The low-level readers return the number of characters consumed (white space included), or 0 when
// no number could be read, in which case value is left unchanged.
// Integers: optional sign and decimal digits; a value outside the 32-bit range is not read.
std::size_t ReadInteger(std::string_view text, std::int32_t& value);
// Reals: optional sign, digits with an optional decimal point (at least one digit), optional
// exponent. No hexadecimal, infinity or NaN forms; a value that overflows a double is not read.
std::size_t ReadReal(std::string_view text, double& value);

// The readers of the setters: true when a number of the type begins the text (after white space),
// whatever follows it (" 12abc" gives 12, "1.5.5" gives 1.5, "1e39" gives the integer 1). On
// failure (no number, or one the type cannot hold) the output is left unchanged.
bool StringToInteger(std::string_view text, std::int32_t& value);
// A finite real; every zero, "-0" too, reads as +0.
bool StringToReal(std::string_view text, double& value);
// As the double form; a value outside the float range fails.
bool StringToReal(std::string_view text, float& value);
// After white space, "true" or "false" in any letter case, not running on into a letter or digit
// ("true, x" is true, "trueish" fails), or an integer read as StringToInteger that is 1 or 0 ("1abc"
// is true, "10" fails).
bool StringToBoolean(std::string_view text, bool& value);
// As many reals as values holds, each read as StringToReal reads one where the last ended, as a
// stream extracts them in turn ("1 2", "1-2" and "1.5.5" hold two, "1,2" one); whatever follows the
// last is ignored.
bool StringToReals(std::string_view text, std::span<double> values);
// Three reals, as StringToReals, each within the float range, narrowed to floats.
bool StringToPoint(std::string_view text, Point3d& point);

// ASCII case folding; bytes outside A-Z / a-z are kept.
std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
// Byte-wise comparison after ASCII lower-casing: negative, zero or positive.
int CompareNoCase(std::string_view a, std::string_view b);
// Texts in the same spelling are told apart without folding case.
inline bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && (a == b || CompareNoCase(a, b) == 0);
}

// The text without leading and trailing C-locale white space.
std::string Trim(std::string_view text);

// Appends the decimal digits of value, as "%d" writes them.
void AppendInteger(std::string& text, std::int32_t value);

// One argument of Format.
class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Real, Text };

    template <class T>
        requires std::is_integral_v<T>
    FormatArg(T value)
    {
        if constexpr (std::is_signed_v<T> || std::is_same_v<T, bool>) {
            m_kind = Kind::Signed;
            m_signed = static_cast<long long>(value);
        } else {
            m_kind = Kind::Unsigned;
            m_unsigned = static_cast<unsigned long long>(value);
        }
    }
    template <class T>
        requires std::is_floating_point_v<T>
    FormatArg(T value) : m_kind(Kind::Real), m_real(static_cast<double>(value))
    {
    }
    FormatArg(std::string_view text) : m_kind(Kind::Text), m_text(text) {}
    FormatArg(const std::string& text) : m_kind(Kind::Text), m_text(text) {}
    // A null pointer formats as the empty text.
    FormatArg(const char* text) : m_kind(Kind::Text), m_text(text ? text : "") {}

    Kind GetKind() const { return m_kind; }
    long long GetSigned() const { return m_signed; }
    unsigned long long GetUnsigned() const { return m_unsigned; }
    double GetReal() const { return m_real; }
    std::string_view GetText() const { return m_text; }

private:
    Kind m_kind = Kind::Signed;
    long long m_signed = 0;
    unsigned long long m_unsigned = 0;
    double m_real = 0.0;
    std::string_view m_text;
};

// printf-style formatting, always in the C locale. Supported: flags - + blank 0 #, width and precision
// as numbers or *, length modifiers (accepted and ignored) and the conversions d i u o x X c s f F e
// E g G %. Integer conversions take integer arguments, f e g real or integer ones, s text, c an
// integer. A missing argument, a mismatched one or an unknown conversion throws
// std::invalid_argument; extra arguments are ignored. Precision is capped at 500.
std::string FormatArgs(std::string_view format, std::initializer_list<FormatArg> args);

template <class... Args>
std::string Format(std::string_view format, const Args&... args)
{
    return FormatArgs(format, {FormatArg(args)...});
}

} // namespace Tavrel::StringUtils
