// CellDeletionWatcher: owns the three listeners of a symmetry map and drops them when the cell is deleted.
#pragma once

#include <memory>

#include <tavrel/foundation/Event.h>

namespace Tavrel {

class Cell3d;
class CellSymmetryMap;
class SymmetryCopyWatcher;
class SymmetryMapPropertyListener;
class SymmetryMapTreeListener;

// Binding to a cell makes the listeners subscribed and enabled. Once its listeners are gone (the cell
// was deleted, or the watcher destroyed) none of their registrations remains on the cell.
class CellDeletionWatcher {
public:
    explicit CellDeletionWatcher(Cell3d* cell);
    ~CellDeletionWatcher();
    CellDeletionWatcher(const CellDeletionWatcher&) = delete;
    CellDeletionWatcher& operator=(const CellDeletionWatcher&) = delete;

    // Forgets the cell and its map and deletes the listeners.
    void Clear();
    // Enable, Disable or Subscribe on the tree listener, the copy watcher and the property listener.
    void EnableAll();
    void DisableAll();
    void ResubscribeAll();

    Cell3d* GetCell() const { return m_cell; }
    CellSymmetryMap* GetSymmetryMap() const { return m_map; }
    SymmetryMapTreeListener* GetTreeListener() const { return m_treeListener.get(); }
    SymmetryMapPropertyListener* GetPropertyListener() const { return m_propertyListener.get(); }
    SymmetryCopyWatcher* GetCopyWatcher() const { return m_copyWatcher.get(); }

private:
    static void OnCellDeleted(Event& event);
    template <class Call>
    void ForEach(Call call) const;

    Cell3d* m_cell;
    CellSymmetryMap* m_map;
    std::unique_ptr<SymmetryMapTreeListener> m_treeListener;
    std::unique_ptr<SymmetryMapPropertyListener> m_propertyListener;
    std::unique_ptr<SymmetryCopyWatcher> m_copyWatcher;
};

} // namespace Tavrel
