// RegNumber: a number-range pattern ("1-10 15 >=20") matched against the number a text starts with.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Pattern.h>

namespace Tavrel {

// Syntax: one or more items separated by blanks, tabs, commas or semicolons; a value matches when
// it satisfies any item. Items, with a and b real numbers in C-locale notation (optional sign,
// decimals, exponent):
//   a        the value equals a
//   a-b      a <= value <= b, whichever of a and b is smaller ("-5--2", "1e-3-2e-3" work)
//   <a <=a >a >=a   the comparison with a
// A text that is not entirely such items is not a number range; such a RegNumber matches nothing.
// The matched text is read as by stream extraction (leading white space skipped, trailing text
// ignored), so "12A" is the number 12; a text without a leading number matches nothing. The flag is
// not used.
class RegNumber : public Pattern<std::string> {
public:
    explicit RegNumber(std::string_view text);

    static bool IsRegNumber(std::string_view text);

    std::unique_ptr<Pattern<std::string>> Copy() const override;
    using Pattern<std::string>::Match;
    bool Match(const std::string& value, bool flag) const override;
    // Whether a number lies in the ranges (NaN never does).
    bool Contains(double value) const;

    const std::string& GetText() const { return m_text; }
    bool IsValid() const { return !m_items.empty(); }

private:
    struct Item {
        double low;
        double high;
        bool lowInclusive;
        bool highInclusive;
    };

    static bool Parse(std::string_view text, std::vector<Item>& items);

    std::string m_text;
    std::vector<Item> m_items;
};

} // namespace Tavrel
