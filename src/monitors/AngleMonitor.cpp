#include <tavrel/monitors/AngleMonitor.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Bondable.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(AngleMonitor)

namespace {

constexpr const char* OrientationNames[] = {"First Angle", "Second Angle", "Third Angle"};

const char* OrientationName(AngleMonitor::Orientation orientation)
{
    return orientation >= AngleMonitor::FirstAngle && orientation <= AngleMonitor::ThirdAngle
               ? OrientationNames[orientation]
               : "";
}

// The orientation a text names by its leading letters in any case ("first", "Second Angle",
// "THIRDLY"); any other text chooses the first.
AngleMonitor::Orientation ParseOrientation(std::string_view text)
{
    const auto begins = [text](std::string_view word) {
        return StringUtils::EqualsNoCase(text.substr(0, word.size()), word);
    };
    if (begins("second"))
        return AngleMonitor::SecondAngle;
    if (begins("third"))
        return AngleMonitor::ThirdAngle;
    return AngleMonitor::FirstAngle;
}

Point3d PositionOf(const Object* object)
{
    const auto* const positioned = DynCast<Geometric>(object);
    return positioned ? positioned->GetXYZ() : Point3d::origin;
}

bool Connected(Geometric* a, Geometric* b)
{
    const auto* const end = DynCast<Bondable>(a);
    const auto* const other = DynCast<Bondable>(b);
    return end && other && end->IsInSameFragment(other);
}

// Everything bonded to the item without crossing the stop atom (included when reached); an item
// that bonds to nothing is a fragment of its own.
void CollectFragment(Geometric* item, Bondable* stop, SetCollection& objects)
{
    const auto* const end = DynCast<Bondable>(item);
    if (!end) {
        objects.Add(item);
        return;
    }
    SetCollection bonds;
    SetCollection stops;
    if (stop)
        stops.Add(stop);
    end->GetFragment(&objects, &bonds, stop ? &stops : nullptr, nullptr, true);
}

} // namespace

AngleMonitor::AngleMonitor(Object* parent, Geometric* a, Geometric* b, Geometric* c) : GeometryMonitor(parent)
{
    if (!a || !b || !c)
        return;
    for (Geometric* item : {a, b, c})
        RegisterTreeEvent(item, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

AngleMonitor::AngleMonitor(Object* parent, const OrdCollection& selection) : GeometryMonitor(parent)
{
    OrdCollection objects;
    if (!ExtractObjects(selection, objects))
        return;
    for (int i = 0; i < 3; ++i)
        RegisterTreeEvent(objects.GetAt(i), Geometric::classType, Geometric::EventMoved, false, nullptr);
}

const PropertyTable& AngleMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<AngleMonitor>()
            // Not in the framework archive, whose record is GeometryMonitor's.
            .Field<Storage::StorageInt, &AngleMonitor::m_orientation>("AngleMonitor Orientation")
            .StreamOnly()
            .Text("Angle")
            .GetText([](const AngleMonitor& monitor) { return monitor.GetAnnotation(); })
            .SetText([](AngleMonitor& monitor, std::string_view text) {
                double degrees = 0.0;
                if (!StringUtils::StringToReal(text, degrees) || std::fabs(degrees) > MaxTextAngle)
                    return false;
                return monitor.SetAngle(degrees);
            })
            .Described([](const AngleMonitor& monitor) {
                return ObjectProperty("Angle", monitor.GetAngle(), ReadWriteAccess, ObjectProperty::CategoryValue);
            })
            .Text("Orientation")
            .GetText([](const AngleMonitor& monitor) { return OrientationName(monitor.m_orientation); })
            .SetText([](AngleMonitor& monitor, std::string_view text) {
                monitor.SetMeasuredAngle(ParseOrientation(text));
                return true;
            })
            .Choices({OrientationNames[0], OrientationNames[1], OrientationNames[2]})
            .Shown(ObjectProperty::CategoryChoice));
    return table;
}

// ---- Creation from a selection

bool AngleMonitor::CanCreate(const OrdCollection& selection)
{
    OrdCollection objects;
    return GeometryMonitor::ExtractObjects(selection, objects, 4) && objects.GetSize() == 3;
}

bool AngleMonitor::ExtractObjects(const OrdCollection& selection, OrdCollection& output)
{
    if (!GeometryMonitor::ExtractObjects(selection, output, 4) || output.GetSize() != 3)
        return false;
    ReorderObjects(output);
    return true;
}

void AngleMonitor::ReorderObjects(OrdCollection& objects)
{
    if (objects.GetSize() != 3)
        return;
    std::array<Object*, 3> ordered{objects.GetAt(0), objects.GetAt(1), objects.GetAt(2)};
    std::array<int, 3> bonded{};
    for (int i = 0; i < 3; ++i) {
        const auto* const end = DynCast<Bondable>(ordered[i]);
        for (int j = i + 1; j < 3 && end; ++j) {
            if (end->IsBonded(DynCast<Bondable>(ordered[j]))) {
                ++bonded[i];
                ++bonded[j];
            }
        }
    }
    int vertex = 1;
    for (int k = 0; k < 3; ++k) {
        if (bonded[k] > bonded[vertex])
            vertex = k;
    }
    std::swap(ordered[vertex], ordered[1]);
    const Point3d centre = PositionOf(ordered[1]);
    if (Distance(PositionOf(ordered[2]), centre) < Distance(PositionOf(ordered[0]), centre))
        std::swap(ordered[0], ordered[2]);
    for (int i = 0; i < 3; ++i)
        objects.SetAt(i, ordered[i]);
}

// ---- Measurement

std::array<int, 3> AngleMonitor::OrientedItems() const
{
    switch (m_orientation) {
    case SecondAngle: return {1, 2, 0};
    case ThirdAngle: return {2, 0, 1};
    default: return {0, 1, 2};
    }
}

bool AngleMonitor::OrientPointOrder(Point3d& first, Point3d& vertex, Point3d& second) const
{
    std::array<Geometric*, 3> items{};
    if (!GetMeasuredItems(items))
        return false;
    const std::array<int, 3> order = OrientedItems();
    first = items[order[0]]->GetXYZ();
    vertex = items[order[1]]->GetXYZ();
    second = items[order[2]]->GetXYZ();
    return true;
}

double AngleMonitor::GetAngle() const
{
    return Refresh() ? m_angle : 0.0;
}

AngleMonitor::Orientation AngleMonitor::GetMeasuredAngle() const
{
    return m_orientation;
}

void AngleMonitor::SetMeasuredAngle(Orientation orientation)
{
    m_orientation = orientation;
    SetNeedsRecalc(true);
}

std::string AngleMonitor::GetAnnotation() const
{
    return StringUtils::Format("%.1f", GetAngle());
}

void AngleMonitor::Calculate()
{
    Point3d first;
    Point3d vertex;
    Point3d second;
    if (!OrientPointOrder(first, vertex, second)) {
        m_angle = 0.0;
        SetNeedsRecalc(false);
        return;
    }
    m_angle = Angle(first, vertex, second);
    Point3d towardsFirst = first - vertex;
    Point3d towardsSecond = second - vertex;
    const double reach = std::min(towardsFirst.Normalize(), towardsSecond.Normalize()) + 0.05;
    FinishCalculation(vertex + ChangeLength(towardsFirst + towardsSecond, reach));
}

// ---- Setting the angle

bool AngleMonitor::SetAngle(double degrees)
{
    std::array<Geometric*, 3> items{};
    if (!std::isfinite(degrees) || !GetMeasuredItems(items))
        return false;
    const Watch self(this);
    const double present = GetAngle();
    if (!self.alive || !GetMeasuredItems(items))
        return false;
    const std::array<int, 3> order = OrientedItems();
    const Point3d vertex = items[order[1]]->GetXYZ();
    Point3d axis = CrossProduct(items[order[0]]->GetXYZ() - vertex, items[order[2]]->GetXYZ() - vertex);
    if (axis.Normalize() == 0.0)
        return false;

    const bool c01 = Connected(items[0], items[1]);
    const bool c02 = Connected(items[0], items[2]);
    const bool c12 = Connected(items[1], items[2]);
    SetCollection moved;
    if ((!c01 && !c02 && !c12) || (c01 && !c02)) {
        CollectFragment(items[m_orientation == SecondAngle ? 1 : 2], nullptr, moved);
    } else if (c01 && c02) {
        auto* const centre = static_cast<Bondable*>(items[1]);
        const bool branch = m_orientation != SecondAngle && m_orientation != ThirdAngle &&
                            centre->IsBonded(static_cast<Bondable*>(items[0])) &&
                            centre->IsBonded(static_cast<Bondable*>(items[2]));
        SetCollection side0;
        if (branch) {
            CollectFragment(items[0], centre, side0);
            CollectFragment(items[2], centre, moved);
        }
        if (!branch || side0 == moved) {
            moved.RemoveAll();
            moved.Add(items[m_orientation == SecondAngle ? 1 : 2]);
        }
    } else {
        return false;
    }

    // Only a move of exactly one end, about a vertex that stays, changes the angle.
    const bool firstMoves = DependsOn(items[order[0]], moved);
    const bool secondMoves = DependsOn(items[order[2]], moved);
    Geometric* const pivot = items[order[1]];
    if (firstMoves == secondMoves || (DependsOn(pivot, moved) && !moved.IsMember(pivot)))
        return false;
    const Matrix4x4 rotation(vertex, vertex + axis, secondMoves ? degrees - present : present - degrees);
    if (moved.GetSize() == 1) {
        auto* const only = DynCast<Geometric>(moved.GetFirstItem());
        Point3d target = only->GetXYZ();
        rotation.Transform(target);
        const Watch item(only);
        only->SetXYZ(target);
        if (!item.alive || only->GetXYZ() != target)
            return false;
    } else {
        for (POSITION position = moved.GetStartPosition(); position;) {
            auto* const object = DynCast<Geometric>(moved.GetNext(position));
            if (!object || object == pivot)
                continue;
            Point3d p = object->GetXYZ();
            rotation.Transform(p);
            object->SetXYZ(p);
        }
    }
    if (self.alive)
        SetNeedsRecalc(true);
    return true;
}

// ---- Display

void AngleMonitor::NormalDisplay(DisplayList3D& list)
{
    if (std::array<Geometric*, 3> items{}; !GetMeasuredItems(items))
        return;
    DisplayLabelled("angle", [this, &list](const Color& color) {
        Point3d first;
        Point3d vertex;
        Point3d second;
        if (!OrientPointOrder(first, vertex, second))
            return;
        const Point3d normal = CrossProduct(first - vertex, second - vertex);
        double sense = 1.0;
        if (Distance(first, vertex) > Distance(second, vertex)) {
            std::swap(first, second);
            sense = -1.0;
        }
        const double angle = m_angle;
        const int segments = std::max(static_cast<int>(angle * 0.25), 1);
        list.Add(LinePrimitive(first, vertex, color, 1.0, GetOID()));
        list.Add(ArcPrimitive(vertex, normal, first, angle * sense, segments, color, 1.0, GetOID()));
        list.Add(LinePrimitive(vertex, second, color, 1.0, GetOID()));
    });
}

} // namespace Tavrel
