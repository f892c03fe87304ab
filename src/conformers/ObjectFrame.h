// ObjectFrame: the stored state of one object, which Apply puts back onto it.
#pragma once

#include <tavrel/foundation/Object.h>

namespace Tavrel {

// The library defines no concrete state: a host derives its frames (positions, colours, ...) and
// overrides Apply. No properties of its own.
class ObjectFrame : public Object {
    TAVREL_DECLARE_CLASS(ObjectFrame, Object)
public:
    ObjectFrame() = default;
    // Copies the Object part.
    ObjectFrame(const ObjectFrame& other) = default;

    // Puts the stored state onto the object; nothing at this level.
    virtual void Apply(Object* object);
};

} // namespace Tavrel
