// VisibleEnumerator: shows or hides every object of a walk, each with its subtree.
#pragma once

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

// A null object stops the walk.
class VisibleEnumerator : public Enumerator {
public:
    explicit VisibleEnumerator(bool visible);
    VisibleEnumerator(const VisibleEnumerator&) = default;
    VisibleEnumerator& operator=(const VisibleEnumerator&) = default;

    bool Enumerate(Object* object, int index) override;

private:
    bool m_visible;
};

} // namespace Tavrel
