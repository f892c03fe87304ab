// Conformer: one alternate conformation of a conformer model, made of conformer atoms and bonds.
#pragma once

#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

// The atom and bond sets (a SetCollection base) come with the conformer-model subsystem.
class Conformer : public Geometric {
    TAVREL_CLASS(Conformer, Geometric, Creatable)
public:
    // Display style 1.
    explicit Conformer(Object* parent);
};

} // namespace Tavrel
