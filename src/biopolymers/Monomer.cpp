#include <tavrel/biopolymers/Monomer.h>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Element.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Monomer)

Monomer::Monomer(Object* parent) : SubUnit(parent) {}

const PropertyTable& Monomer::Properties()
{
    static const PropertyTable table(PropertyList<Monomer>()
                                         .Text("Monomer Weight")
                                         .ReadOnly()
                                         .Getter<&Monomer::CalculateWeight>()
                                         .Format("%.3f")
                                         .Shown());
    return table;
}

void Monomer::AssignBackboneAtoms(const OrdCollection& atoms)
{
    // Deleted entries read as null, also those a listener of an earlier mark deletes.
    for (int i = 0; i < atoms.GetSize(); ++i) {
        if (Object* atom = atoms.GetAt(i))
            atom->SetProperty(BackboneProperty, std::int32_t{1}, 0);
    }
}

template <class Visit>
void Monomer::ForEachBackboneAtom(Visit&& visit) const
{
    ChildIterator walk(const_cast<Monomer*>(this), Atom::classType, false);
    for (Object* atom = walk.GetNext(); atom; atom = walk.GetNext()) {
        if (atom->HasProperty(BackboneProperty))
            visit(atom);
    }
}

std::int32_t Monomer::GetBackboneAtoms(OrdCollection& atoms) const
{
    std::int32_t count = 0;
    ForEachBackboneAtom([&](Object* atom) {
        atoms.Add(atom);
        ++count;
    });
    return count;
}

std::int32_t Monomer::GetNumberBackboneAtoms() const
{
    std::int32_t count = 0;
    ForEachBackboneAtom([&count](Object*) { ++count; });
    return count;
}

float Monomer::CalculateWeight() const
{
    float weight = 0.0f;
    DescendentIterator walk(const_cast<Monomer*>(this), Atom::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        const auto* const atom = static_cast<const Atom*>(object);
        if (!atom->IsPeriodic() && atom->GetElement())
            weight += atom->GetElement()->GetAtomicWeight();
    }
    return weight;
}

} // namespace Tavrel
