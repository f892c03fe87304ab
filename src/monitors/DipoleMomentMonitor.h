// DipoleMomentMonitor: the dipole moment of a molecule from Gasteiger partial charges, drawn as an arrow.
#pragma once

#include <cstdint>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Uncopied.h>
#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class Molecule;
class OrdCollection;

// A child of the molecule it measures, watching the movement of the molecule's atoms (those present
// at construction). Each calculation computes Gasteiger charges over the molecule and writes them to
// its atoms' partial charges; the centre of charge is the atoms' mean position weighted by the
// absolute values of their charges (the plain mean when no atom is charged), the dipole the sum of
// charge times position from the centre, times 4.8028 (debye). The arrow starts at the centre and
// points away from the positive side; losing atoms never deletes the monitor. Only a display
// calculates: the monitor's own position is not computed, so reading it (or a monitor measuring it)
// leaves the partial charges as they are.
//
// Persists nothing of its own. Text interface: "Magnitude" ("%.3f") and "Dipole" ("%.4f %.4f
// %.4f"), both read-only, as of the last calculation.
class DipoleMomentMonitor : public GeometryMonitor {
    TAVREL_CLASS(DipoleMomentMonitor, GeometryMonitor, Creatable)
public:
    // Elementary charge times length unit, in debye.
    static constexpr double Debye = 4.8028;

    explicit DipoleMomentMonitor(Molecule* molecule);

    // Two entries of the selection are atoms (CentroidMonitor::CanCreate).
    static bool CanCreate(const OrdCollection& selection);

    // As of the last calculation.
    virtual Point3d GetDipole() const;
    virtual float GetMagnitude() const;
    Point3d GetCentre() const { return m_centre.Get(); }

    bool ShouldDeleteMonitor() const override { return false; }
    void Calculate() override;
    // 0.25 above the centre of charge, where the arrow starts.
    Point3d GetAnnotationXYZ() const override;

protected:
    bool IsPositionCalculated() const override { return false; }
    virtual void SetMagnitude(float magnitude);
    virtual void SetDipole(const Point3d& dipole);

    // Brought up to date first: a cone over the last fifth, a rod from the centre and a small sphere
    // at the centre.
    void NormalDisplay(DisplayList3D& list) override;

private:
    // A copy is stale, with nothing computed yet.
    Uncopied<float> m_magnitude;
    Uncopied<Point3d> m_dipole;
    Uncopied<Point3d> m_centre;
};

} // namespace Tavrel
