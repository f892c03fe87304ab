// ConformerModelToken: holds the objects of conformer models out of the tree while a document is saved.
#pragma once

#include <tavrel/foundation/Object.h>

namespace Tavrel {

// The object, parent and sibling lists come with the conformer-model subsystem.
class ConformerModelToken : public Object {
    TAVREL_CLASS(ConformerModelToken, Object, Creatable)
public:
    explicit ConformerModelToken(Object* parent);
};

} // namespace Tavrel
