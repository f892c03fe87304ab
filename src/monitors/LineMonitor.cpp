#include <tavrel/monitors/LineMonitor.h>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(LineMonitor)

namespace {

int CountGeometric(const OrdCollection& selection)
{
    int count = 0;
    for (int i = 0; i < selection.GetSize(); ++i) {
        if (Tavrel::IsA<Geometric>(selection.GetAt(i)))
            ++count;
    }
    return count;
}

} // namespace

LineMonitor::LineMonitor(Object* parent, const OrdCollection& objects) : GeometryMonitor(parent)
{
    for (int i = 0; i < objects.GetSize(); ++i) {
        if (Object* const object = objects.GetAt(i); Tavrel::IsA<Geometric>(object))
            RegisterTreeEvent(object, Geometric::classType, Geometric::EventMoved, false, nullptr);
    }
    WatchMembers();
}

LineMonitor::~LineMonitor()
{
    for (const std::uint32_t oid : m_watchedEnds.Get()) {
        if (auto* const end = DynCast<TreeNode>(Base::GetObjectA(oid)))
            end->UnregisterEvent(Geometric::classType, Geometric::EventMoved, &EventUpdate, false, this, nullptr);
    }
}

const PropertyTable& LineMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<LineMonitor>().AfterRecord([](LineMonitor& monitor, Archive& archive, PropertyArchive*) {
            if (archive.IsLoading())
                monitor.WatchMembers();
        }));
    return table;
}

bool LineMonitor::CanCreate(const OrdCollection& selection)
{
    return CountGeometric(selection) >= 2;
}

bool LineMonitor::SuggestedValue(const OrdCollection& selection, std::string& text)
{
    const int count = CountGeometric(selection);
    if (count > 2)
        text = "0.5";
    return count >= 2;
}

void LineMonitor::WatchMembers()
{
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        Object* const item = GetItem(i);
        if (const auto* const bond = DynCast<Bond>(item)) {
            for (Bondable* end : {bond->GetAtom1(), bond->GetAtom2()}) {
                if (!end)
                    continue;
                end->RegisterEvent(Geometric::classType, Geometric::EventMoved, &EventUpdate, false, this, nullptr);
                m_watchedEnds.Get().push_back(end->GetOID());
            }
        } else if (Tavrel::IsA<Molecule>(item) || Tavrel::IsA<Chain>(item) || Tavrel::IsA<SubUnit>(item)) {
            RegisterTreeEvent(item, Geometric::classType, Geometric::EventMoved, true, nullptr);
        }
    }
}

Point3d LineMonitor::GetP0() const
{
    return Refresh() ? m_p0 : Point3d::origin;
}

Point3d LineMonitor::GetP1() const
{
    return Refresh() ? m_p1 : Point3d::origin;
}

void LineMonitor::SetXYZ(const Point3d&) {}

std::string LineMonitor::GetAnnotation() const
{
    return GetLabel();
}

Point3d LineMonitor::GetAnnotationXYZ() const
{
    if (!Refresh())
        return Point3d::origin;
    const Point3d centre = GetXYZ();
    Point3d offset = (m_p1 - m_p0).Normal();
    offset.ChangeLength(static_cast<double>(0.1f) + 0.1);
    return centre + offset;
}

void LineMonitor::Calculate()
{
    Matrix3x3::BestFittingLine(GetItemPositions(), m_p0, m_p1);
    const Point3d reach = ChangeLength(m_p1 - m_p0, 1.0);
    m_p0 -= reach;
    m_p1 += reach;
    FinishCalculation(MidPoint(m_p0, m_p1));
}

void LineMonitor::NormalDisplay(DisplayList3D& list)
{
    if (Refresh())
        list.Add(CylinderPrimitive(m_p0, m_p1, GetDrawingColor(), 0.1, GetOID()));
}

void LineMonitor::FastDisplay(DisplayList3D& list)
{
    if (Refresh())
        list.Add(LinePrimitive(m_p0, m_p1, GetDrawingColor(), 1.0, GetOID()));
}

void LineMonitor::DeepenShallowCopy()
{
    GeometryMonitor::DeepenShallowCopy();
    WatchMembers();
}

} // namespace Tavrel
