#include <tavrel/symmetry_build/CellDeletionWatcher.h>

#include <tavrel/crystal/Cell3d.h>
#include <tavrel/symmetry_build/SymmetryCopyWatcher.h>
#include <tavrel/symmetry_build/SymmetryMapPropertyListener.h>
#include <tavrel/symmetry_build/SymmetryMapTreeListener.h>

namespace Tavrel {

CellDeletionWatcher::CellDeletionWatcher(Cell3d* cell)
    : m_cell(cell), m_map(cell ? cell->GetSymmetryMap() : nullptr),
      m_treeListener(std::make_unique<SymmetryMapTreeListener>(cell)),
      m_propertyListener(std::make_unique<SymmetryMapPropertyListener>(cell)),
      m_copyWatcher(std::make_unique<SymmetryCopyWatcher>(cell))
{
    if (cell)
        cell->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &OnCellDeleted, false, this, nullptr);
}

CellDeletionWatcher::~CellDeletionWatcher()
{
    if (m_cell)
        m_cell->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &OnCellDeleted, false, this, nullptr);
    Clear();
}

void CellDeletionWatcher::OnCellDeleted(Event& event)
{
    if (auto* const watcher = static_cast<CellDeletionWatcher*>(event.GetData()))
        watcher->Clear();
}

void CellDeletionWatcher::Clear()
{
    m_cell = nullptr;
    m_map = nullptr;
    m_treeListener.reset();
    m_propertyListener.reset();
    m_copyWatcher.reset();
}

template <class Call>
void CellDeletionWatcher::ForEach(Call call) const
{
    if (m_treeListener)
        call(*m_treeListener);
    if (m_copyWatcher)
        call(*m_copyWatcher);
    if (m_propertyListener)
        call(*m_propertyListener);
}

void CellDeletionWatcher::EnableAll()
{
    ForEach([](RootEventListener& listener) { listener.Enable(); });
}

void CellDeletionWatcher::DisableAll()
{
    ForEach([](RootEventListener& listener) { listener.Disable(); });
}

void CellDeletionWatcher::ResubscribeAll()
{
    ForEach([](RootEventListener& listener) { listener.Subscribe(); });
}

} // namespace Tavrel
