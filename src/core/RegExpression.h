// RegExpression: a regular-expression pattern matched against a whole text, without backtracking.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Pattern.h>

namespace Tavrel {

// Syntax: literal bytes; "." any byte; "[abc]", "[a-z]", "[^...]" byte classes ("]" first in a class
// and "-" first or last are literal); "\d" digits, "\w" letters, digits and "_", "\s" white space,
// "\" before any other byte makes it literal (also inside classes); "*", "+", "?" repeat the item
// before; "|" alternatives; "(...)" groups. The expression must match the whole text; a "^" at the
// very start and a "$" at the very end are accepted and change nothing. Braces are ordinary bytes.
// Empty expressions, empty alternatives or groups, a repeat without an item, an unclosed class or
// group, a stray "]" or ")", and "^" or "$" anywhere else are errors.
//
// The flag means "ignore ASCII letter case". Matching runs the expression as a state machine over
// the text once, so its cost is bounded by (text length) x (expression length) whatever the input.
// An expression with errors matches nothing.
class RegExpression : public Pattern<std::string> {
public:
    RegExpression(std::string_view text, bool ignoreCase);

    // True when the text is a valid expression that uses at least one operator, class or escape:
    // plain words are left to plain comparison.
    static bool IsRegExpression(std::string_view text);

    std::unique_ptr<Pattern<std::string>> Copy() const override;
    using Pattern<std::string>::Match;
    bool Match(const std::string& value, bool ignoreCase) const override;

    const std::string& GetText() const { return m_text; }
    bool IsValid() const { return m_start >= 0; }

private:
    struct State {
        enum class Kind : std::uint8_t { Byte, Split, Accept };
        Kind kind;
        std::int32_t byteClass; // index into m_classes for Byte states
        std::int32_t out;
        std::int32_t out1;
    };

    // Compiles text into states; false on a syntax error. usesOperators tells whether any
    // operator, class or escape was seen.
    bool Compile(std::string_view text, bool& usesOperators);

    std::string m_text;
    std::vector<std::bitset<256>> m_classes;
    std::vector<std::bitset<256>> m_foldedClasses; // the same classes for matching without regard to case
    std::vector<State> m_states;
    std::int32_t m_start = -1;
};

} // namespace Tavrel
