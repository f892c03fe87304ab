// Bond: the model object joining two bondable ends, with its type, order, wedge and ring flag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Atom;
class Bondable;
class OrdCollection;
class PropertyArchive;

// A bond lives under the nearest common ancestor of its ends and is listed in both ends' bond arrays;
// deleting either end deletes it. It is selected once both ends are selected (see
// Bondable::Select). Bonds are made through Bondable::MakeBond.
//
// A bond and an end are linked while the bond names the end and the end lists the bond, and they let
// go of each other only through such links: a bond that goes takes itself off the ends it names, an
// end that goes deletes the bonds it lists that name it (and drops any other entry untouched). A read
// sets each side in its own record, so it leaves half links (one side only) while records are open,
// and in damaged input for good; before a read frees anything it made, and once it has ended, what it
// made settles (SettleLinks): a bond forgets the ends that do not list it, an end drops the bonds
// that do not name it. Neither step touches a link, so they run in any order, and afterwards bonds
// and ends may be freed in any order.
class Bond : public Geometric {
    // Persisted as "Atom1", "Atom2", "BondType", "WedgeType", "BondInRing"; the framework archive
    // holds Object's part, an empty lattice offset, the two ends, type, wedge, order and ring flag.
    // The text interface adds "Order" (read-only), "Type", "Length" and "Stereochemistry" (not
    // listed) to Object's.
    TAVREL_CLASS(Bond, Geometric, Creatable)
    TAVREL_EVENT_MASK_LEVEL()
public:
    // The codes are stored in files.
    enum BondType : std::int32_t {
        Ionic = 0,
        Single = 1,
        PartialDouble = 2,
        Aromatic = 3,
        Double = 4,
        PartialTriple = 5,
        Triple = 6,
        Quadruple = 7,
        Pi = 10,
        Dative = 11,
        DativeDouble = 12,
        DativeTriple = 13,
        DativeQuadruple = 14,
    };
    // Stored and persisted only.
    using WedgeType = std::int32_t;

    // Event codes of the Bond level.
    static constexpr std::uint16_t EventTypeSet = 1;  // every SetType by code, also without a change
    static constexpr std::uint16_t EventDeleted = 2;  // first in the destructor

    // The largest length "Length" accepts as text.
    static constexpr double MaxTextLength = 100000.0;

    ~Bond() override;

    Bondable* GetAtom1() const { return m_atom1; }
    Bondable* GetAtom2() const { return m_atom2; }
    void GetAtoms(Bondable*& atom1, Bondable*& atom2) const;
    // Midpoint of the two ends' positions.
    Point3d GetMidPoint() const;
    // The order; for the dative types order + 1 at atom 1 and order - 1 at any other end.
    virtual double GetValenceContribution(const Bondable* end) const;

    BondType GetType() const { return m_type; }
    // Stores the type, sets the order of a named type, raises (Object, 16) and (Bond, 1), then has
    // each atom end perceive and store its hybridization.
    virtual void SetType(BondType type);
    // Whether a SetType now would reach a listener; unheard, setting the type the bond already has
    // changes nothing once its ends' hybridization was perceived with it.
    bool IsTypeSetHeard() const
    {
        return IsHeard(Object::classType, Object::EventPropertySet) || IsHeard(classType, EventTypeSet);
    }
    // By name, ignoring case; false (nothing changed) for a word that names no settable type.
    virtual bool SetType(std::string_view name);
    double GetOrder() const { return m_order; }
    // Narrowed to float; raises nothing.
    virtual void SetOrder(double order);
    // "Unknown" for codes without a name; every dative type reads "Dative".
    std::string GetOrderName() const;
    static const char* GetOrderName(BondType type);
    WedgeType GetWedge() const { return m_wedge; }
    void SetWedge(WedgeType wedge) { m_wedge = wedge; }

    double GetLength() const;
    // Moves atom 1 alone when the bond is in a ring or both sides are the same fragment, else atom 2
    // with everything reached from it without crossing the bond. Refused (false, nothing moved) for
    // a length that is not positive and finite and for coincident ends.
    virtual bool SetLength(double length);

    // The bond joins a and b, in either order.
    bool FindBond(const Bondable* a, const Bondable* b) const;
    // Either end has at most one bond.
    bool IsTerminal() const;
    bool IsInRing() const { return m_inRing; }
    void SetIsInRing(bool inRing) { m_inRing = inRing; }

    // Both ends are visible; the bond's own flag is not consulted.
    bool IsVisible() const override;
    // 6 when either atom's style is 6, else the smaller of the two.
    std::int32_t GetDisplayStyle() const override;
    // Stick radius, or CPK scale times van der Waals radius, of atom 1 by the style.
    virtual float GetDisplaySize() const;
    // The own label when set; else the atoms' labels, prefixed by their containers when they differ.
    std::string GetLabel() const override;

    Point3d GetXYZ() const override { return GetMidPoint(); }
    Point3d CalculateCenter() const override { return GetMidPoint(); }
    // The midpoint pushed off along the bond direction by the display size plus 0.1.
    Point3d GetAnnotationXYZ() const override;

    // Clipped exactly when both ends are.
    void UpdateClipped();
    // Whether the nearest cell above the bond clips the point; not clipped without a cell.
    bool IsCoordClipped(const Point3d& point) const;

    // The conformer index kept in the user property "_~bci~_"; -1 when absent.
    void SetConformerIndex(std::int32_t index);
    std::int32_t GetConformerIndex() const;
    bool HasConformers() const;
    void ClearConformerIndex();

    // Deletes a loaded bond whose ends are missing or the same, else makes sure both ends list it.
    void FinishLoading(std::uint32_t schema) override;
    // Forgets the ends that do not list the bond.
    void SettleLinks() override;

    // Structure building onto this bond, whose ends must be atoms. Listeners may delete atoms
    // meanwhile: every step finds the pieces again by OID and goes on with what is left.
    // Moves the fragment rigidly so that fragmentAtom1 and fragmentAtom2 (null: the fragment's
    // entries 0 and 1) land on atom 1 and atom 2, turned about the bond so that fragmentReference
    // lies on the side of bondReference (null: chosen from the neighbours and free valences), then
    // merges them into the bond's atoms and every other heavy fragment atom into the first atom its
    // bonded fragment holds within tolerance (which takes its element); hydrogens and hybridization
    // are derived again. On return the fragment lists its surviving atoms in their first order.
    // False, with nothing changed, for fewer than two fragment entries, an end that is not an atom,
    // fragment atoms that are missing, equal, or the bond's own atoms.
    bool FuseFragment(OrdCollection& fragment, float tolerance, Atom* fragmentAtom1, Atom* fragmentAtom2,
                      Atom* bondReference, Atom* fragmentReference);
    // Moves the ring rigidly so that its atoms index1 and index2 land on atom 1 and atom 2, on the
    // side away from the bond's neighbours, merges them into the bond's atoms (which take their
    // elements) and every other ring atom into the first atom within tolerance of it (which keeps
    // its element); merged atoms leave the collection. The bond takes the higher of its type and the
    // ring bond's. False, with nothing changed, for indices outside the ring or equal, an end that
    // is not an atom, or a ring entry that is not a live atom or is one of the bond's atoms.
    bool FuseRing(OrdCollection& ring, float tolerance, int index1, int index2);

protected:
    friend class Bondable;

    // The first free valence direction of the atom whose trial position lies anti to a path of two
    // heavy atoms (else the last one tried); a random unit vector when no direction is free.
    static Point3d FindSproutDirection(const Atom& atom);
    // Some heavy neighbour n of the atom and heavy neighbour m of n (not the atom) make a dihedral
    // (position, atom, n, m) beyond 120 degrees either way.
    static bool IsAntiToHeavyPath(const Atom& atom, const Point3d& position);

    explicit Bond(Object* parent);
    // Under the ends' nearest common ancestor; both ends non-null and distinct. Listeners of any step
    // may delete an end: the construction then stops, and the bond is left listed nowhere and without
    // ends (HasEnds false), for the maker to delete.
    Bond(Bondable* atom1, Bondable* atom2, BondType type);
    Bond(Object* parent, Bondable* atom1, Bondable* atom2, BondType type);

    // A bond is copied only inside a copy that holds it and both its ends.
    bool ShallowCopyOK() const;
    void DeepenShallowCopy() override;

    // The order a named type sets; other codes keep the order.
    void SetOrder(BondType type);

    // Display, from the bond's style (taken from its atoms): lines in the line styles and CPK,
    // cylinders in the stick and ball styles (0.6 times as thick in the scaled ones); the single
    // styles draw every bond as one. The fast path draws one line whatever the style. Each half takes
    // its atom's colour; a clipped atom's half is not drawn. Primitives carry the OIDs of the bond and
    // its atoms.
    void NormalDisplay(DisplayList3D& list) override;
    void FastDisplay(DisplayList3D& list) override;
    // Double-type bonds (partial double, aromatic, double) as two lines, the second 0.2 to the
    // reference side and dashed for partial double and aromatic in a ring (on both sides where two
    // aromatic rings meet), 0.1 either side out of a ring; triple-type bonds as three lines. Other
    // types draw only in the single styles. A selected bond shows a marker at its midpoint.
    virtual void DisplayLine(DisplayList3D& list, bool single);
    // Double bonds as two thinner cylinders, triple-type as three; partial double and aromatic bonds
    // as one cylinder with two short dashes beside it. A selected bond, or atom for its half, takes
    // the selection colour.
    virtual void DisplayStick(DisplayList3D& list, bool single, float scale);
    // One line in two halves, or dashed (one whole dash line when both colours are the same).
    void DisplayBondLine(DisplayList3D& list, const Point3d& start, const Point3d& middle, const Point3d& end,
                         const Color& color1, const Color& color2, bool dashed) const;
    // One cylinder from color1 to color2, carrying id and the atoms' OIDs.
    void DisplayBondStick(DisplayList3D& list, const Point3d& start, const Point3d& end, const Color& color1,
                          const Color& color2, float radius, std::uint32_t id) const;
    void DisplayBondAromatic(DisplayList3D& list, float scale) const;
    // The unit vector perpendicular to a-b, in the plane of the bond and its reference neighbour,
    // pointing away from the neighbour; any perpendicular when the neighbour lies on the bond's line.
    Point3d GetBondOffset(const Point3d& a, const Point3d& b) const;
    // The atom whose side the extra lines of the bond a-b are drawn on.
    Bondable* FindBestNeighbor(const Bondable* a, const Bondable* b) const;

private:
    // UpdateClipped; without the modified test for a bond that is seldom modified already (its own
    // record just read).
    template <bool TestModified>
    void UpdateClippedNow();
    // The ends, watched from before the bond joins the tree.
    struct EndWatches {
        EndWatches(Bondable* first, Bondable* second);
        bool Alive() const { return watch1.alive && watch2.alive; }
        Bondable* atom1;
        Bondable* atom2;
        Watch watch1;
        Watch watch2;
    };
    Bond(Object* parent, const EndWatches& ends, BondType type);
    // Lists the bond at both ends, then announces it at each and types it, while both ends live.
    // Otherwise the bond lets go of the ends left.
    void Link(BondType type, const EndWatches& ends);
    void Unlink();
    // An end that is destroyed while the bond outlives it (only while the bond is being built) is
    // no longer pointed to.
    void ForgetEnd(const Bondable* end);
    // The drawn ends and midpoint: a clipped atom's end moves to the midpoint; false when both are clipped.
    bool GetClippedPoints(Point3d& p1, Point3d& mid, Point3d& p2) const;
    // The atoms' colours, the selection colour for a selected bond or atom.
    void GetStickColors(Color& color1, Color& color2) const;
    // Both ends set and distinct.
    bool HasEnds() const { return m_atom1 && m_atom2 && m_atom1 != m_atom2; }
    bool HasEnd(const Bondable& end) const { return m_atom1 == &end || m_atom2 == &end; }
    bool IsListedBy(const Bondable& end) const;
    // Both ends list the bond.
    void ListOnEnds();

    // In this order no padding falls between the fields: a bond takes 120 bytes.
    float m_order = 1.0f;
    BondType m_type = Ionic;
    Bondable* m_atom1 = nullptr;
    Bondable* m_atom2 = nullptr;
    WedgeType m_wedge = 0;
    bool m_inRing = false;
    Uncopied<bool> m_reading;  // between the start and the end of its record on load
    // The ends whose finishing pass kept the bond in their lists (KeptByAtom1, KeptByAtom2): with
    // both, the bond's own finishing has nothing to add. Cleared when the bond leaves a list or an
    // end, and when its record starts.
    static constexpr std::uint8_t KeptByAtom1 = 1;
    static constexpr std::uint8_t KeptByAtom2 = 2;
    Uncopied<std::uint8_t> m_keptBy;
};

} // namespace Tavrel
