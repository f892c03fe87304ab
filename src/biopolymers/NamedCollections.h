// NamedCollections: the backbone, side-chain, acidic, basic, hydrophilic and hydrophobic groups of biopolymer molecules.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

class Atom;
class Molecule;
class NamedCollection;
class Object;
class Residue;

// Static only. Update fills six NamedCollections under each biopolymer molecule, labelled with the
// names below; the collections hold their members without owning them.
class NamedCollections {
public:
    static constexpr std::string_view Backbone = "Backbone";
    static constexpr std::string_view Sidechain = "Sidechain";
    static constexpr std::string_view Acidic = "Acidic";
    static constexpr std::string_view Basic = "Basic";
    static constexpr std::string_view Hydrophilic = "Hydrophilic";
    static constexpr std::string_view Hydrophobic = "Hydrophobic";

    NamedCollections() = delete;

    // An atom of an AminoAcid labelled exactly "C", "N", "CA" or "O".
    static bool IsBackboneAtom(const Atom* atom);
    // Any other atom of an AminoAcid; atoms of other residues are neither.
    static bool IsSidechainAtom(const Atom* atom);
    // Types 4 and 7 ("ASP", "GLU").
    static bool IsAcidicResidue(const Residue* residue);
    // Types 2, 9 and 12 ("ARG", "HIS", "LYS").
    static bool IsBasicResidue(const Residue* residue);
    // A template hydrophobicity below -2.4.
    static bool IsHydrophilicResidue(const Residue* residue);
    // A template hydrophobicity of 0.7 or more.
    static bool IsHydrophobicResidue(const Residue* residue);

    // For each Molecule below the object (the object itself excluded), in tree order, that holds a
    // Chain and a Residue: the groups "Backbone" and "Sidechain" of its atoms, then "Hydrophobic",
    // "Hydrophilic", "Acidic" and "Basic" of its residues, each the molecule's first NamedCollection
    // child of that label emptied, or a new one after its children. Nothing for null.
    static void Update(Object* object);

private:
    // The first NamedCollection child of the parent labelled exactly name, emptied; else a new one
    // under the parent. Null for a null parent.
    static NamedCollection* FindOrEmpty(std::string_view name, Object* parent);
    // The groups of the names under the molecule, in order; false when the molecule or one of them
    // was deleted meanwhile.
    template <std::size_t N>
    static bool TakeGroups(Molecule& molecule, const TreeNode::Watch& alive,
                           const std::array<std::string_view, N>& names, std::array<NamedCollection*, N>& groups);
};

} // namespace Tavrel
