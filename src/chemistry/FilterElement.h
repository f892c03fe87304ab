// FilterElement: accepts atoms of the listed elements.
#pragma once

#include <memory>
#include <vector>

#include <tavrel/chemistry/Element.h>
#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// An empty list accepts every atom; objects that are not atoms never pass the test.
class FilterElement : public Filter {
public:
    using ElementTypeArray = std::vector<ElementType>;

    explicit FilterElement(FilterMode mode);
    FilterElement(ElementType type, FilterMode mode);
    // A null pointer or a count below 1 gives an empty list.
    FilterElement(const ElementType* types, int count, FilterMode mode);
    FilterElement(const FilterElement&) = default;
    FilterElement& operator=(const FilterElement&) = default;

    std::unique_ptr<Filter> Copy() const override;

    const ElementTypeArray& GetElementTypes() const { return m_types; }

protected:
    bool DoTest(Object* object) const override;

private:
    ElementTypeArray m_types;
};

} // namespace Tavrel
