#include <tavrel/biopolymers/DNASequence.h>

#include <tavrel/biopolymers/InternalChainResidues.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(DNASequence)

DNASequence::DNASequence(Object* parent) : Object(parent) {}

const PropertyTable& DNASequence::Properties()
{
    static const PropertyTable table(ChainResidues::SequenceTexts<DNASequence>("Number of Bases"));
    return table;
}

std::string DNASequence::GetSequence() const
{
    return ChainResidues::SequenceOf<NucleicAcidChain, NucleicAcid>(*this);
}

NucleicAcid* DNASequence::GetResidue(std::int32_t i) const
{
    Molecule* const molecule = ChainResidues::MoleculeOf(*this);
    if (!molecule || i < 1)
        return nullptr;
    DescendentIterator walk(molecule, NucleicAcid::classType, false);
    std::int32_t index = 0;
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        if (++index == i)
            return static_cast<NucleicAcid*>(object);
    }
    return nullptr;
}

std::int32_t DNASequence::GetNumberOfResidues() const
{
    Molecule* const molecule = ChainResidues::MoleculeOf(*this);
    return molecule ? ChainResidues::CountBelow<NucleicAcid>(*molecule) : 0;
}

} // namespace Tavrel
