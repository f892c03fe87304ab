#include <tavrel/chemistry/RGroup.h>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(RGroup)

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
