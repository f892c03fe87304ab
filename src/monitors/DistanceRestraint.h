// DistanceRestraint: a flat-bottomed distance restraint between the centroids of two atom sets, measured by monitors it owns.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/foundation/Uncopied.h>
#include <tavrel/monitors/Restraint.h>

namespace Tavrel {

class BaseCollection;
class CentroidMonitor;
class DistanceMonitor;
class Event;
class LogicalIdentifierSet;
class OrdCollection;

// Holds a pair of force constants (minimum, maximum), a force maximum and a pair of distance
// thresholds, each pair stored as given. Three parentless monitors measure the current distance: a
// centroid monitor over each atom set and a distance monitor between the two; the restraint owns all
// three (Monitor::SetOwner) and draws and stores them with itself. The monitors exist together or not
// at all. When a centroid monitor goes (it does when one of its atoms is deleted) the restraint
// deletes itself; deleting the restraint deletes the monitors. A restraint is copied only with a
// subtree that holds all its atoms; the copy's monitors measure their copies.
//
// Persisted after Restraint's properties as "Centroid Monitor One", "Centroid Monitor Two",
// "Distance Monitor" (object references, the monitors' records written in place; on reading, each is
// taken only when it is a parentless monitor of its class that no other object holds, and the three
// are kept only when the distance monitor measures exactly the two centroid monitors), then "Force
// Constant Minimum", "Force Constant Maximum", "Force Maximum", "Threshold Minimum" and "Threshold
// Maximum" (doubles). Text interface: "Force Constant Maximum", "Force Constant Minimum", "Force
// Maximum", "Threshold Maximum", "Threshold Minimum" ("%f"; set from a number that is not negative).
class DistanceRestraint : public Restraint {
    TAVREL_CLASS(DistanceRestraint, Restraint, Creatable)
public:
    static constexpr const char* LabelFormat = "Distance:%s";

    // Monitors over the atoms of each collection, in its order (other members are ignored); both
    // thresholds become the distance measured now. No monitors when either collection holds no atom.
    DistanceRestraint(const BaseCollection& one, const BaseCollection& two);
    DistanceRestraint(Object* parent, const BaseCollection& one, const BaseCollection& two);
    // Deletes the monitors.
    ~DistanceRestraint() override;

    // GetAtomSetOne, then GetAtomSetTwo.
    virtual void GetAtoms(BaseCollection& out) const;
    // The items of each centroid monitor that are atoms, in item order.
    virtual void GetAtomSetOne(BaseCollection& out) const;
    virtual void GetAtomSetTwo(BaseCollection& out) const;
    virtual void GetForceConstants(double& minimum, double& maximum) const;
    virtual double GetForceMaximum() const;
    virtual void GetThreshold(double& minimum, double& maximum) const;
    // The distance monitor's distance; 0 without one.
    virtual double CalculateDistance() const;
    virtual void SetForceConstants(double minimum, double maximum);
    virtual void SetForceMaximum(double forceMaximum);
    virtual void SetThreshold(double minimum, double maximum);
    // Adds the LIDs of the atoms of set one to one and of set two to two (not emptied first).
    virtual void GetLogicalAtoms(LogicalIdentifierSet& one, LogicalIdentifierSet& two) const;

    // The owned monitors, or null.
    CentroidMonitor* GetCentroidMonitorOne() const;
    CentroidMonitor* GetCentroidMonitorTwo() const;
    DistanceMonitor* GetDistanceMonitor() const;

protected:
    explicit DistanceRestraint(Object* parent);
    // Copied only with a subtree that holds all its atoms; the copy has the same parameters, and its
    // monitors, over the copied atoms, are made by DeepenShallowCopy.
    bool ShallowCopyOK() const;

    std::string FormatLabel(const std::string& label) const override;
    // Rings about the atoms of both sets, then the distance monitor and the two centroid monitors in
    // the restraint's colour, as one group tagged with the restraint's OID. Nothing without monitors.
    void NormalDisplay(DisplayList3D& list) override;
    void DeepenShallowCopy() override;

private:
    // The parentless monitors over the atoms of the two collections, owned and watched; none unless
    // both hold atoms.
    void CreateMonitors(const BaseCollection& one, const BaseCollection& two);
    // The monitors read for the three references; false when one cannot be this restraint's.
    bool TakeCentroidMonitor(Uncopied<std::uint32_t>& slot, CentroidMonitor* monitor);
    bool TakeDistanceMonitor(DistanceMonitor* monitor);
    // After a record is read: the three monitors are kept only as a whole that measures what it should.
    void CheckMonitors();
    void DisownMonitors();
    static void MonitorDeleted(Event& event);
    // Reads the pairs, replaces one member and stores them back (the text interface).
    void SetForceConstantMinimum(double value);
    void SetForceConstantMaximum(double value);
    void SetThresholdMinimum(double value);
    void SetThresholdMaximum(double value);
    double GetForceConstantMinimum() const;
    double GetForceConstantMaximum() const;
    double GetThresholdMinimum() const;
    double GetThresholdMaximum() const;

    Uncopied<std::uint32_t> m_centroidOneOID;
    Uncopied<std::uint32_t> m_centroidTwoOID;
    Uncopied<std::uint32_t> m_distanceOID;
    double m_forceConstantMinimum = 1.0;
    double m_forceConstantMaximum = 1.0;
    double m_forceMaximum = 2.0;
    double m_thresholdMinimum = 0.0;
    double m_thresholdMaximum = 0.0;
};

} // namespace Tavrel
