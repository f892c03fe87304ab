// ElementPropertyValue: the element-valued typed view behind an atom's "Element" property.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <tavrel/foundation/ObjectProperty.h>

namespace Tavrel {

class Element;

// Holds an element of the element table (never freed there); its text is the element's name.
class ElementPropertyValue final : public ObjectPropertyValue<const Element*> {
public:
    explicit ElementPropertyValue(const Element* element) : ObjectPropertyValue(element) {}

    std::unique_ptr<Type> Clone() const override { return std::make_unique<ElementPropertyValue>(*this); }
    // The element's name; empty without an element.
    std::string ToString() const override;
    // The element of that name, any case; false, with the value kept, for a name the table does not
    // know.
    bool FromString(std::string_view text) override;
    std::string GetTypeName() const override { return "Element"; }
};

} // namespace Tavrel
