// GraphTraversal: the depth-first, breadth-first and depth-limited strategies behind graph walks.
#pragma once

#include <deque>
#include <span>
#include <unordered_map>
#include <unordered_set>

namespace Tavrel {

class Object;

// A walk inserts {from, target} pairs and takes them back in the strategy's order; each target is
// handed out once, through the first pair taken for it. Strategies hold plain pointers and never
// dereference them.
class GraphTraversal {
public:
    virtual ~GraphTraversal() = default;

    // One pair per target, in the order that makes the first target come out first.
    virtual void InsertIteratorTarget(Object* from, std::span<Object* const> targets);
    // A null target is ignored.
    virtual void InsertIteratorTarget(Object* from, Object* target) = 0;
    // The next pair whose target was not handed out yet; both null when there is none.
    virtual void GetIteratorTarget(Object*& from, Object*& target) = 0;
    // Forgets every pair and every target handed out.
    virtual void Reset() = 0;

protected:
    GraphTraversal() = default;
    GraphTraversal(const GraphTraversal&) = default;
    GraphTraversal& operator=(const GraphTraversal&) = default;
};

// The pending pairs and the targets already handed out, shared by the strategies below.
class TraversalWorkList {
public:
    void PushFront(Object* from, Object* target) { m_pairs.push_front({from, target}); }
    void PushBack(Object* from, Object* target) { m_pairs.push_back({from, target}); }
    // Drops pairs of visited targets from the front, then takes the first other pair and marks its
    // target visited; both null when the list runs out.
    void Take(Object*& from, Object*& target);
    void Clear();

private:
    struct Pair {
        Object* from;
        Object* target;
    };
    std::deque<Pair> m_pairs;
    std::unordered_set<const Object*> m_visited;
};

// Last in, first out.
class DepthFirst : public GraphTraversal {
public:
    DepthFirst() = default;

    // From the last target to the first, so the first comes out first.
    void InsertIteratorTarget(Object* from, std::span<Object* const> targets) override;
    void InsertIteratorTarget(Object* from, Object* target) override;
    void GetIteratorTarget(Object*& from, Object*& target) override;
    void Reset() override;

private:
    TraversalWorkList m_work;
};

// First in, first out.
class BreadthFirst : public GraphTraversal {
public:
    BreadthFirst() = default;

    using GraphTraversal::InsertIteratorTarget;
    void InsertIteratorTarget(Object* from, Object* target) override;
    void GetIteratorTarget(Object*& from, Object*& target) override;
    void Reset() override;

private:
    TraversalWorkList m_work;
};

// Breadth first, taking only targets within depthLimit steps of the start. The start is inserted
// with a null from and has depth 0; a target keeps the depth it was first reached at, which in a
// breadth-first walk is its smallest one. A limit of 0 hands out only the start.
class DepthLimitedBreadthFirst : public GraphTraversal {
public:
    explicit DepthLimitedBreadthFirst(int depthLimit) : m_depthLimit(depthLimit) {}

    using GraphTraversal::InsertIteratorTarget;
    // Ignored when from has no depth yet (it was never reached), when the target is null, already
    // reached, or would lie beyond the limit.
    void InsertIteratorTarget(Object* from, Object* target) override;
    void GetIteratorTarget(Object*& from, Object*& target) override;
    void Reset() override;

private:
    int m_depthLimit;
    TraversalWorkList m_work;
    std::unordered_map<const Object*, int> m_depths;
};

} // namespace Tavrel
