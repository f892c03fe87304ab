#include <tavrel/chemistry/ElementFactory.h>

#include <algorithm>

#include <tavrel/chemistry/ElementTable.h>
#include <tavrel/chemistry/InternalElementFactory.h>
#include <tavrel/core/StringUtils.h>

namespace Tavrel {

ElementFactory& ElementFactory::MakeElementFactory()
{
    static ElementFactory factory;
    s_factory.store(&factory, std::memory_order_release);
    return factory;
}

ElementFactory::ElementFactory()
{
    const auto table = GetElementTable();
    m_builtIn.reserve(table.size());
    for (std::size_t row = 0; row < table.size(); ++row)
        m_builtIn.push_back(std::make_unique<Element>());
    Initialize();
}

void ResetElementFactoryForTests()
{
    ElementFactory& factory = ElementFactory::GetElementFactory();
    factory.m_user.clear();
    factory.Initialize();
}

void ElementFactory::Initialize()
{
    m_pool.clear();
    m_bySymbol.clear();
    for (std::size_t row = 0; row < m_builtIn.size(); ++row) {
        Element& element = *m_builtIn[row];
        InitElementData(element, row);
        element.SetUser(false);
        m_bySymbol.emplace(element.GetSymbol(), m_pool.size());
        m_pool.push_back({element.GetSymbol(), {&element}});
    }
    RebuildIndexes();
}

void ElementFactory::InitElementData(Element& element, std::size_t row)
{
    const ElementTableRow& data = GetElementTable()[row];
    element.SetAtomicNumber(data.atomicNumber);
    element.SetType(data.type);
    element.SetSymbol(data.symbol);
    element.SetName(data.name);
    element.SetVDWRadius(data.vdwRadius);
    element.SetCovalentRadius(data.covalentRadius);
    element.SetCommonOxidationState(data.commonOxidationState);
    const auto count = static_cast<std::size_t>(data.numOxidationStates);
    element.SetOxidationStates(std::span(data.oxidationStates).first(count));
    element.SetAtomicWeight(data.atomicWeight);
    element.SetExactMass(data.exactMass);
    element.SetColor(data.color);
}

void ElementFactory::RebuildIndexes()
{
    m_byName.clear();
    m_byDirectType.fill(nullptr);
    m_byType.clear();
    m_byAtomicNumber.clear();
    for (const PoolEntry& entry : m_pool) {
        Element* element = entry.elements.back();
        m_byName.try_emplace(StringUtils::ToLower(element->GetName()), element);
        const std::int32_t type = element->GetType();
        if (type >= 0 && type < DirectTypes) {
            Element*& direct = m_byDirectType[static_cast<std::size_t>(type)];
            direct = direct ? direct : element;
        } else {
            m_byType.try_emplace(type, element);
        }
        m_byAtomicNumber.try_emplace(element->GetAtomicNumber(), element);
    }
}

const Element& ElementFactory::NullElement() const
{
    // The first pool entry is the built-in "?", which can never be removed.
    return *m_pool.front().elements.back();
}

const Element* ElementFactory::FindElement(std::string_view symbol) const
{
    // The key ends at its first NUL.
    char key[2];
    std::size_t size = 0;
    if (!symbol.empty() && symbol[0] != '\0') {
        key[size++] = StringUtils::ToUpper(symbol[0]);
        if (symbol.size() == 2 && symbol[1] != '\0')
            key[size++] = StringUtils::ToLower(symbol[1]);
    }
    const auto found = m_bySymbol.find(std::string(key, size));
    return found == m_bySymbol.end() ? &NullElement() : m_pool[found->second].elements.back();
}

const Element* ElementFactory::FindElementByName(std::string_view name) const
{
    const auto found = m_byName.find(StringUtils::ToLower(name));
    return found == m_byName.end() ? &NullElement() : found->second;
}

Element* ElementFactory::FindMutableByType(ElementType type) const
{
    if (type >= 0 && type < DirectTypes)
        return m_byDirectType[static_cast<std::size_t>(type)];
    const auto found = m_byType.find(type);
    return found == m_byType.end() ? nullptr : found->second;
}

const Element* ElementFactory::FindOtherByType(ElementType type) const
{
    const Element* element = FindMutableByType(type);
    return element ? element : &NullElement();
}

const Element* ElementFactory::FindElementByAtomicNumber(std::int32_t atomicNumber) const
{
    const auto found = m_byAtomicNumber.find(atomicNumber);
    return found == m_byAtomicNumber.end() ? &NullElement() : found->second;
}

std::int32_t ElementFactory::GetNumElements() const
{
    return static_cast<std::int32_t>(m_pool.size()) - 1;
}

const std::string& ElementFactory::GetElementName(std::int32_t index) const
{
    const auto position = static_cast<std::int64_t>(index) + 1;
    if (position < 0 || position >= static_cast<std::int64_t>(m_pool.size()))
        return NullElement().GetName();
    return m_pool[static_cast<std::size_t>(position)].elements.back()->GetName();
}

const std::string& ElementFactory::GetElementSymbol(std::int32_t index) const
{
    const auto position = static_cast<std::int64_t>(index) + 1;
    if (position < 0 || position >= static_cast<std::int64_t>(m_pool.size()))
        return NullElement().GetSymbol();
    return m_pool[static_cast<std::size_t>(position)].elements.back()->GetSymbol();
}

const std::string& ElementFactory::GetElementName(ElementType type) const
{
    return FindElementByType(type)->GetName();
}

const std::string& ElementFactory::GetElementSymbol(ElementType type) const
{
    return FindElementByType(type)->GetSymbol();
}

const Element* ElementFactory::AddUserElement(const Element& element)
{
    auto copy = std::make_unique<Element>(element);
    copy->SetColor(element.GetColor());
    copy->SetUser(true);
    Element* added = m_user.emplace_back(std::move(copy)).get();

    const auto [found, isNew] = m_bySymbol.try_emplace(added->GetSymbol(), m_pool.size());
    if (isNew)
        m_pool.push_back({added->GetSymbol(), {added}});
    else
        m_pool[found->second].elements.push_back(added);
    RebuildIndexes();
    return added;
}

bool ElementFactory::RemoveUserElement(const Element* element)
{
    if (!element || !element->GetUser())
        return false;
    const auto found = m_bySymbol.find(element->GetSymbol());
    if (found == m_bySymbol.end())
        return false;
    std::vector<Element*>& elements = m_pool[found->second].elements;
    const auto registered = std::find(elements.begin(), elements.end(), element);
    if (registered == elements.end())
        return false;

    elements.erase(registered);
    if (elements.empty()) {
        const std::size_t position = found->second;
        m_bySymbol.erase(found);
        m_pool.erase(m_pool.begin() + static_cast<std::ptrdiff_t>(position));
        for (auto& [symbol, index] : m_bySymbol) {
            if (index > position)
                --index;
        }
    }
    RebuildIndexes();
    return true;
}

void ElementFactory::ChangeColor(ElementType type, Color color)
{
    if (type == UnknownElementType)
        return;
    if (Element* element = FindMutableByType(type))
        element->SetColor(color);
}

void ElementFactory::ChangeVDWRadius(ElementType type, float radius)
{
    if (type == UnknownElementType)
        return;
    if (Element* element = FindMutableByType(type))
        element->SetVDWRadius(radius);
}

void ElementFactory::ChangeCovalentRadius(ElementType type, float radius)
{
    if (type == UnknownElementType)
        return;
    if (Element* element = FindMutableByType(type))
        element->SetCovalentRadius(radius);
}

void ElementFactory::ResetElementData()
{
    const auto table = GetElementTable();
    for (std::size_t row = 0; row < table.size(); ++row) {
        if (Element* element = FindMutableByType(table[row].type)) {
            InitElementData(*element, row);
            element->SetUser(false);
        }
    }
    RebuildIndexes();
}

void ElementFactory::ResetElementData(ElementType type)
{
    if (type == UnknownElementType)
        return;
    Element* element = FindMutableByType(type);
    if (!element)
        return;
    const auto table = GetElementTable();
    for (std::size_t row = 0; row < table.size(); ++row) {
        if (table[row].type == type)
            InitElementData(*element, row);
    }
    element->SetUser(false);
    RebuildIndexes();
}

} // namespace Tavrel
