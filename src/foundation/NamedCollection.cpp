#include "foundation/NamedCollection.h"

#include <vector>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(NamedCollection, ClassKind::Creatable)

namespace {

constexpr int DefaultHashSize = 47;
constexpr int DefaultBlockSize = 50;

} // namespace

NamedCollection::NamedCollection(Object* parent, std::string_view name)
    : SetCollection(parent, DefaultHashSize, DefaultBlockSize)
{
    SetValidate(true);
    SetLabel(name);
}

NamedCollection::NamedCollection()
{
    // The first instance built is the prototype.
    static const bool named = (SetCommonName("Group"), true);
    static_cast<void>(named);
    SetValidate(true);
}

NamedCollection::NamedCollection(const NamedCollection& other) : SetCollection(other)
{
    SetValidate(true);
}

std::string NamedCollection::GetCommonName() const
{
    return "Group";
}

template <class Operation>
void NamedCollection::PassOn(Operation&& operation)
{
    if (m_passing)
        return;
    m_passing = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_passing};
    for (Object* member : GetMembers()) {
        // An earlier member's operation may have deleted this one.
        if (IsMember(member))
            operation(*member);
    }
}

void NamedCollection::Select(bool recursive)
{
    TreeNode::Select(recursive);
    PassOn([recursive](Object& member) { member.Select(recursive); });
}

void NamedCollection::UnSelect(bool recursive)
{
    TreeNode::UnSelect(recursive);
    PassOn([recursive](Object& member) { member.UnSelect(recursive); });
}

void NamedCollection::SetVisible(bool recursive)
{
    TreeNode::SetVisible(recursive);
    PassOn([recursive](Object& member) { member.SetVisible(recursive); });
}

void NamedCollection::SetInvisible(bool recursive)
{
    TreeNode::SetInvisible(recursive);
    PassOn([recursive](Object& member) { member.SetInvisible(recursive); });
}

} // namespace Tavrel
