// Bond: the model object joining two bondable ends, with its type, order, wedge and ring flag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Bondable;
class PropertyArchive;

// A bond lives under the nearest common ancestor of its ends and is listed in both ends' bond arrays;
// deleting either end deletes it. It is selected once both ends are selected (see
// Bondable::Select). Bonds are made through Bondable::MakeBond.
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

    // The conformer index kept in the user property "_~bci~_"; -1 when absent.
    void SetConformerIndex(std::int32_t index);
    std::int32_t GetConformerIndex() const;
    bool HasConformers() const;
    void ClearConformerIndex();

    // Deletes a loaded bond whose ends are missing or the same, else makes sure both ends list it.
    void FinishLoading(std::uint32_t schema) override;

protected:
    friend class Bondable;

    explicit Bond(Object* parent);
    // Under the ends' nearest common ancestor; both ends non-null and distinct.
    Bond(Bondable* atom1, Bondable* atom2, BondType type);
    Bond(Object* parent, Bondable* atom1, Bondable* atom2, BondType type);

    // A bond is copied only inside a copy that holds it and both its ends.
    bool CanShallowCopy() const;
    void DeepenShallowCopy() override;

    // The order a named type sets; other codes keep the order.
    void SetOrder(BondType type);

private:
    void Link(BondType type);
    // Both ends set and distinct.
    bool HasEnds() const { return m_atom1 && m_atom2 && m_atom1 != m_atom2; }

    Bondable* m_atom1 = nullptr;
    Bondable* m_atom2 = nullptr;
    BondType m_type = Ionic;
    WedgeType m_wedge = 0;
    float m_order = 1.0f;
    bool m_inRing = false;
    Uncopied<bool> m_reading;  // between the start and the end of its record on load
};

} // namespace Tavrel
