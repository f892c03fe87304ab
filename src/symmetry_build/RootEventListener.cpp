#include <tavrel/symmetry_build/RootEventListener.h>

#include <tavrel/crystal/Cell3d.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

namespace Tavrel {

RootEventListener::RootEventListener(Cell3d* cell) : m_cell(cell)
{
    if (!cell)
        return;
    m_root = cell->GetRoot()->GetOID();
    cell->RegisterEvent(TreeNode::classType, TreeNode::EventParentSet, &OnCellMoved, false, this, nullptr);
}

RootEventListener::~RootEventListener()
{
    if (m_cell)
        m_cell->UnregisterEvent(TreeNode::classType, TreeNode::EventParentSet, &OnCellMoved, false, this, nullptr);
    m_root = 0;
}

void RootEventListener::OnCellMoved(Event& event)
{
    if (auto* const listener = static_cast<RootEventListener*>(event.GetData()))
        listener->AttachRoot();
}

void RootEventListener::OnRootEvent(Event&) {}

TreeNode* RootEventListener::GetRoot() const
{
    return m_root ? DynCast<TreeNode>(Base::GetObjectA(m_root)) : nullptr;
}

void RootEventListener::AttachRoot()
{
    if (!m_cell)
        return;
    TreeNode* const root = m_cell->GetRoot();
    if (m_root)
        DetachRoot();
    m_root = root->GetOID();
    root->RegisterEvent(TreeRoot::classType, TreeRoot::EventChangeBroadcast, &OnRootEvent, false, this, nullptr);
}

void RootEventListener::DetachRoot()
{
    if (TreeNode* const root = GetRoot())
        root->UnregisterEvent(TreeRoot::classType, TreeRoot::EventChangeBroadcast, &OnRootEvent, false, this, nullptr);
}

void RootEventListener::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (m_cell)
        m_cell->MuteTreeEvents(this, !enabled);
}

SymmetryMap* RootEventListener::GetSymmetryMap() const
{
    return m_cell ? dynamic_cast<SymmetryMap*>(m_cell->GetSymmetryMap()) : nullptr;
}

void RootEventListener::Register(std::span<const Registration> registrations)
{
    if (!m_cell)
        return;
    for (const Registration& r : registrations)
        m_cell->RegisterEvent(r.type, r.code, r.callback, true, this, r.attribute);
    if (!m_enabled)
        m_cell->MuteTreeEvents(this, true);
}

void RootEventListener::Unregister(std::span<const Registration> registrations)
{
    if (!m_cell)
        return;
    for (const Registration& r : registrations)
        m_cell->UnregisterEvent(r.type, r.code, r.callback, true, this, r.attribute);
}

void RootEventListener::UnregisterAll()
{
    if (m_cell)
        m_cell->UnregisterAllEvents(this);
}

} // namespace Tavrel
