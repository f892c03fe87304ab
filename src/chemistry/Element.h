// Element: one chemical element's record (name, symbol, masses, colour, oxidation states, radii).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

// The atomic number for the built-in elements (1 hydrogen to 103 lawrencium); 0 is the unknown
// element. The number is stored in files.
enum ElementType : std::int32_t { UnknownElementType = 0 };

// Elements registered with ElementFactory are reached only through pointers to const, so only the
// factory changes them; a registered element stays alive until the process ends, so an atom may keep
// its handle (GetHandle), four bytes instead of a pointer. A free-standing element (to be copied into
// the factory as a user element) is built with the setters.
class Element : public PersistentObject {
public:
    static constexpr std::int32_t MaxOxidationStates = 5;

    // Empty texts, colour 0, every number 0, not a user element.
    Element() = default;
    // Copies everything but the colour (the copy's colour is 0) and marks the copy a user element.
    Element(const Element& other);
    // Copies everything but the colour (this element keeps its own) and marks this a user element.
    Element& operator=(const Element& other);
    ~Element() override;

    const std::string& GetName() const { return m_name; }
    const std::string& GetSymbol() const { return m_symbol; }
    ElementType GetType() const { return m_type; }
    std::int32_t GetAtomicNumber() const { return m_atomicNumber; }
    // Standard atomic weight.
    float GetAtomicWeight() const { return m_atomicWeight; }
    // Monoisotopic mass: that of the most abundant isotope.
    double GetExactMass() const { return m_exactMass; }
    Color GetColor() const { return m_color; }
    // Radii in the length unit of atom coordinates.
    float GetVDWRadius() const { return m_vdwRadius; }
    float GetCovalentRadius() const { return m_covalentRadius; }
    std::int32_t GetCommonOxidationState() const { return m_commonOxidationState; }
    std::int32_t GetNumOxidationStates() const { return m_numOxidationStates; }
    // The first GetNumOxidationStates states, in table order.
    std::span<const std::int32_t> GetOxidationStates() const
    {
        return {m_oxidationStates.data(), static_cast<std::size_t>(m_numOxidationStates)};
    }
    // False for the built-in elements, true for elements added by the host or made by copying.
    bool GetUser() const { return m_user; }

    // A number above 0 that names this element while it lives, given on the first request; a copy
    // has its own. FromHandle gives the element back, null for 0.
    std::uint32_t GetHandle() const { return m_handle != 0 ? m_handle : TakeHandle(); }
    static const Element* FromHandle(std::uint32_t handle) { return handle == 0 ? nullptr : s_handles[handle - 1]; }

    // The radius bond perception uses: 0 for the alkali and alkaline-earth metals (3, 4, 11, 12, 19,
    // 20, 37, 38, 55, 56, 87, 88), the lanthanides 57 to 70 and the actinides 89 to 102; otherwise
    // the covalent radius times 1.15 (lutetium, lawrencium and the unknown element included).
    float GetBondingRadius() const;

    void SetName(std::string_view name) { m_name = name; }
    void SetSymbol(std::string_view symbol) { m_symbol = symbol; }
    void SetType(ElementType type) { m_type = type; }
    void SetAtomicNumber(std::int32_t atomicNumber) { m_atomicNumber = atomicNumber; }
    void SetAtomicWeight(float weight) { m_atomicWeight = weight; }
    void SetExactMass(double mass) { m_exactMass = mass; }
    void SetColor(Color color) { m_color = color; }
    void SetVDWRadius(float radius) { m_vdwRadius = radius; }
    void SetCovalentRadius(float radius) { m_covalentRadius = radius; }
    void SetCommonOxidationState(std::int32_t state) { m_commonOxidationState = state; }
    // Takes the first five states at most; the count becomes their number and later entries are 0.
    void SetOxidationStates(std::span<const std::int32_t> states);
    // Stores state i for i from 0 to 4; other indices are ignored. The count is left as it is.
    void SetIthOxidationState(std::int32_t i, std::int32_t state);

    // Colour (R, G, B, A bytes), name, symbol, type (u32), atomic number (i32), atomic weight (f32),
    // exact mass (f64), five oxidation states (i32), their count (i32), common state (i32), covalent
    // and van der Waals radii (f32). No version, no user flag. Loading changes the element only when
    // the whole record was read and its count is 0 to 5; otherwise it throws ArchiveException.
    void Serialize(Archive& archive) override;

private:
    friend class ElementFactory;

    void SetUser(bool user) { m_user = user; }
    void CopyChemistry(const Element& other);

    std::string m_name;
    std::string m_symbol;
    ElementType m_type = UnknownElementType;
    std::int32_t m_atomicNumber = 0;
    float m_atomicWeight = 0.0f;
    double m_exactMass = 0.0;
    Color m_color;
    std::array<std::int32_t, MaxOxidationStates> m_oxidationStates{};
    std::int32_t m_numOxidationStates = 0;
    std::int32_t m_commonOxidationState = 0;
    float m_covalentRadius = 0.0f;
    float m_vdwRadius = 0.0f;
    bool m_user = false;
    mutable std::uint32_t m_handle = 0;  // 0 until GetHandle

    // The first request's handle: a free one, else the next.
    std::uint32_t TakeHandle() const;

    // By handle - 1; the entries of elements destroyed are null and listed in s_freeHandles for reuse.
    static inline std::vector<const Element*> s_handles;
    static inline std::vector<std::uint32_t> s_freeHandles;
};

// Element pointers gathered by the element enumerator; the array never owns the elements.
using ElementArray = std::vector<const Element*>;

} // namespace Tavrel
