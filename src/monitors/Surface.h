// Surface: the abstract base of solid surfaces and isosurfaces, with the display quality they share.
#pragma once

#include <cstdint>

#include <tavrel/monitors/Monitor.h>

namespace Tavrel {

// A monitor of the objects it covers. Dynamic-only: neither created by name nor read from a
// framework archive. The meshes come with the graphics subsystem.
class Surface : public Monitor {
    TAVREL_CLASS(Surface, Monitor, DynamicOnly)
public:
    // The quality every surface uses when its mesh is regenerated; 1 at start.
    static void SetDisplayQuality(std::int32_t quality);
    static std::int32_t GetDisplayQuality();

protected:
    explicit Surface(Object* parent);

private:
    static inline std::int32_t s_displayQuality = 1;
};

} // namespace Tavrel
