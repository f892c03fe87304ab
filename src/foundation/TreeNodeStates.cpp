#include <tavrel/foundation/TreeNode.h>

#include <cstdint>
#include <limits>

#include <tavrel/foundation/InternalTreeNode.h>

namespace Tavrel {

using namespace TreeNodeShared;

// ---- States

void TreeNode::Perform(WalkOp op, bool recursive)
{
    if (Walk::Claim(this, op)) {
        Step(op, recursive);
        return;
    }
    Walk walk;
    Step(op, recursive);
    walk.Run();
}

// One node's part of a walk operation. Continuations are queued before any event is raised, so a
// callback that deletes this node only cancels them.
void TreeNode::Step(WalkOp op, bool recursive)
{
    Walk& walk = Walk::Current();
    switch (op) {
    case WalkOp::Select:
        if (!HasFlag(Selectable) || HasFlag(Selected))
            return;
        SetFlag(Selected, true);
        if (recursive && GetNumChildren() > 0) {
            walk.NotifySelection(this);
            walk.Children(this, op, recursive);
        } else {
            DoNotify(classType, EventSelectionChanged, nullptr, nullptr);
        }
        return;
    case WalkOp::SetSelect:
        if (!HasFlag(Selectable))
            return;
        if (!HasFlag(Selected))
            walk.Call(this, WalkOp::Select, recursive);
        else if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::UnSelect:
        if (!HasFlag(Selectable))
            return;
        if (recursive)
            walk.Children(this, op, recursive);
        if (HasFlag(Selected)) {
            // No ancestor stays selected above an unselected node; theirs are announced first.
            SetFlag(Selected, false);
            walk.NotifySelection(this);
            if (m_parent.Get())
                walk.Call(m_parent.Get(), op, false);
        }
        return;
    case WalkOp::SelectIfChildrenSelected:
        if (!HasFlag(Selectable) || HasFlag(Selected) || GetNumChildren() == 0)
            return;
        walk.SelectIfAllSelected(this);
        walk.Children(this, op, false);
        return;
    case WalkOp::DisableSelection:
        if (recursive)
            walk.Children(this, op, recursive);
        if (HasFlag(Selectable)) {
            if (IsSelected()) {
                Watch self(this);
                UnSelect(false);
                if (!self.alive)
                    return;
            }
            SetFlag(Selectable, false);
        }
        return;
    case WalkOp::EnableSelection:
        SetFlag(Selectable, true);
        if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::SetVisible:
    case WalkOp::SetInvisible:
        if (recursive)
            walk.Children(this, op, recursive);
        if (IsVisible() != (op == WalkOp::SetVisible))
            SetVisibility(op == WalkOp::SetVisible);
        return;
    case WalkOp::ExpandNode:
    case WalkOp::CollapseNode:
        if (HasFlag(Expanded) == (op == WalkOp::ExpandNode))
            return;
        SetFlag(Expanded, op == WalkOp::ExpandNode);
        if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::ClearModified:
        if (!HasFlag(Modified))
            return;
        SetFlag(Modified, false);
        walk.Children(this, op, true);
        return;
    case WalkOp::ActivityChanged:
        walk.Children(this, op, true);
        DoNotify(classType, EventActivityChanged, nullptr, nullptr);
        return;
    }
}

void TreeNode::SetModified()
{
    ++s_changesMarked;
    for (TreeNode* node = this; node && !node->HasFlag(Modified); node = node->m_parent.Get())
        node->SetFlag(Modified, true);
}

void TreeNode::ClearModified()
{
    Perform(WalkOp::ClearModified, true);
}

void TreeNode::ActivityChanged()
{
    Walk walk;
    Step(WalkOp::ActivityChanged, true);
    walk.Run();
}

void TreeNode::Activate()
{
    if (m_inactive <= 0)
        return;
    --m_inactive;
    if (IsActive())
        ActivityChanged();
}

void TreeNode::Deactivate()
{
    const bool wasActive = IsActive();
    if (m_inactive < std::numeric_limits<std::int32_t>::max())
        ++m_inactive;
    if (wasActive)
        ActivityChanged();
}

bool TreeNode::IsActive() const
{
    for (const TreeNode* node = this; node; node = node->m_parent.Get()) {
        if (node->m_inactive >= 1)
            return false;
    }
    return true;
}

bool TreeNode::IsObjectActive() const
{
    return m_inactive < 1;
}

void TreeNode::Select(bool recursive)
{
    Perform(WalkOp::Select, recursive);
}

void TreeNode::SetSelect(bool recursive)
{
    Perform(WalkOp::SetSelect, recursive);
}

void TreeNode::UnSelect(bool recursive)
{
    Perform(WalkOp::UnSelect, recursive);
}

void TreeNode::SelectIfChildrenSelected()
{
    Perform(WalkOp::SelectIfChildrenSelected, false);
}

bool TreeNode::AllChildrenSelected() const
{
    int selected = 0;
    if (m_children)
        m_children->ForEach([&](const TreeNode* child) { selected += child->IsSelected() ? 1 : 0; });
    return selected == GetNumChildren();
}

bool TreeNode::IsSelected() const
{
    return HasFlag(Selected) && IsActive();
}

bool TreeNode::IsObjectSelected() const
{
    return HasFlag(Selected);
}

void TreeNode::DisableSelection(bool recursive)
{
    Perform(WalkOp::DisableSelection, recursive);
}

void TreeNode::EnableSelection(bool recursive)
{
    Perform(WalkOp::EnableSelection, recursive);
}

bool TreeNode::IsSelectable() const
{
    return HasFlag(Selectable);
}

void TreeNode::SetVisible(bool recursive)
{
    Perform(WalkOp::SetVisible, recursive);
}

void TreeNode::SetInvisible(bool recursive)
{
    Perform(WalkOp::SetInvisible, recursive);
}

bool TreeNode::IsVisible() const
{
    return HasFlag(Visible);
}

void TreeNode::SetVisibility(bool visible)
{
    if (HasFlag(Visible) == visible)
        return;
    SetFlag(Visible, visible);
    DoNotify(classType, EventDisplayChanged, nullptr, nullptr);
}

void TreeNode::SetClipped(bool clipped)
{
    SetFlag(Clipped, clipped);
    NotifyIfHeard(classType, EventDisplayChanged, nullptr, nullptr);
}

bool TreeNode::SetClippedUnheard(bool clipped)
{
    if (IsHeard(classType, EventDisplayChanged))
        return false;
    SetFlag(Clipped, clipped);
    SetModified();
    return true;
}

bool TreeNode::IsExpanded() const
{
    return HasFlag(Expanded);
}

void TreeNode::ExpandNode(bool recursive)
{
    Perform(WalkOp::ExpandNode, recursive);
}

void TreeNode::CollapseNode(bool recursive)
{
    Perform(WalkOp::CollapseNode, recursive);
}

bool TreeNode::CheckHint(std::uint8_t bits) const
{
    for (const TreeNode* node = this; node; node = node->m_parent.Get()) {
        if ((node->m_hints & bits) == 0)
            return false;
    }
    return true;
}

void TreeNode::SetHint(std::uint8_t bits)
{
    m_hints = static_cast<std::uint8_t>(m_hints | bits);
}

void TreeNode::ClearHint(std::uint8_t bits)
{
    m_hints = static_cast<std::uint8_t>(m_hints & ~bits);
}

void TreeNode::FinishStoring(std::uint32_t) {}

} // namespace Tavrel
