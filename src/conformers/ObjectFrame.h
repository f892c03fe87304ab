// ObjectFrame: the stored state of one object, which Apply puts back onto it.
#pragma once

#include <tavrel/foundation/Object.h>

namespace Tavrel {

// The library defines no concrete state: a host derives its frames (positions, colours, ...) and
// overrides Apply. No properties of its own.
class ObjectFrame : public Object {
    TAVREL_CLASS(ObjectFrame, Object, Creatable, public, public)
public:

    // Puts the stored state onto the object; nothing at this level.
    virtual void Apply(Object* object);
};

} // namespace Tavrel
