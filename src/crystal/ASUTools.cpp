#include <tavrel/crystal/ASUTools.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/FilterSymmetry.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/FilterType.h>

namespace Tavrel {

bool ASUTools::IsReplicateAtom(const Atom* atom)
{
    return atom && atom->HasAncestor(Cell3d::classType) && (atom->HasProperty("_REP") || IsA<ReplicateAtom>(atom)) &&
           !IsA<ConformerAtom>(atom);
}

bool ASUTools::IsReplicateBond(const Bond* bond)
{
    return bond && bond->HasAncestor(Cell3d::classType) && IsReplicateAtom(DynCast<Atom>(bond->GetAtom1())) &&
           IsReplicateAtom(DynCast<Atom>(bond->GetAtom2()));
}

int ASUTools::CountASUAtoms(const Object* root, bool includeConformerAtoms)
{
    if (!root)
        return 0;
    const FilterSymmetry filter(FilterType(Atom::classType, Filter::Include), includeConformerAtoms, Filter::Include);
    DescendentIterator walk(const_cast<Object*>(root), filter, false);
    int count = 0;
    while (walk.GetNext())
        ++count;
    return count;
}

int ASUTools::CountASUBonds(const Object* root, bool includeConformerAtoms)
{
    if (!root)
        return 0;
    DescendentIterator walk(const_cast<Object*>(root), Bond::classType, false);
    int count = 0;
    while (Object* const object = walk.GetNext()) {
        const auto* const bond = static_cast<const Bond*>(object);
        if (IsReplicateBond(bond))
            continue;
        if (!includeConformerAtoms &&
            (IsA<ConformerAtom>(bond->GetAtom1()) || IsA<ConformerAtom>(bond->GetAtom2())))
            continue;
        ++count;
    }
    return count;
}

} // namespace Tavrel
