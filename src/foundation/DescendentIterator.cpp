#include <tavrel/foundation/DescendentIterator.h>

#include <cstddef>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

namespace {

constexpr int PrefetchDistance = 4;
// What a type test and the child count read.
constexpr std::size_t PrefetchBytes = 128;

} // namespace

DescendentIterator::DescendentIterator(Object* root, bool includeRoot) : TreeIterator(root, includeRoot)
{
    Restart();
}

DescendentIterator::DescendentIterator(Object* root, std::uint32_t classType, bool includeRoot)
    : TreeIterator(root, classType, includeRoot)
{
    Restart();
}

DescendentIterator::DescendentIterator(Object* root, const Filter& filter, bool includeRoot)
    : TreeIterator(root, filter, includeRoot)
{
    Restart();
}

void DescendentIterator::Reset()
{
    Restart();
}

void DescendentIterator::Restart()
{
    m_done = false;
    m_rootPending = true;
    m_stack.clear();
    if (GetRoot())
        SavePlace(GetRoot());
}

std::unique_ptr<Iterator> DescendentIterator::Copy() const
{
    return std::make_unique<DescendentIterator>(*this);
}

Object* DescendentIterator::GotoNext(bool includeRoot)
{
    if (m_done) {
        m_rootPending = false;
        return nullptr;
    }
    if (m_rootPending && includeRoot && GetRoot()) {
        m_rootPending = false;
        return GetRoot();
    }
    m_rootPending = false;
    for (;;) {
        TreeNode* const child = GetNextChild();
        if (!child) {
            m_done = true;
            return nullptr;
        }
        Object* const object = DynCast<Object>(child);
        if (object ? Continue(object) : child->GetNumChildren() > 0)
            SavePlace(child);
        if (object)
            return object;
    }
}

bool DescendentIterator::Continue(Object* node)
{
    return node && node->GetNumChildren() > 0;
}

void DescendentIterator::SavePlace(const TreeNode* node)
{
    m_stack.push_back({node, 0});
}

void DescendentIterator::Backtrack()
{
    if (!m_stack.empty())
        m_stack.pop_back();
}

TreeNode* DescendentIterator::GetNextChild()
{
    while (!m_stack.empty()) {
        Place& top = m_stack.back();
        if (top.nextChild < top.node->GetNumChildren()) {
            // Siblings seldom lie together in memory: starting to load one a few places ahead lets
            // the waits for several overlap.
            if (const TreeNode* const ahead = top.node->GetChild(top.nextChild + PrefetchDistance))
                PrefetchObject(ahead, PrefetchBytes);
            return top.node->GetChild(top.nextChild++);
        }
        Backtrack();
    }
    return nullptr;
}

} // namespace Tavrel
