#include <tavrel/monitors/DipoleMomentMonitor.h>

#include <cmath>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/GasteigerCharge.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/CentroidMonitor.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(DipoleMomentMonitor)

DipoleMomentMonitor::DipoleMomentMonitor(Molecule* molecule) : GeometryMonitor(molecule)
{
    if (!molecule)
        return;
    DescendentIterator walk(molecule, Atom::classType, false);
    while (Object* const atom = walk.GetNext())
        RegisterTreeEvent(atom, Geometric::classType, Geometric::EventMoved, false, nullptr);
}

const PropertyTable& DipoleMomentMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<DipoleMomentMonitor>()
            .Text("Magnitude")
            .GetText([](const DipoleMomentMonitor& monitor) {
                return StringUtils::Format("%.3f", monitor.GetMagnitude());
            })
            .ReadOnly()
            .Shown()
            .Text("Dipole")
            .GetText([](const DipoleMomentMonitor& monitor) {
                const Point3d dipole = monitor.GetDipole();
                return StringUtils::Format("%.4f %.4f %.4f", dipole.x, dipole.y, dipole.z);
            })
            .ReadOnly()
            .Shown());
    return table;
}

bool DipoleMomentMonitor::CanCreate(const OrdCollection& selection)
{
    return CentroidMonitor::CanCreate(selection);
}

Point3d DipoleMomentMonitor::GetDipole() const
{
    return m_dipole.Get();
}

float DipoleMomentMonitor::GetMagnitude() const
{
    return m_magnitude.Get();
}

void DipoleMomentMonitor::SetMagnitude(float magnitude)
{
    m_magnitude = magnitude;
}

void DipoleMomentMonitor::SetDipole(const Point3d& dipole)
{
    m_dipole = dipole;
}

Point3d DipoleMomentMonitor::GetAnnotationXYZ() const
{
    return m_centre.Get() + Point3d(0.0, 0.0, 0.25);
}

void DipoleMomentMonitor::Calculate()
{
    const Watch self(this);
    if (Object* const molecule = GetParent())
        GasteigerCharge(molecule, true);
    if (!self.alive)
        return;
    // In double precision: many small charged contributions.
    double weighted[3] = {0.0, 0.0, 0.0};
    double plain[3] = {0.0, 0.0, 0.0};
    double weight = 0.0;
    int count = 0;
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        const auto* const atom = DynCast<Atom>(GetItem(i));
        if (!atom)
            continue;
        const Point3d p = atom->GetXYZ();
        const double w = std::abs(atom->GetCharge());
        weighted[0] += p.x * w;
        weighted[1] += p.y * w;
        weighted[2] += p.z * w;
        plain[0] += p.x;
        plain[1] += p.y;
        plain[2] += p.z;
        weight += w;
        ++count;
    }
    if (count > 0) {
        m_centre = weight > 0.0 ? Point3d(weighted[0] / weight, weighted[1] / weight, weighted[2] / weight)
                                : Point3d(plain[0] / count, plain[1] / count, plain[2] / count);
        double dipole[3] = {0.0, 0.0, 0.0};
        for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
            const auto* const atom = DynCast<Atom>(GetItem(i));
            if (!atom)
                continue;
            const Point3d arm = atom->GetXYZ() - m_centre.Get();
            const double q = atom->GetCharge();
            dipole[0] += q * arm.x;
            dipole[1] += q * arm.y;
            dipole[2] += q * arm.z;
        }
        SetDipole(Point3d(dipole[0] * Debye, dipole[1] * Debye, dipole[2] * Debye));
        SetMagnitude(static_cast<float>(GetDipole().Length()));
    }
    SetNeedsRecalc(false);
}

void DipoleMomentMonitor::NormalDisplay(DisplayList3D& list)
{
    if (!Refresh())
        return;
    const Color color = GetDrawingColor();
    const Point3d start = m_centre.Get();
    const Point3d end = start - m_dipole.Get();
    const Point3d shaft = start + 0.8 * (end - start);
    list.Add(ConePrimitive(shaft, end, color, 0.2, GetOID()));
    list.Add(CylinderPrimitive(start, shaft, color, 0.1f, GetOID()));
    list.Add(SpherePrimitive(start, 0.1, color, GetOID()));
}

} // namespace Tavrel
