#include <tavrel/monitors/BumpMonitor.h>

#include <cmath>
#include <string>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/BondNeighbourhood.h>
#include <tavrel/monitors/ContactSearch.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(BumpMonitor)

namespace {

// The largest percent the text interface takes, and so the largest squared percent a file may hold.
constexpr double MaxPercent = 100.0;

bool IsValidSquaredPercent(double squared)
{
    return squared > 0.0 && squared <= MaxPercent * MaxPercent;
}

// What the search needs of one atom, read once per recalculation.
struct Candidate {
    const Atom3d* atom;
    float radius;
    bool visible;
    bool styled;
    bool donor;
    bool acceptor;
};

} // namespace

BumpMonitor::BumpMonitor(Object* parent) : GeometryMonitor(parent), m_tree(true)
{
    SetColor(Color::Magenta());
    if (parent)
        CollectAtomsBelow(*parent);
}

BumpMonitor::BumpMonitor(Object* parent, const OrdCollection& atoms) : GeometryMonitor(parent)
{
    SetColor(Color::Magenta());
    if (!parent)
        return;
    WatchStructure(parent);
    std::vector<Object*> objects;
    for (int i = 0; i < atoms.GetSize(); ++i)
        objects.push_back(atoms.GetAt(i));
    CollectAtoms(objects);
}

const PropertyTable& BumpMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<BumpMonitor>()
            // The framework record has the tree flag alone after GeometryMonitor's.
            .Field<Storage::StorageBool, &BumpMonitor::m_tree>("BumpMonitor Tree Monitor")
            .Value<Storage::StorageDouble>(
                "BumpMonitor VDWPercent", [](const BumpMonitor& monitor) { return monitor.m_squaredPercent; },
                [](BumpMonitor& monitor, double squared) {
                    monitor.m_squaredPercent =
                        IsValidSquaredPercent(squared) ? squared : DefaultVDWPercent * DefaultVDWPercent;
                })
            .StreamOnly()
            .Field<Storage::StorageBool, &BumpMonitor::m_showLabels>("BumpMonitor Dist Labels")
            .StreamOnly()
            .Text("Bumps")
            .GetText([](const BumpMonitor& monitor) { return StringUtils::Format("%d", monitor.GetNumberOfBumps()); })
            .ReadOnly()
            .Described([](const BumpMonitor& monitor) {
                return ObjectProperty("Bumps", static_cast<std::int32_t>(monitor.GetNumberOfBumps()),
                                      ObjectProperty::AccessReadable, ObjectProperty::CategoryValue);
            })
            .Text("VDW Percent")
            .GetText([](const BumpMonitor& monitor) { return StringUtils::Format("%.2f", monitor.GetVDWPercent()); })
            .SetText([](BumpMonitor& monitor, std::string_view text) {
                double percent = 0.0;
                if (!StringUtils::StringToReal(text, percent) || !(percent > 0.0 && percent <= MaxPercent))
                    return false;
                monitor.SetVDWPercent(percent);
                return true;
            })
            .Described([](const BumpMonitor& monitor) {
                return ObjectProperty("VDW Percent", monitor.GetVDWPercent(), ReadWriteAccess, ObjectProperty::CategoryValue);
            })
            .Text("Show distances")
            .GetText([](const BumpMonitor& monitor) { return monitor.m_showLabels ? "True" : "False"; })
            .SetText(SwitchText<&BumpMonitor::ShowDistanceLabels>{})
            .Described([](const BumpMonitor& monitor) {
                return ObjectProperty("Show distances", monitor.m_showLabels, ReadWriteAccess, ObjectProperty::CategorySwitch);
            })
            .AfterRecord([](BumpMonitor& monitor, Archive& archive, PropertyArchive*) {
                if (archive.IsLoading())
                    monitor.SetNeedsRecalc(true);
            }));
    return table;
}

ObjectProperty BumpMonitor::GetPropertyAsObjectProperty(std::string_view name) const
{
    if (StringUtils::EqualsNoCase(name, "VDW Percent"))
        return DescribeProperty(GeometryMonitor::Properties(), name);
    return GeometryMonitor::GetPropertyAsObjectProperty(name);
}

std::int32_t BumpMonitor::GetProperties(ObjectProperty::Array& properties) const
{
    return ListObjectPropertiesThen(Properties(), properties);
}

void BumpMonitor::ShowDistanceLabels(bool show)
{
    m_showLabels = show;
}

bool BumpMonitor::GetShowDistanceLabels() const
{
    return m_showLabels;
}

int BumpMonitor::GetNumberOfBumps() const
{
    return static_cast<int>(m_bumps.Get().size());
}

double BumpMonitor::GetVDWPercent() const
{
    return std::sqrt(m_squaredPercent);
}

void BumpMonitor::SetVDWPercent(double percent)
{
    m_squaredPercent = percent * percent;
}

// ---- Recalculation

void BumpMonitor::Calculate()
{
    const Watch self(this);
    if (Object* const parent = GetParent(); m_tree && parent) {
        CollectAtomsBelow(*parent);
    } else {
        const std::vector<Object*> atoms = GatherAtoms(m_tree);
        WatchStructure(parent);
        CollectAtoms(atoms);
    }
    m_bumps.Get().clear();

    // The atoms among the items after the parent, in item order: their numbers in the search.
    std::vector<Candidate> candidates;
    std::vector<Point3d> positions;
    float largest = 0.0f;
    for (int i = 1; i < GetNumItemsMonitoring(); ++i) {
        const auto* const atom = DynCast<Atom3d>(GetItem(i));
        if (!atom)
            continue;
        float radius = atom->GetVDWRadius();
        if (atom->GetNumHydrogensToAdd() > 0)
            radius *= 1.08f;
        largest = std::max(largest, radius);
        candidates.push_back({atom, radius, atom->IsVisible(), atom->GetDisplayStyle() != 0, atom->IsHBondDonor(),
                              atom->IsHBondAcceptor()});
        positions.push_back(atom->GetXYZ());
    }

    ContactSearch search(positions, std::sqrt(m_squaredPercent) * 2.0 * largest);
    BondNeighbourhood near;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const Candidate& a = candidates[i];
        const Point3d& pa = positions[i];
        bool gathered = false;
        search.ForEachNear(pa, [&](std::int32_t index) {
            const auto j = static_cast<std::size_t>(index);
            const Candidate& b = candidates[j];
            if (j == i || (!a.visible && !b.visible) || (!a.styled && !b.styled) || (a.acceptor && b.donor) ||
                (b.acceptor && a.donor))
                return;
            const double reach = static_cast<double>(a.radius + b.radius);
            if (!(Distance2(pa, positions[j]) <= reach * reach * m_squaredPercent))
                return;
            if (!gathered) {
                near.Gather(*a.atom, 4);
                gathered = true;
            }
            if (!near.Contains(b.atom))
                m_bumps.Get().emplace_back(a.atom->GetOID(), b.atom->GetOID());
        });
    }
    if (self.alive)
        SetNeedsRecalc(false);
}

void BumpMonitor::NormalDisplay(DisplayList3D& list)
{
    if (!Refresh())
        return;
    const Color color = GetDrawingColor();
    for (const auto& [first, second] : m_bumps.Get()) {
        const auto* const a = DynCast<Atom>(Base::GetObjectA(first));
        const auto* const b = DynCast<Atom>(Base::GetObjectA(second));
        if (!a || !b || !a->IsActive() || !b->IsActive())
            continue;
        const Point3d pa = a->GetXYZ();
        const Point3d pb = b->GetXYZ();
        list.Add(DashedLinePrimitive(pa, pb, color, 1.0, GetOID(), 5, true));
        if (m_showLabels)
            list.Add(Text3DPrimitive(StringUtils::Format("%.2f", Distance(pa, pb)), MidPoint(pa, pb), 0.2, color,
                                     Font::DefaultFont(), GetOID()));
    }
}

} // namespace Tavrel
