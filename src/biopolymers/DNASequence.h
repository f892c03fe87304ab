// DNASequence: the one-letter sequence of the nucleic-acid chains of the molecule that holds it.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

class NucleicAcid;

// A leaf anywhere inside a molecule (its nearest Molecule ancestor). It holds nothing: every answer
// is computed from the tree when asked, and outside a molecule it is empty. The sequence reads the
// NucleicAcids below the nucleic-acid chains; the count and the indexing every NucleicAcid below the
// molecule. Persists nothing; the text interface adds the read-only "Number of Bases" ("%d") and
// "Sequence" to Object's names.
class DNASequence : public Object {
    TAVREL_CLASS(DNASequence, Object, Creatable)
public:
    explicit DNASequence(Object* parent);

    // For each NucleicAcidChain below the molecule in tree order, the first letter of the symbol of
    // each NucleicAcid below it ("X" for one without a template); a chain inside another counts with
    // the outer one.
    virtual std::string GetSequence() const;
    // The i-th (from 1) NucleicAcid below the molecule in tree order; null for i < 1 or past the end.
    // The walk stops at it.
    virtual NucleicAcid* GetResidue(std::int32_t i) const;
    virtual std::int32_t GetNumberOfResidues() const;
};

} // namespace Tavrel
