// ConformerModelToken: holds the objects of conformer models out of the tree while a document is saved.
#pragma once

#include <tavrel/foundation/InstanceCount.h>
#include <tavrel/foundation/Object.h>

namespace Tavrel {

// The object, parent and sibling lists come with the conformer-model subsystem.
class ConformerModelToken : public Object {
    TAVREL_CLASS(ConformerModelToken, Object, Creatable)
public:
    explicit ConformerModelToken(Object* parent);

private:
    [[no_unique_address]] InstanceCount<ConformerModelToken> m_instances;
};

} // namespace Tavrel
