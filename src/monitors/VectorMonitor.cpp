#include <tavrel/monitors/VectorMonitor.h>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(VectorMonitor)

VectorMonitor::VectorMonitor(Object* parent, Object* a, Object* b) : GeometryMonitor(parent)
{
    RegisterTreeEvent(a, Geometric::classType, Geometric::EventMoved, false, nullptr);
    RegisterTreeEvent(b, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

VectorMonitor::VectorMonitor(Object* parent, const Point3d& p, Object* b) : GeometryMonitor(parent), m_firstPoint(p)
{
    RegisterTreeEvent(b, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

VectorMonitor::VectorMonitor(Object* parent, const Point3d& p, const Point3d& q)
    : GeometryMonitor(parent), m_firstPoint(p), m_secondPoint(q)
{
}

const PropertyTable& VectorMonitor::Properties()
{
    // Not in the framework archive, whose record is GeometryMonitor's.
    static const PropertyTable table(PropertyList<VectorMonitor>()
                                         .Archived<&VectorMonitor::m_firstPoint>("VectorMonitor First Point")
                                         .StreamOnly()
                                         .Archived<&VectorMonitor::m_secondPoint>("VectorMonitor Second Point")
                                         .StreamOnly());
    return table;
}

bool VectorMonitor::CanCreate(const OrdCollection& selection)
{
    int count = 0;
    for (int i = 0; i < selection.GetSize(); ++i) {
        if (Tavrel::IsA<Geometric>(selection.GetAt(i)) && ++count == 2)
            return true;
    }
    return false;
}

bool VectorMonitor::SuggestedValue(const OrdCollection&, std::string&)
{
    return true;
}

void VectorMonitor::SetXYZ(const Point3d&) {}

void VectorMonitor::GetEnds(Point3d& first, Point3d& second) const
{
    switch (GetNumItemsMonitoring()) {
    case 0:
        first = m_firstPoint;
        second = m_secondPoint;
        break;
    case 1:
        first = m_firstPoint;
        second = GetItemPosition(0);
        break;
    default:
        first = GetItemPosition(0);
        second = GetItemPosition(1);
        break;
    }
}

void VectorMonitor::Calculate()
{
    Point3d first;
    Point3d second;
    GetEnds(first, second);
    FinishCalculation((first + second) / 2.0);
}

void VectorMonitor::NormalDisplay(DisplayList3D& list)
{
    Point3d first;
    Point3d second;
    GetEnds(first, second);
    const Point3d base = second + (first - second) * 0.1;
    const Color color = GetDrawingColor();
    list.Add(ConePrimitive(base, first, color, 0.5, GetOID()));
    list.Add(CylinderPrimitive(second, base, color, static_cast<double>(0.1f), GetOID()));
}

} // namespace Tavrel
