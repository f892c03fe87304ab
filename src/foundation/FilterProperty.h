// FilterProperty: accepts objects whose property text equals a value or matches a pattern.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <tavrel/core/Pattern.h>
#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// The property text is the object's GetPropertyAsString of the name. Without a pattern it must equal
// the value ignoring ASCII case; with one, the pattern's Match with its own flag decides. An empty
// property name accepts every object.
class FilterProperty : public Filter {
public:
    explicit FilterProperty(FilterMode mode);
    FilterProperty(std::string_view name, std::string_view value, FilterMode mode);
    // Keeps a copy of the pattern; the value stays empty.
    FilterProperty(std::string_view name, const Pattern<std::string>& pattern, FilterMode mode);
    FilterProperty(const FilterProperty& other);
    FilterProperty& operator=(const FilterProperty& other);
    ~FilterProperty() override;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;

private:
    std::string m_name;
    std::string m_value;
    std::unique_ptr<Pattern<std::string>> m_pattern;
};

} // namespace Tavrel
