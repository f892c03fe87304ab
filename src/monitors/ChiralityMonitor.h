// ChiralityMonitor: finds the chiral carbon atoms below its parent and labels each with its chirality.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/foundation/Uncopied.h>
#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

// Item 0 is the parent; the parents of the chiral atoms follow. The stereo assignment is the atom's
// (Atom3d::GetChirality); the monitor asks every carbon below its parent with four attached atoms or
// at most one hydrogen and keeps those whose answer is a chirality ("R", "S", "ProR", ...). It hears
// every change below its parent that can change an answer (GeometryMonitor::WatchChemistry),
// deletions included, and recalculates with its next drawing; losing an item never deletes it. The
// atoms found are kept by OID, so one deleted unheard is never drawn.
//
// Persisted after GeometryMonitor's properties as "ChiralityMonitor Tree Monitor" (a boolean, kept
// but not used: the monitor always works over everything below its parent); the framework record adds
// it as one byte. Saving or loading marks the monitor stale. Text interface: "Chiral atoms" (the
// atoms labelled by the last drawing, "%d", read-only).
class ChiralityMonitor : public GeometryMonitor {
    TAVREL_CLASS(ChiralityMonitor, GeometryMonitor, Creatable)
public:
    // Green; finds the chiral atoms below parent at once.
    explicit ChiralityMonitor(Object* parent);

    // The atoms labelled by the last drawing (no recalculation).
    virtual int GetNumberOfChiralAtoms() const;

    bool ShouldDeleteMonitor() const override { return false; }
    // Copied alone too, whatever is copied with it; the copy finds its atoms when first drawn.
    bool ShallowCopyOK() const override { return true; }
    void Calculate() override;

protected:
    // Keeps the chiral atoms among the objects (by OID, in order), asking each carbon candidate to
    // decide its chirality again, and watches each one's parent.
    void CollectChiralAtoms(std::span<const std::uint32_t> objects);

    // The chirality text of each chiral atom that is visible and styled, at the atom, as large as
    // the distance to its label point.
    void NormalDisplay(DisplayList3D& list) override;

private:
    bool m_tree = false;
    Uncopied<std::vector<std::uint32_t>> m_chiralAtoms;
    Uncopied<std::int32_t> m_numberOfChiralAtoms;
};

} // namespace Tavrel
