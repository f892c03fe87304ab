// RootEventListener: the base of the symmetry map's listeners, registered on a cell and following it into other trees.
#pragma once

#include <cstdint>
#include <span>

#include <tavrel/foundation/Event.h>

namespace Tavrel {

class Cell3d;
class SymmetryMap;
class TreeNode;

// A listener registers tree registrations on its cell with itself as user data, and a plain
// registration that re-attaches it to the top of the cell's tree whenever the cell changes parent.
// Each forwarded event runs with the listener switched off, so edits the map makes while handling it
// never reach this listener again. Derived destructors call DetachRoot and UnregisterAll.
class RootEventListener {
public:
    explicit RootEventListener(Cell3d* cell);
    virtual ~RootEventListener();
    RootEventListener(const RootEventListener&) = delete;
    RootEventListener& operator=(const RootEventListener&) = delete;

    // Makes or drops the listener's tree registrations on its cell.
    virtual void Subscribe() { Register(Registrations()); }
    virtual void Unsubscribe() { Unregister(Registrations()); }
    virtual void Resubscribe() { Subscribe(); }
    virtual void AttachRoot();
    virtual void DetachRoot();
    // Switching the listener off also mutes its tree registrations on the cell, so that the events
    // of the map's own builds pass them over without a call.
    virtual void Enable() { SetEnabled(true); }
    virtual void Disable() { SetEnabled(false); }
    virtual bool IsEnabled() const { return m_enabled; }
    virtual void ClearCell() { m_cell = nullptr; }
    virtual Cell3d* GetCell() const { return m_cell; }
    // The cell's map; null without a cell or when the cell answers none.
    virtual SymmetryMap* GetSymmetryMap() const;

protected:
    // One tree registration on the cell, the attribute optional.
    struct Registration {
        std::uint32_t type;
        std::uint16_t code;
        Event::Callback callback;
        const char* attribute = nullptr;
    };

    // The tree registrations the listener makes on its cell.
    virtual std::span<const Registration> Registrations() const = 0;
    void Register(std::span<const Registration> registrations);
    void Unregister(std::span<const Registration> registrations);
    // Drops every registration of this listener on the cell at once, with one walk of its subtree
    // rather than one per registration; for destructors.
    void UnregisterAll();
    // A registration's callback: hands the source's OID (and, with TakesAttribute, the registration's
    // attribute) to the forwarder of the listener named in the user data, when that listener is on
    // and the source still lives.
    template <class Listener, auto Forwarder, bool TakesAttribute = false>
    static void Deliver(Event& event)
    {
        auto* const listener = static_cast<Listener*>(event.GetData());
        if (!listener || !listener->IsEnabled() || !event.GetTreeNode(true))
            return;
        if constexpr (TakesAttribute)
            (listener->*Forwarder)(event.GetTreeNodeOID(), event.GetAttribute());
        else
            (listener->*Forwarder)(event.GetTreeNodeOID());
    }
    // Runs the call on the map with the listener switched off; nothing while it is off or without a map.
    template <class Call>
    void Forward(Call call)
    {
        SymmetryMap* const map = m_enabled ? GetSymmetryMap() : nullptr;
        if (!map)
            return;
        m_enabled = false;
        call(*map);
        m_enabled = true;
    }

private:
    static void OnCellMoved(Event& event);
    static void OnRootEvent(Event& event);
    // The live node of the root OID, null when it is gone.
    TreeNode* GetRoot() const;
    void SetEnabled(bool enabled);

    // The top of the cell's tree, by OID: a group holding the cell may move to another tree without
    // the cell itself raising an event, and the old top may then be deleted.
    std::uint32_t m_root = 0;
    Cell3d* m_cell;
    bool m_enabled = true;
};

} // namespace Tavrel
