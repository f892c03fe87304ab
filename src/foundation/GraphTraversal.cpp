#include <tavrel/foundation/GraphTraversal.h>

namespace Tavrel {

void GraphTraversal::InsertIteratorTarget(Object* from, std::span<Object* const> targets)
{
    for (Object* const target : targets)
        InsertIteratorTarget(from, target);
}

void TraversalWorkList::Take(Object*& from, Object*& target)
{
    while (!m_pairs.empty()) {
        const Pair pair = m_pairs.front();
        m_pairs.pop_front();
        if (m_visited.insert(pair.target).second) {
            from = pair.from;
            target = pair.target;
            return;
        }
    }
    from = nullptr;
    target = nullptr;
}

void TraversalWorkList::Clear()
{
    m_pairs.clear();
    m_visited.clear();
}

void DepthFirst::InsertIteratorTarget(Object* from, std::span<Object* const> targets)
{
    for (auto it = targets.rbegin(); it != targets.rend(); ++it)
        InsertIteratorTarget(from, *it);
}

void DepthFirst::InsertIteratorTarget(Object* from, Object* target)
{
    if (target)
        m_work.PushFront(from, target);
}

void DepthFirst::GetIteratorTarget(Object*& from, Object*& target)
{
    m_work.Take(from, target);
}

void DepthFirst::Reset()
{
    m_work.Clear();
}

void BreadthFirst::InsertIteratorTarget(Object* from, Object* target)
{
    if (target)
        m_work.PushBack(from, target);
}

void BreadthFirst::GetIteratorTarget(Object*& from, Object*& target)
{
    m_work.Take(from, target);
}

void BreadthFirst::Reset()
{
    m_work.Clear();
}

void DepthLimitedBreadthFirst::InsertIteratorTarget(Object* from, Object* target)
{
    // The start comes with a null from, whose depth is -1.
    if (!from)
        m_depths.try_emplace(nullptr, -1);
    const auto found = m_depths.find(from);
    if (found == m_depths.end() || !target)
        return;
    const int depth = found->second + 1;
    if (depth > m_depthLimit)
        return;
    // A target reached before keeps its depth: it was reached at no greater depth than now.
    if (m_depths.try_emplace(target, depth).second)
        m_work.PushBack(from, target);
}

void DepthLimitedBreadthFirst::GetIteratorTarget(Object*& from, Object*& target)
{
    m_work.Take(from, target);
}

void DepthLimitedBreadthFirst::Reset()
{
    m_work.Clear();
    m_depths.clear();
}

} // namespace Tavrel
