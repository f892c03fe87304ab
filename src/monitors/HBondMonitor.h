// HBondMonitor: finds and draws the hydrogen bonds between donor and acceptor atoms.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <tavrel/monitors/GeometryMonitor.h>

namespace Tavrel {

class Atom;
class OrdCollection;

// Item 0 is the parent (a monitor made without one takes no atoms); the donor and acceptor atoms
// follow. A tree monitor takes every atom below its parent at each recalculation and pairs its own
// donors with its own acceptors. A monitor of a given set pairs its donors and acceptors with the
// other atoms below the parent, and with each other too when internal bonds are on; its items are the
// donors and acceptors among the given heavy atoms and their hydrogens. A pair bonds when both atoms
// are active, at least one is visible and drawn in some style, the donor lies within the distance
// criterion of the acceptor (the no-hydrogen criterion for a donor that is not a hydrogen; both are
// held squared) and more than four bonds from it. An item that is both donor and acceptor pairs as a
// donor. The first recalculation of a tree monitor walks nothing when no node was marked changed, no
// callback ran and the items stayed since the build: it would find no new item, and the build's walk
// told the items apart as they still stand. Every drawing finds and counts the bonds afresh, donor by
// donor in item order for the internal bonds and other atom by other atom in tree order for the
// external ones, comparing only pairs from a cell grid sized by the criteria; the items are told apart
// as donors and acceptors at every drawing, as activity and charges stand then. Losing an atom never
// deletes the monitor.
//
// Persisted after GeometryMonitor's properties as "HBondMonitor Tree Monitor", "HBondMonitor
// Internal HBs" (booleans), "HBondMonitor DistCriterion", "HBondMonitor NoHDistCriterion" (doubles)
// and "HBondMonitor Dist Labels" (a boolean); the framework record adds the tree flag as one byte.
// Text interface: "Hydrogen Bonds" (read-only), "Distance Criterion" (the length, "%.2f"; set from a
// number in (0, 100], the no-hydrogen criterion following at 1.65 times its square; listed but not
// described), "Show distances" ("True" or "False"; any text taken, GeometryMonitor::ParseSwitch);
// the listing has Object's properties, then these.
class HBondMonitor : public GeometryMonitor {
    TAVREL_CLASS(HBondMonitor, GeometryMonitor, Creatable)
public:
    static constexpr double DefaultDistanceCriterion = 6.25;
    // The no-hydrogen criterion over the distance criterion, both squared.
    static constexpr double NoHydrogenFactor = 1.65;

    // A tree monitor over every atom below parent.
    explicit HBondMonitor(Object* parent);
    // A monitor of the donors and acceptors among the atoms (those not clipped).
    HBondMonitor(Object* parent, const OrdCollection& atoms, bool internal);

    static double GetDefaultDistanceCriterion() { return DefaultDistanceCriterion; }

    // As of the last drawing.
    virtual int GetNumberOfHydrogenBonds() const;
    virtual void ShowDistanceLabels(bool show);
    virtual bool GetShowDistanceLabels() const;
    // Squared, as held.
    virtual double GetDistanceCriterion() const;
    // Stores the squared distance as given and the no-hydrogen criterion at 1.65 times it.
    virtual void SetDistanceCriterion(double squaredDistance);
    virtual bool GetDisplayInternalHBonds() const;
    virtual void SetDisplayInternalHBonds(bool internal);

    bool ShouldDeleteMonitor() const override { return false; }
    // Copied alone too, whatever is copied with it.
    bool ShallowCopyOK() const override { return true; }
    // Gathers the candidates and watches the new donors and acceptors; finds no bonds.
    void Calculate() override;

    // "Distance Criterion" is listed but has no description.
    ObjectProperty GetPropertyAsObjectProperty(std::string_view name) const override;
    std::int32_t GetProperties(ObjectProperty::Array& properties) const override;

protected:
    // Watch each of the objects that is not clipped and is a donor (an acceptor) for deletion and
    // movement.
    void CollectDonorAtoms(std::span<Object* const> objects);
    void CollectAcceptorAtoms(std::span<Object* const> objects);
    // The pair test, the donor's bond path walked afresh.
    bool IsHBondingPair(const Point3d& acceptorPosition, const Point3d& donorPosition, Atom* acceptor,
                        Atom* donor) const;

    // Finds, counts and draws the bonds: dashed lines from donor to acceptor, with their lengths
    // when the labels are on.
    void NormalDisplay(DisplayList3D& list) override;

private:
    // The role an object takes as a new item: none for null, a clipped object, an item, or an atom
    // that is neither (or not asked for); a donor first.
    enum class Role : std::uint8_t { None, Donor, Acceptor };
    Role RoleOf(const Object* object, bool donors, bool acceptors) const;
    // The atom as it stands: a donor, else an acceptor, else neither.
    static Role Classify(const Atom& atom);
    // The new donors and acceptors, each in order.
    struct NewItems {
        std::vector<Object*> donors;
        std::vector<Object*> acceptors;
        void Add(Object* object, Role role)
        {
            if (role != Role::None)
                (role == Role::Donor ? donors : acceptors).push_back(object);
        }
    };
    // Watches the objects that are not clipped and not yet items: first those that are donors, then
    // those that are acceptors (an object that is both counts as a donor), each in order.
    void Collect(std::span<Object* const> objects, bool donors, bool acceptors);
    // Collect over every atom below the parent, each told apart and a new item watched within the walk
    // that watches the parent's structure, a few atoms after the walk reached it (the last few just
    // after the walk); the new items join the list after the walk, the donors first.
    // With a split, the items the walk reaches are told apart for it too.
    struct Split;
    void CollectBelow(Object& parent, Split* split);
    // Watches the new items for deletion and movement, the donors first.
    void Register(const NewItems& found);

    bool m_tree = false;
    bool m_internal = false;
    bool m_showLabels = false;
    // A copy has the flags and the criteria: no count, no donors, no acceptors.
    Uncopied<std::int32_t> m_count;
    // Where the recalculation of a drawing puts what its walk told apart, while the drawing runs.
    Uncopied<Split*> m_split;
    // What the build's walk told apart, until the first recalculation: the items from index 1 are its
    // new donors, then its new acceptors, as it read them, while no node is marked changed, no callback
    // runs and the items stay.
    struct Built {
        std::uint64_t changes;
        std::uint64_t callbacks;
        std::uint64_t edits;
        std::shared_ptr<Split> split;
        static Built Stamp(const HBondMonitor& monitor, std::shared_ptr<Split> split);
        bool Holds(const HBondMonitor& monitor) const;
    };
    Uncopied<std::optional<Built>> m_built;
    double m_criterion = DefaultDistanceCriterion;
    double m_noHydrogenCriterion = DefaultDistanceCriterion * NoHydrogenFactor;
};

} // namespace Tavrel
