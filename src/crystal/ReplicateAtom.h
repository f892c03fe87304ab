// ReplicateAtom: the atom standing for a symmetry or lattice image of an asymmetric-unit atom, its chemistry delegated to that atom.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/core/LatticeOffset.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/foundation/InstanceCount.h>

namespace Tavrel {

class Atom3d;
class Cell;
class Symmetry;
class SymmetryOp;

// A replica has its own position, label, colour, style, visibility and bonds; every chemical question
// goes to its chemical parent, the nearest Atom3d above it, and setters of chemistry change that atom
// (and so every replica of it). With a non-zero operator it is a symmetry replica, with a non-zero
// offset a periodic one; it can be both. Symmetry replicas hang below their Atom3d, periodic ones
// below the atom (asymmetric or symmetry replica) they shift. Persisted after Atom's properties as
// "ReplicateAtom Lattice Offset", "ReplicateAtom SymmetryOperator" and "ReplicateAtom Same CoordTol"
// (the class-wide tolerance); the text interface adds the read-only "Fractional XYZ" and "Operator".
class ReplicateAtom : public Atom {
    // A new replica has operator 0 and offset (0, 0, 0).
    TAVREL_CLASS_CONSTRUCTED(ReplicateAtom, Atom, Creatable, public)
public:
    explicit ReplicateAtom(Object* parent);

    // "PeriodicAtom" when periodic, else "SymmetryAtom" when symmetric, else "ReplicateAtom". The first
    // replica also registers "Periodic Atom", "Symmetry Atom" and "Replicate Atom" as names of the class.
    std::string GetCommonName() const override;

    // The nearest Atom3d above (the tree parents climbed from the replica's parent); null without one.
    Atom3d* GetChemicalParent() const;
    Atom3d* GetAsymmetricParent() const { return GetChemicalParent(); }
    // The atom this periodic replica shifts: null when not periodic; the symmetry replica of its
    // operator below the chemical parent when also symmetric (null when there is none); otherwise the
    // chemical parent.
    Atom* GetPeriodicParent() const;

    // False without a chemical parent, else as for any node.
    bool HasAncestor(std::uint32_t type) const override;
    bool HasAncestor(const TreeNode* node) const override;
    // A replica moves only along the line of its chemical parent: true without a chemical parent or
    // parent, for the chemical parent itself, for an ancestor of it and for a node below it.
    bool IsValidParent(const TreeNode* parent) const override;

    // The chemistry of the chemical parent; without one the unknown element, "????", "??", 0, 0.0,
    // 0/1, false, and setters do nothing.
    const Element* GetElement() const override;
    std::string GetElementName() const override;
    ElementType GetElementType() const override;
    std::int32_t GetAtomicNumber() const override;
    std::string GetElementSymbol() const override;
    double GetCharge() const override;
    void SetCharge(double charge) override;
    float GetVDWRadius() const override;
    float GetCovalentRadius() const override;
    float GetBondingRadius() const override;
    Rational GetFormalCharge() const override;
    void SetFormalCharge(const Rational& charge) override;
    void SetFormalCharge(std::int32_t numerator, std::int32_t denominator) override;
    void SetElement(ElementType type) override;
    void SetElement(std::string_view symbol) override;
    void ChangeElement(std::string_view symbol) override;
    float GetMass() const override;
    void SetHybridization(HybridizationType type) override;
    HybridizationType GetHybridization() const override;
    HybridizationType PerceiveHybridization() const override;
    // Not a stereocentre without a chemical parent.
    Chirality GetChirality(bool recalculate) override;
    std::int32_t GetValenceUsed() const override;
    std::int32_t GetValence() const override;
    std::int32_t GetNumHydrogensToAdd() const override;
    std::int32_t GetNumHydrogensToDelete() const override;
    // True without a chemical parent.
    bool IsValenceSatisfied() const override;
    std::int32_t GetNumHydrogens() const override;
    std::int32_t GetHydrogens(BaseCollection& out) const override;
    bool IsHeteroatom() const override;
    bool IsHBondDonor() const override;
    bool IsHBondAcceptor() const override;
    std::int32_t GetNumLonePairs() const override;
    std::int32_t UpdateHydrogens(HydrogenSet set, bool add) override;
    void RemoveHydrogens(HydrogenSet set) override;
    std::int32_t GetValenceSproutVectors(Point3d::Array& out) const override;
    float GetCPKScale() const override;
    void SetCPKScale(float scale) override;
    float GetBallSize() const override;
    void SetBallSize(float size) override;
    float GetStickRadius() const override;
    void SetStickRadius(float radius) override;

    bool IsPeriodic() const override { return m_offset.IsPeriodic(); }
    bool IsSymmetric() const override { return m_operator > 0; }
    std::int16_t GetSymmetryOperator() const override { return m_operator; }
    LatticeOffset GetLatticeOffset() const override { return m_offset; }
    // Periodic, and the tree parent is clipped (packed) or not (tiled).
    bool IsPeriodicPacked() const;
    bool IsPeriodicTiled() const;

    // A new plain Atom3d.
    Atom* CreateNewAtom(Object* parent, ElementType type) override;

    // Making replicas; `cell` is the Cell holding the parent (when the parent is not below it, the
    // replica's own nearest Cell is used, and a new replica has none).
    // The periodic image of parent shifted by offset, placed from the parent's fractional position.
    bool MakePeriodic(Atom* parent, const LatticeOffset& offset, Cell* cell);
    // Placed at (fractional + offset) times fracToCart.
    void MakePeriodic(Atom* parent, const LatticeOffset& offset, Cell* cell, const Point3d& fractional,
                      const Matrix3x3& fracToCart);
    // Below parent at the position, with parent's operator and offset + parent's offset, its display
    // copied and the label "<label>@a,b,c" (operator 0) or "<label>#<op+1>@a,b,c" from the chemical
    // parent's label; sets the cell's packed (parent clipped) or tiled hint.
    void MakePeriodic(Atom* parent, const LatticeOffset& offset, Cell* cell, const Point3d& position);
    // The image of parent by operator op of the cell's symmetry; false without a cell or operator.
    bool MakeSymmetric(Atom* parent, int op, Cell* cell);
    void MakeSymmetric(Atom* parent, int op, Cell* cell, const SymmetryOp* symmetryOp, const Point3d& fractional,
                       const Matrix3x3& fracToCart);
    // Below parent at the position with the operator and offset, its display copied and the label
    // "<parent label>#<op+1>"; sets the cell's symmetry hint.
    void MakeSymmetric(Atom* parent, int op, Cell* cell, const Point3d& position, const LatticeOffset& offset);
    // The same, given the parent's label as its GetLabel gives it now: a build making many replicas of
    // one atom asks for it once.
    void MakeSymmetric(Atom* parent, int op, Cell* cell, const Point3d& position, const LatticeOffset& offset,
                       std::string_view parentLabel);
    // Symmetry replicas of parent by operators 1 to positions.size(), at the positions, each made as
    // the call above makes it, and joined in one step where parent has no child yet and no one can
    // hear the joins; false, with nothing made, otherwise. The replicas are appended to `made`, each
    // clipped unheard before it joins with `hidden`.
    static bool MakeSymmetricFamily(Atom& parent, Cell* cell, std::span<const Point3d> positions,
                                    std::string_view parentLabel, std::vector<TreeNode*>& made, bool hidden);

    // Coordinates.
    // The own position in fractions of the cell (the nearest Cell when `cell` is null or not above);
    // fractional is untouched without one.
    void GetCrystalCoordinate(Point3d& fractional, const Cell* cell) const;
    static void SetCrystalCoordinate(Atom3d& atom, const Point3d& fractional, const Cell* cell);
    // Moves the replica after its tree parent.
    void UpdateCoordinate(const Cell* cell);
    // Moves every replica below atom after it.
    static void UpdateCoords(const Atom* atom, const Cell* cell);
    static void UpdateCoords(const Atom* atom, const Cell* cell, const Matrix3x3& fracToCart,
                             const Matrix3x3& cartToFrac, const Symmetry* symmetry);
    // One symmetry replica per operator 1 to n - 1, skipping an image that falls on the atom or on an
    // earlier image (within the same-coordinate tolerance).
    static void ConstructSymmetryAtoms(const Atom* atom, Cell* cell, const Matrix3x3& fracToCart,
                                       const Matrix3x3& cartToFrac, const Symmetry* symmetry);

    // Whether a replica lies below the node; no walk while no replica exists.
    static bool ExistBelow(const TreeNode& node)
    {
        return InstanceCount<ReplicateAtom>::Any() && node.HasDescendent(classType);
    }
    // Finding and removing; the searches walk the ReplicateAtom descendants of atom in tree order.
    // Operator, offset and tree parent equal.
    static ReplicateAtom* FindReplicateAtom(const Atom* atom, std::int16_t op, const LatticeOffset& offset);
    // Within the same-coordinate tolerance of the position; searched from the chemical parent when
    // atom is an image.
    static ReplicateAtom* FindReplicateAtom(const Atom* atom, const Point3d& position);
    // atom's operator, periodic, the offset.
    static ReplicateAtom* FindPeriodicAtom(const Atom* atom, const LatticeOffset& offset);
    // Symmetric with the operator, tree parent atom.
    static ReplicateAtom* FindSymmetryAtom(const Atom* atom, std::int16_t op);
    static bool RemoveAllPeriodicChildren(Atom* atom);
    // Each symmetric replica child with what hangs below it.
    static bool RemoveAllSymmetryChildren(Atom3d* atom);
    // Visible, mode 2, and an Atom3d, a symmetric replica or a packed periodic one.
    static bool IsValidParent(const Atom* atom, int mode);

    // The class-wide same-coordinate tolerance (Cartesian, 0.19 at start); only finite values above 0
    // are taken.
    static void SetSameCoordTol(double tolerance);
    static double GetSameCoordTol();

    // Copies the tree parent's bonds onto this replica's neighbours of the same image.
    virtual void ConstructBonds(Atom* parent);

protected:
    // A replica is copied only when it and its chemical parent, if it has one, are copied (at or below
    // the root of the copy in progress, the replica not the root itself).
    bool ShallowCopyOK() const;

private:
    // Below parent at the position with the operator, offset and label; display and visibility copied.
    void Place(Atom& parent, std::int16_t op, const LatticeOffset& offset, const Point3d& position,
               std::string_view label);
    // Prepare for a new replica alone, given whether its parent is visible.
    void PrepareAlone(const Atom& parent, std::int16_t op, const LatticeOffset& offset, const Point3d& position,
                      std::string_view label, bool parentVisible);
    // Shown or hidden as the parent is, unheard.
    void MatchVisibility(bool parentVisible);
    // Place but for joining.
    void Prepare(Atom& parent, std::int16_t op, const LatticeOffset& offset, const Point3d& position,
                 std::string_view label);
    // MakeSymmetric given the parent's label, prepared only or placed.
    void Symmetric(Atom& parent, int op, const Point3d& position, const LatticeOffset& offset,
                   std::string_view parentLabel, bool join);
    void SetPeriodicCoord(const Point3d& fractional, const Matrix3x3& fracToCart);
    void SetSymmetricCoord(const Point3d& fractional, const Matrix3x3& fracToCart, const Symmetry* symmetry);
    void SetSymmetricCoord(const Point3d& fractional, const Matrix3x3& fracToCart, const Symmetry* symmetry,
                           const LatticeOffset& offset);
    static bool VerifyPeriodicParent(const Atom* atom);
    // The framework record's part of this level (the table's ArchiveOnly entry): the offset, then the
    // operator and the tolerance (read only with a schema other than 1 and known).
    void WriteFrameworkPart(Archive& archive) const;
    void ReadFrameworkPart(Archive& archive);
    // `cell` when the replica (or its parent-to-be) lies below it, else the replica's nearest Cell.
    Cell* ResolveCell(Cell* cell, const Atom* parent) const;
    std::string OperatorText() const;

    static inline double s_sameCoordTol = 0.19;

    std::int16_t m_operator = 0;
    LatticeOffset m_offset;
    [[no_unique_address]] InstanceCount<ReplicateAtom> m_instances;
};

} // namespace Tavrel
