#include <tavrel/foundation/ChildIterator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

void ChildIterator::Reset()
{
    m_done = false;
    m_rootPending = true;
    m_index = -1;
}

std::unique_ptr<Iterator> ChildIterator::Copy() const
{
    return std::make_unique<ChildIterator>(*this);
}

Object* ChildIterator::GotoNext(bool includeRoot)
{
    if (m_done)
        return nullptr;
    Object* const root = GetRoot();
    if (m_rootPending && includeRoot) {
        m_rootPending = false;
        if (root)
            return root;
    }
    m_rootPending = false;
    if (root) {
        // Children that are not Objects are passed over.
        while (m_index < root->GetNumChildren() - 1) {
            if (Object* const child = root->GetChild(++m_index))
                return child;
        }
    }
    m_done = true;
    return nullptr;
}

} // namespace Tavrel
