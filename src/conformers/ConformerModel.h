// ConformerModel: the alternate locations of a reference object as explicit conformers.
#pragma once

#include <tavrel/foundation/Object.h>

namespace Tavrel {

// The conformer sets and the atom and bond maps come with the conformer-model subsystem.
class ConformerModel : public Object {
    TAVREL_CLASS(ConformerModel, Object, Creatable)
public:
    // A child of the reference, display style 1.
    explicit ConformerModel(Object* reference);
};

} // namespace Tavrel
