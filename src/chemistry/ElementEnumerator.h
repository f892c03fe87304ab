// ElementEnumerator: collects the distinct elements of the atoms of a walk.
#pragma once

#include <tavrel/chemistry/Element.h>
#include <tavrel/foundation/DistinctEnumerator.h>

namespace Tavrel {

// Writes each element once, in the order first met, into an array the caller owns; objects that
// are not atoms are passed over, filter or not. Without an array the walk does not happen.
class ElementEnumerator : public DistinctEnumerator<const Element*> {
public:
    ElementEnumerator(ElementArray* output, const Filter* filter);

    // Adds the element of each atom the filter accepts; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // An Atom that the filter accepts.
    bool IsValidObject(Object* object) const override;
    // Appends an element not seen before; null is ignored.
    virtual void AddElement(const Element* element, Object* object);
};

} // namespace Tavrel
