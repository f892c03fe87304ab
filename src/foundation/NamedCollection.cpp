#include <tavrel/foundation/NamedCollection.h>

#include <vector>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(NamedCollection)

namespace {

constexpr int DefaultHashSize = 47;
constexpr int DefaultBlockSize = 50;

} // namespace

NamedCollection::NamedCollection(Object* parent, std::string_view name)
    : SetCollection(parent, DefaultHashSize, DefaultBlockSize)
{
    const ConstructionScope construction(*this);
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

std::string NamedCollection::GetCommonName() const
{
    return "Group";
}

template <class Operation>
void NamedCollection::PassOn(Operation&& operation)
{
    const Watch self(this);
    operation(*this, true);
    if (!self.alive || m_passing.Get())
        return;
    m_passing = true;
    struct Reset {
        const Watch& self;
        bool& flag;
        ~Reset()
        {
            if (self.alive)
                flag = false;
        }
    } reset{self, m_passing.Get()};
    for (Object* member : GetMembers()) {
        // A listener may have deleted the group, or this member.
        if (!self.alive)
            return;
        if (IsMember(member))
            operation(*member, false);
    }
}

void NamedCollection::Select(bool recursive)
{
    PassOn([recursive](Object& node, bool group) {
        group ? node.TreeNode::Select(recursive) : node.Select(recursive);
    });
}

void NamedCollection::UnSelect(bool recursive)
{
    PassOn([recursive](Object& node, bool group) {
        group ? node.TreeNode::UnSelect(recursive) : node.UnSelect(recursive);
    });
}

void NamedCollection::SetVisible(bool recursive)
{
    PassOn([recursive](Object& node, bool group) {
        group ? node.TreeNode::SetVisible(recursive) : node.SetVisible(recursive);
    });
}

void NamedCollection::SetInvisible(bool recursive)
{
    PassOn([recursive](Object& node, bool group) {
        group ? node.TreeNode::SetInvisible(recursive) : node.SetInvisible(recursive);
    });
}

} // namespace Tavrel
