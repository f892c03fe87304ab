#include <tavrel/core/Font.h>

#include <stdexcept>
#include <utility>

namespace Tavrel {

Font::Font(std::string faceName, int pointSize, bool bold, bool italic)
    : m_faceName(std::move(faceName)), m_pointSize(pointSize), m_bold(bold), m_italic(italic)
{
    if (pointSize < 1)
        throw std::invalid_argument("Font: the point size must be at least 1");
}

const Font& Font::DefaultFont()
{
    static const Font font("sans-serif", 10);
    return font;
}

const Font& Font::DefaultBigFont()
{
    static const Font font("sans-serif", 14, true);
    return font;
}

} // namespace Tavrel
