#include <tavrel/monitors/PlaneMonitor.h>

#include <tavrel/foundation/PropertyTable.h>

#include <vector>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(PlaneMonitor)

namespace {

int CountExtracted(const OrdCollection& selection)
{
    OrdCollection objects;
    GeometryMonitor::ExtractObjects(selection, objects, 0);
    return objects.GetSize();
}

Point3d Unit(Point3d v)
{
    v.Normalize();
    return v;
}

} // namespace

PlaneMonitor::PlaneMonitor(Object* parent, const OrdCollection& objects) : GeometryMonitor(parent)
{
    OrdCollection extracted;
    ExtractObjects(objects, extracted, 0);
    for (int i = 0; i < extracted.GetSize(); ++i)
        RegisterTreeEvent(extracted.GetAt(i), Geometric::classType, Geometric::EventMoved, false, nullptr);
}

PlaneMonitor::PlaneMonitor(Object* parent, Object* a, Object* b) : GeometryMonitor(parent)
{
    for (Object* object : {a, b}) {
        if (Tavrel::IsA<Geometric>(object))
            RegisterTreeEvent(object, Geometric::classType, Geometric::EventMoved, false, nullptr);
    }
}

bool PlaneMonitor::CanCreate(const OrdCollection& selection)
{
    return CountExtracted(selection) > 2;
}

bool PlaneMonitor::SuggestedValue(const OrdCollection& selection, std::string& text)
{
    const int count = CountExtracted(selection);
    if (count > 3)
        text = "0.5";
    return count > 2;
}

Point3d PlaneMonitor::GetCorner(int index) const
{
    return Refresh() ? m_corners[static_cast<std::size_t>(index)] : Point3d::origin;
}

Point3d PlaneMonitor::GetNormal() const
{
    return Refresh() ? m_normal : Point3d::origin;
}

void PlaneMonitor::SetXYZ(const Point3d&) {}

void PlaneMonitor::Calculate()
{
    const Point3d::Array positions = GetItemPositions();
    if (positions.size() == 2) {
        // The square about A, perpendicular to AB, built from AB alone.
        const Point3d& a = positions[0];
        const Point3d v = positions[1] - a;
        const Point3d u1 = Unit(v.Cross(v.Normal()));
        const Point3d u2 = Unit(v.Cross(u1));
        m_corners = {a + u1, a + u2, a - u1, a - u2};
        m_normal = Unit(v);
    } else {
        Matrix3x3::BestFittingPlane(positions, m_corners);
    }
    const Point3d centre = (m_corners[0] + m_corners[1] + m_corners[2] + m_corners[3]) / 4.0;
    if (positions.size() != 2)
        m_normal = Unit((m_corners[0] - centre).Cross(m_corners[1] - centre));
    FinishCalculation(centre);
}

void PlaneMonitor::NormalDisplay(DisplayList3D& list)
{
    if (!Refresh())
        return;
    Color color = GetDrawingColor();
    color.SetAlpha(127);
    const Point3d back = m_normal * 0.01;
    std::vector<VertexNormal> vertices;
    vertices.reserve(8);
    for (const Point3d& corner : m_corners)
        vertices.push_back({corner, color, m_normal});
    for (const Point3d& corner : m_corners)
        vertices.push_back({corner - back, color, -m_normal});
    list.Add(TriangleMeshPrimitive(std::move(vertices), {{0, 1, 2}, {2, 3, 0}, {5, 4, 6}, {7, 6, 4}}, GetOID()));
}

void PlaneMonitor::FastDisplay(DisplayList3D& list)
{
    if (!Refresh())
        return;
    const Color color = GetDrawingColor();
    constexpr int sides[6][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 2}, {1, 3}};
    for (const auto& side : sides)
        list.Add(LinePrimitive(m_corners[side[0]], m_corners[side[1]], color, 1.0, GetOID()));
}

} // namespace Tavrel
