#include <tavrel/core/LightSource.h>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

LightSource::LightSource(const Point3d& direction, const Color& color, bool enabled)
    : m_direction(direction), m_color(color), m_enabled(enabled)
{
}

void LightSource::Serialize(Archive& ar)
{
    if (ar.IsStoring())
        ar << *this;
    else
        ar >> *this;
}

Archive& operator<<(Archive& ar, const LightSource& light)
{
    return ar << light.GetDirection() << light.GetColor() << light.IsEnabled();
}

Archive& operator>>(Archive& ar, LightSource& light)
{
    Point3d direction;
    Color color;
    bool enabled = false;
    ar >> direction >> color >> enabled;
    light = LightSource(direction, color, enabled);
    return ar;
}

} // namespace Tavrel
