#include <tavrel/monitors/DihedralRestraint.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/DihedralMonitor.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS_IDENTITY(DihedralRestraint, ClassKind::Creatable)

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

Base* DihedralRestraint::ShallowCopy() const
{
    const DihedralMonitor* const monitor = GetMonitor();
    return !monitor || monitor->ItemsInsideCopy() ? new DihedralRestraint(*this) : nullptr;
}

DihedralRestraint::DihedralRestraint() = default;

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

DihedralRestraint::DihedralRestraint(const DihedralRestraint& other)
    : Restraint(other), m_forceConstant(other.m_forceConstant), m_periodicity(other.m_periodicity),
      m_referenceAngle(other.m_referenceAngle)
{
}

DihedralRestraint::~DihedralRestraint()
{
    Disown(m_monitorOID, &MonitorDeleted);
}

const PropertyTable& DihedralRestraint::Properties()
{
    static const PropertyTable table(
        &Restraint::Properties(),
        PropertyList<DihedralRestraint>()
            .Reference(
                "Dihedral Monitor", [](const DihedralRestraint& restraint) { return restraint.GetMonitor(); },
                [](DihedralRestraint& restraint, DihedralMonitor* monitor) { return restraint.TakeMonitor(monitor); })
            .Field<Storage::StorageDouble, &DihedralRestraint::m_forceConstant>("Force Constant")
            .Shows("Force Constant")
            .GetText(RealText<&DihedralRestraint::GetForceConstant>{})
            .SetText(RealParse<&DihedralRestraint::SetForceConstant>{})
            .Described([](const DihedralRestraint& restraint) {
                return ObjectProperty("Force Constant", restraint.GetForceConstant(), ReadWriteAccess, 0);
            })
            .Field<Storage::StorageInt, &DihedralRestraint::m_periodicity>("Periodicity")
            .Shows("Periodicity")
            .GetText([](const DihedralRestraint& restraint) {
                return StringUtils::Format("%d", restraint.GetPeriodicity());
            })
            .SetText([](DihedralRestraint& restraint, std::string_view text) {
                std::int32_t periodicity = 0;
                if (!StringUtils::StringToInteger(text, periodicity))
                    return false;
                restraint.SetPeriodicity(periodicity);
                return true;
            })
            .Described([](const DihedralRestraint& restraint) {
                return ObjectProperty("Periodicity", restraint.GetPeriodicity(), ReadWriteAccess, 0);
            })
            .Field<Storage::StorageDouble, &DihedralRestraint::m_referenceAngle>("Reference Angle")
            .Shows("Reference Angle")
            .GetText(RealText<&DihedralRestraint::GetReferenceAngle>{})
            .SetText(RealParse<&DihedralRestraint::SetReferenceAngle>{})
            .Described([](const DihedralRestraint& restraint) {
                return ObjectProperty("Reference Angle", restraint.GetReferenceAngle(), ReadWriteAccess, 0);
            }));
    return table;
}

void DihedralRestraint::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
}

// ---- The monitor

DihedralMonitor* DihedralRestraint::GetMonitor() const
{
    return Find<DihedralMonitor>(m_monitorOID);
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
    if (m_monitorOID != 0 || !IsOwnable(monitor, DihedralMonitor::classType))
        return false;
    m_monitorOID = monitor->GetOID();
    Own(*monitor, &MonitorDeleted);
    return true;
}

void DihedralRestraint::MonitorDeleted(Event& event)
{
    auto* const restraint = static_cast<DihedralRestraint*>(event.GetData());
    if (!restraint || event.GetTreeNodeOID() != restraint->m_monitorOID)
        return;
    restraint->m_monitorOID = 0;
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
    DisplayOwned({m_monitorOID}, list);
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
