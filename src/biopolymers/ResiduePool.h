// ResiduePool: the process-wide residue template records, residue creation and the bonding of biopolymers.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>

#include <tavrel/biopolymers/ResidueData.h>
#include <tavrel/biopolymers/ResidueTemplateTable.h>
#include <tavrel/chemistry/Bond.h>

namespace Tavrel {

class AminoAcid;
class AminoAcidChain;
class Atom3d;
class Chain;
class NucleicAcid;
class NucleicAcidChain;
class Object;
class Residue;

// Owns one record per template row, built on first use and read-only afterwards. Names are matched
// exactly (case-sensitive, blanks kept). Scans over the records visit them in a fixed enumeration
// order (GetRecords), which decides the record of a type and of a one-letter code.
//
// Bonding builds the bonds of biopolymers whose atoms the host has added under their residues,
// labelled with their structure-file names: template bonds per residue, links between consecutive
// residues, terminal charges, disulfide bridges, hydrogens by distance, and proximity bonding where a
// template does not fit. Distances are compared in float, squared, against the squared threshold.
// Listeners may delete objects while bonds are made: the operations go on only with what lives.
class ResiduePool {
public:
    static constexpr std::size_t Count = ResidueTemplateCount;
    // Types of the records and labels the bonding treats specially.
    static constexpr ResidueType PyroglutamateType = static_cast<ResidueType>(26);
    static constexpr std::string_view WaterChainLabel = "Water";

    static const ResiduePool& GetResiduePool();

    ResiduePool(const ResiduePool&) = delete;
    ResiduePool& operator=(const ResiduePool&) = delete;

    std::int32_t GetCount() const { return static_cast<std::int32_t>(Count); }
    // The records in enumeration order.
    std::span<const ResidueData* const, Count> GetRecords() const { return m_order; }

    // The record of the PDB name; a null or unknown name gives "UNK".
    const ResidueData* GetResidueData(const char* pdbName) const;
    // The first record of the type in enumeration order; "UNK" when none.
    const ResidueData* GetResidueData(ResidueType type) const;
    // Null when the name is no record's (no fallback).
    const ResidueData* FindResidueData(std::string_view pdbName) const;
    ResidueType GetResidueType(const char* pdbName) const { return GetResidueData(pdbName)->GetType(); }
    LSType GetLSType(const char* pdbName) const { return GetResidueData(pdbName)->GetLSType(); }

    // An AminoAcid for an amino-acid name, a NucleicAcid for a nucleic-acid name, else a plain
    // Residue, under the parent and typed by the name (colour included).
    Residue* CreateResidue(Object* parent, const char* pdbName) const;
    // An AminoAcidChain, a NucleicAcidChain or a plain Chain by the kind of a residue name of the
    // chain; no label is set.
    Chain* CreateChain(Object* parent, const char* pdbName) const;
    // A residue under the chain. A one-character name is a one-letter code, compared without regard to
    // case: an amino acid takes the first amino-acid record with that symbol in enumeration order, the
    // unknown residue for "X" or a letter no record has; a nucleotide takes the record whose PDB name
    // is the letter ("A", "G", "T", "C", "U"), else the unknown residue. The colour is then left as
    // it is. Any other name types the residue as SetType(name) does.
    AminoAcid* CreateAminoAcid(AminoAcidChain* parent, const char* name) const;
    NucleicAcid* CreateNucleicAcid(NucleicAcidChain* parent, const char* name) const;

    // Bonds every Chain below the root (not the root itself), in tree order: each residue by its
    // template, or by distance when the template fails or leaves an atom unbonded; consecutive residues
    // linked (also the first of a chain to the last of the chain before); a charge of +1 on the first
    // residue's "N" unless it has exactly three bonds (none on pyroglutamate's ring nitrogen); the
    // last residue's carboxyl made a carboxylate or an acid by its hydrogens; disulfides searched once
    // over the root when the first cysteine is met. A chain labelled exactly "Water" has its residues
    // bonded by distance and nothing else. Always true.
    bool ConstructResidueBonds(Object* root) const;
    // Links previous to current: "C" to "N" (or to "O" when current has no "N"), or, when previous
    // has no "C" and current neither "N" nor "O", "O3'" (else "O3*") to "P". True when the two are
    // bonded afterwards; false for a missing atom or atoms farther apart than the sum of their bonding
    // radii.
    bool BondBetweenResidues(Residue* current, Residue* previous) const;
    // Bonds each hydrogen child of the residue to every other non-hydrogen child within 1.2, hydrogens
    // in child order and each one's partners in child order; a cell grid finds the partners of large
    // residues. Always true.
    bool BondHydrogens(Residue* residue) const;
    // Atom::ConstructBonds below the object, unless it has exactly one child. Always true.
    bool BondByDistance(Object* object) const;
    // For each Molecule below the root: bridges the "SG" atoms of its cysteine residues lying within
    // 3.0 of each other, pairs in tree order of the residues. Always true.
    bool FindDisulfides(Object* root) const;
    // Bonds the residue's atoms labelled atom1 and atom2 (an existing bond is reused) with the type,
    // the residue being a new bond's parent; false when an atom is missing or no bond results.
    bool MakeBond(Residue* residue, std::string_view atom1, std::string_view atom2, Bond::BondType type) const;

    // The first Atom3d child of the object with exactly that label; null when none.
    static Atom3d* FindAtom(Object* object, std::string_view label);

private:
    ResiduePool();

    // Every Atom3d child of the residue has a bond (also true without atoms).
    bool CheckAtoms(Residue* residue) const;
    // The first-residue and last-residue treatments of a chain.
    void ChargeNTerminus(Residue* first) const;
    void TreatCTerminus(Residue* last) const;

    std::array<ResidueData, Count> m_records; // in row order
    std::array<const ResidueData*, Count> m_order;
    std::unordered_map<std::string_view, const ResidueData*> m_byName;
    std::array<const ResidueData*, 50> m_byType;
};

} // namespace Tavrel
