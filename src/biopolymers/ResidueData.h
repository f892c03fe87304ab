// ResidueData: one residue template record — type, kind, names, hydrophobicity, pKa, colour, bonding method.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/core/Color.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class Archive;
class Residue;

// The residue type number of a template, 0 (the unknown residue) to 49; stored in files.
enum ResidueType : std::int32_t { UnknownResidueType = 0, CysteineResidueType = 5 };

// The kind of residue a template describes; stored in files.
enum LSType : std::int32_t { LSOther = 0, LSAminoAcid = 1, LSNucleicAcid = 2 };

// Connects a residue's atoms by their labels; false when a template atom is missing.
using ResidueBondMethod = bool (*)(Residue*);

// The records are built by the residue pool from the template table and never change afterwards;
// residues keep plain pointers to them. A default record has empty texts, colour 0, no bonding method
// and every number 0.
class ResidueData : public PersistentObject {
public:
    ResidueData() = default;
    ResidueData& operator=(const ResidueData& other) = default;
    ~ResidueData() override = default;

    ResidueType GetType() const { return m_type; }
    LSType GetLSType() const { return m_kind; }
    // The name in a structure file ("ALA", "A5'"), the pool's key.
    const std::string& GetPDBName() const { return m_pdbName; }
    const std::string& GetSymbol() const { return m_symbol; }
    const std::string& GetAbbreviation() const { return m_abbreviation; }
    const std::string& GetName() const { return m_name; }
    // Kyte-Doolittle value, 0 where none.
    float GetHydrophobicity() const { return m_hydrophobicity; }
    // Side-chain pKa, 0 where none.
    float GetpKa() const { return m_pKa; }
    Color GetColor() const { return m_color; }
    ResidueBondMethod GetBondMethod() const { return m_bondMethod; }

    // Type and kind (32 bits each), symbol, abbreviation and name, hydrophobicity and pKa (their 32-bit
    // patterns), the colour's low 24 bits in 32, and a 0 word for the bonding method. The PDB name is
    // not stored: a loaded record has none, and takes the bonding method of the pool's record of its
    // type.
    void Serialize(Archive& archive) override;

private:
    friend class ResiduePool;

    ResidueData(const ResidueData& other) = default;

    void SetType(ResidueType type) { m_type = type; }
    void SetLSType(LSType kind) { m_kind = kind; }
    void SetPDBName(const char* name) { m_pdbName = name; }
    void SetSymbol(const char* symbol) { m_symbol = symbol; }
    void SetAbbreviation(const char* abbreviation) { m_abbreviation = abbreviation; }
    void SetName(const char* name) { m_name = name; }
    void SetHydrophobicity(float value) { m_hydrophobicity = value; }
    void SetpKa(float value) { m_pKa = value; }
    void SetBondMethod(ResidueBondMethod method) { m_bondMethod = method; }
    void SetColor(const Color& color) { m_color = color; }

    ResidueType m_type = UnknownResidueType;
    LSType m_kind = LSOther;
    std::string m_pdbName;
    std::string m_symbol;
    std::string m_abbreviation;
    std::string m_name;
    float m_hydrophobicity = 0.0f;
    float m_pKa = 0.0f;
    ResidueBondMethod m_bondMethod = nullptr;
    Color m_color;
};

} // namespace Tavrel
