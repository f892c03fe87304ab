// Atom3d: the concrete atom — element, partial charge, hybridization and display-size percentages.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include <tavrel/chemistry/Atom.h>

namespace Tavrel {

class PropertyArchive;
struct AtomReading;

// The formal charge lives in the user properties "_NFC" and "_DFC", so an atom without one carries
// nothing for it. Entering or leaving a molecule is announced ("AtomAdded", leaving); its death
// is announced before it leaves its parent and before its bonds go.
class Atom3d : public Atom {
    // Persisted as "Element", "Hybridization", "Charge", "CPKScale", "BallSize", "StickRadius"; the
    // framework archive holds the hybridization as a 32-bit integer and the stick radius from schema
    // 2 on.
    TAVREL_CLASS_CONSTRUCTED(Atom3d, Atom, Creatable)
    TAVREL_EVENT_MASK_LEVEL()
public:
    // Event codes of the Atom3d level.
    static constexpr std::uint16_t EventElementSet = 1;       // every SetElement
    static constexpr std::uint16_t EventFormalChargeSet = 2;  // every SetFormalCharge
    static constexpr std::uint16_t EventAtomAdded = 4;        // arrived under another molecule
    static constexpr std::uint16_t EventLeavingMolecule = 8;  // about to leave its molecule
    static constexpr std::uint16_t EventHybridizationSet = 16;
    static constexpr std::uint16_t EventAtom3dDeleted = 32;

    // Sp3, line style and the element's colour; an unknown element or symbol (or none) gives the
    // unknown element. The parent is joined last.
    Atom3d(Object* parent, const Element* element);
    Atom3d(Object* parent, ElementType type);
    Atom3d(Object* parent, const char* symbol);
    ~Atom3d() override;

    // "Atom".
    std::string GetCommonName() const override;

    const Element* GetElement() const override { return Element::FromHandle(m_element); }
    std::string GetElementName() const override { return ElementRecord().GetName(); }
    ElementType GetElementType() const override { return ElementRecord().GetType(); }
    std::int32_t GetAtomicNumber() const override { return ElementRecord().GetAtomicNumber(); }
    std::string GetElementSymbol() const override { return ElementRecord().GetSymbol(); }
    float GetVDWRadius() const override { return ElementRecord().GetVDWRadius(); }
    float GetCovalentRadius() const override { return ElementRecord().GetCovalentRadius(); }
    float GetBondingRadius() const override { return ElementRecord().GetBondingRadius(); }
    float GetMass() const override { return ElementRecord().GetAtomicWeight(); }
    void SetElement(ElementType type) override;
    void SetElement(std::string_view symbol) override;

    double GetCharge() const override { return m_charge; }
    // Stored as a float; a value that narrows to the stored one, or NaN, changes nothing.
    void SetCharge(double charge) override;
    // 0/1 without the two user properties.
    Rational GetFormalCharge() const override { return FindUserProperties() ? StoredFormalCharge() : Rational(0, 1); }
    // 0/0 removes both properties; any other value is stored as given. Raises EventFormalChargeSet.
    void SetFormalCharge(const Rational& charge) override;
    void SetFormalCharge(std::int32_t numerator, std::int32_t denominator) override;

    HybridizationType GetHybridization() const override { return static_cast<HybridizationType>(m_hybridization); }
    // PerceiveRequest stores the perceived code. A change raises (Object, 16) "Hybridization", then
    // EventHybridizationSet.
    void SetHybridization(HybridizationType type) override;
    // From the bond types: a triple bond gives Sp, an aromatic bond Sp2; one double bond Sp2 (Sp3 on
    // sulfur); two doubles Sp with two bonds, Sp2 with three; a charged nitrogen Sp3; a neighbour
    // stored as Sp2 gives Sp2; else by bond count (5, 6, 7 bonds: trigonal bipyramid, octahedral,
    // pentagonal bipyramid; Sp3 otherwise).
    HybridizationType PerceiveHybridization() const override;

    // Valence from the element's common oxidation state, the formal charge numerator n (clamped to
    // -2..2) and the bonds' valence contributions.
    // Sum of the bonds' contributions plus 0.9, truncated (1.5 + 1.5 gives 3, 2.5 gives 3).
    std::int32_t GetValenceUsed() const override;
    // Sigma valences: the oxidation state, less 2 for Sp and 1 for Sp2 (not on nitrogen), plus n; at
    // least 0.
    std::int32_t GetValence() const override;
    // n - GetValenceUsed + oxidation state, at least 0.
    std::int32_t GetNumHydrogensToAdd() const override;
    // GetValenceUsed - n - oxidation state, one less with donated lone pairs; at least 0.
    std::int32_t GetNumHydrogensToDelete() const override;
    bool IsValenceSatisfied() const override;
    // Bonded atoms of element type 1, counted or added to out in bond order.
    std::int32_t GetNumHydrogens() const override;
    std::int32_t GetHydrogens(BaseCollection& out) const override;
    // N, O, P and S only.
    bool IsHeteroatom() const override;
    // An active hydrogen on a heteroatom; a heteroatom with implicit hydrogens or whose first
    // explicit hydrogen is inactive.
    bool IsHBondDonor() const override;
    // Halogens; O, P, S with a lone pair; N with a lone pair unless conjugated amide-like.
    bool IsHBondAcceptor() const override;
    // Carbon: 1 when negative. Others: 4 - trunc(bond sum) - n, at least 0, where a double bond
    // counts 2, an aromatic or partial double 1.5 and anything else 1.
    std::int32_t GetNumLonePairs() const override;

    // Brings the hydrogens to the valence (surplus ones deleted, missing ones added when add) and
    // places them 1.0 from the atom along the free valence directions. set 0 leaves carbon alone,
    // set 1 everything but carbon. Returns minus the number of hydrogens to delete when there were
    // any, else the number added.
    std::int32_t UpdateHydrogens(HydrogenSet set, bool add) override;
    // Deletes every bonded hydrogen atom, whatever the set.
    void RemoveHydrogens(HydrogenSet set) override;
    // The valence directions ignoring bonded hydrogens: raw bond vectors, then unit free directions.
    std::int32_t GetValenceSproutVectors(Point3d::Array& out) const override;

    // Chirality. Not a stereocentre (1) without four bonds or with two hydrogens or more. Otherwise
    // with recalculate the code is decided again and kept in "Chirality" when it changed; without, the
    // kept code answers, or when there is none the code decided now (not kept).
    Chirality GetChirality(bool recalculate) override;
    // Keeps 6 or 7 in "ChiralityPlus"; other codes are ignored.
    virtual void SetChiralityExt(Chirality code);

    // Factors kept as whole percentages (0 to 255); a change raises (Object, 16) with the name.
    float GetCPKScale() const override { return Factor(m_cpkPercent); }
    void SetCPKScale(float scale) override;
    float GetBallSize() const override { return Factor(m_ballPercent); }
    void SetBallSize(float size) override;
    float GetStickRadius() const override { return Factor(m_stickPercent); }
    void SetStickRadius(float radius) override;
    // Class defaults, taken by atoms constructed afterwards.
    static float GetCPKScaleDefault() { return Factor(s_cpkDefault); }
    static float GetBallSizeDefault() { return Factor(s_ballDefault); }
    static float GetStickRadiusDefault() { return Factor(s_stickDefault); }
    static void SetCPKScaleDefault(float scale);
    static void SetBallSizeDefault(float size);
    static void SetStickRadiusDefault(float radius);

    // Asked of the crystal cell above (CrystalImageQueries); neutral without a cell or map.
    bool IsPeriodic() const override;
    bool IsSymmetric() const override;
    std::int16_t GetSymmetryOperator() const override;
    LatticeOffset GetLatticeOffset() const override;

    Atom* CreateNewAtom(Object* parent, ElementType type) override;

    // Structure building. Listeners may delete atoms meanwhile: each step goes on with what is left.
    // A new atom of the symbol (unknown symbols give the unknown element) under this atom's parent at
    // position, with this atom's display style, bonded to this atom with a bond of the type; this
    // atom perceives its hybridization again. With updateHydrogens this atom loses its hydrogens
    // before the bond and both atoms get theirs after it; with fuseOverlaps the new atom is bonded
    // to the atoms within eight bonds that overlap it (Atom::FuseOverlaps). Null when the new atom
    // did not survive.
    Atom3d* SproutAtom(const Point3d& position, std::string_view symbol, Bond::BondType type, bool updateHydrogens,
                       bool fuseOverlaps);
    // For an atom with exactly one bond (else null, nothing made): sprouts from its neighbour N, in
    // this atom's direction, at twice N's covalent radius. A hydrogen of N is deleted by it with
    // updateHydrogens, so this atom must not be used after the call.
    Atom3d* SproutAtom(std::string_view symbol, Bond::BondType type, bool updateHydrogens, bool fuseOverlaps);
    // Merges ring atom index into this atom after moving the ring rigidly: with one bond the ring
    // grows away from the neighbour, with two or more it stands perpendicular to the plane of this
    // atom and its first two neighbours, away from them. This atom takes the ring atom's element and
    // bonds, and the merged atom leaves the collection. False, with nothing changed, for an index
    // outside the ring, a ring entry that is not a live atom, or this atom in the ring.
    bool FuseRing(OrdCollection& ring, int index);

    // Carbon chains and rings (public-constructor defaults) under parent. Both collections are
    // emptied and receive the atoms in order and the bonds made: atom i-1 to atom i for a chain,
    // atom i to atom (i + 1) mod n for a ring, whose bonds are marked in a ring and are Aromatic
    // when asked, else Single. False, with nothing made or emptied, for fewer than one chain atom or
    // three ring atoms, or a bond length that is not positive and finite.
    static bool CreateChain(Object* parent, int n, OrdCollection& atoms, OrdCollection& bonds);
    // Placed at GetChainCoords (y negated with flip), turned so that +x runs along direction (a zero
    // direction keeps +x), then moved to origin.
    static bool CreateChain(Object* parent, int n, double bondLength, const Point3d& origin, const Point3d& direction,
                            bool flip, OrdCollection& atoms, OrdCollection& bonds);
    static bool CreateRing(Object* parent, int n, bool aromatic, OrdCollection& atoms, OrdCollection& bonds);
    // Placed at GetRingCoords, turned so that +z runs along normal (a zero normal keeps +z), then
    // moved to origin.
    static bool CreateRing(Object* parent, int n, double bondLength, const Point3d& origin, const Point3d& normal,
                           bool aromatic, OrdCollection& atoms, OrdCollection& bonds);

    // Idealised coordinates in the z = 0 plane; out is replaced. A regular n-gon with sides of
    // bondLength, point k at angle k * 2pi/n clockwise from (0, radius, 0) seen from +z. False, out
    // untouched, for n below 3 or a bond length that is not positive and finite.
    static bool GetRingCoords(double bondLength, int n, Point3d::Array& out);
    // The ring whose size best fits radius; false with out emptied when the radius or the bond length
    // is not positive and finite, or the best size is below 3 or above MaxGeneratedPoints.
    static bool GetRingCoords(double bondLength, double radius, Point3d::Array& out);
    // A zigzag along +x with 120-degree angles from the origin, odd points at +0.5 bondLength in y.
    // False, out untouched, for n below 1 or a bond length that is not positive and finite.
    static bool GetChainCoords(double bondLength, int n, Point3d::Array& out);
    // The chain that best fills length; false with out emptied for fewer than 2 points, more than
    // MaxGeneratedPoints, or a bond length or length that is not finite (or a bond length not positive).
    static bool GetChainCoords(double bondLength, double length, Point3d::Array& out);
    static constexpr int MaxGeneratedPoints = 1 << 20;

    // Appends this atom's position, then each bonded atom's in bond order; returns out's size.
    int CollectPoints(Point3d::Array& out) const;
    // Whether this atom and four of its first five neighbours lie in a plane (within 0.2), trying the
    // neighbour sets {0,1,2,3}, {0,2,3,4}, {0,1,2,4}, {1,2,3,4}, {0,1,3,4}; with four bonds only the
    // first set, with fewer none.
    bool IsSquarePlanarGeometry() const;

    // Molecule membership: leaving (before the move) and "AtomAdded" (after it).
    void SetParent(TreeNode* parent) override;
    void SetParentAt(TreeNode* parent, int index) override;

protected:
    // Point k of n at angle k * step (accumulated by addition) clockwise from (0, radius, 0).
    static void AssignRingCoords(double radius, double step, int n, Point3d::Array& out);

    explicit Atom3d(Object* parent);

    // Crystal markers travel only with the atom's cell.
    std::span<const std::string_view> GetUserPropertiesLeftOutOfCopy() const override;
    // Also the formal charge's cells.
    void KeepOwnCellsArchived(Property& cells) const override;
    void DeepenShallowCopy() override;

    // By the stored hybridization (Sp, Sp2, Sp3) writes the directions into out (room for 4 points)
    // and sets count; any other code sets count 0.
    void GetValenceVectors(Point3d* out, int& count, bool skipHydrogens) const;
    void GetSPValenceVectors(Point3d* out, int& count, bool skipHydrogens) const;
    void GetSP2ValenceVectors(Point3d* out, int& count, bool skipHydrogens) const;
    void GetSP3ValenceVectors(Point3d* out, int& count, bool skipHydrogens) const;

    // From the first four neighbours: undetermined (0) when a neighbour is not an atom, a branch grows
    // beyond 255 nodes or a tie survives 39 levels; not a stereocentre (1) when two identical branches
    // are fully explored; else R or S from the three highest branches' bond vectors.
    virtual Chirality CalculateChirality() const;
    // 6 and 7 go to SetChiralityExt; any other code is kept in "Chirality".
    virtual void SetChirality(Chirality code);

    // Stores the element (the unknown element for null), clears donated lone pairs and raises
    // EventElementSet, also when the element did not change.
    virtual void SetElement(const Element* element);

private:
    friend struct AtomReading;

    // The formal charge numerator clamped to -2..2.
    std::int32_t ClampedCharge() const { return Clamped(GetFormalCharge()); }
    static std::int32_t Clamped(const Rational& charge) { return std::clamp(charge.GetNumerator(), -2, 2); }
    // Hybridization from the bonds in order: Sp at a triple bond, Sp2 at an aromatic one (the first
    // decides), else PerceiveRequest with the double and partial double bonds counted in doubles.
    static HybridizationType ScanBond(Bond::BondType type, int& doubles)
    {
        switch (type) {
        case Bond::Triple: return Sp;
        case Bond::Aromatic: return Sp2;
        case Bond::PartialDouble:
        case Bond::Double: ++doubles; break;
        default: break;
        }
        return PerceiveRequest;
    }
    // Hybridization of an atom of the element when no bond decided it; nitrogenPlusOne: a nitrogen of
    // formal charge 1/1.
    HybridizationType HybridizationByCount(int doubles, ElementType element, bool nitrogenPlusOne) const
    {
        const int bonds = GetNumBonds();
        if (doubles == 1)
            return element == 16 ? Sp3 : Sp2;
        if (doubles == 2 && bonds == 2)
            return Sp;
        if (doubles >= 2 && bonds == 3)
            return Sp2;
        // Nitrogen next to an Sp2 atom (amide, aniline) is Sp2 itself; no other element takes a
        // neighbour's.
        if (element == 7 && (nitrogenPlusOne || HasSp2Neighbour()))
            return nitrogenPlusOne ? Sp3 : Sp2;
        switch (bonds) {
        case 5: return TrigonalBipyramid;
        case 6: return Octahedral;
        case 7: return PentagonalBipyramid;
        default: return Sp3;
        }
    }
    // Whether a bonded atom is stored as Sp2.
    bool HasSp2Neighbour() const;
    // The formal charge of the two user properties, 0/1 without them.
    Rational StoredFormalCharge() const;
    // GetValenceUsed from the sum of the bonds' valence contributions, taken in bond order. A bond
    // order no type sets (stored by value, or read from an older file) can take the sum past the
    // 32-bit range: it saturates there, and a sum that is not a number counts 0.
    static std::int32_t ValenceUsed(double sum)
    {
        constexpr double lowest = std::numeric_limits<std::int32_t>::min();
        constexpr double highest = std::numeric_limits<std::int32_t>::max();
        return std::isnan(sum) ? 0 : static_cast<std::int32_t>(std::clamp(sum + 0.9, lowest, highest));
    }
    // A count computed in 64 bits from such a valence or a stored charge: at least 0, at most the
    // 32-bit maximum.
    static std::int32_t CountOf(std::int64_t count)
    {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(count, 0, std::numeric_limits<std::int32_t>::max()));
    }
    // GetNumHydrogensToAdd from the clamped charge and GetValenceUsed.
    std::int32_t HydrogensToAdd(std::int32_t clampedCharge, std::int32_t valenceUsed) const
    {
        return CountOf(std::int64_t{clampedCharge} - valenceUsed + ElementRecord().GetCommonOxidationState());
    }
    // Writes the raw vectors of the first count bonds (hydrogens skipped when asked), sets first to
    // the first neighbour written and returns how many directions are already taken.
    int TakenDirections(Point3d* out, int count, bool skipHydrogens, const Bondable*& first) const;
    // Sp2 and Sp3 with one neighbour: templates turned to point template 0 at it, trans to its
    // other substituent.
    void OrientTemplates(Point3d* templates, int count, const Bondable& neighbour) const;

    // The element: every constructor sets one.
    const Element& ElementRecord() const { return *Element::FromHandle(m_element); }
    static float Factor(std::uint8_t percent) { return static_cast<float>(percent) * 0.01f; }
    // The rounded percentage, clamped to 0 to 255; false for a factor that is not a number.
    static bool Percent(float factor, std::uint8_t& percent);
    void SetPercent(std::uint8_t& field, float factor, const char* attribute);
    // The public constructors' common part.
    void Initialize(Object* parent, const Element* element);
    // A constructor's first element, the unknown one, set where no one can hear it.
    void TakeUnknownElement();
    template <class Move>
    void MoveAnnounced(TreeNode* parent, Move&& move);

    static inline std::uint8_t s_cpkDefault = 100;
    static inline std::uint8_t s_ballDefault = 40;
    static inline std::uint8_t s_stickDefault = 20;

    std::uint8_t m_hybridization = 0;
    std::uint8_t m_cpkPercent = s_cpkDefault;
    std::uint8_t m_ballPercent = s_ballDefault;
    std::uint8_t m_stickPercent = s_stickDefault;
    float m_charge = 0.0f;
    std::uint32_t m_element = 0;  // the element's handle (a pointer would cost a padded 8 bytes)
};

} // namespace Tavrel
