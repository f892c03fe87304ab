// LightSource: one directional light of the scene (direction, colour, on/off).
#pragma once

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>

namespace Tavrel {

class Archive;

class LightSource {
public:
    // Pointing along (0, 0, 1), packed colour 0, switched off.
    LightSource() = default;
    LightSource(const Point3d& direction, const Color& color, bool enabled);

    const Point3d& GetDirection() const { return m_direction; }
    void SetDirection(const Point3d& direction) { m_direction = direction; }
    const Color& GetColor() const { return m_color; }
    void SetColor(const Color& color) { m_color = color; }
    bool IsEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    friend bool operator==(const LightSource&, const LightSource&) = default;

    // Direction (three floats), packed colour (32 bits), enabled (one byte, any non-zero byte reads
    // as true).
    void Serialize(Archive& ar);

private:
    Point3d m_direction{0.0, 0.0, 1.0};
    Color m_color;
    bool m_enabled = false;
};

Archive& operator<<(Archive& ar, const LightSource& light);
Archive& operator>>(Archive& ar, LightSource& light);

} // namespace Tavrel
