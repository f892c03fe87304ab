#include <tavrel/biopolymers/NamedCollections.h>

#include <algorithm>
#include <deque>
#include <typeinfo>
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

// Calls visit for every node below the top (the top excluded) in tree order: a node before its
// children, each subtree before the next sibling. The nodes waiting are on an explicit stack; one a few
// places on is asked for ahead, as a large tree's nodes are mostly out of the cache.
template <class Visit>
void ForEachNodeBelow(const TreeNode& top, Visit&& visit)
{
    std::vector<TreeNode*> waiting;
    const auto pushChildren = [&waiting](const TreeNode& node) {
        for (int i = node.GetNumChildren() - 1; i >= 0; --i)
            waiting.push_back(node.GetChild(i));
    };
    constexpr std::size_t prefetchDistance = 8;
    pushChildren(top);
    while (!waiting.empty()) {
        if (waiting.size() > prefetchDistance)
            PrefetchObject(waiting[waiting.size() - 1 - prefetchDistance]);
        TreeNode* const node = waiting.back();
        waiting.pop_back();
        visit(*node);
        pushChildren(*node);
    }
}

// The class tests of the walk, as bits. IsA answers by class, so each is asked once per dynamic class
// met (a walk meets few) and remembered.
class ClassTests {
public:
    static constexpr std::uint8_t IsObject = 1;
    static constexpr std::uint8_t IsMolecule = 2;
    static constexpr std::uint8_t IsChain = 4;
    static constexpr std::uint8_t IsResidue = 8;

    std::uint8_t Of(const TreeNode& node)
    {
        const std::type_info* const type = &typeid(node);
        for (std::size_t k = 0; k < m_count; ++k) {
            if (m_known[k].type == type)
                return m_known[k].bits;
        }
        const std::uint8_t bits = (IsA<Object>(&node) ? IsObject : 0) | (IsA<Molecule>(&node) ? IsMolecule : 0) |
                                  (IsA<Chain>(&node) ? IsChain : 0) | (IsA<Residue>(&node) ? IsResidue : 0);
        if (m_count < m_known.size())
            m_known[m_count++] = {type, bits};
        return bits;
    }

private:
    struct Known {
        const std::type_info* type = nullptr;
        std::uint8_t bits = 0;
    };
    std::array<Known, 8> m_known{};
    std::size_t m_count = 0;
};

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
    ClassTests classes;
    ForEachNodeBelow(*object, [&](TreeNode& node) {
        const std::uint8_t is = classes.Of(node);
        if (!(is & ClassTests::IsObject))
            return;
        auto& found = static_cast<Object&>(node);
        if (is & ClassTests::IsMolecule)
            molecules.push_back(static_cast<Molecule*>(&found));
        if (is & ClassTests::IsChain)
            MarkMolecules(found, object, HoldsChain, holds);
        if (is & ClassTests::IsResidue)
            MarkMolecules(found, object, HoldsResidue, holds);
    });
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
