// Conformation: one alternate set of positions, occupancies and isotropic displacements over a reference object's atoms.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/InstanceCount.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Atom;
class BaseCollection;
class Bond;
class ConformationQueries;
class ConformationReference;
class PropertyArchive;

// Values are addressed by the atom index of the reference's shared record (ConformationReference)
// and kept as 32-bit floats. A Conformation normally lives as a child of its reference and dies with
// it (or with one of its atoms or bonds). Without a record every query answers 0, null or -1 and
// nothing is drawn; out-of-range indices are ignored by setters and answered with the defaults
// (origin, occupancy 1.0, displacement 0.0) by getters.
class Conformation : public Object {
    // Persisted as "Conformation Points" (each point a byte block), "Conformation Reference", the
    // three "Conformation Use ..." flags, "Conformation Isotropic Displacements" and "Conformation
    // Occupancies" (doubles), and "Conf 2d". Records of object schema below 9 read occupancy 1.0 and
    // displacement 0.0 for every point. The framework archive holds Object's part, then the position
    // count (32 bits) and the points; reading takes its parent as the reference, with occupancy 1.0
    // and displacement 0.0. A copy takes the values and the 2-D flag, the use flags off, and the
    // record of the reference's copy (DeepenShallowCopy).
    TAVREL_CLASS(Conformation, Object, Creatable)
public:
    // A child of the reference, display style 1, holding the reference's present values.
    Conformation(Object* reference, bool twoD);
    // The values by atom index.
    struct Values {
        std::vector<float> isotropic;
        std::vector<float> occupancy;
        Point3d::Array positions;
    };
    // The same holding the values when there is one of each per atom of the reference's record (the
    // Conformations of a conformer model all start from the reference's values, read once); else the
    // reference's present values.
    Conformation(Object* reference, bool twoD, const Values& values);
    ~Conformation() override;

    // Copies the values and flags from a Conformation of the same reference; nothing otherwise.
    Conformation& operator=(const Conformation& other);

    Object* GetReference() const;
    int GetAtomCount() const;
    // std::out_of_range outside the record's lists.
    Atom* GetAtom(int index) const;
    int GetAtomIndex(const Atom* atom) const;
    int GetBondCount() const;
    Bond* GetBond(int index) const;
    int GetBondIndex(const Bond* bond) const;

    void GetPositions(Point3d::Array& out) const;
    Values GetValues() const { return {m_isotropic, m_occupancy, m_positions}; }
    Point3d GetPosition(int index) const;
    Point3d GetPosition(const Atom* atom) const;
    // Only for 0 <= index < atom count (and the positions held).
    virtual void SetPosition(int index, const Point3d& position);
    // Nothing for null; else the index form.
    virtual void SetPosition(const Atom* atom, const Point3d& position);
    double GetOccupancy(int index) const;
    double GetOccupancy(const Atom* atom) const;
    void SetOccupancy(int index, double occupancy);
    void SetOccupancy(const Atom* atom, double occupancy);
    double GetIsotropicDisplacement(int index) const;
    double GetIsotropicDisplacement(const Atom* atom) const;
    void SetIsotropicDisplacement(int index, double displacement);
    void SetIsotropicDisplacement(const Atom* atom, double displacement);

    // Draw the reference in this Conformation's colour, colour scheme, display style.
    virtual void ApplyColor(bool use);
    virtual void ApplyColorScheme(bool use);
    virtual void ApplyDisplayStyle(bool use);
    virtual bool Is2D() const;

    // Writes the values to the reference's atoms (displacement, occupancy, position), and reads
    // them from there after sizing the arrays to the atom count.
    virtual void ApplyConformationToReference() const;
    void ApplyReferenceToConformation();

    // A record exists, the bond is numbered and it has a moving side.
    bool IsBondRotatable(int bond) const;
    // Turns the smaller side of a rotatable bond by the angle (degrees) about the bond, in this
    // Conformation's positions only. std::out_of_range, with nothing moved, for a bond outside the
    // bond list, a ring bond or a terminal one.
    virtual void IncrementBondTorsion(int bond, double angle);

    // Draws the reference's children (Conformations excepted) with the use flags applied; the
    // reference's colour, scheme and style are given back.
    virtual void DisplayReference(Object* reference, DisplayList3D& list);
    // Without a reference (a file may give none), always: nothing reaches outside the copy. With one,
    // the copy root is the reference or lies above it, and ValidateReference.
    virtual bool ShallowCopyOK() const;
    // The reference has at least as many numbered atoms as this Conformation has positions.
    virtual bool ValidateReference(Object* reference) const;

    // The atoms of the record that carry the mark "~_C_~" (the record is rebuilt first), and the
    // bonds with both ends among them, or one end among them and the other not a hydrogen.
    static void GetAlternates(const Conformation* conformation, BaseCollection& atoms, BaseCollection& bonds);

    // Only with a record that has a reference.
    void Display(DisplayList3D& list) override;
    // Once the whole document is read: values stored past the reference's atoms are dropped.
    void FinishLoading(std::uint32_t schema) override;
    // Drops the values stored past the reference's atoms; nothing without a reference.
    void DropValuesPastReference();

    // A molecule's questions about its children, answered by the conformations among them.
    static const ConformationQueries& Queries();

    // The user property that marks a reference atom with alternates.
    static constexpr const char* alternatesMarker = "~_C_~";

protected:
    void DeepenShallowCopy() override;
    // Draws the reference as this Conformation has it, then gives the reference back its values,
    // selection and visibility; the global event switch ends as it was.
    void NormalDisplay(DisplayList3D& list) override;

private:
    // After a record is read: the record of the stored reference (else of the parent); old records
    // size the value arrays to the points.
    void PostProcess(std::uint32_t schema);
    // The framework archive's record.
    void SerializeRecord(Archive& archive);
    bool InRange(int index) const;

    Uncopied<ConformationReference*> m_record;
    std::vector<float> m_isotropic;
    std::vector<float> m_occupancy;
    Point3d::Array m_positions;
    std::uint32_t m_storedReference = 0;  // while a record is read: the OID of the reference read
    Uncopied<bool> m_useColor;
    Uncopied<bool> m_useColorScheme;
    Uncopied<bool> m_useDisplayStyle;
    [[no_unique_address]] InstanceCount<Conformation> m_instances;
    bool m_twoD = false;
};

} // namespace Tavrel
