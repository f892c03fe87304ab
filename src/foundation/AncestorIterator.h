// AncestorIterator: yields the root (optionally), its parent, the parent's parent, up to the top.
#pragma once

#include <cstdint>
#include <memory>

#include <tavrel/foundation/TreeIterator.h>

namespace Tavrel {

class TreeNode;

class AncestorIterator : public TreeIterator {
public:
    // (root, includeRoot), (root, classType, includeRoot) and (root, filter, includeRoot).
    using TreeIterator::TreeIterator;
    // Refused: a class type without the flag would be taken for the flag.
    AncestorIterator(Object* root, std::uint32_t classType) = delete;
    AncestorIterator(const AncestorIterator&) = default;
    AncestorIterator& operator=(const AncestorIterator&) = default;

    void Reset() override;
    std::unique_ptr<Iterator> Copy() const override;

protected:
    Object* GotoNext(bool includeRoot) override;

private:
    TreeNode* m_current = nullptr;  // null before the first step
    bool m_done = false;
};

} // namespace Tavrel
