#include <tavrel/foundation/AncestorIterator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

void AncestorIterator::Reset()
{
    m_current = nullptr;
    m_done = false;
}

std::unique_ptr<Iterator> AncestorIterator::Copy() const
{
    return std::make_unique<AncestorIterator>(*this);
}

Object* AncestorIterator::GotoNext(bool includeRoot)
{
    if (m_done)
        return nullptr;
    const TreeNode* cursor = m_current;
    if (!cursor) {
        Object* const root = GetRoot();
        if (includeRoot || !root) {
            m_current = root;
            m_done = !root;
            return root;
        }
        cursor = root;
    }
    // Tree nodes that are not Objects are passed over.
    for (;;) {
        TreeNode* const parent = cursor->GetParent();
        if (!parent) {
            m_done = true;
            return nullptr;
        }
        m_current = parent;
        if (Object* const object = DynCast<Object>(parent))
            return object;
        cursor = parent;
    }
}

} // namespace Tavrel
