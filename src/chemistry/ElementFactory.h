// ElementFactory: the process-wide element table, its lookups and the host's user elements.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <tavrel/chemistry/Element.h>
#include <tavrel/core/Color.h>

namespace Tavrel {

// Holds the 104 built-in elements and every user element the host adds. A lookup that finds nothing
// yields the unknown element (registered under "?"), never null. Every element the factory hands out
// stays alive until the process ends, registered or not, so the handles atoms keep stay valid.
//
// The pool maps each symbol to its current element; iteration runs in registration order (the
// built-in table first). A user element added under a symbol already registered takes that entry's
// place; removing it brings back the element it replaced.
class ElementFactory {
public:
    static ElementFactory& GetElementFactory()
    {
        ElementFactory* const factory = s_factory.load(std::memory_order_acquire);
        return factory ? *factory : MakeElementFactory();
    }

    ElementFactory(const ElementFactory&) = delete;
    ElementFactory& operator=(const ElementFactory&) = delete;

    // Lookup by symbol with the symbol's case normalised: the first character upper-cased, the second
    // lower-cased when the symbol has exactly two characters, only the first kept when it has three or
    // more ("CL" and "cl" find chlorine, "CAR" finds carbon). User symbols are matched as registered.
    const Element* FindElement(std::string_view symbol) const;
    // The first element, in pool order, whose name equals the argument ignoring ASCII case.
    const Element* FindElementByName(std::string_view name) const;
    // The first element, in pool order, of the type (atomic number).
    const Element* FindElementByType(ElementType type) const
    {
        if (type >= 0 && type < DirectTypes) {
            if (const Element* const direct = m_byDirectType[static_cast<std::size_t>(type)])
                return direct;
        }
        return FindOtherByType(type);
    }
    const Element* FindElementByAtomicNumber(std::int32_t atomicNumber) const;

    // Registered elements without the unknown element (103 for the built-in table).
    std::int32_t GetNumElements() const;
    // Name (symbol) of the element at pool position index + 1, counting from 0, so index 0 is the
    // first element after the unknown one; past either end, the unknown element's.
    const std::string& GetElementName(std::int32_t index) const;
    const std::string& GetElementSymbol(std::int32_t index) const;
    // Name (symbol) of FindElementByType's result.
    const std::string& GetElementName(ElementType type) const;
    const std::string& GetElementSymbol(ElementType type) const;

    // Registers a copy of the element (colour included) as a user element under its symbol and
    // returns it. A new symbol adds one to GetNumElements; a registered symbol keeps the count and the
    // element it replaces leaves the lookups until the new one is removed.
    const Element* AddUserElement(const Element& element);
    // Removes exactly this user element from the pool; false (nothing changed) for a built-in element
    // or one not registered. The element stays alive for the atoms that refer to it.
    bool RemoveUserElement(const Element* element);

    // Change the element FindElementByType finds, when its type is the one asked for; type 0 (the
    // unknown element) and missing types change nothing.
    void ChangeColor(ElementType type, Color color);
    void ChangeVDWRadius(ElementType type, float radius);
    void ChangeCovalentRadius(ElementType type, float radius);

    // Reloads every table row into the element FindElementByType finds for its type (when the types
    // match) and clears that element's user flag.
    void ResetElementData();
    // The same for one type; type 0 and missing types change nothing.
    void ResetElementData(ElementType type);

private:
    friend void ResetElementFactoryForTests();

    // One symbol's registrations, most recent last; the last is the one the lookups see.
    struct PoolEntry {
        std::string symbol;
        std::vector<Element*> elements;
    };

    ElementFactory();
    // The one factory, made on the first request; s_factory then points to it.
    static ElementFactory& MakeElementFactory();
    static inline std::atomic<ElementFactory*> s_factory{nullptr};

    void Initialize();
    void RebuildIndexes();
    Element* FindMutableByType(ElementType type) const;
    // FindElementByType past the direct array's entries.
    const Element* FindOtherByType(ElementType type) const;
    const Element& NullElement() const;
    static void InitElementData(Element& element, std::size_t row);

    std::vector<std::unique_ptr<Element>> m_builtIn;  // one per table row
    std::vector<std::unique_ptr<Element>> m_user;     // every user element ever added
    std::vector<PoolEntry> m_pool;                    // registration order
    std::unordered_map<std::string, std::size_t> m_bySymbol;
    // First element in pool order by lower-cased name, by type and by atomic number.
    std::unordered_map<std::string, Element*> m_byName;
    // Types below DirectTypes, the built-in ones among them, are read from an array (null: none);
    // the rest from the map.
    static constexpr std::int32_t DirectTypes = 256;
    std::array<Element*, DirectTypes> m_byDirectType{};
    std::unordered_map<std::int32_t, Element*> m_byType;
    std::unordered_map<std::int32_t, Element*> m_byAtomicNumber;
};

} // namespace Tavrel
