#include <tavrel/core/RegNumber.h>

#include <cmath>
#include <limits>
#include <utility>

#include <tavrel/core/StringUtils.h>

namespace Tavrel {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

bool IsSeparator(char c) { return StringUtils::IsSpace(c) || c == ',' || c == ';'; }

// A real that fills the whole token; no white space allowed inside.
bool ReadWholeNumber(std::string_view token, double& value)
{
    if (token.empty() || StringUtils::IsSpace(token.front()))
        return false;
    return StringUtils::ReadReal(token, value) == token.size();
}

} // namespace

RegNumber::RegNumber(std::string_view text) : Pattern(false), m_text(text)
{
    if (!Parse(text, m_items))
        m_items.clear();
}

bool RegNumber::IsRegNumber(std::string_view text)
{
    std::vector<Item> items;
    return Parse(text, items);
}

bool RegNumber::Parse(std::string_view text, std::vector<Item>& items)
{
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size() && IsSeparator(text[pos]))
            ++pos;
        if (pos == text.size())
            break;
        std::size_t end = pos;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        std::string_view token = text.substr(pos, end - pos);
        pos = end;

        double a = 0.0;
        if (token.front() == '<' || token.front() == '>') {
            const bool less = token.front() == '<';
            const bool inclusive = token.size() > 1 && token[1] == '=';
            if (!ReadWholeNumber(token.substr(inclusive ? 2 : 1), a))
                return false;
            items.push_back(less ? Item{-infinity, a, true, inclusive} : Item{a, infinity, inclusive, true});
            continue;
        }
        const std::size_t used = token.front() == '-' || token.front() == '+' || StringUtils::IsDigit(token.front()) ||
                                         token.front() == '.'
                                     ? StringUtils::ReadReal(token, a)
                                     : 0;
        if (used == 0)
            return false;
        if (used == token.size()) {
            items.push_back(Item{a, a, true, true});
            continue;
        }
        double b = 0.0;
        if (token[used] != '-' || !ReadWholeNumber(token.substr(used + 1), b))
            return false;
        if (b < a)
            std::swap(a, b);
        items.push_back(Item{a, b, true, true});
    }
    return !items.empty();
}

std::unique_ptr<Pattern<std::string>> RegNumber::Copy() const { return std::make_unique<RegNumber>(*this); }

bool RegNumber::Match(const std::string& value, bool) const
{
    double number = 0.0;
    return StringUtils::ReadReal(value, number) != 0 && Contains(number);
}

bool RegNumber::Contains(double value) const
{
    if (std::isnan(value))
        return false;
    for (const Item& item : m_items) {
        const bool aboveLow = item.lowInclusive ? value >= item.low : value > item.low;
        const bool belowHigh = item.highInclusive ? value <= item.high : value < item.high;
        if (aboveLow && belowHigh)
            return true;
    }
    return false;
}

} // namespace Tavrel
