#include <tavrel/monitors/DistanceRestraint.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/foundation/LogicalIdentifierSet.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/DistanceMonitor.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(DistanceRestraint)

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

DistanceRestraint::~DistanceRestraint()
{
    DisownMonitors();
}

const PropertyTable& DistanceRestraint::Properties()
{
    static const PropertyTable table(
        PropertyList<DistanceRestraint>()
            .Reference(
                "Centroid Monitor One",
                [](const DistanceRestraint& restraint) { return restraint.GetCentroidMonitorOne(); },
                [](DistanceRestraint& restraint, CentroidMonitor* monitor) {
                    return restraint.TakeCentroidMonitor(restraint.m_centroidOneOID, monitor);
                })
            .StreamOnly()
            .Reference(
                "Centroid Monitor Two",
                [](const DistanceRestraint& restraint) { return restraint.GetCentroidMonitorTwo(); },
                [](DistanceRestraint& restraint, CentroidMonitor* monitor) {
                    return restraint.TakeCentroidMonitor(restraint.m_centroidTwoOID, monitor);
                })
            .StreamOnly()
            .Reference(
                "Distance Monitor", [](const DistanceRestraint& restraint) { return restraint.GetDistanceMonitor(); },
                [](DistanceRestraint& restraint, DistanceMonitor* monitor) {
                    return restraint.TakeDistanceMonitor(monitor);
                })
            .StreamOnly()
            .Field<&DistanceRestraint::m_forceConstantMinimum>("Force Constant Minimum")
            .StreamOnly()
            .Shows("Force Constant Minimum")
            .Accessors<&DistanceRestraint::GetForceConstantMinimum, &DistanceRestraint::SetForceConstantMinimum>()
            .Range(0.0)
            .GetText(RealText<&DistanceRestraint::GetForceConstantMinimum>{})
            .Shown()
            .Field<&DistanceRestraint::m_forceConstantMaximum>("Force Constant Maximum")
            .StreamOnly()
            .Shows("Force Constant Maximum")
            .Accessors<&DistanceRestraint::GetForceConstantMaximum, &DistanceRestraint::SetForceConstantMaximum>()
            .Range(0.0)
            .GetText(RealText<&DistanceRestraint::GetForceConstantMaximum>{})
            .Shown()
            .Field<&DistanceRestraint::m_forceMaximum>("Force Maximum")
            .StreamOnly()
            .Shows("Force Maximum")
            .Accessors<&DistanceRestraint::GetForceMaximum, &DistanceRestraint::SetForceMaximum>()
            .Range(0.0)
            .GetText(RealText<&DistanceRestraint::GetForceMaximum>{})
            .Shown()
            .Field<&DistanceRestraint::m_thresholdMinimum>("Threshold Minimum")
            .StreamOnly()
            .Shows("Threshold Minimum")
            .Accessors<&DistanceRestraint::GetThresholdMinimum, &DistanceRestraint::SetThresholdMinimum>()
            .Range(0.0)
            .GetText(RealText<&DistanceRestraint::GetThresholdMinimum>{})
            .Shown()
            .Field<&DistanceRestraint::m_thresholdMaximum>("Threshold Maximum")
            .StreamOnly()
            .Shows("Threshold Maximum")
            .Accessors<&DistanceRestraint::GetThresholdMaximum, &DistanceRestraint::SetThresholdMaximum>()
            .Range(0.0)
            .GetText(RealText<&DistanceRestraint::GetThresholdMaximum>{})
            .Shown()
            .Listing({"Force Constant Maximum", "Force Constant Minimum", "Force Maximum", "Threshold Maximum",
                      "Threshold Minimum"})
            .AfterRecord([](DistanceRestraint& restraint, Archive& archive, PropertyArchive* stream) {
                if (stream && archive.IsLoading())
                    restraint.CheckMonitors();
            }));
    return table;
}

bool DistanceRestraint::ShallowCopyOK() const
{
    const CentroidMonitor* const one = GetCentroidMonitorOne();
    const CentroidMonitor* const two = GetCentroidMonitorTwo();
    return !one || (one->ItemsInsideCopy() && two && two->ItemsInsideCopy());
}

// ---- The monitors

CentroidMonitor* DistanceRestraint::GetCentroidMonitorOne() const
{
    return Find<CentroidMonitor>(m_centroidOneOID.Get());
}

CentroidMonitor* DistanceRestraint::GetCentroidMonitorTwo() const
{
    return Find<CentroidMonitor>(m_centroidTwoOID.Get());
}

DistanceMonitor* DistanceRestraint::GetDistanceMonitor() const
{
    return Find<DistanceMonitor>(m_distanceOID.Get());
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

bool DistanceRestraint::TakeCentroidMonitor(Uncopied<std::uint32_t>& slot, CentroidMonitor* monitor)
{
    if (!monitor)
        return true;
    if (slot.Get() != 0 || !IsOwnable(monitor, CentroidMonitor::classType))
        return false;
    slot = monitor->GetOID();
    Own(*monitor, &MonitorDeleted);
    return true;
}

bool DistanceRestraint::TakeDistanceMonitor(DistanceMonitor* monitor)
{
    if (!monitor)
        return true;
    if (m_distanceOID.Get() != 0 || !IsOwnable(monitor, DistanceMonitor::classType))
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
    const std::uint32_t one = m_centroidOneOID.Get();
    const std::uint32_t two = m_centroidTwoOID.Get();
    const std::uint32_t distance = m_distanceOID.Get();
    m_centroidOneOID = 0u;
    m_centroidTwoOID = 0u;
    m_distanceOID = 0u;
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
    if (oid == restraint->m_centroidOneOID.Get())
        restraint->m_centroidOneOID = 0u;
    else if (oid == restraint->m_centroidTwoOID.Get())
        restraint->m_centroidTwoOID = 0u;
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
    DisplayOwned({m_distanceOID.Get(), m_centroidOneOID.Get(), m_centroidTwoOID.Get()}, list);
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
