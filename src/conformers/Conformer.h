// Conformer: one alternate conformation of a conformer model, made of conformer atoms and bonds.
#pragma once

#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

// The atom and bond sets (a SetCollection base) come with the conformer-model subsystem.
class Conformer : public Geometric {
    TAVREL_DECLARE_CLASS(Conformer, Geometric)
public:
    // Display style 1.
    explicit Conformer(Object* parent);

protected:
    Conformer();
    Conformer(const Conformer& other);
};

} // namespace Tavrel
