// Residue: one monomer of a biopolymer chain, typed by a residue template of the pool.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/biopolymers/ResidueData.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/core/Color.h>

namespace Tavrel {

// A SubUnit whose atoms are its children. What describes the kind of residue is read through its
// template record (never owned; records live for the process); the residue itself keeps the record,
// a ribbon size for the chain displays and, as the user property "_IC", its insertion code.
// Persisted after SubUnit's as "Residue Type", "Ribbon Size" and "Residue Name" (the PDB name when
// loading by type alone would give another record of the type, as for "ADE" against "A5'"; else
// empty); a residue without a template stores the type -1. The framework archive appends the type
// alone to SubUnit's record.
class Residue : public SubUnit {
    // The text interface adds, to SubUnit's names, "Type", "1-Letter", "1-Letter & ID#", "3-Letter",
    // "Hydrophobicity" ("%.3f"), "Ribbon Size" ("%.2f", the only one that can be set) and "Avg.
    // Isotropic Displacement" ("%.4f", listed only when an atom has a displacement). A copy shares the
    // template and takes the ribbon size.
    TAVREL_CLASS(Residue, SubUnit, Creatable)
public:
    // No template; ribbon size 1.0.
    explicit Residue(Object* parent);

    // Takes the pool's record of the PDB name (an unknown or null name gives "UNK") and its colour.
    virtual void SetType(const char* pdbName);
    // Takes the first record of the type in the pool's enumeration order ("UNK" when none); the colour
    // stays as it is.
    virtual void SetType(ResidueType type);

    // The template's values; without a template type 0, empty texts, BondNull, white and 0.
    virtual ResidueType GetType() const;
    virtual const std::string& GetSymbol() const;
    // The symbol followed by the object's ID ("K42"); empty without a template.
    virtual std::string GetSymbolAndID() const;
    virtual const std::string& GetAbbreviation() const;
    virtual const std::string& GetLongName() const;
    virtual const std::string& GetPDBName() const;
    virtual ResidueBondMethod GetBondMethod() const;
    virtual Color GetResidueColor() const;
    virtual float GetResiduepKa() const;
    virtual float GetHydrophobicity() const;

    // The user property "_IC"; empty when absent. An empty code removes the property.
    virtual std::string GetInsertionCode() const;
    virtual void SetInsertionCode(std::string_view code);

    // Plain field access, no event. A size that is not finite and above 0 is not taken (IsDisplaySize),
    // from the setter, the text or a file alike.
    virtual float GetRibbonSize() const { return m_ribbonSize; }
    virtual void SetRibbonSize(float size);

    // The mean isotropic displacement over every Atom below the residue (0.0 for atoms without
    // one), when at least one has one; else 0.0.
    virtual float GetAvgIsotropicDisplacement() const;
    virtual bool HasAvgIsotropicDisplacement() const;

    // The template record; null before the residue is typed.
    const ResidueData* GetResidueData() const { return m_template; }

    // The template's colour.
    void SetDefaultColor() override;

protected:
    // The anchor of the residue's label: the annotation point of the child with the label (else of
    // the first child, else the origin), moved by (0.5, 0.3, 0).
    Point3d GetAnnotationNear(std::string_view label) const;

private:
    friend class ResiduePool;

    // Takes the record as it is (the pool's one-letter codes); the colour stays.
    void SetTemplate(const ResidueData* record) { m_template = record; }
    // The stored "Residue Name": the PDB name when the type alone would load another record.
    std::string GetDistinctName() const;
    // A stored name takes its record when it is a name of the residue's type.
    void SetDistinctName(const std::string& name);
    // The type as stored: a residue without a template stores -1 (type 0 would load as "UNK"), and
    // reads back without one.
    static constexpr std::int32_t UntypedCode = -1;
    std::int32_t GetStoredType() const;
    void SetStoredType(std::int32_t type);

    const ResidueData* m_template = nullptr;
    float m_ribbonSize = 1.0f;
};

} // namespace Tavrel
