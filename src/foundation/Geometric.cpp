#include <tavrel/foundation/Geometric.h>

#include <algorithm>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Geometric)

namespace {

// A coordinate of the position as a property of its own: the position with that coordinate replaced.
template <float Point3d::*Component>
constexpr auto GetComponent = [](const Geometric& geometric) { return geometric.GetXYZ().*Component; };
template <float Point3d::*Component>
constexpr auto SetComponent = [](Geometric& geometric, float value) {
    Point3d p = geometric.GetXYZ();
    p.*Component = value;
    geometric.SetXYZ(p);
};

// Calls visit (Geometric&) on every Geometric below top (top excluded) in pre-order; the stack holds one entry per
// level, so the depth of the tree never reaches the C++ stack.
template <class Visit>
void ForEachGeometricDescendant(const TreeNode* top, Visit&& visit)
{
    std::vector<std::pair<const TreeNode*, int>> stack{{top, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        TreeNode* child = node->GetChild(next++);
        if (!child) {
            stack.pop_back();
            continue;
        }
        if (Geometric* geometric = DynCast<Geometric>(child))
            visit(*geometric);
        stack.emplace_back(child, 0);
    }
}

// Applies a motion to the object, then to each Geometric descendant. The descendants are gathered
// after the object has moved, as the tree then stands; one that a listener of an earlier move deleted
// is skipped, and nothing more moves once the object itself is gone.
template <class Move>
void MoveTree(Geometric& top, Move&& move)
{
    {
        const TreeNode::Watch watch(&top);
        move(top);
        if (!watch.alive)
            return;
    }
    std::vector<Geometric*> descendants;
    ForEachGeometricDescendant(&top, [&descendants](Geometric& geometric) { descendants.push_back(&geometric); });
    std::deque<TreeNode::Watch> watches;
    for (Geometric* geometric : descendants)
        watches.emplace_back(geometric);
    for (std::size_t i = 0; i < descendants.size(); ++i) {
        if (watches[i].alive)
            move(*descendants[i]);
    }
}

} // namespace

// As in Object: tree registrations above reach this level's mask byte.
Geometric::Geometric(Object* parent) : Object(parent)
{
    SetMaskFromParents();
}

const PropertyTable& Geometric::Properties()
{
    static const PropertyTable table(
        PropertyList<Geometric>()
            .Text("XYZ")
            .Accessors<&Geometric::GetXYZ, &Geometric::SetXYZ>()
            .Shown(ObjectProperty::CategoryPoint)
            .Text("X")
            .Accessors(GetComponent<&Point3d::x>, SetComponent<&Point3d::x>)
            .Text("Y")
            .Accessors(GetComponent<&Point3d::y>, SetComponent<&Point3d::y>)
            .Text("Z")
            .Accessors(GetComponent<&Point3d::z>, SetComponent<&Point3d::z>));
    return table;
}

// ---- Position and motions

Point3d Geometric::GetXYZ() const
{
    return Point3d::origin;
}

void Geometric::SetXYZ(const Point3d&)
{
    NotifyIfHeard(classType, EventMoved, nullptr, nullptr);
}

void Geometric::Rotate(const Point3d& a, const Point3d& b, double angle)
{
    Point3d p = GetXYZ();
    Matrix4x4(a, b, angle).Transform(p);
    SetXYZ(p);
}

void Geometric::Rotate(const Point3d& axis, double angle)
{
    Point3d p = GetXYZ();
    Matrix4x4(axis, angle).Rotate(p);
    SetXYZ(p);
}

void Geometric::Transform(const Matrix4x4& matrix)
{
    Point3d p = GetXYZ();
    matrix.Transform(p);
    SetXYZ(p);
}

void Geometric::Translate(const Point3d& offset)
{
    SetXYZ(GetXYZ() + offset);
}

void Geometric::RotateTree(const Point3d& a, const Point3d& b, double angle)
{
    MoveTree(*this, [&](Geometric& geometric) { geometric.Rotate(a, b, angle); });
}

void Geometric::TranslateTree(const Point3d& offset)
{
    MoveTree(*this, [&](Geometric& geometric) { geometric.Translate(offset); });
}

void Geometric::TransformTree(const Matrix4x4& matrix)
{
    MoveTree(*this, [&](Geometric& geometric) { geometric.Transform(matrix); });
}

// ---- Centre, extents, label anchor

Point3d Geometric::CalculateCenter() const
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    std::size_t count = 0;
    ForEachGeometricDescendant(this, [&](const Geometric& geometric) {
        const Point3d p = geometric.GetXYZ();
        x += p.x;
        y += p.y;
        z += p.z;
        ++count;
    });
    if (count == 0)
        return Geometric::GetXYZ();
    const auto n = static_cast<double>(count);
    return Point3d(x / n, y / n, z / n);
}

void Geometric::CalculateExtents(Point3d& first, Point3d& second) const
{
    first = second = GetXYZ();
    constexpr float largest = std::numeric_limits<float>::max();
    Point3d maximum(-largest, -largest, -largest);
    Point3d minimum(largest, largest, largest);
    bool any = false;
    ForEachGeometricDescendant(this, [&](const Geometric& geometric) {
        const Point3d p = geometric.GetXYZ();
        maximum = Point3d(std::max(maximum.x, p.x), std::max(maximum.y, p.y), std::max(maximum.z, p.z));
        minimum = Point3d(std::min(minimum.x, p.x), std::min(minimum.y, p.y), std::min(minimum.z, p.z));
        any = true;
    });
    if (any) {
        first = maximum;
        second = minimum;
    }
}

Point3d Geometric::GetAnnotationXYZ() const
{
    Point3d first;
    Point3d second;
    CalculateExtents(first, second);
    return first;
}

// ---- Position marker

void Geometric::DisplayJack(const Color& color, std::uint32_t pickId, DisplayList3D& list) const
{
    if (list.GetMode() == 0)
        return;
    const Point3d p = GetXYZ();
    constexpr float arm = 0.2f;
    for (const Point3d& v : {Point3d(arm, 0.0, 0.0), Point3d(0.0, arm, 0.0), Point3d(0.0, 0.0, arm)})
        list.Add(LinePrimitive(p + v, p - v, color, 1.0, PickIds()));
    list.Add(DotPrimitive(p, color, 1.0, pickId));
}

} // namespace Tavrel
