// NamedProperty: one condition on a named property, written name=value or name!=value.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class Object;

// The property text is the object's GetPropertyAsString of the name. A plain value must equal it
// ignoring case; a value between double quotes is a number range (RegNumber), else a regular
// expression (RegExpression, ignoring case), else the text between the quotes. "!=" negates the
// condition. An empty name accepts every object with "=" and none with "!=".
class NamedProperty {
public:
    NamedProperty();
    // Parse of the text.
    explicit NamedProperty(std::string_view text);
    NamedProperty(std::string_view name, std::string_view value, bool negate);
    // The other's condition, with a copy of its filter.
    NamedProperty(const NamedProperty& other);
    NamedProperty& operator=(const NamedProperty& other);
    // Parse of the text.
    NamedProperty& operator=(std::string_view text);
    virtual ~NamedProperty();

    // "name=value" or "name!=value": the name is the text before the first "=" (less a "!" just
    // before it), the value the text after it, both trimmed; later "=" belong to the value. An empty
    // text changes nothing; a text without "=", or starting with it, keeps the condition as it was.
    void Parse(std::string_view text);

    const std::string& GetName() const { return m_name; }
    // As written, quotes included.
    const std::string& GetValue() const { return m_value; }
    bool IsNegated() const { return m_equals == 0; }

    // A new filter for the condition.
    std::unique_ptr<Filter> CreateFilter() const;
    // The condition's verdict on the object.
    virtual bool CheckObject(Object* object) const;

private:
    std::string m_name;
    std::int32_t m_equals = 1;  // 1 for "=", 0 for "!="
    std::string m_value;
    mutable std::unique_ptr<Filter> m_filter;  // made on first need
};

} // namespace Tavrel
