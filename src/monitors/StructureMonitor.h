// StructureMonitor: flags atoms whose bonds use more or less valence than their element and charge allow.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/foundation/Uncopied.h>
#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class Atom;
class BaseCollection;
class OrdCollection;

// Item 0 is the parent. A tree monitor checks every atom below its parent, gathered again at each
// recalculation; a set monitor the atoms it was given. Both hear every change below the parent that
// can change a valence (GeometryMonitor::WatchChemistry) and recalculate with their next drawing;
// losing an item never deletes them. Over-valent atoms are ringed in red, under-valent ones in cyan
// (unless that is switched off), optionally with the words "Over" and "Under". The flagged atoms are
// kept by OID, as of the last recalculation.
//
// Persisted after GeometryMonitor's properties as "StructureMonitor Monitor Tree", "StructureMonitor
// Display Under Valence" and "StructureMonitor Display Labels" (booleans); the framework record adds
// the three as bytes. Saving or loading marks the monitor stale. Text interface: "Over-valence Atoms"
// and "Under-valence Atoms" ("%d", read-only, counted by the recalculation that is due), "Show
// under-valence" and "Show labels" ("True" or "False"; any text taken, GeometryMonitor::ParseSwitch);
// the listing has Object's properties, then these.
class StructureMonitor : public GeometryMonitor {
    TAVREL_CLASS(StructureMonitor, GeometryMonitor, Creatable)
public:
    enum class Valence { Unchecked, Correct, Over, Under };

    // A tree monitor over everything below parent: its atoms and bonds become items.
    explicit StructureMonitor(Object* parent);
    // A monitor of the given atoms (those not clipped).
    StructureMonitor(Object* parent, const OrdCollection& atoms);

    virtual bool GetDisplayUnderValence() const;
    virtual void SetDisplayUnderValence(bool display);
    virtual bool GetDisplayLabels() const;
    virtual void SetDisplayLabels(bool display);
    // As of the last recalculation.
    virtual int GetNumUnderValenceAtoms() const;
    virtual int GetNumOverValenceAtoms() const;
    // Brought up to date first; adds the flagged atoms in order and returns their number.
    virtual int GetUnderValenceAtoms(BaseCollection& out);
    virtual int GetOverValenceAtoms(BaseCollection& out);

    // The valence the atom's bonds use: the sum of their valence contributions (a dative bond gives
    // one more at its first atom and one less at its second), less 0.5 for a carbon with no bonds or
    // only aromatic ones, less 1 for an atom marked with donated lone pairs.
    static double SumAtomBondOrders(const Atom& atom);
    // Whether the used valence fits the element and the formal charge q. The allowed valence e is the
    // element's common oxidation state s plus q, except s - q for boron and aluminium and s - |q| for
    // carbon and silicon; phosphorus (3, 4, 5) and sulfur (2, 4, 6) fit any of their states, the last
    // deciding otherwise. A heteroatom's valence above e fits while its aromatic bonds counted as single
    // bonds bring it down to e (pyrrole nitrogen, furan oxygen, thiophene sulfur). Elements other than B, C, N, O, F,
    // Al, Si, P, S, Cl, Se, Br and I are unchecked.
    static Valence CheckValence(const Atom& atom);

    bool ShouldDeleteMonitor() const override { return false; }
    // Copied alone too, whatever is copied with it; the copy flags nothing until recalculated.
    bool ShallowCopyOK() const override { return true; }
    // Gathers the candidates, watches the new ones and flags the atoms among the items.
    void Calculate() override;

    std::int32_t GetProperties(ObjectProperty::Array& properties) const override;

protected:
    // Nothing while hidden; rings (at least 0.3 in radius) about each flagged atom that is visible,
    // styled and active, with its word when the labels are on.
    void NormalDisplay(DisplayList3D& list) override;

private:
    void MarkAtoms(const std::vector<std::uint32_t>& atoms, const Color& color, const char* word,
                   DisplayList3D& list) const;

    bool m_tree = false;
    bool m_displayUnderValence = true;
    bool m_displayLabels = false;
    Uncopied<std::vector<std::uint32_t>> m_overValence;
    Uncopied<std::vector<std::uint32_t>> m_underValence;
};

} // namespace Tavrel
