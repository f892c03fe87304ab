// InternalChainResidues: the walks and text properties the sequence classes share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel::ChainResidues {

// The molecule's descendants in tree order, not entering nodes of one class.
class WalkNotEntering : public DescendentIterator {
public:
    WalkNotEntering(Object* root, std::uint32_t stopType) : DescendentIterator(root, false), m_stopType(stopType) {}

protected:
    bool Continue(Object* node) override { return !node->IsA(m_stopType) && DescendentIterator::Continue(node); }

private:
    std::uint32_t m_stopType;
};

// The nearest Molecule ancestor of the object; null when none.
inline Molecule* MoleculeOf(const Object& object)
{
    for (TreeNode* node = object.TreeNode::GetParent(); node; node = node->GetParent()) {
        if (auto* molecule = DynCast<Molecule>(node))
            return molecule;
    }
    return nullptr;
}

// The letters of each R below each C of the holder's molecule, chain by chain in tree order: the first
// character of the residue's symbol, "X" without one. A chain inside another is read as part of the
// outer one, so each residue gives one letter. Empty outside a molecule.
template <class C, class R>
std::string SequenceOf(const Object& holder)
{
    std::string sequence;
    Molecule* const molecule = MoleculeOf(holder);
    if (!molecule)
        return sequence;
    WalkNotEntering chains(molecule, C::classType);
    for (Object* object = chains.GetNext(); object; object = chains.GetNext()) {
        if (!object->IsA(C::classType))
            continue;
        DescendentIterator residues(object, R::classType, false);
        for (Object* residue = residues.GetNext(); residue; residue = residues.GetNext()) {
            const std::string& symbol = static_cast<const R*>(residue)->GetSymbol();
            sequence.push_back(symbol.empty() ? 'X' : symbol.front());
        }
    }
    return sequence;
}

// The number of T descendants of the molecule.
template <class T>
std::int32_t CountBelow(Molecule& molecule)
{
    std::int32_t count = 0;
    DescendentIterator walk(&molecule, T::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        ++count;
    return count;
}

// The read-only texts of a sequence class: its count under the name ("%d"), then "Sequence".
template <class T>
PropertyList<T> SequenceTexts(std::string_view countName)
{
    PropertyList<T> list;
    list.Text(countName)
        .ReadOnly()
        .GetText([](const T& sequence) { return StringUtils::Format("%d", sequence.GetNumberOfResidues()); })
        .Shown()
        .Text("Sequence")
        .ReadOnly()
        .GetText([](const T& sequence) { return sequence.GetSequence(); })
        .Shown();
    return list;
}

} // namespace Tavrel::ChainResidues
