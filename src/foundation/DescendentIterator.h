// DescendentIterator: yields the root (optionally), then its subtree in pre-order.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <tavrel/foundation/TreeIterator.h>

namespace Tavrel {

class TreeNode;

// Depth first from an explicit stack: a node comes before its children, the children in index order,
// and each node's subtree completely before its next sibling. Nodes for which Continue is false are
// yielded but not entered.
class DescendentIterator : public TreeIterator {
public:
    DescendentIterator(Object* root, bool includeRoot);
    DescendentIterator(Object* root, std::uint32_t classType, bool includeRoot);
    // Refused: a class type without the flag would be taken for the flag.
    DescendentIterator(Object* root, std::uint32_t classType) = delete;
    DescendentIterator(Object* root, const Filter& filter, bool includeRoot);
    DescendentIterator(const DescendentIterator&) = default;
    DescendentIterator& operator=(const DescendentIterator&) = default;

    void Reset() override;
    std::unique_ptr<Iterator> Copy() const override;

protected:
    Object* GotoNext(bool includeRoot) override;
    // Whether the walk enters node: by default when it has at least one child. Tree nodes that are
    // not Objects are entered by that default rule.
    virtual bool Continue(Object* node);

private:
    struct Place {
        const TreeNode* node;
        int nextChild;
    };

    // The state of a new iterator: the root pending and open.
    void Restart();
    void SavePlace(const TreeNode* node);
    void Backtrack();
    // The next unvisited child of the deepest open node, closing exhausted nodes; null when none.
    TreeNode* GetNextChild();

    bool m_done = false;
    bool m_rootPending = true;
    std::vector<Place> m_stack;
};

} // namespace Tavrel
