// ProteinSequence: the one-letter sequence of the amino-acid chains of the molecule that holds it.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

class AminoAcid;
class BaseCollection;

// A leaf anywhere inside a molecule (its nearest Molecule ancestor). It holds nothing: every answer
// is computed from the tree when asked, and outside a molecule it is empty. The three questions count
// different sets: the sequence reads every Residue below the amino-acid chains, the count every
// AminoAcid below the molecule, and the indexing the AminoAcid children of the amino-acid chains.
// Persists nothing; the text interface adds the read-only "Number of Residues" ("%d") and "Sequence"
// to Object's names.
class ProteinSequence : public Object {
    TAVREL_CLASS(ProteinSequence, Object, Creatable)
public:
    explicit ProteinSequence(Object* parent);

    // For each AminoAcidChain below the molecule in tree order, the first letter of the symbol of each
    // Residue below it ("X" for a residue without a template); a chain inside another counts with the
    // outer one.
    virtual std::string GetSequence() const;
    // The i-th (from 1) AminoAcid child of the amino-acid chains, chain by chain in tree order; null
    // for i < 1 or past the end. The walk stops at it.
    virtual AminoAcid* GetResidue(std::int32_t i) const;
    // The AminoAcid descendants of the molecule, amino acids outside amino-acid chains included.
    virtual std::int32_t GetNumberOfResidues() const;
    // Appends the residues GetResidue indexes, in its order, and returns how many there are.
    virtual std::int32_t GetResidues(BaseCollection& residues) const;

private:
    // Calls visit with each AminoAcid child of the amino-acid chains, in order, until it returns false.
    template <class Visit>
    void ForEachIndexed(Visit&& visit) const;
};

} // namespace Tavrel
