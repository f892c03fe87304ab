#include <tavrel/monitors/DistanceRestraint.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/LogicalIdentifierSet.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/DistanceMonitor.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS_IDENTITY(DistanceRestraint, ClassKind::Creatable)

namespace {

// The atoms of a collection, in its walking order.
OrdCollection AtomsOf(const BaseCollection& collection)
{
    OrdCollection atoms;
    for (POSITION position = collection.GetStartPosition(); position;) {
        if (Atom* const atom = DynCast<Atom>(collection.GetNext(position)))
            atoms.Add(atom);
    }
    return atoms;
}

// The items of a monitor that are atoms, in item order.
void AddAtomItems(const Monitor* monitor, BaseCollection& out)
{
    if (!monitor)
        return;
    for (int i = 0; i < monitor->GetNumItemsMonitoring(); ++i) {
        if (Atom* const atom = DynCast<Atom>(monitor->GetItem(i)))
            out.Add(atom);
    }
}

// The copies, in this copy, of a monitor's items (all inside the copied subtree), in item order.
OrdCollection CopiedItems(const Monitor& monitor)
{
    OrdCollection copies;
    for (int i = 0; i < monitor.GetNumItemsMonitoring(); ++i) {
        if (const Object* const item = monitor.GetItem(i))
            copies.Add(DynCast<Object>(item->Copy()));
    }
    return copies;
}

} // namespace

Base* DistanceRestraint::ShallowCopy() const
{
    const CentroidMonitor* const one = GetCentroidMonitorOne();
    const CentroidMonitor* const two = GetCentroidMonitorTwo();
    const bool copied = !one || (one->ItemsInsideCopy() && two && two->ItemsInsideCopy());
    return copied ? new DistanceRestraint(*this) : nullptr;
}

DistanceRestraint::DistanceRestraint() = default;

DistanceRestraint::DistanceRestraint(Object* parent) : Restraint(parent) {}

DistanceRestraint::DistanceRestraint(const BaseCollection& one, const BaseCollection& two)
    : DistanceRestraint(nullptr, one, two)
{
}

DistanceRestraint::DistanceRestraint(Object* parent, const BaseCollection& one, const BaseCollection& two)
    : Restraint(parent)
{
    CreateMonitors(one, two);
    if (const DistanceMonitor* const distance = GetDistanceMonitor())
        m_thresholdMinimum = m_thresholdMaximum = distance->GetDistance();
}

DistanceRestraint::DistanceRestraint(const DistanceRestraint& other)
    : Restraint(other), m_forceConstantMinimum(other.m_forceConstantMinimum),
      m_forceConstantMaximum(other.m_forceConstantMaximum), m_forceMaximum(other.m_forceMaximum),
      m_thresholdMinimum(other.m_thresholdMinimum), m_thresholdMaximum(other.m_thresholdMaximum)
{
}

DistanceRestraint::~DistanceRestraint()
{
    DisownMonitors();
}

const PropertyTable& DistanceRestraint::Properties()
{
    static const PropertyTable table(
        &Restraint::Properties(),
        PropertyList<DistanceRestraint>()
            .Reference(
                "Centroid Monitor One",
                [](const DistanceRestraint& restraint) { return restraint.GetCentroidMonitorOne(); },
                [](DistanceRestraint& restraint, CentroidMonitor* monitor) {
                    return restraint.TakeCentroidMonitor(restraint.m_centroidOneOID, monitor);
                })
            .Reference(
                "Centroid Monitor Two",
                [](const DistanceRestraint& restraint) { return restraint.GetCentroidMonitorTwo(); },
                [](DistanceRestraint& restraint, CentroidMonitor* monitor) {
                    return restraint.TakeCentroidMonitor(restraint.m_centroidTwoOID, monitor);
                })
            .Reference(
                "Distance Monitor", [](const DistanceRestraint& restraint) { return restraint.GetDistanceMonitor(); },
                [](DistanceRestraint& restraint, DistanceMonitor* monitor) {
                    return restraint.TakeDistanceMonitor(monitor);
                })
            .Field<Storage::StorageDouble, &DistanceRestraint::m_forceConstantMinimum>("Force Constant Minimum")
            .Shows("Force Constant Minimum")
            .GetText(RealText<&DistanceRestraint::GetForceConstantMinimum>{})
            .SetText(RealParse<&DistanceRestraint::SetForceConstantMinimum>{})
            .Described([](const DistanceRestraint& restraint) {
                return ObjectProperty("Force Constant Minimum", restraint.m_forceConstantMinimum, ReadWriteAccess, 0);
            })
            .Field<Storage::StorageDouble, &DistanceRestraint::m_forceConstantMaximum>("Force Constant Maximum")
            .Shows("Force Constant Maximum")
            .GetText(RealText<&DistanceRestraint::GetForceConstantMaximum>{})
            .SetText(RealParse<&DistanceRestraint::SetForceConstantMaximum>{})
            .Described([](const DistanceRestraint& restraint) {
                return ObjectProperty("Force Constant Maximum", restraint.m_forceConstantMaximum, ReadWriteAccess, 0);
            })
            .Field<Storage::StorageDouble, &DistanceRestraint::m_forceMaximum>("Force Maximum")
            .Shows("Force Maximum")
            .GetText(RealText<&DistanceRestraint::GetForceMaximum>{})
            .SetText(RealParse<&DistanceRestraint::SetForceMaximum>{})
            .Described([](const DistanceRestraint& restraint) {
                return ObjectProperty("Force Maximum", restraint.GetForceMaximum(), ReadWriteAccess, 0);
            })
            .Field<Storage::StorageDouble, &DistanceRestraint::m_thresholdMinimum>("Threshold Minimum")
            .Shows("Threshold Minimum")
            .GetText(RealText<&DistanceRestraint::GetThresholdMinimum>{})
            .SetText(RealParse<&DistanceRestraint::SetThresholdMinimum>{})
            .Described([](const DistanceRestraint& restraint) {
                return ObjectProperty("Threshold Minimum", restraint.m_thresholdMinimum, ReadWriteAccess, 0);
            })
            .Field<Storage::StorageDouble, &DistanceRestraint::m_thresholdMaximum>("Threshold Maximum")
            .Shows("Threshold Maximum")
            .GetText(RealText<&DistanceRestraint::GetThresholdMaximum>{})
            .SetText(RealParse<&DistanceRestraint::SetThresholdMaximum>{})
            .Described([](const DistanceRestraint& restraint) {
                return ObjectProperty("Threshold Maximum", restraint.m_thresholdMaximum, ReadWriteAccess, 0);
            })
            .Listing({"Force Constant Maximum", "Force Constant Minimum", "Force Maximum", "Threshold Maximum",
                      "Threshold Minimum"})
            .AfterRecord([](DistanceRestraint& restraint, PropertyArchive& archive) {
                if (archive.GetArchive().IsLoading())
                    restraint.CheckMonitors();
            }));
    return table;
}

void DistanceRestraint::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
}

// ---- The monitors

CentroidMonitor* DistanceRestraint::GetCentroidMonitorOne() const
{
    return Find<CentroidMonitor>(m_centroidOneOID);
}

CentroidMonitor* DistanceRestraint::GetCentroidMonitorTwo() const
{
    return Find<CentroidMonitor>(m_centroidTwoOID);
}

DistanceMonitor* DistanceRestraint::GetDistanceMonitor() const
{
    return Find<DistanceMonitor>(m_distanceOID);
}

void DistanceRestraint::CreateMonitors(const BaseCollection& one, const BaseCollection& two)
{
    const OrdCollection atomsOne = AtomsOf(one);
    const OrdCollection atomsTwo = AtomsOf(two);
    if (atomsOne.GetSize() == 0 || atomsTwo.GetSize() == 0)
        return;
    auto* const centroidOne = new CentroidMonitor(nullptr, atomsOne);
    auto* const centroidTwo = new CentroidMonitor(nullptr, atomsTwo);
    auto* const distance = new DistanceMonitor(nullptr, centroidOne, centroidTwo);
    m_distanceOID = distance->GetOID();
    Own(*distance, nullptr);
    m_centroidOneOID = centroidOne->GetOID();
    Own(*centroidOne, &MonitorDeleted);
    m_centroidTwoOID = centroidTwo->GetOID();
    Own(*centroidTwo, &MonitorDeleted);
}

bool DistanceRestraint::TakeCentroidMonitor(std::uint32_t& slot, CentroidMonitor* monitor)
{
    if (!monitor)
        return true;
    if (slot != 0 || !IsOwnable(monitor, CentroidMonitor::classType))
        return false;
    slot = monitor->GetOID();
    Own(*monitor, &MonitorDeleted);
    return true;
}

bool DistanceRestraint::TakeDistanceMonitor(DistanceMonitor* monitor)
{
    if (!monitor)
        return true;
    if (m_distanceOID != 0 || !IsOwnable(monitor, DistanceMonitor::classType))
        return false;
    m_distanceOID = monitor->GetOID();
    Own(*monitor, nullptr);
    return true;
}

void DistanceRestraint::CheckMonitors()
{
    const CentroidMonitor* const one = GetCentroidMonitorOne();
    const CentroidMonitor* const two = GetCentroidMonitorTwo();
    const DistanceMonitor* const distance = GetDistanceMonitor();
    if (!one && !two && !distance)
        return;
    const bool whole = one && two && one != two && distance && distance->GetNumItemsMonitoring() == 2 &&
                       distance->GetItem(0) == one && distance->GetItem(1) == two;
    if (!whole)
        DisownMonitors();
}

void DistanceRestraint::DisownMonitors()
{
    const std::uint32_t one = m_centroidOneOID;
    const std::uint32_t two = m_centroidTwoOID;
    const std::uint32_t distance = m_distanceOID;
    m_centroidOneOID = m_centroidTwoOID = m_distanceOID = 0;
    Disown(one, &MonitorDeleted);
    Disown(two, &MonitorDeleted);
    Disown(distance, nullptr);
}

void DistanceRestraint::MonitorDeleted(Event& event)
{
    auto* const restraint = static_cast<DistanceRestraint*>(event.GetData());
    if (!restraint)
        return;
    const std::uint32_t oid = event.GetTreeNodeOID();
    if (oid == restraint->m_centroidOneOID)
        restraint->m_centroidOneOID = 0;
    else if (oid == restraint->m_centroidTwoOID)
        restraint->m_centroidTwoOID = 0;
    else
        return;
    Discard(restraint);
}

// ---- Parameters

void DistanceRestraint::GetAtoms(BaseCollection& out) const
{
    GetAtomSetOne(out);
    GetAtomSetTwo(out);
}

void DistanceRestraint::GetAtomSetOne(BaseCollection& out) const
{
    AddAtomItems(GetCentroidMonitorOne(), out);
}

void DistanceRestraint::GetAtomSetTwo(BaseCollection& out) const
{
    AddAtomItems(GetCentroidMonitorTwo(), out);
}

void DistanceRestraint::GetForceConstants(double& minimum, double& maximum) const
{
    minimum = m_forceConstantMinimum;
    maximum = m_forceConstantMaximum;
}

double DistanceRestraint::GetForceMaximum() const
{
    return m_forceMaximum;
}

void DistanceRestraint::GetThreshold(double& minimum, double& maximum) const
{
    minimum = m_thresholdMinimum;
    maximum = m_thresholdMaximum;
}

double DistanceRestraint::CalculateDistance() const
{
    const DistanceMonitor* const distance = GetDistanceMonitor();
    return distance ? distance->GetDistance() : 0.0;
}

void DistanceRestraint::SetForceConstants(double minimum, double maximum)
{
    m_forceConstantMinimum = minimum;
    m_forceConstantMaximum = maximum;
}

void DistanceRestraint::SetForceMaximum(double forceMaximum)
{
    m_forceMaximum = forceMaximum;
}

void DistanceRestraint::SetThreshold(double minimum, double maximum)
{
    m_thresholdMinimum = minimum;
    m_thresholdMaximum = maximum;
}

void DistanceRestraint::GetLogicalAtoms(LogicalIdentifierSet& one, LogicalIdentifierSet& two) const
{
    OrdCollection atomsOne;
    GetAtomSetOne(atomsOne);
    one.AddObjects(atomsOne);
    OrdCollection atomsTwo;
    GetAtomSetTwo(atomsTwo);
    two.AddObjects(atomsTwo);
}

double DistanceRestraint::GetForceConstantMinimum() const
{
    double minimum = 0.0;
    double maximum = 0.0;
    GetForceConstants(minimum, maximum);
    return minimum;
}

double DistanceRestraint::GetForceConstantMaximum() const
{
    double minimum = 0.0;
    double maximum = 0.0;
    GetForceConstants(minimum, maximum);
    return maximum;
}

double DistanceRestraint::GetThresholdMinimum() const
{
    double minimum = 0.0;
    double maximum = 0.0;
    GetThreshold(minimum, maximum);
    return minimum;
}

double DistanceRestraint::GetThresholdMaximum() const
{
    double minimum = 0.0;
    double maximum = 0.0;
    GetThreshold(minimum, maximum);
    return maximum;
}

void DistanceRestraint::SetForceConstantMinimum(double value)
{
    SetForceConstants(value, GetForceConstantMaximum());
}

void DistanceRestraint::SetForceConstantMaximum(double value)
{
    SetForceConstants(GetForceConstantMinimum(), value);
}

void DistanceRestraint::SetThresholdMinimum(double value)
{
    SetThreshold(value, GetThresholdMaximum());
}

void DistanceRestraint::SetThresholdMaximum(double value)
{
    SetThreshold(GetThresholdMinimum(), value);
}

// ---- Display and copies

std::string DistanceRestraint::FormatLabel(const std::string& label) const
{
    return ApplyLabelFormat(LabelFormat, label);
}

void DistanceRestraint::NormalDisplay(DisplayList3D& list)
{
    if (!GetDistanceMonitor())
        return;
    OrdCollection atoms;
    GetAtoms(atoms);
    DisplayMarkers(atoms, list);
    DisplayOwned({m_distanceOID, m_centroidOneOID, m_centroidTwoOID}, list);
}

void DistanceRestraint::DeepenShallowCopy()
{
    Restraint::DeepenShallowCopy();
    const auto* const source = DynCast<DistanceRestraint>(GetCopySource());
    const CentroidMonitor* const one = source ? source->GetCentroidMonitorOne() : nullptr;
    const CentroidMonitor* const two = source ? source->GetCentroidMonitorTwo() : nullptr;
    if (one && two)
        CreateMonitors(CopiedItems(*one), CopiedItems(*two));
}

} // namespace Tavrel
