#include <tavrel/monitors/CentroidMonitor.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(CentroidMonitor)

CentroidMonitor::CentroidMonitor(Object* parent) : GeometryMonitor(parent) {}

CentroidMonitor::CentroidMonitor(Object* parent, const OrdCollection& objects) : GeometryMonitor(parent)
{
    OrdCollection members(objects);
    const std::uint32_t containers[] = {Molecule::classType, SubUnit::classType, Bond::classType};
    members.ApplyFilter(containers, 3, OrdCollection::RemoveMatching);
    for (int i = 0; i < members.GetSize(); ++i) {
        if (auto* const member = members.GetAt(i); Tavrel::IsA<Geometric>(member))
            RegisterTreeEvent(member, Geometric::classType, Geometric::EventMoved, false, nullptr);
    }
}

const PropertyTable& CentroidMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<CentroidMonitor>()
            // Not in the framework archive, whose record is GeometryMonitor's.
            .Field<Storage::StorageBool, &CentroidMonitor::m_movable>("Movable")
            .StreamOnly()
            .Field<Storage::StorageBool, &CentroidMonitor::m_centerOfMass>("COM")
            .StreamOnly()
            .Text("Center of Mass")
            .GetText([](const CentroidMonitor& monitor) { return monitor.m_centerOfMass ? "True" : "False"; })
            .SetText([](CentroidMonitor& monitor, std::string_view text) {
                // The words in any letter case, the digits as they are; nothing else around them.
                const bool on = StringUtils::EqualsNoCase(text, "true") || text == "1";
                const bool known = on || StringUtils::EqualsNoCase(text, "false") || text == "0";
                if (known)
                    monitor.SetCenterOfMass(on);
                monitor.SetNeedsRecalc(true);
                return known;
            })
            .Described([](const CentroidMonitor& monitor) {
                return ObjectProperty("Center of Mass", monitor.m_centerOfMass ? "True" : "False", ReadWriteAccess, ObjectProperty::CategorySwitch);
            })
            .AfterRecord([](CentroidMonitor& monitor, Archive& archive, PropertyArchive*) {
                if (archive.IsLoading() && monitor.m_centerOfMass)
                    monitor.WatchElements(true);
            }));
    return table;
}

bool CentroidMonitor::CanCreate(const OrdCollection& selection)
{
    int atoms = 0;
    for (int i = 0; i < selection.GetSize(); ++i) {
        if (Tavrel::IsA<Atom>(selection.GetAt(i)) && ++atoms == 2)
            return true;
    }
    return false;
}

bool CentroidMonitor::SuggestedValue(const OrdCollection&, std::string&)
{
    return false;
}

void CentroidMonitor::SetMovable(bool movable)
{
    m_movable = movable;
}

bool CentroidMonitor::GetMovable() const
{
    return m_movable;
}

void CentroidMonitor::SetCenterOfMass(bool on)
{
    m_centerOfMass = on;
    WatchElements(on);
    SetNeedsRecalc(true);
}

bool CentroidMonitor::GetCenterOfMass() const
{
    return m_centerOfMass;
}

void CentroidMonitor::WatchElements(bool on)
{
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        Object* const item = GetItem(i);
        if (!Tavrel::IsA<Atom3d>(item))
            continue;
        if (on)
            RegisterTreeEvent(item, Atom3d::classType, Atom3d::EventElementSet, false, nullptr);
        else
            UnregisterTreeEvent(item, Atom3d::classType, Atom3d::EventElementSet, false, nullptr);
    }
}

void CentroidMonitor::SetXYZ(const Point3d& position)
{
    if (GetNumItemsMonitoring() == 0 && m_movable)
        GeometryMonitor::SetXYZ(position);
}

Point3d CentroidMonitor::GetAnnotationXYZ() const
{
    return GetXYZ() + Point3d(0.0, 0.0, 0.3);
}

void CentroidMonitor::Calculate()
{
    // Sums in double precision: a centre of many items keeps its digits.
    double sum[3] = {0.0, 0.0, 0.0};
    double weight = 0.0;
    const auto add = [&](const Point3d& p, double w) {
        sum[0] += p.x * w;
        sum[1] += p.y * w;
        sum[2] += p.z * w;
        weight += w;
    };
    if (m_centerOfMass) {
        for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
            if (const auto* const atom = DynCast<Atom>(GetItem(i)))
                add(atom->GetXYZ(), atom->GetMass());
        }
    }
    if (weight == 0.0) {
        sum[0] = sum[1] = sum[2] = 0.0;
        for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
            if (const auto* const item = DynCast<Geometric>(GetItem(i)))
                add(item->GetXYZ(), 1.0);
        }
    }
    if (weight == 0.0) {
        SetNeedsRecalc(false);
        return;
    }
    FinishCalculation(Point3d(sum[0] / weight, sum[1] / weight, sum[2] / weight));
}

void CentroidMonitor::NormalDisplay(DisplayList3D& list)
{
    if (Refresh())
        list.Add(SpherePrimitive(GetCenter(), 0.3, GetDrawingColor(), GetOID()));
}

void CentroidMonitor::DeepenShallowCopy()
{
    GeometryMonitor::DeepenShallowCopy();
    if (m_centerOfMass)
        WatchElements(true);
}

} // namespace Tavrel
