#include <tavrel/monitors/RotatableBondMonitor.h>

#include <tavrel/foundation/PropertyTable.h>

#include <array>

#include <tavrel/core/GraphicsPrimitives.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(RotatableBondMonitor)

std::string RotatableBondMonitor::GetCommonName() const
{
    return "Rotatable Bond";
}

void RotatableBondMonitor::NormalDisplay(DisplayList3D& list)
{
    std::array<Point3d, 4> p;
    if (!GetPositions(p))
        return;
    const Watch self(this);
    const double angle = GetAngle();
    if (!self.alive)
        return;
    Clean();
    if (!self.alive || !GetPositions(p))
        return;
    const Point3d start = GetEndPoint1();
    const Point3d m = MidPoint(p[1], p[2]);
    const Point3d axis = angle >= 0.0 ? p[2] - p[1] : p[1] - p[2];
    const Point3d tip = start + ChangeLength(axis.Cross(start - m), 0.15);
    const Color color = GetDrawingColor();
    list.Add(ArcPrimitive(m, axis, start, 220.0, 55, color, 1.0, GetOID()));
    list.Add(ConePrimitive(tip, start, color, 0.1, GetOID()));
}

} // namespace Tavrel
