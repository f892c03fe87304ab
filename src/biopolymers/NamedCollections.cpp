#include <tavrel/biopolymers/NamedCollections.h>

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/NamedCollection.h>

namespace Tavrel {

namespace {

bool IsOfAminoAcid(const Atom* atom)
{
    return atom && IsA<AminoAcid>(atom->GetParent());
}

bool IsBackboneLabel(std::string_view label)
{
    return label == "C" || label == "N" || label == "CA" || label == "O";
}

bool HasType(const Residue* residue, std::initializer_list<std::int32_t> types)
{
    if (!residue)
        return false;
    const std::int32_t type = residue->GetType();
    for (const std::int32_t one : types) {
        if (type == one)
            return true;
    }
    return false;
}

constexpr std::uint8_t HoldsChain = 1;
constexpr std::uint8_t HoldsResidue = 2;

// Marks the molecules above the object as holding it; an ancestor already marked has its own
// ancestors marked, so each marking stops there and the whole pass stays linear.
void MarkMolecules(const Object& object, const Object* root, std::uint8_t mark,
                   std::unordered_map<const Object*, std::uint8_t>& holds)
{
    for (const TreeNode* node = object.GetParent(); node && node != root; node = node->GetParent()) {
        const auto* const molecule = DynCast<Molecule>(static_cast<const Object*>(node));
        if (!molecule)
            continue;
        std::uint8_t& held = holds[molecule];
        if (held & mark)
            return;
        held |= mark;
    }
}

// Adds every object of the class below the molecule to each group whose test it passes, in tree order.
template <class T, std::size_t N>
void Fill(Molecule& molecule, const std::array<NamedCollection*, N>& groups,
          const std::array<bool (*)(const T*), N>& tests)
{
    std::array<std::vector<Object*>, N> members;
    DescendentIterator walk(&molecule, T::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        const auto* const member = static_cast<const T*>(object);
        for (std::size_t g = 0; g < N; ++g) {
            if (tests[g](member))
                members[g].push_back(object);
        }
    }
    for (std::size_t g = 0; g < N; ++g)
        groups[g]->AddAll(members[g]);
}

} // namespace

bool NamedCollections::IsBackboneAtom(const Atom* atom)
{
    return IsOfAminoAcid(atom) && IsBackboneLabel(atom->GetLabel());
}

bool NamedCollections::IsSidechainAtom(const Atom* atom)
{
    return IsOfAminoAcid(atom) && !IsBackboneLabel(atom->GetLabel());
}

bool NamedCollections::IsAcidicResidue(const Residue* residue)
{
    return HasType(residue, {4, 7});
}

bool NamedCollections::IsBasicResidue(const Residue* residue)
{
    return HasType(residue, {2, 9, 12});
}

bool NamedCollections::IsHydrophilicResidue(const Residue* residue)
{
    return residue && residue->GetHydrophobicity() < -2.4f;
}

bool NamedCollections::IsHydrophobicResidue(const Residue* residue)
{
    return residue && residue->GetHydrophobicity() >= 0.7f;
}

NamedCollection* NamedCollections::FindOrEmpty(std::string_view name, Object* parent)
{
    if (!parent)
        return nullptr;
    ChildIterator children(parent, NamedCollection::classType, false);
    for (Object* child = children.GetNext(); child; child = children.GetNext()) {
        if (child->GetLabel() == name) {
            auto* const group = static_cast<NamedCollection*>(child);
            group->RemoveAll();
            return group;
        }
    }
    return new NamedCollection(parent, name);
}

void NamedCollections::Update(Object* object)
{
    if (!object)
        return;
    // Listeners of the groups' creation may delete molecules and groups: each is watched.
    // One walk finds the molecules and which of them hold both a chain and a residue.
    std::vector<Molecule*> molecules;
    std::unordered_map<const Object*, std::uint8_t> holds;
    DescendentIterator walk(object, Object::classType, false);
    for (Object* found = walk.GetNext(); found; found = walk.GetNext()) {
        if (auto* const molecule = DynCast<Molecule>(found))
            molecules.push_back(molecule);
        if (IsA<Chain>(found))
            MarkMolecules(*found, object, HoldsChain, holds);
        if (IsA<Residue>(found))
            MarkMolecules(*found, object, HoldsResidue, holds);
    }
    molecules.erase(std::remove_if(molecules.begin(), molecules.end(),
                                   [&holds](const Molecule* molecule) {
                                       const auto held = holds.find(molecule);
                                       return held == holds.end() || held->second != (HoldsChain | HoldsResidue);
                                   }),
                    molecules.end());
    std::deque<TreeNode::Watch> watches;
    for (Molecule* const molecule : molecules)
        watches.emplace_back(molecule);
    for (std::size_t m = 0; m < molecules.size(); ++m) {
        Molecule* const molecule = molecules[m];
        const TreeNode::Watch& alive = watches[m];
        if (!alive.alive)
            continue;
        std::array<NamedCollection*, 2> atoms{};
        if (!TakeGroups(*molecule, alive, {Backbone, Sidechain}, atoms))
            continue;
        Fill<Atom>(*molecule, atoms, {&IsBackboneAtom, &IsSidechainAtom});
        std::array<NamedCollection*, 4> residues{};
        if (!TakeGroups(*molecule, alive, {Hydrophobic, Hydrophilic, Acidic, Basic}, residues))
            continue;
        Fill<Residue>(*molecule, residues,
                      {&IsHydrophobicResidue, &IsHydrophilicResidue, &IsAcidicResidue, &IsBasicResidue});
    }
}

template <std::size_t N>
bool NamedCollections::TakeGroups(Molecule& molecule, const TreeNode::Watch& alive,
                                  const std::array<std::string_view, N>& names, std::array<NamedCollection*, N>& groups)
{
    std::deque<TreeNode::Watch> watches;
    for (std::size_t g = 0; g < N; ++g) {
        groups[g] = FindOrEmpty(names[g], &molecule);
        if (!alive.alive)
            return false;
        watches.emplace_back(groups[g]);
    }
    return std::all_of(watches.begin(), watches.end(), [](const TreeNode::Watch& watch) { return watch.alive; });
}

} // namespace Tavrel
