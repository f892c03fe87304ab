#include <tavrel/foundation/ParentIterator.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

ParentIterator::ParentIterator(Object* root, bool includeRoot)
    : DescendentIterator(root, includeRoot), m_childTest(Filter::Include)
{
}

ParentIterator::ParentIterator(Object* root, const Filter& childFilter, bool includeRoot)
    : DescendentIterator(root, includeRoot), m_childTest(childFilter, Filter::Include)
{
}

ParentIterator::ParentIterator(Object* root, std::uint32_t classType, const Filter& childFilter, bool includeRoot)
    : DescendentIterator(root, classType, includeRoot), m_childTest(childFilter, Filter::Include)
{
}

ParentIterator::ParentIterator(Object* root, const Filter& nodeFilter, const Filter& childFilter, bool includeRoot)
    : DescendentIterator(root, nodeFilter, includeRoot), m_childTest(childFilter, Filter::Include)
{
}

Object* ParentIterator::GetNext()
{
    for (;;) {
        Object* const object = TreeIterator::GetNext();
        if (!object || m_childTest(object))
            return object;
    }
}

std::unique_ptr<Iterator> ParentIterator::Copy() const
{
    return std::make_unique<ParentIterator>(*this);
}

bool ParentIterator::Continue(Object* node)
{
    if (!node)
        return false;
    for (int i = 0; i < node->GetNumChildren(); ++i) {
        const TreeNode* const child = node->TreeNode::GetChild(i);
        if (child && child->GetNumChildren() > 0)
            return true;
    }
    return false;
}

} // namespace Tavrel
