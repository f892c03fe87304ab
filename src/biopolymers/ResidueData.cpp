#include <tavrel/biopolymers/ResidueData.h>

#include <utility>

#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

void ResidueData::Serialize(Archive& archive)
{
    constexpr std::uint32_t ColorBits = 0x00FFFFFFu;
    if (archive.IsStoring()) {
        archive << static_cast<std::int32_t>(m_type) << static_cast<std::int32_t>(m_kind) << m_symbol << m_abbreviation
                << m_name << m_hydrophobicity << m_pKa << (m_color.GetValue() & ColorBits) << std::uint32_t{0};
        return;
    }
    std::int32_t type = 0;
    std::int32_t kind = 0;
    std::string symbol;
    std::string abbreviation;
    std::string name;
    float hydrophobicity = 0.0f;
    float pKa = 0.0f;
    std::uint32_t color = 0;
    std::uint32_t method = 0;
    archive >> type >> kind >> symbol >> abbreviation >> name >> hydrophobicity >> pKa >> color >> method;
    m_type = static_cast<ResidueType>(type);
    m_kind = static_cast<LSType>(kind);
    m_pdbName.clear();
    m_symbol = std::move(symbol);
    m_abbreviation = std::move(abbreviation);
    m_name = std::move(name);
    m_hydrophobicity = hydrophobicity;
    m_pKa = pKa;
    m_color = Color(color & ColorBits);
    m_bondMethod = ResiduePool::GetResiduePool().GetResidueData(m_type)->GetBondMethod();
}

} // namespace Tavrel
