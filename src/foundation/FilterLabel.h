// FilterLabel: accepts objects whose label begins with, or equals, one of a list of patterns.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// A pattern written between double-quote characters matches the label equal to the text between
// them (a lone double-quote character stands for the empty text); any other pattern matches every
// label that begins with it. Both compare bytes, case-sensitively. No pattern accepts every object.
class FilterLabel : public Filter {
public:
    explicit FilterLabel(FilterMode mode);
    FilterLabel(std::string_view pattern, FilterMode mode);
    FilterLabel(const std::vector<std::string>& patterns, FilterMode mode);
    // The same forms with an inner filter that the object must also pass.
    FilterLabel(const Filter& inner, FilterMode mode);
    FilterLabel(const Filter& inner, std::string_view pattern, FilterMode mode);
    FilterLabel(const Filter& inner, const std::vector<std::string>& patterns, FilterMode mode);
    FilterLabel(const FilterLabel&) = default;
    FilterLabel& operator=(const FilterLabel&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;
    // The label begins with the pattern.
    virtual bool CheckMatchingString(std::string_view pattern, std::string_view label) const;
    // The label equals the pattern.
    virtual bool CheckExactMatchingString(std::string_view pattern, std::string_view label) const;

private:
    // Strips the quotes of exact patterns and records which patterns are exact.
    void BuildFlagArray();
    // True, with the quotes removed, when the pattern is quoted.
    static bool CheckExactMatch(std::string& pattern);

    OwnedFilter m_inner;
    std::vector<std::string> m_patterns;
    BoolArray m_exact;  // one per pattern
};

} // namespace Tavrel
