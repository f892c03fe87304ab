// Cell: the base of periodic cells: space group, transforms, clip and tolerances, and the atom gathering and position tests of a cell build.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <tavrel/core/LatticeOffset.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Archive;
class Atom;
class Symmetry;

// A cell always holds a Symmetry (space group 1 until another is set) and owns it. Cell itself has
// dimensionality 0: its position tests examine no coordinate until a subclass fills in the matrices
// and the dimension. Persisted as "Special Tol", "Cell Offset", "Cell Stick Radius", "Cell Replicate
// Hint", "Cell AuxDisplay", "Cell Network Hint", "Cell Orientation", "Cell Periodicity" and "Cell
// Symmetry"; the clip, the matrices and the dirty flag are not persisted.
class Cell : public Object {
    TAVREL_CLASS_CONSTRUCTED(Cell, Object, Creatable)
public:
    // What SetupBuilderAtoms and SetupDisplayAtoms gather below the cell (never a ConformerAtom).
    enum BuildAtomMode : std::int32_t {
        AsymmetricAtoms = 1,  // every Atom3d
        AllAtoms = 3,         // every Atom: asymmetric atoms and replicas
        SymmetryReplicas = 4, // every ReplicateAtom that is not periodic
    };
    // Bits of the replicate hint.
    enum ReplicateHint : std::int32_t {
        SymmetryReplicasExist = 1,
        TiledReplicasExist = 2,   // periodic replicas of unclipped atoms
        PackedReplicasExist = 4,  // periodic replicas of clipped atoms
    };
    // What ReplicateAtomsExist looks for.
    enum ReplicaKind : std::int32_t { AnyReplica = 0, SymmetricReplica = 1, PeriodicReplica = 2 };
    // What RemoveReplicateAtoms removes.
    enum RemoveMode : std::int32_t { RemoveAll = 0, RemoveSymmetric = 1, RemovePacked = 3, RemoveTiled = 4 };
    // The periodicity is kept and persisted for the host; nothing here interprets it.
    using DimensionType = std::int32_t;

    // One gathered atom: the atom and its fractional position when it was gathered. A build step may
    // set atom to null when it deletes the atom; Live() is the atom while it still exists.
    struct AtomData {
        Atom* atom = nullptr;
        Point3d xyz;
        std::uint32_t oid = 0;

        Atom* Live() const;
    };
    using AtomDataArray = std::vector<AtomData>;
    // Asks for the atom of a record some way ahead of `at` to be brought to the cache, so that a
    // pass over a long list of atoms does not wait for memory at every atom.
    static void PrefetchAhead(const AtomDataArray& list, std::size_t at)
    {
        if (at + PrefetchDistance < list.size())
            __builtin_prefetch(list[at + PrefetchDistance].atom);
    }
    static constexpr std::size_t PrefetchDistance = 8;

    // FLT_EPSILON, the margin of the position tests.
    static constexpr double Epsilon = 1.1920928955078125e-7;

    // Grey, display style 0, clip (1, 1, 1), space group 1.
    explicit Cell(Object* parent);
    ~Cell() override;

    // "Cell".
    std::string GetCommonName() const override;

    virtual void SetSpecialPositionTol(double tolerance);
    virtual double GetSpecialPositionTol() const;
    virtual void SetPeriodicity(DimensionType periodicity);
    virtual DimensionType GetPeriodicity() const;
    // Takes ownership. Nothing for the current symmetry; null installs space group 1; a symmetry
    // that another cell or a user property holds is copied, never owned twice. The previous one is
    // deleted.
    virtual void SetSymmetry(Symmetry* symmetry);
    // Never null.
    virtual Symmetry* GetSymmetry() const;
    virtual void GetFracToCart(Matrix3x3& matrix) const;
    virtual Matrix3x3 GetFracToCart() const;
    virtual void GetCartToFrac(Matrix3x3& matrix) const;
    virtual Matrix3x3 GetCartToFrac() const;
    // Each component is stored only when it is strictly greater than 0 (0, negatives and NaN leave
    // that component as it is).
    virtual void SetClip(const LatticeOffset& clip);
    virtual void SetClip(const Point3d& clip);
    virtual void SetClip(double x, double y, double z);
    virtual Point3d GetClip() const;
    virtual double GetClipX() const;
    virtual double GetClipY() const;
    virtual double GetClipZ() const;
    // The number of coordinates the position tests examine: 0 here.
    virtual int GetDimensionality() const;

    // Position tests. A point is fractional when the caller says so, else Cartesian and converted
    // with the Cartesian-to-fractional matrix; only the first GetDimensionality() coordinates count.
    // The number of coordinates within Epsilon of 0 or 1; the array is not touched.
    virtual int OnCellEdge(const Point3d& fractional, std::vector<LatticeOffset>& unused) const;
    virtual int OnCellEdge(const Point3d& p, bool fractional) const;
    // The same after adding the offset.
    virtual int OnCellEdge(const Point3d& p, const LatticeOffset& offset, bool fractional) const;
    // offset and edge become (0, 0, 0). Per coordinate f with limit L (the clip, or 1): x = f + tol is
    // outside when x > L or x < 0; the result is then false and the offset's component floor(x). Then
    // edge is 1 on every axis where |f - offset| < tol.
    virtual bool InsideCell(const Point3d& p, LatticeOffset& offset, LatticeOffset& edge, double tolerance,
                            bool fractional, bool useClip) const;
    // offset becomes (0, 0, 0); per coordinate x = f + Epsilon is inside when 0 <= x <= L, else the
    // result is false and the offset's component floor(x).
    virtual bool InsideCell(const Point3d& p, LatticeOffset& offset, bool fractional, bool useClip) const;
    // True when every coordinate lies within -Epsilon and L + Epsilon.
    virtual bool InsideCell(const Point3d& p, bool fractional, bool useClip) const;
    // Turns a cell index into the translation back to the home cell. Without the clip every
    // component is negated; with it, n is the clip component truncated (any count below 1 counts as
    // 1): n = 1 negates, a negative component becomes n, 0 to n - 1 stays, n and above becomes
    // (o mod n) - o.
    virtual void NormalizeOffset(LatticeOffset& offset, bool useClip) const;
    // `to` when it lies in the clip box, else the point where the segment from `from` leaves it.
    virtual Point3d ClipVector(const Point3d& from, const Point3d& to, bool fractional) const;
    // Keeps every Atom3d at its fractional position after the geometry changed (the matrix valid
    // before is given), then moves the replicas after their atoms. Nothing without Atom3d
    // descendants.
    virtual void UpdateASU(const Matrix3x3& oldCartToFrac);

    virtual void SetAuxDisplay(std::int32_t display);
    virtual std::int32_t GetAuxDisplay() const;
    // Whether an Atom below is an image of the kind; false for any other kind.
    virtual bool ReplicateAtomsExist(int kind) const;
    // Removes the replicas of the mode (RemoveMode; other modes remove nothing) and clears their
    // hint bits; true when anything was removed.
    virtual bool RemoveReplicateAtoms(int mode);
    // Moves the replicas after their atoms (rebuild false) or makes the symmetry replicas again.
    // Nothing without ReplicateAtom descendants.
    virtual void Refresh(bool rebuild);
    // Tolerances, label offset, orientation, clip, matrices, periodicity, hints, aux display and
    // stick radius: not the symmetry, not the dirty flag.
    virtual void CopyStaticData(const Cell& other);
    // A copy of the other's symmetry, operators included.
    virtual void CopySymmetryData(const Cell& other);
    // Gathers the atoms of the mode with their fractional positions, replacing out or appending to
    // it; out stays untouched when the cell has no descendant of the mode's class. Every Atom3d met
    // is marked "_ASU" (-1) unless it is already. An atom whose fractional position is not finite or
    // lies beyond the reach of a lattice offset is left out.
    virtual void SetupBuilderAtoms(int mode, AtomDataArray& out, bool append);
    // The same, leaving clipped atoms out.
    virtual void SetupDisplayAtoms(int mode, AtomDataArray& out, bool append);
    virtual void SetDirty(bool dirty);
    virtual bool IsDirty() const;
    virtual void SetNetworkHint(std::int32_t hint);
    virtual std::int32_t GetNetworkHint() const;

    // ORs the bits in, clears them, reads them.
    void SetReplicateHint(std::int32_t bits) { m_replicateHint |= bits; }
    void ClearReplicateHint(std::int32_t bits) { m_replicateHint &= ~bits; }
    std::int32_t GetReplicateHint() const { return m_replicateHint; }
    bool ReplicateAtomsExist(ReplicateHint bits) const { return (m_replicateHint & bits) != 0; }
    // Whether the first symmetric replicas a build's expansion is about to make of `parent` at the
    // positions (Cartesian) and join unheard (ReplicateAtom::MakeSymmetricFamily) may be made hidden,
    // as the build's hiding walk would hide them: while the build hides new families (HideNewFamilies)
    // and no callback ran since its marks were held, where the parent has no bonds and every position
    // lies within the gathering limits. The family made, NoteHiddenFamily lets the walk pass over it
    // instead of reading each replica again.
    bool HidesNewFamily(const Atom& parent, std::span<const Point3d> positions) const;
    void NoteHiddenFamily(const Atom& parent, std::span<TreeNode* const> family);
    void SetStickRadius(float radius) { m_stickRadius = radius; }
    float GetStickRadius() const { return m_stickRadius; }
    // Added to the positions of the axis labels.
    void SetLabelOffset(const Point3d& offset) { m_labelOffset = offset; }
    const Point3d& GetLabelOffset() const { return m_labelOffset; }

protected:
    // A copy takes its symmetry as its own (the copy of the source's that the member holds).
    void DeepenShallowCopy() override;

    // While no callback runs, every Atom3d below is known to carry "_ASU" (a full walk marked them and
    // the caller adds no Atom3d): gathering walks do not look for the marker. Ends with ForgetMarks.
    void HoldMarks();
    void ForgetMarks();
    // From here until ForgetMarks, the build will hide its replicas unheard (without packing): the
    // families the expansion makes may be hidden as they are made (HidesNewFamily).
    void HideNewFamilies();
    // The families made hidden so far are walked as any replicas, and no more are made hidden.
    void ForgetHiddenFamilies();
    // The stored frame of the cell (CellUtil::CellOrientation).
    std::int32_t GetStoredOrientation() const { return m_orientation; }
    void StoreOrientation(std::int32_t orientation) { m_orientation = orientation; }
    void SetTransforms(const Matrix3x3& fracToCart, const Matrix3x3& cartToFrac);
    // The fractional-to-Cartesian matrix from the cell vectors written as the columns of m, row by
    // row (transposed, so that its rows are the vectors), and its inverse; false, with nothing
    // changed, when the matrix is singular or not finite.
    bool SetTransformsFromColumns(const double m[9]);
    // Whether both transforms hold finite values and can be inverted.
    bool HasUsableTransforms() const;
    Point3d ToFractional(const Point3d& p, bool fractional) const { return fractional ? p : p * m_cartToFrac; }
    // SetupBuilderAtoms with AsymmetricAtoms, then appending SymmetryReplicas, in one walk.
    void SetupBuilderAtomsAndReplicas(AtomDataArray& out);
    // Every Atom below clipped exactly when it is periodic, then SetupDisplayAtoms with AllAtoms, in
    // one walk. With hideReplicas, the walk also clips the replicas it gathers, as packing without
    // packing does after it, while no one can hear a clip (so that no one can tell the two apart):
    // true when it did so for every atom gathered, `out` then left as it was. anyShown: whether an
    // atom is shown.
    bool ClipPeriodicAndSetupDisplayAtoms(AtomDataArray& out, bool hideReplicas, bool& anyShown);
    // The hiding walk of ClipPeriodicAndSetupDisplayAtoms: true when it found an atom and hid every
    // replica gathered unheard; false when it stopped at an atom it could not clip unheard (or found
    // no atom).
    bool HideReplicasUnheard(bool& anyShown);
    // Every Atom below shown again.
    void UnclipAtoms();
    // The symmetry a freshly loaded record names, taken as SetSymmetry takes one.
    void TakeLoadedSymmetry(Symmetry* symmetry);

private:
    // The defaults of a new cell.
    void Initialize();
    // The clip (useClip) or the unit cell, per axis.
    double Limit(int axis, bool useClip) const;
    void Gather(int mode, AtomDataArray& out, bool append, bool skipClipped);
    // visit(atom, record) for each atom of the class below, conformer atoms left out (found is set at
    // the first atom of the class); a visit that returns false does not enter the atom.
    template <class Visit>
    void WalkAtoms(std::uint32_t type, bool& found, Visit&& visit);
    // The record of an atom met by a gathering walk, marking an Atom3d "_ASU"; false when a listener
    // deleted the atom meanwhile.
    bool Record(Atom& atom, AtomData& record);
    // Space group 1.
    static std::unique_ptr<Symmetry> DefaultSymmetry();
    // The framework record's part of this level (the table's ArchiveOnly entry).
    void WriteFrameworkPart(Archive& archive) const;
    void ReadFrameworkPart(Archive& archive);

    std::int32_t m_replicateHint = 0;
    std::int32_t m_orientation = 0;
    Point3d m_labelOffset{0.1, 0.1, 0.0};
    Point3d m_clip{1.0, 1.0, 1.0};
    Matrix3x3 m_cartToFrac;
    Matrix3x3 m_fracToCart;
    std::int32_t m_auxDisplay = 0;
    float m_stickRadius = 0.2f;
    DimensionType m_periodicity = 0;
    double m_specialPositionTol = 0.001;
    // The cell's own symmetry, never null but in a copy's first step: a copy of the cell holds a copy
    // of the source's, operators included, which it takes as its own in DeepenShallowCopy.
    struct OwnedSymmetry : std::unique_ptr<Symmetry> {
        OwnedSymmetry() = default;
        explicit OwnedSymmetry(const OwnedSymmetry& other);
        OwnedSymmetry& operator=(const OwnedSymmetry&) = delete;
    };
    OwnedSymmetry m_symmetry;
    Uncopied<bool> m_dirty;
    std::int32_t m_networkHint = 0;
    // The callback count (TreeNode::GetCallbacksRun) at which the marks were held.
    Uncopied<std::optional<std::uint64_t>> m_marksHeld;
    // The parents of the families hidden as they were made, in the order the expansion met them (the
    // order of the walks), while the build hides new families.
    Uncopied<std::vector<const TreeNode*>> m_hiddenFamilies;
    // While the build hides new families: the bound of the gathering limits' quick test.
    Uncopied<std::optional<double>> m_hidingFamilies;
};

} // namespace Tavrel
