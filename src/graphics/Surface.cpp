#include <tavrel/graphics/Surface.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Surface, ClassKind::DynamicOnly)

Surface::Surface() = default;

Surface::Surface(Object* parent) : Geometric3d(parent) {}

Surface::Surface(const Surface& other) = default;

void Surface::SetDisplayQuality(std::int32_t quality)
{
    s_displayQuality = quality;
}

std::int32_t Surface::GetDisplayQuality()
{
    return s_displayQuality;
}

} // namespace Tavrel
