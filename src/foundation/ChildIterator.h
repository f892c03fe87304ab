// ChildIterator: yields the root (optionally), then its children in index order.
#pragma once

#include <cstdint>
#include <memory>

#include <tavrel/foundation/TreeIterator.h>

namespace Tavrel {

// The child count is read at every step, so children added during the walk are seen.
class ChildIterator : public TreeIterator {
public:
    // (root, includeRoot), (root, classType, includeRoot) and (root, filter, includeRoot).
    using TreeIterator::TreeIterator;
    // Refused: a class type without the flag would be taken for the flag.
    ChildIterator(Object* root, std::uint32_t classType) = delete;
    ChildIterator(const ChildIterator&) = default;
    ChildIterator& operator=(const ChildIterator&) = default;

    void Reset() override;
    std::unique_ptr<Iterator> Copy() const override;

protected:
    Object* GotoNext(bool includeRoot) override;

private:
    bool m_done = false;
    bool m_rootPending = true;
    int m_index = -1;  // the last child stepped over
};

} // namespace Tavrel
