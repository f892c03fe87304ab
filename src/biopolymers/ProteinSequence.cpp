#include <tavrel/biopolymers/ProteinSequence.h>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/InternalChainResidues.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(ProteinSequence)

ProteinSequence::ProteinSequence(Object* parent) : Object(parent) {}

const PropertyTable& ProteinSequence::Properties()
{
    static const PropertyTable table(ChainResidues::SequenceTexts<ProteinSequence>("Number of Residues"));
    return table;
}

std::string ProteinSequence::GetSequence() const
{
    return ChainResidues::SequenceOf<AminoAcidChain, Residue>(*this);
}

template <class Visit>
void ProteinSequence::ForEachIndexed(Visit&& visit) const
{
    Molecule* const molecule = ChainResidues::MoleculeOf(*this);
    if (!molecule)
        return;
    DescendentIterator chains(molecule, AminoAcidChain::classType, false);
    for (Object* chain = chains.GetNext(); chain; chain = chains.GetNext()) {
        ChildIterator residues(chain, AminoAcid::classType, false);
        for (Object* residue = residues.GetNext(); residue; residue = residues.GetNext()) {
            if (!visit(static_cast<AminoAcid*>(residue)))
                return;
        }
    }
}

AminoAcid* ProteinSequence::GetResidue(std::int32_t i) const
{
    AminoAcid* found = nullptr;
    if (i < 1)
        return found;
    std::int32_t index = 0;
    ForEachIndexed([&](AminoAcid* residue) {
        if (++index < i)
            return true;
        found = residue;
        return false;
    });
    return found;
}

std::int32_t ProteinSequence::GetNumberOfResidues() const
{
    Molecule* const molecule = ChainResidues::MoleculeOf(*this);
    return molecule ? ChainResidues::CountBelow<AminoAcid>(*molecule) : 0;
}

std::int32_t ProteinSequence::GetResidues(BaseCollection& residues) const
{
    std::int32_t count = 0;
    ForEachIndexed([&](AminoAcid* residue) {
        residues.Add(residue);
        ++count;
        return true;
    });
    return count;
}

} // namespace Tavrel
