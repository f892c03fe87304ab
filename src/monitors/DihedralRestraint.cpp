#include <tavrel/monitors/DihedralRestraint.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/DihedralMonitor.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(DihedralRestraint)

namespace {

// The four items of a monitor that has exactly four; all null otherwise.
std::array<Geometric*, 4> ItemsOf(const DihedralMonitor& monitor)
{
    std::array<Geometric*, 4> items{};
    if (monitor.GetNumItemsMonitoring() == 4) {
        for (int i = 0; i < 4; ++i)
            items[static_cast<std::size_t>(i)] = DynCast<Geometric>(monitor.GetItem(i));
    }
    return items;
}

} // namespace

DihedralRestraint::DihedralRestraint(Object* parent) : Restraint(parent) {}

DihedralRestraint::DihedralRestraint(const DihedralMonitor& monitor) : DihedralRestraint(nullptr, monitor) {}

DihedralRestraint::DihedralRestraint(Object* parent, const DihedralMonitor& monitor) : Restraint(parent)
{
    CreateMonitor(ItemsOf(monitor));
    if (const DihedralMonitor* const made = GetMonitor())
        m_referenceAngle = made->GetAngle();
}

DihedralRestraint::DihedralRestraint(Atom* a, Atom* b, Atom* c, Atom* d) : DihedralRestraint(nullptr, a, b, c, d) {}

DihedralRestraint::DihedralRestraint(Object* parent, Atom* a, Atom* b, Atom* c, Atom* d) : Restraint(parent)
{
    CreateMonitor({a, b, c, d});
    if (const DihedralMonitor* const made = GetMonitor())
        m_referenceAngle = made->GetAngle();
}

DihedralRestraint::~DihedralRestraint()
{
    Disown(m_monitorOID.Get(), &MonitorDeleted);
}

const PropertyTable& DihedralRestraint::Properties()
{
    static const PropertyTable table(
        PropertyList<DihedralRestraint>()
            .Reference(
                "Dihedral Monitor", [](const DihedralRestraint& restraint) { return restraint.GetMonitor(); },
                [](DihedralRestraint& restraint, DihedralMonitor* monitor) { return restraint.TakeMonitor(monitor); })
            .StreamOnly()
            .Field<&DihedralRestraint::m_forceConstant>("Force Constant")
            .StreamOnly()
            .Shows("Force Constant")
            .Accessors<&DihedralRestraint::GetForceConstant, &DihedralRestraint::SetForceConstant>()
            .Range(0.0)
            .GetText(RealText<&DihedralRestraint::GetForceConstant>{})
            .Shown()
            .Field<&DihedralRestraint::m_periodicity>("Periodicity")
            .StreamOnly()
            .Shows("Periodicity")
            .Accessors<&DihedralRestraint::GetPeriodicity, &DihedralRestraint::SetPeriodicity>()
            .Range(0.0)
            .Shown()
            .Field<&DihedralRestraint::m_referenceAngle>("Reference Angle")
            .StreamOnly()
            .Shows("Reference Angle")
            .Accessors<&DihedralRestraint::GetReferenceAngle, &DihedralRestraint::SetReferenceAngle>()
            .GetText(RealText<&DihedralRestraint::GetReferenceAngle>{})
            .Shown());
    return table;
}

bool DihedralRestraint::ShallowCopyOK() const
{
    const DihedralMonitor* const monitor = GetMonitor();
    return !monitor || monitor->ItemsInsideCopy();
}

// ---- The monitor

DihedralMonitor* DihedralRestraint::GetMonitor() const
{
    return Find<DihedralMonitor>(m_monitorOID.Get());
}

void DihedralRestraint::CreateMonitor(const std::array<Geometric*, 4>& objects)
{
    for (const Geometric* object : objects) {
        if (!object)
            return;
    }
    auto* const monitor = new DihedralMonitor(nullptr, objects[0], objects[1], objects[2], objects[3]);
    m_monitorOID = monitor->GetOID();
    Own(*monitor, &MonitorDeleted);
}

bool DihedralRestraint::TakeMonitor(DihedralMonitor* monitor)
{
    if (!monitor)
        return true;
    if (m_monitorOID.Get() != 0 || !IsOwnable(monitor, DihedralMonitor::classType))
        return false;
    m_monitorOID = monitor->GetOID();
    Own(*monitor, &MonitorDeleted);
    return true;
}

void DihedralRestraint::MonitorDeleted(Event& event)
{
    auto* const restraint = static_cast<DihedralRestraint*>(event.GetData());
    if (!restraint || event.GetTreeNodeOID() != restraint->m_monitorOID.Get())
        return;
    restraint->m_monitorOID = 0u;
    Discard(restraint);
}

// ---- Parameters

void DihedralRestraint::GetAtoms(BaseCollection& out) const
{
    const DihedralMonitor* const monitor = GetMonitor();
    if (!monitor)
        return;
    for (int i = 0; i < monitor->GetNumItemsMonitoring(); ++i) {
        if (Atom* const atom = DynCast<Atom>(monitor->GetItem(i)))
            out.Add(atom);
    }
}

double DihedralRestraint::GetForceConstant() const
{
    return m_forceConstant;
}

std::int32_t DihedralRestraint::GetPeriodicity() const
{
    return m_periodicity;
}

double DihedralRestraint::GetReferenceAngle() const
{
    return m_referenceAngle;
}

double DihedralRestraint::CalculateDihedralAngle() const
{
    const DihedralMonitor* const monitor = GetMonitor();
    return monitor ? monitor->GetAngle() : GetReferenceAngle();
}

void DihedralRestraint::SetForceConstant(double forceConstant)
{
    m_forceConstant = forceConstant;
}

void DihedralRestraint::SetPeriodicity(std::int32_t periodicity)
{
    m_periodicity = periodicity;
}

void DihedralRestraint::SetReferenceAngle(double angle)
{
    m_referenceAngle = angle;
}

LogicalIdentifierSet DihedralRestraint::GetLogicalAtoms() const
{
    OrdCollection atoms;
    GetAtoms(atoms);
    return LogicalIdentifierSet(atoms);
}

// ---- Display and copies

std::string DihedralRestraint::FormatLabel(const std::string& label) const
{
    return ApplyLabelFormat(LabelFormat, label);
}

void DihedralRestraint::NormalDisplay(DisplayList3D& list)
{
    if (!GetMonitor())
        return;
    OrdCollection atoms;
    GetAtoms(atoms);
    DisplayMarkers(atoms, list);
    DisplayOwned({m_monitorOID.Get()}, list);
}

void DihedralRestraint::DeepenShallowCopy()
{
    Restraint::DeepenShallowCopy();
    const auto* const source = DynCast<DihedralRestraint>(GetCopySource());
    const DihedralMonitor* const monitor = source ? source->GetMonitor() : nullptr;
    if (!monitor)
        return;
    std::array<Geometric*, 4> copies = ItemsOf(*monitor);
    for (Geometric*& item : copies)
        item = item ? DynCast<Geometric>(item->Copy()) : nullptr;
    CreateMonitor(copies);
}

} // namespace Tavrel
