// ParentIterator: yields the nodes of a subtree, in pre-order, that have children.
#pragma once

#include <cstdint>
#include <memory>

#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/FilterChildren.h>

namespace Tavrel {

// Nodes whose children are all leaves are yielded but not entered.
class ParentIterator : public DescendentIterator {
public:
    // Every node that has at least one child.
    ParentIterator(Object* root, bool includeRoot);
    // Refused: a class type without the flag would be taken for the flag.
    ParentIterator(Object* root, std::uint32_t classType) = delete;
    // Nodes with at least one child that childFilter accepts.
    ParentIterator(Object* root, const Filter& childFilter, bool includeRoot);
    // As before, the node itself also of classType.
    ParentIterator(Object* root, std::uint32_t classType, const Filter& childFilter, bool includeRoot);
    // As before, the node itself also accepted by nodeFilter.
    ParentIterator(Object* root, const Filter& nodeFilter, const Filter& childFilter, bool includeRoot);
    ParentIterator(const ParentIterator&) = default;
    ParentIterator& operator=(const ParentIterator&) = default;

    // The next node that the node filter and the child test accept.
    Object* GetNext() override;
    std::unique_ptr<Iterator> Copy() const override;

protected:
    // True when at least one child of node has children of its own.
    bool Continue(Object* node) override;

private:
    FilterChildren m_childTest;
};

} // namespace Tavrel
