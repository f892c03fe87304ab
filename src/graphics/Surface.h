// Surface: the abstract base of solid surfaces and isosurfaces, with the display quality they share.
#pragma once

#include <cstdint>

#include <tavrel/foundation/Geometric3d.h>

namespace Tavrel {

// Derives from Geometric3d until Monitor exists (Monitor -> Geometric3d). Dynamic-only: neither
// created by name nor read from a framework archive. The meshes come with the graphics subsystem.
class Surface : public Geometric3d {
    TAVREL_CLASS(Surface, Geometric3d, DynamicOnly)
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
