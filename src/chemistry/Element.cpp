#include <tavrel/chemistry/Element.h>

#include <algorithm>
#include <string>
#include <utility>

#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>

namespace Tavrel {

Element::~Element()
{
    if (m_handle != 0) {
        s_handles[m_handle - 1] = nullptr;
        s_freeHandles.push_back(m_handle);
    }
}

std::uint32_t Element::TakeHandle() const
{
    if (m_handle == 0) {
        if (s_freeHandles.empty()) {
            s_handles.push_back(this);
            m_handle = static_cast<std::uint32_t>(s_handles.size());
        } else {
            m_handle = s_freeHandles.back();
            s_freeHandles.pop_back();
            s_handles[m_handle - 1] = this;
        }
    }
    return m_handle;
}

Element::Element(const Element& other) : PersistentObject(other)
{
    CopyChemistry(other);
}

Element& Element::operator=(const Element& other)
{
    if (this != &other)
        CopyChemistry(other);
    return *this;
}

void Element::CopyChemistry(const Element& other)
{
    m_name = other.m_name;
    m_symbol = other.m_symbol;
    m_type = other.m_type;
    m_atomicNumber = other.m_atomicNumber;
    m_atomicWeight = other.m_atomicWeight;
    m_exactMass = other.m_exactMass;
    m_commonOxidationState = other.m_commonOxidationState;
    m_covalentRadius = other.m_covalentRadius;
    m_vdwRadius = other.m_vdwRadius;
    m_oxidationStates = other.m_oxidationStates;
    m_numOxidationStates = other.m_numOxidationStates;
    m_user = true;
}

float Element::GetBondingRadius() const
{
    switch (m_atomicNumber) {
    case 3: case 4: case 11: case 12: case 19: case 20:
    case 37: case 38: case 55: case 56: case 87: case 88:
        return 0.0f;
    default:
        break;
    }
    if ((m_atomicNumber >= 57 && m_atomicNumber <= 70) || (m_atomicNumber >= 89 && m_atomicNumber <= 102))
        return 0.0f;
    return m_covalentRadius * 1.15f;
}

void Element::SetOxidationStates(std::span<const std::int32_t> states)
{
    const auto count = std::min(states.size(), m_oxidationStates.size());
    m_oxidationStates.fill(0);
    std::copy_n(states.begin(), count, m_oxidationStates.begin());
    m_numOxidationStates = static_cast<std::int32_t>(count);
}

void Element::SetIthOxidationState(std::int32_t i, std::int32_t state)
{
    if (i >= 0 && i < MaxOxidationStates)
        m_oxidationStates[static_cast<std::size_t>(i)] = state;
}

void Element::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        archive << m_color << m_name << m_symbol << static_cast<std::uint32_t>(m_type) << m_atomicNumber
                << m_atomicWeight << m_exactMass;
        for (const std::int32_t state : m_oxidationStates)
            archive << state;
        archive << m_numOxidationStates << m_commonOxidationState << m_covalentRadius << m_vdwRadius;
        return;
    }

    Color color;
    std::string name;
    std::string symbol;
    std::uint32_t type = 0;
    std::int32_t atomicNumber = 0;
    float atomicWeight = 0.0f;
    double exactMass = 0.0;
    std::array<std::int32_t, MaxOxidationStates> states{};
    std::int32_t numStates = 0;
    std::int32_t commonState = 0;
    float covalentRadius = 0.0f;
    float vdwRadius = 0.0f;
    archive >> color >> name >> symbol >> type >> atomicNumber >> atomicWeight >> exactMass;
    for (std::int32_t& state : states)
        archive >> state;
    const std::size_t statesAt = archive.GetPosition();
    archive >> numStates >> commonState >> covalentRadius >> vdwRadius;
    if (numStates < 0 || numStates > MaxOxidationStates)
        archive.Refuse(ArchiveException::genericException,
                       "an element with " + std::to_string(numStates) + " oxidation states (at most " +
                           std::to_string(MaxOxidationStates) + ")",
                       statesAt);

    m_color = color;
    m_name = std::move(name);
    m_symbol = std::move(symbol);
    m_type = static_cast<ElementType>(type);
    m_atomicNumber = atomicNumber;
    m_atomicWeight = atomicWeight;
    m_exactMass = exactMass;
    std::fill(states.begin() + numStates, states.end(), 0);
    m_oxidationStates = states;
    m_numOxidationStates = numStates;
    m_commonOxidationState = commonState;
    m_covalentRadius = covalentRadius;
    m_vdwRadius = vdwRadius;
}

} // namespace Tavrel
