// DisplayEnumerator: draws each accepted object's subtree into a display list.
#pragma once

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

class DisplayList3D;

// The list must outlive the enumerator.
class DisplayEnumerator : public Enumerator {
public:
    DisplayEnumerator(DisplayList3D& list, bool selectedOnly, const Filter* filter);
    DisplayEnumerator(const DisplayEnumerator&) = default;
    DisplayEnumerator& operator=(const DisplayEnumerator&) = default;

    // Displays each object the filter accepts; never stops the walk.
    bool Enumerate(Object* object, int index) override;
    // The object's DisplayAll with the list and the selected-only flag.
    virtual void DisplayObject(Object* object);

private:
    DisplayList3D* m_list;
    bool m_selectedOnly;
};

} // namespace Tavrel
