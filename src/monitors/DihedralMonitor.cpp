#include <tavrel/monitors/DihedralMonitor.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_set>

#include <tavrel/chemistry/Bondable.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(DihedralMonitor)

namespace {

bool Bonded(const Object* a, const Object* b)
{
    const auto* const end = DynCast<Bondable>(a);
    const auto* const other = DynCast<Bondable>(b);
    return end && other && end->IsBonded(other);
}

Point3d Unit(Point3d v)
{
    v.Normalize();
    return v;
}

// The distance from an outer bond's inner end at which the bond passes r from the central axis, the
// bond making the angle (degrees) with the axis: r / sin(angle), never beyond the bond's far end.
double ArmLength(double r, double degrees, double bondLength)
{
    if (r <= 0.0)
        return 0.0;
    const double sine = std::sin(degrees * std::numbers::pi / 180.0);
    return sine > 0.0 ? std::min(r / sine, bondLength) : bondLength;
}

} // namespace

DihedralMonitor::DihedralMonitor(Object* parent, Geometric* a, Geometric* b, Geometric* c, Geometric* d)
    : GeometryMonitor(parent)
{
    if (!a || !b || !c || !d)
        return;
    for (Geometric* item : {a, b, c, d})
        RegisterTreeEvent(item, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

DihedralMonitor::DihedralMonitor(Object* parent, const OrdCollection& selection) : GeometryMonitor(parent)
{
    OrdCollection objects;
    if (!ExtractObjects(selection, objects))
        return;
    for (int i = 0; i < 4; ++i)
        RegisterTreeEvent(objects.GetAt(i), Geometric::classType, Geometric::EventMoved, false, nullptr);
}

const PropertyTable& DihedralMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<DihedralMonitor>()
            .Text("Angle")
            .GetText([](const DihedralMonitor& monitor) { return monitor.GetAnnotation(); })
            .ReadOnly()
            .Described([](const DihedralMonitor& monitor) {
                return ObjectProperty("Angle", monitor.GetAngle(), ObjectProperty::AccessReadable, ObjectProperty::CategoryValue);
            }));
    return table;
}

// ---- Creation from a selection

bool DihedralMonitor::CanCreate(const OrdCollection& selection)
{
    OrdCollection objects;
    return ExtractObjects(selection, objects);
}

bool DihedralMonitor::ExtractObjects(const OrdCollection& selection, OrdCollection& output)
{
    OrdCollection objects;
    if (!GeometryMonitor::ExtractObjects(selection, objects, 5))
        return false;
    if (objects.GetSize() == 2 && !ExtractAttachedObjects(objects))
        return false;
    if (objects.GetSize() != 4)
        return false;
    std::unordered_set<const Object*> distinct;
    for (int i = 0; i < 4; ++i)
        distinct.insert(objects.GetAt(i));
    return distinct.size() == 4 &&
           ReorderObjects(objects.GetAt(0), objects.GetAt(1), objects.GetAt(2), objects.GetAt(3), output);
}

bool DihedralMonitor::ExtractAttachedObjects(OrdCollection& objects)
{
    if (objects.GetSize() != 2)
        return false;
    const auto* const x0 = DynCast<Bondable>(objects.GetAt(0));
    const auto* const x1 = DynCast<Bondable>(objects.GetAt(1));
    if (!x0 || !x1 || !x0->IsBonded(x1))
        return false;
    std::array<Bondable*, 2> chosen{};
    for (int k = 0; k < 2; ++k) {
        const Bondable* const end = k == 0 ? x0 : x1;
        if (end->GetNumAttached() < 2)
            return false;
        int most = -1;
        for (int i = 0; i < end->GetNumAttached() && most < 4; ++i) {
            Bondable* const neighbour = end->GetAttached(i);
            if (neighbour == x0 || neighbour == x1 || neighbour->GetNumAttached() <= most)
                continue;
            chosen[k] = neighbour;
            most = neighbour->GetNumAttached();
        }
        if (!chosen[k])
            return false;
    }
    objects.Add(chosen[0]);
    objects.Add(chosen[1]);
    return true;
}

bool DihedralMonitor::ReorderObjects(Object* a, Object* b, Object* c, Object* d, OrdCollection& output)
{
    if (!a || !b || !c || !d)
        return false;
    std::array<Object*, 4> order{a, b, c, d};
    if (Bonded(a, b)) {
        if (Bonded(b, c) && Bonded(a, d))
            order = {d, a, b, c};
        else if (Bonded(b, d))
            order = Bonded(a, c) ? std::array<Object*, 4>{c, a, b, d} : std::array<Object*, 4>{a, b, d, c};
    }
    if (Bonded(a, c)) {
        if (Bonded(c, d))
            order = Bonded(a, b) ? std::array<Object*, 4>{b, a, c, d} : std::array<Object*, 4>{a, c, d, b};
        else if (Bonded(b, c))
            order = Bonded(a, d) ? std::array<Object*, 4>{d, a, c, b} : std::array<Object*, 4>{a, c, b, d};
    }
    if (Bonded(a, d)) {
        if (Bonded(d, b))
            order = Bonded(a, c) ? std::array<Object*, 4>{c, a, d, b} : std::array<Object*, 4>{a, d, b, c};
        else if (Bonded(d, c))
            order = Bonded(a, b) ? std::array<Object*, 4>{b, a, d, c} : std::array<Object*, 4>{a, d, c, b};
    }
    output.RemoveAll();
    for (Object* object : order)
        output.Add(object);
    return true;
}

Object* DihedralMonitor::ExtractParent(const OrdCollection& objects)
{
    if (objects.GetSize() != 4)
        return nullptr;
    const auto ancestor = [](const TreeNode* x, const TreeNode* y) -> const TreeNode* {
        return x && y ? x->FindCommonAncestor(y) : nullptr;
    };
    const TreeNode* const first = ancestor(objects.GetAt(0), objects.GetAt(1));
    const TreeNode* const second = ancestor(objects.GetAt(2), objects.GetAt(3));
    return DynCast<Object>(const_cast<TreeNode*>(ancestor(first, second)));
}

// ---- Measurement

bool DihedralMonitor::GetPositions(std::array<Point3d, 4>& positions) const
{
    std::array<Geometric*, 4> items{};
    if (!GetMeasuredItems(items))
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        positions[i] = items[i]->GetXYZ();
    return true;
}

double DihedralMonitor::GetAngle() const
{
    return Refresh() ? m_angle : 0.0;
}

Bond* DihedralMonitor::GetMeasuredBond() const
{
    const auto* const first = DynCast<Bondable>(GetItem(1));
    const auto* const second = DynCast<Bondable>(GetItem(2));
    return first && second ? first->FindBond(second) : nullptr;
}

std::string DihedralMonitor::GetAnnotation() const
{
    return StringUtils::Format("%.1f", GetAngle());
}

void DihedralMonitor::Calculate()
{
    std::array<Point3d, 4> p;
    m_angle = GetPositions(p) ? Dihedral(p[0], p[1], p[2], p[3]) : 0.0;
    m_needsClean = true;
    SetNeedsRecalc(false);
}

void DihedralMonitor::Clean()
{
    std::array<Point3d, 4> p;
    m_needsClean = false;
    if (!GetPositions(p))
        return;
    UpdateEndPoints(p[0], p[1], p[2], p[3]);
    UpdateLabel(p[0], p[1], p[2], p[3]);
}

void DihedralMonitor::UpdateEndPoints(const Point3d& p0, const Point3d& p1, const Point3d& p2, const Point3d& p3)
{
    const Point3d m = MidPoint(p1, p2);
    const Point3d a = p0 - p1;
    const Point3d b = p2 - p1;
    const Point3d c = p3 - p2;
    // The directions, perpendicular to the bond, towards the two outer atoms.
    const Point3d e1 = Unit(b.Cross(Unit(a.Cross(b))));
    const Point3d e2 = Unit(b.Cross(Unit(c.Cross(b))));
    const double r = std::min(0.5 * e1.Dot(a), 0.5 * e2.Dot(c));
    m_endPoint1 = m + e1 * r;
    m_endPoint2 = m + e2 * r;
}

Point3d DihedralMonitor::GetEndPoint1() const
{
    return m_endPoint1;
}

Point3d DihedralMonitor::GetEndPoint2() const
{
    return m_endPoint2;
}

void DihedralMonitor::UpdateLabel(const Point3d&, const Point3d& p1, const Point3d& p2, const Point3d&)
{
    const Point3d m = MidPoint(p1, p2);
    const Point3d end1 = GetEndPoint1();
    const Point3d direction = ChangeLength(Unit(GetEndPoint2() - m) + Unit(end1 - m), Distance(end1, m) + 0.05);
    SetXYZ(p1 + direction);
}

// ---- Display

void DihedralMonitor::NormalDisplay(DisplayList3D& list)
{
    if (std::array<Point3d, 4> p; !GetPositions(p))
        return;
    DisplayLabelled("angle", [this, &list](const Color& color) {
        if (m_needsClean) {
            const Watch self(this);
            Clean();
            if (!self.alive)
                return;
        }
        std::array<Point3d, 4> p;
        if (!GetPositions(p))
            return;
        const Point3d m = MidPoint(p[1], p[2]);
        const Point3d end1 = GetEndPoint1();
        const Point3d end2 = GetEndPoint2();
        const double r = Distance(end1, m);
        const double arm1 = ArmLength(r, Angle(p[0], p[1], m), Distance(p[0], p[1]));
        const double arm2 = ArmLength(r, Angle(m, p[2], p[3]), Distance(p[3], p[2]));
        const Point3d q1 = p[1] + Unit(p[0] - p[1]) * arm1;
        const Point3d q2 = p[2] + Unit(p[3] - p[2]) * arm2;
        const Point3d axis = m_angle >= 0.0 ? p[2] - p[1] : p[1] - p[2];
        const auto sweep = static_cast<float>(std::fabs(m_angle));
        const auto segments = static_cast<int>(sweep * 0.25f);
        const std::uint32_t oid = GetOID();
        list.Add(LinePrimitive(q1, end1, color, 1.0, oid));
        list.Add(LinePrimitive(end1, m, color, 1.0, oid));
        list.Add(ArcPrimitive(m, axis, end1, sweep, segments, color, 1.0, oid));
        list.Add(LinePrimitive(m, end2, color, 1.0, oid));
        list.Add(LinePrimitive(end2, q2, color, 1.0, oid));
    });
}

} // namespace Tavrel
