// Font: the typeface description that text primitives carry to the host's renderer.
#pragma once

#include <string>

namespace Tavrel {

class Font {
public:
    // Face name, height in points (at least 1, else std::invalid_argument), weight and slant.
    explicit Font(std::string faceName = "sans-serif", int pointSize = 10, bool bold = false, bool italic = false);

    // The default label font (10 point) and its large form (14 point, bold).
    static const Font& DefaultFont();
    static const Font& DefaultBigFont();

    const std::string& GetFaceName() const { return m_faceName; }
    int GetPointSize() const { return m_pointSize; }
    bool IsBold() const { return m_bold; }
    bool IsItalic() const { return m_italic; }

    friend bool operator==(const Font&, const Font&) = default;

private:
    std::string m_faceName;
    int m_pointSize;
    bool m_bold;
    bool m_italic;
};

} // namespace Tavrel
