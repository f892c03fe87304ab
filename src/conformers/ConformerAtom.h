// ConformerAtom: an alternate atom of a conformer, an Atom3d that crystal cells and other whole-structure walks skip.
#pragma once

#include <string>

#include <tavrel/chemistry/Atom3d.h>

namespace Tavrel {

// Holds no data of its own; its colour-scheme hint is 0. The conformer-model subsystem adds the
// copying, bonding and jack operations.
class ConformerAtom : public Atom3d {
    TAVREL_CLASS(ConformerAtom, Atom3d, Creatable)
public:
    ConformerAtom(Object* parent, ElementType type);
    ConformerAtom(Object* parent, const char* symbol);

    // "Conformer Atom".
    std::string GetCommonName() const override;
    // A new ConformerAtom of the element under parent.
    Atom* CreateNewAtom(Object* parent, ElementType type) override;
};

} // namespace Tavrel
