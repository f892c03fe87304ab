#include <tavrel/foundation/Specification.h>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/FilterExpression.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/PropertyExpression.h>
#include <tavrel/foundation/SpecificationEnumerator.h>

namespace Tavrel {

namespace {

// One specification text: the class name and the conditions.
class SpecificationClause {
public:
    explicit SpecificationClause(std::string_view text) { Parse(text); }

    // The class-type identifier of the class name; 0 (no class) when none is found.
    std::uint32_t GetClassType() const { return Object::FindClassTypeCommon(m_className); }

    // The class filter and the conditions, both required.
    std::unique_ptr<Filter> CreateFilter() const
    {
        const FilterType type(GetClassType(), Filter::Include);
        const std::unique_ptr<Filter> conditions = m_conditions.CreateFilter();
        if (!conditions)
            return nullptr;
        return std::make_unique<FilterExpression>(type, FilterExpression::And, *conditions, Filter::Include);
    }

private:
    // The class name ends at the first blank, tab, newline or carriage return, from position 1 on;
    // without one the clause stays empty.
    void Parse(std::string_view text)
    {
        const std::size_t split = text.find_first_of(" \t\n\r");
        if (split == std::string_view::npos || split < 1)
            return;
        m_className = StringUtils::Trim(text.substr(0, split));
        m_conditions.Parse(text.substr(split + 1));
    }

    std::string m_className;
    PropertyExpression m_conditions;
};

} // namespace

Specification::Specification(std::string_view text) : m_text(StringUtils::Trim(text)) {}

std::unique_ptr<Specification> Specification::Copy() const
{
    return std::make_unique<Specification>(*this);
}

bool Specification::GetObjects(const BaseCollection& in, BaseCollection& out) const
{
    const std::unique_ptr<Filter> filter = CreateFilter(m_text);
    if (!filter)
        return false;
    SpecificationEnumerator enumerator(out, *filter);
    return in.Enumerate(enumerator);
}

bool Specification::GetObjects(Object* root, BaseCollection& out) const
{
    const std::unique_ptr<Filter> filter = CreateFilter(m_text);
    if (!filter)
        return false;
    out.Add(DescendentIterator(root, *filter, false));
    return true;
}

std::unique_ptr<Filter> Specification::CreateFilter(std::string_view text) const
{
    return SpecificationClause(text).CreateFilter();
}

} // namespace Tavrel
