#include <tavrel/chemistry/ElementPropertyValue.h>

#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/core/StringUtils.h>

namespace Tavrel {

std::string ElementPropertyValue::ToString() const
{
    return m_value ? m_value->GetName() : std::string();
}

bool ElementPropertyValue::FromString(std::string_view text)
{
    const Element* const element = ElementFactory::GetElementFactory().FindElementByName(text);
    // A miss gives the unknown element, which is taken only by its own name.
    if (element->GetType() == UnknownElementType && !StringUtils::EqualsNoCase(text, element->GetName()))
        return false;
    m_value = element;
    return true;
}

} // namespace Tavrel
