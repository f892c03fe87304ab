#include <tavrel/monitors/NormalMonitor.h>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/PlaneMonitor.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(NormalMonitor)

NormalMonitor::NormalMonitor(Object* parent, PlaneMonitor* plane, Geometric* point) : GeometryMonitor(parent)
{
    RegisterTreeEvent(plane, Geometric::classType, Geometric::EventMoved, false, nullptr);
    RegisterTreeEvent(point, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

NormalMonitor::NormalMonitor(Object* parent, const OrdCollection& objects) : GeometryMonitor(parent)
{
    PlaneMonitor* plane = nullptr;
    Geometric* point = nullptr;
    for (int i = 0; i < objects.GetSize(); ++i) {
        Object* const object = objects.GetAt(i);
        if (auto* const entry = DynCast<PlaneMonitor>(object))
            plane = entry;
        else if (auto* const other = DynCast<Geometric>(object))
            point = other;
    }
    if (!plane || !point)
        return;
    RegisterTreeEvent(plane, Geometric::classType, Geometric::EventMoved, false, nullptr);
    RegisterTreeEvent(point, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

const PropertyTable& NormalMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<NormalMonitor>()
            .Field<Storage::StorageFloat, &NormalMonitor::m_length>("NormalMonitor Normal Length")
            .Text("Length")
            .GetText([](const NormalMonitor& monitor) { return StringUtils::Format("%.1f", monitor.m_length); })
            .SetText([](NormalMonitor& monitor, std::string_view text) {
                float length = 0.0f;
                if (!StringUtils::StringToReal(text, length))
                    return false;
                monitor.SetNormalLength(length);
                return true;
            })
            .Described([](const NormalMonitor& monitor) {
                return ObjectProperty("Length", monitor.m_length, ReadWriteAccess, ObjectProperty::CategoryValue);
            }));
    return table;
}

bool NormalMonitor::CanCreate(const OrdCollection& selection)
{
    if (selection.GetSize() != 2)
        return false;
    const Object* const first = selection.GetAt(0);
    const Object* const second = selection.GetAt(1);
    const auto point = [](const Object* object) {
        return Tavrel::IsA<Geometric>(object) && !Tavrel::IsA<PlaneMonitor>(object);
    };
    return (Tavrel::IsA<PlaneMonitor>(first) && point(second)) || (Tavrel::IsA<PlaneMonitor>(second) && point(first));
}

bool NormalMonitor::SuggestedValue(const OrdCollection&, std::string&)
{
    return true;
}

const Point3d& NormalMonitor::GetNormal() const
{
    return Refresh() ? m_normal : Point3d::origin;
}

void NormalMonitor::SetNormalLength(float length)
{
    m_length = length;
    SetNeedsRecalc(true);
}

float NormalMonitor::GetNormalLength() const
{
    return m_length;
}

void NormalMonitor::SetXYZ(const Point3d&) {}

Point3d NormalMonitor::GetAnnotationXYZ() const
{
    if (!Refresh())
        return Point3d::origin;
    return GetXYZ() + ChangeLength(m_normal * m_length, 0.2f);
}

void NormalMonitor::Calculate()
{
    const auto* const plane = DynCast<PlaneMonitor>(GetItem(0));
    const auto* const point = DynCast<Geometric>(GetItem(1));
    if (!plane || !point) {
        m_normal = Point3d::origin;
        SetNeedsRecalc(false);
        return;
    }
    const Point3d centre = plane->GetCenter();
    m_normal = plane->GetNormal();
    double distance = 0.0;
    bool projected = false;
    const Point3d foot = point->GetXYZ().ProjectToPlane(centre, centre + m_normal, distance, projected);
    FinishCalculation(foot + m_normal * m_length);
}

bool NormalMonitor::GetRod(Point3d& foot, Point3d& tip) const
{
    if (!Refresh() || !Tavrel::IsA<PlaneMonitor>(GetItem(0)) || !Tavrel::IsA<Geometric>(GetItem(1)))
        return false;
    tip = GetXYZ();
    foot = tip - m_normal * m_length;
    return true;
}

void NormalMonitor::NormalDisplay(DisplayList3D& list)
{
    Point3d foot;
    Point3d tip;
    if (!GetRod(foot, tip))
        return;
    const Color color = GetDrawingColor();
    list.Add(CylinderPrimitive(foot, tip, color, 0.1, GetOID()));
    list.Add(SpherePrimitive(tip, 0.2, color, GetOID()));
}

void NormalMonitor::FastDisplay(DisplayList3D& list)
{
    Point3d foot;
    Point3d tip;
    if (!GetRod(foot, tip))
        return;
    const Color color = GetDrawingColor();
    list.Add(LinePrimitive(foot, tip, color, 1.0, GetOID()));
    list.Add(SpherePrimitive(tip, 0.2, color, GetOID()));
}

} // namespace Tavrel
