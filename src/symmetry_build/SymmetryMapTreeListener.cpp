#include <tavrel/symmetry_build/SymmetryMapTreeListener.h>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

namespace Tavrel {

SymmetryMapTreeListener::SymmetryMapTreeListener(Cell3d* cell) : RootEventListener(cell)
{
    AttachRoot();
    Subscribe();
}

SymmetryMapTreeListener::~SymmetryMapTreeListener()
{
    DetachRoot();
    UnregisterAll();
}

std::span<const RootEventListener::Registration> SymmetryMapTreeListener::Registrations() const
{
    using L = SymmetryMapTreeListener;
    static const Registration registrations[] = {
        {TreeNode::classType, TreeNode::EventCreated, &Deliver<L, &L::OnObjectAdded>},
        {TreeNode::classType, TreeNode::EventDeleted, &Deliver<L, &L::OnObjectDeleted>},
        {TreeNode::classType, TreeNode::EventParentSet, &Deliver<L, &L::OnObjectMoved>},
        {Atom3d::classType, Atom3d::EventAtomAdded, &Deliver<L, &L::OnAtomAdded>},
        {Atom3d::classType, Atom3d::EventAtom3dDeleted, &Deliver<L, &L::OnAtomDeleted>},
        {Bond::classType, Bond::EventDeleted, &Deliver<L, &L::OnBondDeleted>},
    };
    return registrations;
}

void SymmetryMapTreeListener::OnObjectAdded(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnObjectAdded(oid); });
}

void SymmetryMapTreeListener::OnObjectDeleted(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnObjectDeleted(oid); });
}

void SymmetryMapTreeListener::OnObjectMoved(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnObjectMoved(oid); });
}

void SymmetryMapTreeListener::OnAtomAdded(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnAtomAdded(oid); });
}

void SymmetryMapTreeListener::OnAtomDeleted(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnAtomDeleted(oid); });
}

void SymmetryMapTreeListener::OnBondDeleted(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnBondDeleted(oid); });
}

} // namespace Tavrel
