// SelectEnumerator: selects or deselects every object of a walk.
#pragma once

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

// A null object stops the walk. Deselection always descends into the children.
class SelectEnumerator : public Enumerator {
public:
    explicit SelectEnumerator(bool select);
    SelectEnumerator(bool select, bool recursive);
    SelectEnumerator(const SelectEnumerator&) = default;
    SelectEnumerator& operator=(const SelectEnumerator&) = default;

    bool Enumerate(Object* object, int index) override;

private:
    bool m_select;
    bool m_recursive;
};

} // namespace Tavrel
