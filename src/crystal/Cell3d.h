// Cell3d: the three-dimensional crystal cell: parameters and frame, build request, symmetry map, and the build of its replicas.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Color.h>
#include <tavrel/core/LatticeOffset.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/CellUtil.h>
#include <tavrel/foundation/InstanceCount.h>

namespace Tavrel {

class Archive;
class BaseCollection;
class CellBuilder;
class CellSymmetryMap;
class CrystalImageQueries;
class CellReplicas;
class ReplicateAtom;

// Lengths a, b, c (model units, 10 by default) and angles alpha, beta, gamma (degrees, 90 by default)
// laid into Cartesian space by the frame (CellUtil). Every accepted parameter change recomputes the
// transforms and marks the cell dirty, so that the next Build makes its replicas again; a change whose
// transforms would be singular or not finite is refused and changes nothing. Loaded and copied cells
// are clean. The map and the named build methods come from the installed CellSymmetryServices.
//
// Persisted after Cell's properties as "Cell3D PerDisplay", "Cell3D BuildInfo", "Cell3d Length 0" to
// "Cell3d Length 2", "Cell3d Angle 0" to "Cell3d Angle 2", "Cell3d SymmetryMap Enabled" and "Cell3d
// OperationList"; the text interface adds the read-only "Length A", "Length B", "Length C", "Angle
// Alpha", "Angle Beta", "Angle Gamma" and "Space Group". An object is below the cell when it has the
// cell as an ancestor.
class Cell3d : public Cell {
    TAVREL_CLASS_CONSTRUCTED(Cell3d, Cell, Creatable)
public:
    // The most cells a build tiles along one axis.
    static constexpr int MaxTile = 50;

    // The build request. Its tile is kept at most MaxTile per axis.
    class BuildInfo {
    public:
        // Packing of the build: none, by molecules (default), by atoms.
        enum SymBuildHint : std::int32_t { NoPacking = 0, DefaultPacking = 1, AtomPacking = 2 };

        BuildInfo() = default;
        BuildInfo(std::int32_t hint, double sameTolerance, bool proximityBonding, const LatticeOffset& tile);

        std::int32_t GetHint() const { return m_hint; }
        void SetHint(std::int32_t hint) { m_hint = hint; }
        // Cartesian same-position tolerance.
        double GetSameTol() const { return m_sameTolerance; }
        void SetSameTol(double tolerance) { m_sameTolerance = tolerance; }
        bool GetProximityBonding() const { return m_proximityBonding; }
        void SetProximityBonding(bool bonding) { m_proximityBonding = bonding; }
        const LatticeOffset& GetTile() const { return m_tile; }
        void SetTile(const LatticeOffset& tile);

        // All four fields equal, the tolerance exactly.
        friend bool operator==(const BuildInfo& a, const BuildInfo& b)
        {
            return a.m_hint == b.m_hint && a.m_sameTolerance == b.m_sameTolerance &&
                   a.m_proximityBonding == b.m_proximityBonding && a.m_tile.IsSame(b.m_tile);
        }

        // int32 hint, double tolerance, int32 proximity flag (non-zero reads as true), the tile as three
        // int32.
        void Serialize(Archive& archive);

    private:
        std::int32_t m_hint = DefaultPacking;
        double m_sameTolerance = 0.05;
        bool m_proximityBonding = false;
        LatticeOffset m_tile{1, 1, 1};
    };

    // Display settings.
    class PerDisplay {
    public:
        const LatticeOffset& GetTiling() const { return m_tiling; }
        void SetTiling(const LatticeOffset& tiling) { m_tiling = tiling; }
        const Color& GetPackColor() const { return m_packColor; }
        std::int32_t GetFlags() const { return m_flags; }

        // int32 pack colour with its top byte cleared, int32 flags, the tiling as three int32.
        void Serialize(Archive& archive);

    private:
        LatticeOffset m_tiling{1, 1, 1};
        Color m_packColor = Color::Magenta();
        std::int32_t m_flags = 0;
    };

    // A 10 A cubic cell in the default frame, dirty, with space group 1.
    explicit Cell3d(Object* parent);
    // The parameterised constructors (angles first, lengths second, three values each) attach the cell
    // to parent only when the geometry and the space group are both accepted; otherwise the cell stays
    // unattached with space group 1. A symmetry handed in belongs to the cell in every case.
    Cell3d(Object* parent, const double* angles, const double* lengths, Symmetry* symmetry);
    Cell3d(Object* parent, const double* angles, const double* lengths, const char* symbol, const char* qualifier,
           int choice);
    Cell3d(Object* parent, const double* angles, const double* lengths, int number, const char* qualifier, int choice);
    // From the three cell vectors.
    Cell3d(Object* parent, const Point3d* vectors, Symmetry* symmetry);
    Cell3d(Object* parent, const Point3d* vectors, int number, const char* qualifier, int choice);
    // Space group by symbol (choice 1); never attached.
    Cell3d(const double* angles, const double* lengths, const char* symbol);
    ~Cell3d() override;

    // ---- Display settings and frame
    virtual const PerDisplay& GetPerDisplay() const;
    virtual void SetPerDisplay(const PerDisplay& display);
    // 1 to 14 are refused; 0 and any value from 15 are kept. A frame other than 15 is laid out as 18.
    // A change recomputes the transforms and marks the cell dirty.
    virtual bool SetOrientation(CellUtil::CellOrientation orientation);
    // The stored value; 0 reads 18 when resolve is set.
    virtual CellUtil::CellOrientation GetOrientation(bool resolve) const;

    // ---- Parameters. Lengths must be at least FLT_EPSILON (the array forms: greater), angles pass
    // CheckAngles; every value of a call is checked before any is stored.
    virtual bool SetGeometry(const float* lengths, const float* angles);
    virtual bool SetGeometry(const double* lengths, const double* angles);
    virtual bool SetGeometry(double a, double b, double c, double alpha, double beta, double gamma);
    // The rows of the fractional-to-Cartesian matrix: the Cartesian cell vectors.
    virtual void GetVectors(Point3d& a, Point3d& b, Point3d& c) const;
    virtual bool SetLengths(const float* lengths);
    virtual bool SetLengths(const double* lengths);
    virtual bool SetLengths(double a, double b, double c);
    virtual void GetLengths(double* lengths) const;
    virtual void GetLengths(float* a, float* b, float* c) const;
    virtual void GetLengths(double* a, double* b, double* c) const;
    virtual bool SetA(double a);
    virtual double GetA() const;
    virtual bool SetB(double b);
    virtual double GetB() const;
    virtual bool SetC(double c);
    virtual double GetC() const;
    virtual bool SetAngles(const float* angles);
    virtual bool SetAngles(const double* angles);
    virtual bool SetAngles(double alpha, double beta, double gamma);
    virtual void GetAngles(float* alpha, float* beta, float* gamma) const;
    virtual void GetAngles(double* angles) const;
    virtual void GetAngles(double* alpha, double* beta, double* gamma) const;
    virtual bool SetAlpha(double alpha);
    virtual double GetAlpha() const;
    virtual bool SetBeta(double beta);
    virtual double GetBeta() const;
    virtual bool SetGamma(double gamma);
    virtual double GetGamma() const;
    void GetGeometry(double* lengths, double* angles) const;
    void GetGeometry(Point3d& lengths, Point3d& angles) const;
    // Kept with copies, not persisted. Hosts call UpdateASU after a geometry change while it is set.
    virtual bool GetFixFractional() const;
    virtual bool SetFixFractional(bool fix);

    // ---- Build request
    // Accepted when every component lies between 0 and MaxTile.
    virtual bool SetTileSettings(const LatticeOffset& tile);
    virtual LatticeOffset GetTileSettings() const;
    virtual void GetTileSettings(LatticeOffset& tile) const;
    // Unless the tile is (1, 1, 1).
    virtual bool IsTiled() const;
    virtual void SetBuildInfo(const BuildInfo& info);
    // Builds the replicas the request asks for: when the request differs from the stored one or the
    // cell is dirty, removes what the last build made, deletes asymmetric atoms that repeat others,
    // expands the asymmetric unit by the operators, bonds the replicas, packs and tiles; then brings
    // the symmetry map up to date. False (nothing built) when the cell holds no asymmetric atom or its
    // transforms are unusable; the cell is clean after a build.
    virtual bool Build(BuildInfo info);
    virtual BuildInfo GetBuildInfo() const;
    // Stores the request, shows what is periodic clipped, packs, tiles, brings the map up to date;
    // always true.
    virtual bool BuildDisplay(BuildInfo info);
    // Removes what earlier builds made; the clip becomes one cell and the replicate hints none.
    bool Unbuild();
    // Asks for a new network perception (hint 7).
    virtual void Perceive();

    // ---- Symmetry map and queries
    // The map while the switch is on, else null.
    virtual CellSymmetryMap* GetSymmetryMap() const;
    // Sets the switch; switching it off deletes an existing map.
    virtual void EnableSymmetryMap(bool enable);
    virtual bool IsSymmetryMapEnabled() const;
    // With the switch on and no map yet, creates (with the operation list), updates and starts the
    // map; otherwise nothing.
    virtual void CreateSymmetryMap(bool computeBonds);
    // The map's answers for an object below the cell, asked whenever a map exists; false, 0 and
    // (0, 0, 0) for null, an object not below the cell, or without a map.
    virtual bool IsPeriodic(const Object* object) const;
    virtual bool IsSymmetric(const Object* object) const;
    virtual std::int16_t GetSymmetryOperator(const Object* object) const;
    virtual LatticeOffset GetLatticeOffset(const Object* object) const;
    // Empty for null or an object not below the cell; else the object's label, decorated by the map
    // while the switch is on and a map exists.
    virtual std::string GetSymmetryLabel(const Object* object) const;
    // The asymmetric-unit object an image below the cell comes from: null for null or an object not
    // below the cell; the object itself while the switch is off or there is no map; else the object
    // the map names, null when it no longer exists or lies outside the cell.
    virtual Object* GetSymmetryParent(Object* object) const;
    // The asymmetric-unit objects of the class type below root (the cell itself or an object below it;
    // false for any other root): the map's answer while the switch is on and a map exists and
    // answers, else every descendant of the class in depth-first order, replicas included.
    virtual bool GetAsymmetricUnitObjects(const Object* root, std::uint32_t type, BaseCollection& out) const;
    virtual bool GetAsymmetricUnitObjects(std::uint32_t type, BaseCollection& out) const;
    // The map's images of an object below the cell; false for null, an object not below the cell,
    // and while the switch is off or there is no map.
    virtual bool GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const;
    // The named build method for this cell with its default parameters; null for an empty or unknown
    // name.
    std::unique_ptr<CellBuilder> GetCellBuilder(std::string_view name);
    // The space group the text names (number or symbol) in the setting; marks the cell dirty.
    bool AttachSpaceGroup(std::string_view text, std::string_view qualifier);

    // ---- Small services
    // The cell's static data, parameters and build request (not the display settings).
    virtual void CopyStaticData(const Cell3d& other);
    // A cell copies its static data only from another 3-D cell.
    void CopyStaticData(const Cell& other) override;
    // The stick radius becomes 1 % of the shortest edge (at most 100).
    virtual void CalcStickRadius();
    // At least two operators and an Atom below.
    bool IsSpecialPositionPossible() const;
    // The mean fractional position of the records, rotated into Cartesian space when asked; the
    // origin for none.
    Point3d GetCentroid(const AtomDataArray& atoms, bool cartesian) const;
    // Asks every replica below to copy its tree parent's bonds, symmetry replicas first.
    void ConstructBonds() const;
    int GetDimensionality() const override;
    // Atom3d descendants keep their fractional positions (and replicas follow), with the map's events
    // off meanwhile and the map given the new transforms.
    void UpdateASU(const Matrix3x3& oldCartToFrac) override;

    // ---- Steps of the build, on a list the cell gathered (public so that a host can run them one by
    // one). A record whose atom no longer exists is skipped.
    // Deletes each asymmetric atom whose wrapped position repeats an earlier one's or lies on a far
    // face or corner of another's cell; true when any was deleted (the caller gathers again).
    bool DoTranslationalOverSpecified(AtomDataArray& list);
    // Makes a symmetry replica for every distinct image of every asymmetric atom, a periodic replica
    // where an image repeats an earlier one across a lattice translation, nothing where it falls on the
    // atom itself (a special position), and deletes later asymmetric atoms that are images of earlier
    // ones. Always true.
    bool DoSymmetry(AtomDataArray& list);
    // Carries every bond of the asymmetric unit over to its symmetry images, closing bonds that cross a
    // cell face on both sides; true when it made a bond.
    bool DoSymmetryBonds(AtomDataArray& list);
    // Bonds every atom to every atom or periodic image within bonding distance; always true.
    bool DoProximityBonds(AtomDataArray& list);
    // By the request's hint: 0 shows the asymmetric unit only, 1 packs whole molecules by their
    // centroids (PackDefault), 2 packs atom by atom. False for an empty list or another hint.
    bool Pack(AtomDataArray& list);
    bool PackDefault(AtomDataArray& list);
    // Repeats every listed atom over the request's tile counts; false for an empty list or one cell.
    bool Tile(AtomDataArray& list);
    // The smallest prime at least 2 x (n / 2) + 1.
    static int NextPrime(int n);
    // Every n up to 3 counts as prime.
    static bool IsPrime(int n);

    // The nearest Cell3d above node (node excluded); null without one.
    static Cell3d* FindCell(const TreeNode* node);
    // The image queries of atoms and bonds, answered by the nearest Cell3d above them.
    static const CrystalImageQueries& ImageQueries();

    // Draws the twelve edges of the cell, and of every further cell of the tile, as lines (display
    // style 1, or any style in a fast list) or as sticks with balls at the corners (style 2 in a normal
    // list), with the axis labels "O", "A", "B", "C" when bit 0 of the aux display is set. Nothing
    // unless the cell is selected or visible, active and of a non-zero style. Every primitive carries
    // the cell's OID.
    void Display(DisplayList3D& list) override;

protected:
    // A copy of a cell whose switch is on and whose map exists takes the current keys of that map and
    // a shallow copy of it, bound to the copies of the objects the map knows; when one of them is not
    // copied, it gets a new map of its own instead.
    void DeepenShallowCopy() override;

private:
    // The frame actually laid out: 15 or 18.
    CellUtil::CellOrientation Frame() const;
    // Computes both transforms from the parameters; false, with nothing changed, when the matrix is
    // singular or not finite.
    bool MakeTransforms();
    // Stores the six parameters when their transforms are usable, then marks the cell dirty.
    bool ApplyGeometry(const double lengths[3], const double angles[3]);
    static bool CheckAngles(double alpha, double beta, double gamma);
    bool SetSingleGeometryParam(int index, double value);
    // "<number>   (<name> <qualifier and choice>)".
    std::string SpaceGroupText() const;
    // After a record or a framework read: operators for a symmetry restored by name, then transforms;
    // parameters that give no usable transforms fall back to the defaults.
    void RestoreAfterLoad();
    // The framework record's part of this level (the table's ArchiveOnly entry): the display
    // settings, the build request (derived from the display settings for a schema below 2 or none),
    // a, b, c, alpha, beta, gamma. A cell read with asymmetric atoms and no replica is left dirty, so
    // that its next build (a document's load runs it once the whole file is read) makes the replicas.
    void WriteFrameworkPart(Archive& archive) const;
    void ReadFrameworkPart(Archive& archive);
    // Attaches the cell to parent and takes the symmetry when construction succeeded; otherwise the
    // symmetry is deleted.
    void Complete(Object* parent, bool accepted, Symmetry* symmetry);

    // Whether the object is below the cell.
    bool IsAbove(const Object* object) const;
    // The edges of the cell at a lattice offset, drawn as the list's mode and the style say.
    void DisplayGeometry(const LatticeOffset& offset, const Color& color, const Matrix3x3& fracToCart, int style,
                         DisplayList3D& list) const;
    // Whether the cell holds an asymmetric atom and no replica (a ReplicateAtom or an atom marked
    // "_REP"): what a framework read rebuilds.
    bool HoldsOnlyAsymmetricAtoms() const;

    // The replicas of the build in progress (a scope opens them on the first step).
    class BuildScope;
    CellReplicas& Replicas();
    // Switches the map's events on again when it is enabled and exists.
    void EnableMapEvents();

    double m_lengths[3] = {10.0, 10.0, 10.0};
    double m_angles[3] = {90.0, 90.0, 90.0};
    // A copy keeps the switches, the static data and the build request; it has default display
    // settings and holds no map until DeepenShallowCopy gives it one.
    Uncopied<PerDisplay> m_perDisplay;
    BuildInfo m_buildInfo;
    bool m_fixFractional = true;
    bool m_symmetryMapEnabled = false;
    Uncopied<std::unique_ptr<CellSymmetryMap>> m_symmetryMap;
    // The map's keys as last stored or read; refreshed from the map when the cell is written.
    mutable IntArray m_operationList;
    // While a build step runs.
    Uncopied<std::unique_ptr<CellReplicas>> m_replicas;
    Uncopied<int> m_buildDepth;
    [[no_unique_address]] InstanceCount<Cell3d> m_instances;
};

} // namespace Tavrel
