#include <tavrel/core/StringUtils.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace Tavrel::StringUtils {

namespace {

std::size_t SkipSpace(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    return pos;
}

std::size_t SkipDigits(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && IsDigit(text[pos]))
        ++pos;
    return pos;
}

// Whether a well-formed real that is out of the double range lies below it (underflow) rather than
// above it: its decimal exponent, as written, is negative.
bool IsTiny(std::string_view number)
{
    std::size_t pos = number.front() == '-' ? 1 : 0;
    long long decimalExponent = -1;
    bool seenNonZero = false;
    for (; pos < number.size() && IsDigit(number[pos]); ++pos) {
        seenNonZero = seenNonZero || number[pos] != '0';
        if (seenNonZero)
            ++decimalExponent;
    }
    if (pos < number.size() && number[pos] == '.') {
        for (++pos; pos < number.size() && number[pos] == '0' && !seenNonZero; ++pos)
            --decimalExponent;
        pos = SkipDigits(number, pos);
    }
    if (pos < number.size()) {
        // An exponent: clamp its digits, they only need to dominate the mantissa's span.
        ++pos;
        const bool negative = number[pos] == '-';
        if (number[pos] == '-' || number[pos] == '+')
            ++pos;
        long long exponent = 0;
        for (; pos < number.size(); ++pos)
            exponent = std::min(exponent * 10 + (number[pos] - '0'), 1000000000ll);
        decimalExponent += negative ? -exponent : exponent;
    }
    return decimalExponent < 0;
}

} // namespace

std::size_t ReadInteger(std::string_view text, std::int32_t& value)
{
    std::size_t pos = SkipSpace(text, 0);
    const bool negative = pos < text.size() && text[pos] == '-';
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        ++pos;
    const std::size_t digitsBegin = pos;
    pos = SkipDigits(text, pos);
    if (pos == digitsBegin)
        return 0;

    std::int64_t magnitude = 0;
    for (std::size_t i = digitsBegin; i < pos; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return 0;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max())
        return 0;
    value = static_cast<std::int32_t>(signedValue);
    return pos;
}

std::size_t ReadReal(std::string_view text, double& value)
{
    std::size_t pos = SkipSpace(text, 0);
    const std::size_t numberBegin = pos;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        ++pos;
    const std::size_t mantissaBegin = pos;
    pos = SkipDigits(text, pos);
    std::size_t digitCount = pos - mantissaBegin;
    if (pos < text.size() && text[pos] == '.') {
        const std::size_t fractionBegin = pos + 1;
        pos = SkipDigits(text, fractionBegin);
        digitCount += pos - fractionBegin;
    }
    if (digitCount == 0)
        return 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t exponent = pos + 1;
        if (exponent < text.size() && (text[exponent] == '-' || text[exponent] == '+'))
            ++exponent;
        const std::size_t exponentEnd = SkipDigits(text, exponent);
        if (exponentEnd > exponent)
            pos = exponentEnd;
    }

    // from_chars takes no leading '+'.
    std::size_t convertBegin = numberBegin;
    if (text[convertBegin] == '+')
        ++convertBegin;
    double result = 0.0;
    const char* first = text.data() + convertBegin;
    const char* last = text.data() + pos;
    const auto [end, error] = std::from_chars(first, last, result, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // Underflow reads as a signed zero; overflow is not a number we can hold.
        if (!IsTiny(std::string_view(first, static_cast<std::size_t>(last - first))))
            return 0;
        result = *first == '-' ? -0.0 : 0.0;
    } else if (error != std::errc{} || end != last) {
        return 0;
    }
    value = result;
    return pos;
}

namespace {

bool FitsFloat(double value)
{
    return std::fabs(value) <= double{std::numeric_limits<float>::max()};
}

bool IsAlnum(char c)
{
    const char lower = ToLower(c);
    return IsDigit(c) || (lower >= 'a' && lower <= 'z');
}

} // namespace

bool StringToInteger(std::string_view text, std::int32_t& value)
{
    return ReadInteger(text, value) != 0;
}

bool StringToReal(std::string_view text, double& value)
{
    double read = 0.0;
    if (ReadReal(text, read) == 0)
        return false;
    value = read == 0.0 ? 0.0 : read;
    return true;
}

bool StringToReal(std::string_view text, float& value)
{
    double read = 0.0;
    if (!StringToReal(text, read) || !FitsFloat(read))
        return false;
    value = static_cast<float>(read);
    return true;
}

bool StringToBoolean(std::string_view text, bool& value)
{
    const std::string_view rest = text.substr(SkipSpace(text, 0));
    for (const bool meaning : {true, false}) {
        const std::string_view word = meaning ? "true" : "false";
        if (rest.size() >= word.size() && EqualsNoCase(rest.substr(0, word.size()), word)) {
            if (rest.size() > word.size() && IsAlnum(rest[word.size()]))
                return false;
            value = meaning;
            return true;
        }
    }
    std::int32_t number = 0;
    if (!StringToInteger(text, number) || (number != 0 && number != 1))
        return false;
    value = number == 1;
    return true;
}

bool StringToReals(std::string_view text, std::span<double> values)
{
    std::vector<double> read(values.size());
    std::size_t pos = 0;
    for (double& number : read) {
        const std::size_t used = ReadReal(text.substr(pos), number);
        if (used == 0)
            return false;
        number = number == 0.0 ? 0.0 : number;
        pos += used;
    }
    std::copy(read.begin(), read.end(), values.begin());
    return true;
}

bool StringToPoint(std::string_view text, Point3d& point)
{
    double coordinates[3] = {};
    if (!StringToReals(text, coordinates) || !std::all_of(std::begin(coordinates), std::end(coordinates), FitsFloat))
        return false;
    point = Point3d(coordinates[0], coordinates[1], coordinates[2]);
    return true;
}

std::string ToLower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = ToLower(c);
    return result;
}

std::string ToUpper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = ToUpper(c);
    return result;
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(ToLower(a[i]));
        const auto cb = static_cast<unsigned char>(ToLower(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string Trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

namespace {

constexpr int maximumPrecision = 500;

struct Spec {
    bool left = false;
    bool plus = false;
    bool blank = false;
    bool zero = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    char conversion = 0;
};

[[noreturn]] void Fail(const char* what)
{
    throw std::invalid_argument(std::string("StringUtils::Format: ") + what);
}

class ArgList {
public:
    explicit ArgList(std::initializer_list<FormatArg> args) : m_args(args) {}
    const FormatArg& Next()
    {
        if (m_next >= m_args.size())
            Fail("too few arguments");
        return m_args.begin()[m_next++];
    }
    int NextInt()
    {
        const FormatArg& arg = Next();
        if (arg.GetKind() == FormatArg::Kind::Signed)
            return static_cast<int>(std::clamp<long long>(arg.GetSigned(), -100000, 100000));
        if (arg.GetKind() == FormatArg::Kind::Unsigned)
            return static_cast<int>(std::min<unsigned long long>(arg.GetUnsigned(), 100000));
        Fail("* needs an integer argument");
    }

private:
    std::initializer_list<FormatArg> m_args;
    std::size_t m_next = 0;
};

int ReadNumber(std::string_view format, std::size_t& pos)
{
    int number = 0;
    while (pos < format.size() && IsDigit(format[pos])) {
        number = std::min(number * 10 + (format[pos] - '0'), 100000);
        ++pos;
    }
    return number;
}

// Pads body (its sign or prefix is the first signLength characters) to the spec's width.
void Pad(std::string& out, const Spec& spec, std::string_view body, std::size_t signLength, bool zeroAllowed)
{
    const std::size_t width = static_cast<std::size_t>(spec.width);
    const std::size_t fill = body.size() < width ? width - body.size() : 0;
    if (spec.left) {
        out += body;
        out.append(fill, ' ');
    } else if (spec.zero && zeroAllowed) {
        out += body.substr(0, signLength);
        out.append(fill, '0');
        out += body.substr(signLength);
    } else {
        out.append(fill, ' ');
        out += body;
    }
}

std::string SignPrefix(bool negative, const Spec& spec)
{
    if (negative)
        return "-";
    if (spec.plus)
        return "+";
    if (spec.blank)
        return " ";
    return {};
}

void FormatInteger(std::string& out, const Spec& spec, const FormatArg& arg)
{
    bool negative = false;
    unsigned long long magnitude = 0;
    const bool isSigned = spec.conversion == 'd' || spec.conversion == 'i';
    if (arg.GetKind() == FormatArg::Kind::Signed) {
        const long long v = arg.GetSigned();
        if (isSigned) {
            negative = v < 0;
            magnitude = negative ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        } else if (v < 0 && v >= std::numeric_limits<std::int32_t>::min()) {
            // As the C library prints a negative int with an unsigned conversion.
            magnitude = static_cast<std::uint32_t>(v);
        } else {
            magnitude = static_cast<unsigned long long>(v);
        }
    } else if (arg.GetKind() == FormatArg::Kind::Unsigned) {
        magnitude = arg.GetUnsigned();
    } else {
        Fail("integer conversion needs an integer argument");
    }

    int base = 10;
    if (spec.conversion == 'o')
        base = 8;
    else if (spec.conversion == 'x' || spec.conversion == 'X')
        base = 16;
    char digits[72];
    auto result = std::to_chars(digits, digits + sizeof digits, magnitude, base);
    std::string number(digits, result.ptr);
    if (spec.conversion == 'X')
        number = ToUpper(number);
    if (spec.precision >= 0) {
        if (spec.precision == 0 && magnitude == 0)
            number.clear();
        else if (number.size() < static_cast<std::size_t>(spec.precision))
            number.insert(0, static_cast<std::size_t>(spec.precision) - number.size(), '0');
    }
    std::string prefix = isSigned ? SignPrefix(negative, spec) : std::string();
    if (spec.alternate && magnitude != 0 && base == 16)
        prefix += spec.conversion == 'X' ? "0X" : "0x";
    if (spec.alternate && base == 8 && (number.empty() || number.front() != '0'))
        number.insert(0, 1, '0');
    Pad(out, spec, prefix + number, prefix.size(), spec.precision < 0);
}

void FormatReal(std::string& out, const Spec& spec, const FormatArg& arg)
{
    double value = 0.0;
    if (arg.GetKind() == FormatArg::Kind::Real)
        value = arg.GetReal();
    else if (arg.GetKind() == FormatArg::Kind::Signed)
        value = static_cast<double>(arg.GetSigned());
    else if (arg.GetKind() == FormatArg::Kind::Unsigned)
        value = static_cast<double>(arg.GetUnsigned());
    else
        Fail("real conversion needs a number");

    const bool upper = spec.conversion == 'F' || spec.conversion == 'E' || spec.conversion == 'G';
    const char lower = ToLower(spec.conversion);
    const int precision = std::min(spec.precision < 0 ? 6 : spec.precision, maximumPrecision);
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);

    std::string number;
    if (std::isnan(magnitude) || std::isinf(magnitude)) {
        number = std::isnan(magnitude) ? "nan" : "inf";
    } else {
        std::string buffer(static_cast<std::size_t>(precision) + 400, '\0');
        std::chars_format format = std::chars_format::fixed;
        if (lower == 'e')
            format = std::chars_format::scientific;
        else if (lower == 'g')
            format = std::chars_format::general;
        const int digits = lower == 'g' && precision == 0 ? 1 : precision;
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, format, digits);
        number.assign(buffer.data(), result.ptr);
        if (spec.alternate && number.find('.') == std::string::npos) {
            const std::size_t exponent = number.find('e');
            number.insert(exponent == std::string::npos ? number.size() : exponent, 1, '.');
        }
    }
    if (upper)
        number = ToUpper(number);
    const std::string prefix = SignPrefix(negative, spec);
    Pad(out, spec, prefix + number, prefix.size(), std::isfinite(value));
}

} // namespace

void AppendInteger(std::string& text, std::int32_t value)
{
    char digits[12];
    const char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    // A few characters: appended one by one without a call to copy them.
    for (const char* digit = digits; digit != end; ++digit)
        text.push_back(*digit);
}

std::string FormatArgs(std::string_view format, std::initializer_list<FormatArg> args)
{
    ArgList arguments(args);
    std::string out;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find('%', pos);
        if (percent == std::string_view::npos) {
            out += format.substr(pos);
            break;
        }
        out += format.substr(pos, percent - pos);
        pos = percent + 1;

        Spec spec;
        for (; pos < format.size(); ++pos) {
            const char c = format[pos];
            if (c == '-')
                spec.left = true;
            else if (c == '+')
                spec.plus = true;
            else if (c == ' ')
                spec.blank = true;
            else if (c == '0')
                spec.zero = true;
            else if (c == '#')
                spec.alternate = true;
            else
                break;
        }
        if (pos < format.size() && format[pos] == '*') {
            ++pos;
            spec.width = arguments.NextInt();
            if (spec.width < 0) {
                spec.left = true;
                spec.width = -spec.width;
            }
        } else {
            spec.width = ReadNumber(format, pos);
        }
        if (pos < format.size() && format[pos] == '.') {
            ++pos;
            if (pos < format.size() && format[pos] == '*') {
                ++pos;
                spec.precision = arguments.NextInt();
                if (spec.precision < 0)
                    spec.precision = -1;
            } else {
                spec.precision = ReadNumber(format, pos);
            }
        }
        while (pos < format.size() && std::string_view("hlLqjzt").find(format[pos]) != std::string_view::npos)
            ++pos;
        if (pos >= format.size())
            Fail("incomplete conversion");
        spec.conversion = format[pos++];

        switch (spec.conversion) {
        case '%':
            out += '%';
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            FormatInteger(out, spec, arguments.Next());
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            FormatReal(out, spec, arguments.Next());
            break;
        case 'c': {
            const FormatArg& arg = arguments.Next();
            if (arg.GetKind() == FormatArg::Kind::Real || arg.GetKind() == FormatArg::Kind::Text)
                Fail("%c needs an integer argument");
            const char c = static_cast<char>(arg.GetKind() == FormatArg::Kind::Signed ? arg.GetSigned() : static_cast<long long>(arg.GetUnsigned()));
            Pad(out, spec, std::string_view(&c, 1), 0, false);
            break;
        }
        case 's': {
            const FormatArg& arg = arguments.Next();
            if (arg.GetKind() != FormatArg::Kind::Text)
                Fail("%s needs a text argument");
            std::string_view text = arg.GetText();
            if (spec.precision >= 0)
                text = text.substr(0, static_cast<std::size_t>(spec.precision));
            Pad(out, spec, text, 0, false);
            break;
        }
        default:
            Fail("unknown conversion");
        }
    }
    return out;
}

} // namespace Tavrel::StringUtils
