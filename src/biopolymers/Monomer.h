// Monomer: a repeat unit of a polymer not typed by a residue template, with its backbone atoms and weight.
#pragma once

#include <cstdint>
#include <string_view>

#include <tavrel/chemistry/SubUnit.h>

namespace Tavrel {

class OrdCollection;

// A backbone atom carries the user property "_Backbone" (the long 1, access flags 0); nothing else
// records the backbone. It persists nothing beyond SubUnit; the text interface adds the read-only
// "Monomer Weight" ("%.3f") to SubUnit's names.
class Monomer : public SubUnit {
    TAVREL_CLASS(Monomer, SubUnit, Creatable)
public:
    static constexpr std::string_view BackboneProperty = "_Backbone";

    explicit Monomer(Object* parent);

    // Marks every object of the collection, in order (null and deleted entries skipped); marks already
    // on other atoms stay.
    virtual void AssignBackboneAtoms(const OrdCollection& atoms);
    // Appends each marked Atom child (children only, in child order) and returns how many.
    virtual std::int32_t GetBackboneAtoms(OrdCollection& atoms) const;
    // The same count, collecting nothing.
    virtual std::int32_t GetNumberBackboneAtoms() const;
    // The sum, in float, of the atomic weights of the Atom descendants that are not periodic images
    // (crystal replicas do not count); 0 without any.
    virtual float CalculateWeight() const;

private:
    // Calls visit with each marked Atom child.
    template <class Visit>
    void ForEachBackboneAtom(Visit&& visit) const;
};

} // namespace Tavrel
