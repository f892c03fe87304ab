#include <tavrel/monitors/DistanceMonitor.h>

#include <array>
#include <cmath>

#include <tavrel/chemistry/Bondable.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(DistanceMonitor)

namespace {

// Everything bonded to the end without crossing the stop atom (included when reached).
void CollectFragment(const Bondable& end, Bondable* stop, SetCollection& atoms)
{
    SetCollection bonds;
    SetCollection stops;
    if (stop)
        stops.Add(stop);
    end.GetFragment(&atoms, &bonds, &stops, nullptr, true);
}

} // namespace

DistanceMonitor::DistanceMonitor(Object* parent, Geometric* a, Geometric* b) : GeometryMonitor(parent)
{
    RegisterTreeEvent(a, Geometric::classType, Geometric::EventMoved, false, nullptr);
    RegisterTreeEvent(b, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

DistanceMonitor::DistanceMonitor(Object* parent, const OrdCollection& selection) : GeometryMonitor(parent)
{
    OrdCollection objects;
    if (!ExtractObjects(selection, objects, 3) || objects.GetSize() < 2)
        return;
    RegisterTreeEvent(objects.GetAt(0), Geometric::classType, Geometric::EventMoved, false, nullptr);
    RegisterTreeEvent(objects.GetAt(1), Geometric::classType, Geometric::EventMoved, false, nullptr);
}

const PropertyTable& DistanceMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<DistanceMonitor>()
            .Text("Distance")
            .GetText([](const DistanceMonitor& monitor) { return monitor.GetAnnotation(); })
            .SetText([](DistanceMonitor& monitor, std::string_view text) {
                double distance = 0.0;
                if (!StringUtils::StringToReal(text, distance) || !(distance > 0.0 && distance <= MaxTextDistance))
                    return false;
                return monitor.SetDistance(distance);
            })
            .Shown());
    return table;
}

bool DistanceMonitor::CanCreate(const OrdCollection& selection)
{
    OrdCollection objects;
    return ExtractObjects(selection, objects, 3) && objects.GetSize() == 2;
}

float DistanceMonitor::GetDistance() const
{
    return Refresh() ? m_distance : 0.0f;
}

std::string DistanceMonitor::GetAnnotation() const
{
    return StringUtils::Format("%.2f", GetDistance());
}

void DistanceMonitor::Calculate()
{
    std::array<Geometric*, 2> items{};
    if (!GetMeasuredItems(items)) {
        m_distance = 0.0f;
        SetNeedsRecalc(false);
        return;
    }
    const Point3d pa = items[0]->GetXYZ();
    const Point3d pb = items[1]->GetXYZ();
    m_distance = static_cast<float>(Distance(pa, pb));
    Point3d towardsA = pa - pb;
    towardsA.Normalize();
    FinishCalculation(MidPoint(pa, pb) + towardsA * 0.2);
}

bool DistanceMonitor::SetDistance(double distance)
{
    std::array<Geometric*, 2> items{};
    if (!std::isfinite(distance) || distance <= 0.0 || !GetMeasuredItems(items))
        return false;
    Geometric* const a = items[0];
    Geometric* const b = items[1];
    const Point3d pa = a->GetXYZ();
    const Point3d pb = b->GetXYZ();
    if (pa == pb)
        return false;
    Bondable* sideA = DynCast<Bondable>(a);
    Bondable* sideB = DynCast<Bondable>(b);
    // Item 0's side is needed when item 1 has none, or to tell whether both sides are one (a ring),
    // which they can only be when item 1's side reaches item 0.
    SetCollection fragmentA;
    SetCollection fragmentB;
    if (sideB)
        CollectFragment(*sideB, sideA, fragmentB);
    if (sideA && (!sideB || fragmentB.IsMember(sideA))) {
        CollectFragment(*sideA, sideB, fragmentA);
        if (sideB && fragmentA == fragmentB)
            sideA = sideB = nullptr;
    }

    const Watch self(this);
    if (sideB) {
        fragmentB.Remove(sideA);
        if (DependsOn(a, fragmentB))
            return false;
        TranslateFragment(fragmentB, pa + ChangeLength(pb - pa, distance) - pb);
    } else if (sideA) {
        if (DependsOn(b, fragmentA))
            return false;
        TranslateFragment(fragmentA, pb + ChangeLength(pa - pb, distance) - pa);
    } else {
        SetCollection moved;
        moved.Add(a);
        if (DependsOn(b, moved))
            return false;
        const Point3d target = pb + ChangeLength(pa - pb, distance);
        const Watch item(a);
        a->SetXYZ(target);
        if (!item.alive || a->GetXYZ() != target)
            return false;
    }
    if (self.alive)
        SetNeedsRecalc(true);
    return true;
}

void DistanceMonitor::NormalDisplay(DisplayList3D& list)
{
    if (std::array<Geometric*, 2> items{}; !GetMeasuredItems(items))
        return;
    DisplayLabelled("distance", [this, &list](const Color& color) {
        std::array<Geometric*, 2> items{};
        if (GetMeasuredItems(items))
            list.Add(LinePrimitive(items[1]->GetXYZ(), items[0]->GetXYZ(), color, 1.0, GetOID()));
    });
}

} // namespace Tavrel
