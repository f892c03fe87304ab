#include <tavrel/chemistry/RGroup.h>

#include <tavrel/core/StringUtils.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(RGroup, ClassKind::Creatable)

RGroup::RGroup(Object* parent) : PseudoAtom(parent)
{
    const ConstructionScope construction(*this);
    const TreeNode* const joined = TreeNode::GetParent();
    const int number = joined ? joined->GetNumChildren(classType) : 1;
    SetLabel(StringUtils::Format("R%d", number));
    SetID(number);
    SetColor(Color::White());
}

std::string RGroup::GetCommonName() const
{
    return "RGroup";
}

std::string RGroup::GetTagText() const
{
    return GetLabel();
}

} // namespace Tavrel
