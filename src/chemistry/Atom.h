// Atom: the abstract atom, declaring the chemistry interface every concrete atom implements.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/chemistry/Bondable.h>
#include <tavrel/chemistry/Element.h>
#include <tavrel/core/AnisotropicDisplacement.h>
#include <tavrel/core/Rational.h>
#include <tavrel/core/LatticeOffset.h>

namespace Tavrel {

class OrdCollection;
class Property;
class PropertyArchive;

// Implements what does not depend on the atom's storage: the default label, the element change with
// its side effects, the donated-lone-pair mark, the crystallographic data, the text properties, the
// colour schemes and neutral crystal-symmetry answers. Optional data lives in user properties whose
// keys begin with an underscore.
class Atom : public Bondable {
    // Persists nothing of its own. The text interface adds "Element", "Hybridization",
    // "PartialCharge", "FormalCharge", "Chirality" (read-only), "Occupancy" (listed when set),
    // "Isotropic Displacement" (listed when set), "SymmetryLabel" (read-only, listed only inside a
    // crystal cell) and the atom words of "Style" (written only).
    TAVREL_CLASS(Atom, Bondable, DynamicOnly)
    TAVREL_EVENT_MASK_LEVEL()
public:
    // Event codes of the Atom level.
    static constexpr std::uint16_t EventDestroyed = 1;

    // Display style codes of atoms and bonds (the Object display style).
    enum DisplayStyle : std::int32_t {
        StyleNone = 0,
        StyleLine = 1,
        StyleStick = 2,
        StyleBallAndStick = 3,
        StyleCPK = 4,
        StylePolyhedron = 5,
        StyleLineSingle = 6,
        StyleStickSingle = 7,
        StyleBallAndStickSingle = 8,
        StyleScaledBallAndStick = 9,
        StyleScaledBallAndStickSingle = 10,
    };

    enum HybridizationType : std::int32_t {
        HybridNone = 0,
        Sp = 1,
        Sp2 = 2,
        Sp3 = 3,
        SquarePlanar = 4,
        TrigonalBipyramid = 5,
        SquarePyramid = 6,
        TrigonalAntiprism = 7,
        TrigonalPrism = 8,
        Octahedral = 9,
        PentagonalBipyramid = 10,
        SquareAntiprism = 11,
        PerceiveRequest = 12,  // SetHybridization perceives and stores the code; never stored
    };

    enum Chirality : std::int32_t {
        ChiralityUndetermined = 0,
        NotStereocentre = 1,
        ChiralityR = 2,
        ChiralityS = 3,
        ChiralityProR = 4,
        ChiralityProS = 5,
        ChiralityExtra6 = 6,
        ChiralityExtra7 = 7,
    };

    // User properties (longs): the last decided chirality code and the extra mark (6 or 7).
    static constexpr const char* ChiralityKey = "Chirality";
    static constexpr const char* ChiralityMarkKey = "ChiralityPlus";

    // The atoms whose hydrogens are edited: 0 atoms other than carbon, 1 carbon atoms, else all.
    enum HydrogenSet : std::int32_t { NonCarbonHydrogens = 0, CarbonHydrogens = 1, AllHydrogens = 2 };

    ~Atom() override;

    // Element and charges.
    virtual const Element* GetElement() const = 0;
    virtual std::string GetElementName() const = 0;
    virtual ElementType GetElementType() const = 0;
    virtual std::int32_t GetAtomicNumber() const = 0;
    virtual std::string GetElementSymbol() const = 0;
    bool CheckColorScheme(std::int32_t hint) const { return m_colorSchemeHint == hint; }
    virtual double GetCharge() const = 0;
    virtual void SetCharge(double charge) = 0;
    virtual float GetVDWRadius() const = 0;
    virtual float GetCovalentRadius() const = 0;
    virtual float GetBondingRadius() const = 0;
    virtual Rational GetFormalCharge() const = 0;
    virtual void SetFormalCharge(const Rational& charge) = 0;
    virtual void SetFormalCharge(std::int32_t numerator, std::int32_t denominator) = 0;
    virtual void SetElement(ElementType type) = 0;
    virtual void SetElement(std::string_view symbol) = 0;
    // The new element, its colour while the element scheme coloured the atom, the default label, no
    // formal charge, no donated lone pairs; a terminal atom moves along its bond to the sum of the
    // two covalent radii (not when it sits on its neighbour).
    virtual void ChangeElement(std::string_view symbol);
    virtual float GetMass() const = 0;

    // Hybridization.
    virtual void SetHybridization(HybridizationType type) = 0;
    virtual HybridizationType GetHybridization() const = 0;
    virtual HybridizationType PerceiveHybridization() const = 0;
    // The word of the perceived code; "None" for codes outside 1 to 11.
    std::string GetHybridizationAsString() const;
    static const char* GetHybridizationName(std::int32_t code);
    // Sets the code of a word of the hybridization table, ignoring case; any other word sets None.
    void SetHybridizationAsString(std::string_view word);

    // Chirality. The stereo assignment of a concrete atom overrides GetChirality (recalculate: decide
    // again and keep the result); an atom that does not decide is undetermined.
    virtual Chirality GetChirality(bool recalculate);
    // "?" undetermined, "" not a stereocentre, "R", "S", "ProR", "ProS"; "" for any other code.
    static const char* GetChiralityName(std::int32_t code);
    // The text of GetChirality (true), then "*" when the user property "ChiralityPlus" holds 6 and "?"
    // when it holds 7.
    std::string GetChiralityAsString();

    // Crystallographic data, kept in user properties that are absent at their defaults: the occupancy
    // ("_OCC", 1.0 when absent; "_HOC" marks that one was set), the isotropic displacement ("_IDP",
    // 0.0 when absent) and the anisotropic displacement, whose twelve keys "_ADPU11" ... "_ADPSU23"
    // are written and removed together (its presence is that of "_ADPU11").
    virtual bool HasOccupancy() const;
    virtual float GetOccupancy() const;
    // 1.0 removes "_OCC"; "_HOC" is set either way.
    virtual void SetOccupancy(float occupancy);
    virtual bool HasIsotropicDisplacement() const;
    virtual float GetIsotropicDisplacement() const;
    // 0.0 removes it.
    virtual void SetIsotropicDisplacement(float displacement);
    virtual void RemoveIsotropicDisplacement();
    virtual bool HasAnisotropicDisplacement() const;
    // A missing component reads 0.
    virtual AnisotropicDisplacement GetAnisotropicDisplacement() const;
    // U11, U22, U33, U12, U13, U23, then their six uncertainties; zeros are stored too.
    virtual void SetAnisotropicDisplacement(float u11, float u22, float u33, float u12, float u13, float u23,
                                            float sigu11, float sigu22, float sigu33, float sigu12, float sigu13,
                                            float sigu23);
    virtual void SetAnisotropicDisplacement(const AnisotropicDisplacement& displacement);
    virtual void RemoveAnisotropicDisplacement();

    // The donated-lone-pair mark, the user property "__nLP".
    bool HasDonatedLonePairs() const;
    void ClearDonatedLonePairs();
    void SetDonatedLonePairs();

    // Valence and hydrogens.
    virtual std::int32_t GetValenceUsed() const = 0;
    virtual std::int32_t GetValence() const = 0;
    virtual std::int32_t GetNumHydrogensToAdd() const = 0;
    virtual std::int32_t GetNumHydrogensToDelete() const = 0;
    virtual bool IsValenceSatisfied() const = 0;
    virtual std::int32_t GetNumHydrogens() const = 0;
    virtual std::int32_t GetHydrogens(BaseCollection& out) const = 0;
    virtual bool IsHeteroatom() const = 0;
    virtual bool IsHBondDonor() const = 0;
    virtual bool IsHBondAcceptor() const = 0;
    virtual std::int32_t GetNumLonePairs() const = 0;
    virtual std::int32_t UpdateHydrogens(HydrogenSet set, bool add) = 0;
    virtual void RemoveHydrogens(HydrogenSet set) = 0;
    virtual std::int32_t GetValenceSproutVectors(Point3d::Array& out) const = 0;

    // Display-size factors.
    virtual float GetCPKScale() const = 0;
    virtual void SetCPKScale(float scale) = 0;
    virtual float GetBallSize() const = 0;
    virtual void SetBallSize(float size) = 0;
    virtual float GetStickRadius() const = 0;
    virtual void SetStickRadius(float radius) = 0;

    // Crystal symmetry: a plain atom is neither periodic nor symmetric.
    virtual bool IsPeriodic() const { return false; }
    virtual bool IsSymmetric() const { return false; }
    virtual std::int16_t GetSymmetryOperator() const { return 0; }
    virtual LatticeOffset GetLatticeOffset() const { return {}; }

    // A new atom of the concrete kind under parent.
    virtual Atom* CreateNewAtom(Object* parent, ElementType type) = 0;

    // Bond perception and fusion. The bonding radius of an element is 0 for the metals that must not
    // bond by distance.
    // Bonds every atom below root (not root itself) to every atom within bonding distance, atoms taken
    // in tree pre-order and each one's neighbours in that order; the new bonds get the IDs 1, 2, 3 ...
    // in creation order. Existing bonds stay and are not counted. Returns the number of new bonds.
    static int ConstructBonds(Object* root);
    // A new Single bond to other when the distance is at most the sum of the two bonding radii and the
    // two are not bonded yet; else null. A position that is not finite never bonds.
    virtual Bond* ConditionalBondAtoms(Atom* other);
    // Appends to result, in breadth-first order, the atoms of this atom's bonded fragment closer than
    // tolerance to it; atoms of other fragments are never found.
    void FindOverlaps(double tolerance, OrdCollection& result);
    // When this atom carries hydrogens: bonds it, with a bond of the type, to each atom at most depth
    // bonds away that is not hydrogen, not bonded to it, carries hydrogens and lies within sqrt(1.2)
    // times the sum of the covalent radii; both ends then perceive their hybridization. With hydrogens,
    // both ends lose their hydrogens before the bond and get them back after. Atoms deleted meanwhile
    // are skipped.
    void FuseOverlaps(Bond::BondType type, int depth, bool hydrogens);
    // Places the fragment chain so that its atom at index (whose first neighbour is the atom to bond
    // here) lies on this atom, along this atom's first free valence direction, gives the fragment's
    // heavy atoms this atom's style, then merges that atom into this one: this atom takes its element
    // and its bonds. A hydrogen at index is moved but not merged. The merged atom and every other entry
    // deleted meanwhile leave chain. Nothing happens unless index names a bonded atom of chain.
    void FuseChain(OrdCollection& chain, float ignored, int index);
    // Takes over other's bonds and deletes it (Bondable::Fuse), first taking its element when asked.
    // When this atom carried hydrogens it loses them before the merge and gets them back after;
    // with perceive it perceives its hybridization after the merge. Nothing for null or itself.
    void MergeAtom(Atom* other, bool takeElement, bool perceive);

    // Display. The radius the display style gives the atom: stick radius (stick, polyhedron),
    // ball size (ball and stick), CPK scale times van der Waals radius (CPK), ball size times van der
    // Waals radius times 0.75 (scaled ball and stick); 0 for the line styles and any other code.
    virtual float GetDisplaySize() const;
    // 0.1 above the displayed atom along z.
    Point3d GetAnnotationXYZ() const override;

    // The stored label, else the default one.
    std::string GetLabel() const override;
    // The element symbol and the index among the parent's children plus 1.
    std::string DefaultLabel() const;

    // Colour schemes. Offered: "Element", "Parent Color", "Charge", "Isotropic Displacement" (when the
    // atom has one), then the parent's. SetColorScheme also takes "Chirality" (red R, blue S, yellow
    // undetermined, white otherwise), records which scheme coloured the atom (CheckColorScheme: 1 to
    // 5 in that order) and hands any other name to Object's (6).
    std::int32_t GetColorSchemes(std::vector<std::string>& schemes) const override;
    void SetColorScheme(std::string_view name) override;

    // "Occupancy" and "Isotropic Displacement" are described as floats ("pIsotropicDisplacement"),
    // "SymmetryLabel" also when empty; GetProperties lists them as texts, and only when set.
    ObjectProperty GetPropertyAsObjectProperty(std::string_view name) const override;

protected:
    explicit Atom(Object* parent);

    void SetColorSchemeHint(std::int32_t hint) { m_colorSchemeHint = static_cast<std::int8_t>(hint); }

    // The normal path: a sphere of the display size in the stick, ball and CPK styles; the
    // coordination polyhedron for a polyhedron-style atom with four bonds or more (else the sphere);
    // in the line styles a selection marker and, for an atom without visible bonds, a jack. The fast
    // path: the marker and the jack only. Selection colours the atom's primitives.
    void NormalDisplay(DisplayList3D& list) override;
    void FastDisplay(DisplayList3D& list) override;
    // The tetrahedra filling the convex shape of the neighbours' positions, when there are four or more.
    virtual void DisplayPolyhedron(const Color& color, std::uint32_t oid, DisplayList3D& list);
    // A file can mark cells temporary, which the next save drops: after a read that did, the cells of
    // the atom's own state (its crystallographic data) are kept archived.
    virtual void KeepOwnCellsArchived(Property& cells) const;

private:
    Color GetDisplayColor() const;
    // A jack where the atom stands when none of its bonds is drawn.
    void DisplayJackIfUnbonded(const Color& color, DisplayList3D& list) const;

    std::int8_t m_colorSchemeHint = 1;
};

} // namespace Tavrel
