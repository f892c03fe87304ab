#include <tavrel/monitors/Surface.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Surface)

Surface::Surface(Object* parent) : Monitor(parent) {}

void Surface::SetDisplayQuality(std::int32_t quality)
{
    s_displayQuality = quality;
}

std::int32_t Surface::GetDisplayQuality()
{
    return s_displayQuality;
}

} // namespace Tavrel
