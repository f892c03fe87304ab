// GeometryMonitor: the base of monitors that measure positioned objects, recalculated lazily and labelled.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Uncopied.h>
#include <tavrel/monitors/Monitor.h>

namespace Tavrel {

class Annotation;
class Archive;
class Geometric;
class OrdCollection;
class SetCollection;

// Every registered change of an item marks the monitor stale; the measured values and the monitor's
// own position are computed again by the next getter, position query (GetXYZ) or display, which
// announces it with (GeometryMonitor, EventRecalculated). A monitor is also stale while a geometry
// monitor among its items (or theirs, any depth) whose position is calculated is; bringing it up to
// date recalculates those first, innermost first, each once, without recursion (cycles, which only a
// crafted file can make, are cut). Items are watched for deletion and for movement, (Geometric,
// EventMoved).
//
// Persists nothing of its own; loading and copying register the movement of every item.
class GeometryMonitor : public Monitor {
    TAVREL_CLASS_CONSTRUCTED(GeometryMonitor, Monitor, Creatable)
public:
    // Raised with GeometryMonitor's identifier when the needs-recalc flag goes from true to false. No
    // level keeps a mask byte for it, so only tree-wide listeners hear it.
    static constexpr std::uint16_t EventRecalculated = 1;

    // The access of the text properties that can be read and set.
    static constexpr std::int32_t ReadWriteAccess = ObjectProperty::AccessReadable | ObjectProperty::AccessWritable;

    // No items; the default colour; stale.
    explicit GeometryMonitor(Object* parent);

    // The colour every new geometry monitor takes; green at start.
    static Color GetDefaultMonitorColor();
    static void SetDefaultMonitorColor(const Color& color);

    // The label text; empty at this level.
    virtual std::string GetAnnotation() const;
    // Computes the measurement and the monitor's position, then clears the flag through
    // SetNeedsRecalc. Only clears the flag at this level.
    virtual void Calculate();

    // Only Geometric objects are taken: Monitor's, then the movement registration.
    void AddMonitoredItem(Object* object) override;
    // Marks the monitor stale.
    void Update(Event& event) override;

    // Brought up to date first (unless the monitor is being calculated or its position is not
    // calculated), then the stored position.
    Point3d GetXYZ() const override;
    // The position plus 0.05 along x: where the label is created.
    Point3d GetAnnotationXYZ() const override;

    // Own flag, or stale through a geometry-monitor item.
    bool NeedsRecalc() const;
    // Stores the flag; a change to false then raises EventRecalculated once.
    void SetNeedsRecalc(bool value);
    // Recalculates when stale (see the class comment).
    void UpdateIfStale();

    // The position of the item, the origin when there is no such item, it is not Geometric or it is
    // the monitor itself.
    Point3d GetItemPosition(int index) const;
    // The positions of the Geometric items other than the monitor itself, in item order.
    Point3d::Array GetItemPositions() const;
    // The first Annotation child, or null.
    Annotation* GetAnnotationObject() const;

    // The objects a selection offers for measuring: a bond gives its two atoms, any other Geometric
    // that is not an Annotation itself, each object once, in selection order. False at a null entry,
    // and as soon as the count exceeds a positive maximum (output keeps what was taken).
    static bool ExtractObjects(const OrdCollection& selection, OrdCollection& output, int maximum);
    // Moves every Geometric member by the shift, in the set's order.
    static void TranslateFragment(const SetCollection& objects, const Point3d& shift);

protected:
    void DeepenShallowCopy() override;

    // Whether Calculate computes the monitor's position (true here). Only such a monitor is brought
    // up to date by reading its position, or by an outer monitor whose item it is.
    virtual bool IsPositionCalculated() const { return true; }

    // Brings the monitor up to date; false when a listener deleted it meanwhile (then nothing of it
    // may be read).
    bool Refresh() const;
    // The last step of every Calculate: stores the computed position (also where SetXYZ refuses the
    // host), then clears the flag unless a listener of the move deleted the monitor.
    void FinishCalculation(const Point3d& position);

    // The first items.size() items as Geometric objects, when there are that many, they are distinct
    // objects and none is the monitor itself (whose position follows from them); false otherwise.
    bool GetMeasuredItems(std::span<Geometric*> items) const;
    // The watches a monitor of a whole structure keeps on its parent (which becomes an item), tree-wide:
    // nodes created below it or joining it (an atom joins its parent once it is made) and changes of
    // element below it. Nothing for null.
    void WatchStructure(Object* parent);
    // WatchStructure of a parent whose subtree walk also makes the visit.
    void WatchStructure(Object& parent, const TreeNode::DescendentVisit& visit);
    // The atoms a flag monitor considers: with tree, every atom below the parent in pre-order (none
    // without a parent); otherwise the items that are atoms, in item order.
    std::vector<Object*> GatherAtoms(bool tree) const;
    // Watches each of the objects that is not clipped and not yet an item for deletion and movement.
    void CollectAtoms(std::span<Object* const> objects);
    // WatchStructure of the parent and CollectAtoms of every atom below it in pre-order, in one walk:
    // each atom is watched as the walk reaches it, and the new items join the list after the walk.
    void CollectAtomsBelow(Object& parent);
    // WatchStructure, and tree-wide below the parent every change that can change an atom's chirality
    // or valence: deletions of nodes (atoms and bonds), atoms arriving, formal charges, bond types and
    // moves, the subtree's masks set in one walk. Nothing for null.
    void WatchChemistry(Object* parent);
    // The item is one of the moved objects, or a monitor that measures one of them (any depth).
    static bool DependsOn(const Object* item, const SetCollection& moved);

    // The display of a measuring monitor: while any item is not displayed, hides the label and draws
    // nothing; otherwise brings the monitor up to date, shows the label, calls draw with the drawing
    // colour (the selected colour while selected) and, once per monitor, creates the label showing
    // the text property. Stops wherever a listener deletes the monitor.
    template <class Draw>
    void DisplayLabelled(std::string_view property, Draw&& draw)
    {
        const Watch self(this);
        if (!PrepareLabelledDisplay(self))
            return;
        draw(GetDrawingColor());
        if (self.alive)
            CreateLabel(property);
    }

    // The monitor's colour, or the selected colour while it is selected.
    Color GetDrawingColor() const { return IsSelected() ? Color::Selected() : GetColor(); }

    // The flag a switch of the text interface takes: on for a text whose first character is y or Y
    // ("yes", "Y") or that is "true" in any letter case, off for any other ("no", "1", "").
    static bool ParseSwitch(std::string_view text);
    // The text of a switch of the level's table (PropertyList::SetText): Set with ParseSwitch's flag;
    // every text is taken.
    template <auto Set>
    struct SwitchText {
        bool operator()(auto& monitor, std::string_view text) const
        {
            (monitor.*Set)(ParseSwitch(text));
            return true;
        }
    };
    // Object's listed properties, then the shown entries of the level's own table (and not those of
    // the levels between): the listing of the monitors that have no position of interest.
    std::int32_t ListObjectPropertiesThen(const PropertyTable& level, ObjectProperty::Array& properties) const;

private:
    // Calculate, marked as running; the recalculated event comes from Calculate's end.
    void Recalculate();
    bool HasMonitorItems() const;
    bool PrepareLabelledDisplay(const Watch& self);
    void CreateLabel(std::string_view property);
    // Registers the movement of every item.
    void WatchMovement();
    // The OIDs of the stale geometry monitors this one depends on, this one included when stale,
    // innermost first; monitors being calculated are left out.
    std::vector<std::uint32_t> StaleOrder() const;

    static inline std::uint32_t s_visitEpoch = 0;
    static inline std::uint32_t s_recalculations = 0;

    // A copy is stale, and keeps the colour and the label-created flag of the source.
    mutable Uncopied<std::uint32_t> m_visit;  // the epoch of the last walk that reached the monitor
    Uncopied<std::uint32_t> m_recalculation;  // s_recalculations when it was last recalculated
    Uncopied<bool, true> m_needsRecalc;
    Uncopied<bool> m_calculating;
    bool m_labelCreated = false;
    mutable Uncopied<bool> m_visitStale;  // stale as far as the walk of m_visit found
};

} // namespace Tavrel
