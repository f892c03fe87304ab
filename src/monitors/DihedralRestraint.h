// DihedralRestraint: a torsional restraint term on four atoms, measured by a dihedral monitor it owns.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <tavrel/foundation/LogicalIdentifierSet.h>
#include <tavrel/foundation/Uncopied.h>
#include <tavrel/monitors/Restraint.h>

namespace Tavrel {

class Atom;
class BaseCollection;
class DihedralMonitor;
class Event;
class Geometric;

// Holds a force constant, a periodicity and a reference angle (degrees, as the monitor measures). The
// monitor has no parent: the restraint owns it (Monitor::SetOwner), draws it with its own display,
// stores it in its own record and deletes it. The monitor measures its four objects in the order
// given, never reordered, so the angle keeps its sign and a copy keeps its meaning. When the monitor
// goes (it does when one of its atoms is deleted) the restraint deletes itself. A restraint is copied
// only with a subtree that holds all its atoms; the copy's monitor measures their copies.
//
// Persisted after Restraint's properties as "Dihedral Monitor" (an object reference, the monitor's
// record written in place; on reading, taken only when it is a parentless dihedral monitor that no
// other object holds), "Force Constant" (a double), "Periodicity" (an integer) and "Reference Angle"
// (a double). Text interface: "Force Constant" and "Reference Angle" ("%f"; set from a number) and
// "Periodicity" ("%d"; set from an integer); a text refuses a negative force constant or periodicity.
class DihedralRestraint : public Restraint {
    TAVREL_CLASS(DihedralRestraint, Restraint, Creatable)
public:
    static constexpr const char* LabelFormat = "Dihedral:%s";

    // A new monitor over the four items of the given one, in order; the given monitor is neither kept
    // nor owned. The reference angle is the angle measured now. No monitor unless it has four items.
    explicit DihedralRestraint(const DihedralMonitor& monitor);
    DihedralRestraint(Object* parent, const DihedralMonitor& monitor);
    // A monitor over a, b, c, d in this order; the reference angle is the angle measured now. No
    // monitor unless all four are given.
    DihedralRestraint(Atom* a, Atom* b, Atom* c, Atom* d);
    DihedralRestraint(Object* parent, Atom* a, Atom* b, Atom* c, Atom* d);
    // Deletes the monitor.
    ~DihedralRestraint() override;

    // Adds the monitor's items that are atoms, in item order.
    virtual void GetAtoms(BaseCollection& out) const;
    virtual double GetForceConstant() const;
    virtual std::int32_t GetPeriodicity() const;
    virtual double GetReferenceAngle() const;
    // The monitor's angle; the reference angle without a monitor.
    virtual double CalculateDihedralAngle() const;
    virtual void SetForceConstant(double forceConstant);
    virtual void SetPeriodicity(std::int32_t periodicity);
    virtual void SetReferenceAngle(double angle);
    virtual LogicalIdentifierSet GetLogicalAtoms() const;

    // The owned monitor, or null.
    DihedralMonitor* GetMonitor() const;

protected:
    explicit DihedralRestraint(Object* parent);
    // Copied only with a subtree that holds all its atoms; the copy has the same parameters, and its
    // monitor, over the copied atoms, is made by DeepenShallowCopy.
    bool ShallowCopyOK() const;

    std::string FormatLabel(const std::string& label) const override;
    // Rings about the atoms, then the monitor in the restraint's colour, as one group tagged with the
    // restraint's OID. Nothing without a monitor.
    void NormalDisplay(DisplayList3D& list) override;
    void DeepenShallowCopy() override;

private:
    // A parentless monitor over the four objects, owned and watched; nothing unless all are given.
    void CreateMonitor(const std::array<Geometric*, 4>& objects);
    // Takes the monitor read for "Dihedral Monitor"; false when it cannot be this restraint's.
    bool TakeMonitor(DihedralMonitor* monitor);
    static void MonitorDeleted(Event& event);

    Uncopied<std::uint32_t> m_monitorOID;
    double m_forceConstant = 1.0;
    std::int32_t m_periodicity = 0;
    double m_referenceAngle = 0.0;
};

} // namespace Tavrel
