#include <tavrel/monitors/Surface.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS_IDENTITY(Surface, ClassKind::DynamicOnly)

Base* Surface::ShallowCopy() const
{
    return ShallowCopyOK() ? new Surface(*this) : nullptr;
}

Surface::Surface() = default;

Surface::Surface(Object* parent) : Monitor(parent) {}

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
