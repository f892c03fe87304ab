#include <tavrel/graphics/SecondaryColorScheme.h>

#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/graphics/SecondaryStructureQueries.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

void SecondaryColorScheme::GetColors(Color& coil, Color& helix, Color& sheet, Color& turn) const
{
    coil = m_colors[0];
    helix = m_colors[1];
    sheet = m_colors[2];
    turn = m_colors[3];
}

void SecondaryColorScheme::SetColors(const Color& coil, const Color& helix, const Color& sheet, const Color& turn)
{
    m_colors = {coil, helix, sheet, turn};
}

Color SecondaryColorScheme::ColorOf(std::int32_t environment) const
{
    return environment >= 0 && environment < static_cast<std::int32_t>(m_colors.size()) ? m_colors[environment]
                                                                                        : m_colors[0];
}

void SecondaryColorScheme::ApplyScheme(Object& chain) const
{
    const SecondaryStructureQueries& queries = SecondaryStructureQueries::Installed();
    if (!queries.HasSecondaryStructure(chain))
        queries.CalcSecondaryStructure(chain);
    DescendentIterator walk(&chain, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        std::int32_t environment = 0;
        if (queries.GetEnvironment(*object, environment))
            object->SetColor(ColorOf(environment));
    }
}

void SecondaryColorScheme::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        for (const Color& color : m_colors)
            archive << color;
        return;
    }
    std::array<Color, 4> colors;
    for (Color& color : colors)
        archive >> color;
    m_colors = colors;
}

} // namespace Tavrel
