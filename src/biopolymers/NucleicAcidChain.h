// NucleicAcidChain: a DNA or RNA strand, drawn as an arrow or tube backbone with ladder or ring bases.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/chemistry/Chain.h>

namespace Tavrel {

class NucleicAcid;

// Its residues are the NucleicAcid children, in child order; every display walks them so and skips
// those without a C3' atom. The display style combines a backbone through the C3' atoms with a base
// representation:
//
//   style  0     1       2       3       4      5      6      other
//   bone   none  arrows  arrows  arrows  tubes  tubes  tubes  arrows
//   bases  none  ladder  rings   none    ladder rings  none   ladder
//
// A selected residue draws its pieces in the selection colour; otherwise the backbone and the sugar
// take the chain's colour, rungs and base rings the residue's.
//
// Persisted after Chain's as "NucleicAcid Color Scheme" (stored on loading, not applied) and "NA Tube
// Radius" (0.7; a radius that is not finite and above 0 is not taken, from the setter or a file
// alike). The framework archive appends the scheme name from object schema 2 on; the radius travels in
// the property stream only. A copy takes both.
class NucleicAcidChain : public Chain {
    TAVREL_CLASS(NucleicAcidChain, Chain, Creatable)
public:
    // The representation the drawing operations take: solid (normal display) or lines (fast).
    enum Representation : std::int32_t { Solid = 0, Lines = 1 };
    // The pieces SpecifyDisplayStylePiece combines.
    enum StylePiece : std::int32_t {
        NoPieces = 0,
        ArrowsBackbone = 1,
        TubesBackbone = 2,
        NoBases = 3,
        LadderBases = 4,
        RingBases = 5,
    };

    explicit NucleicAcidChain(Object* parent);

    virtual float GetTubeRadius() const { return m_tubeRadius; }
    // Not taken unless finite and above 0 (IsDisplaySize).
    virtual void SetTubeRadius(float radius);

    std::string GetColorScheme() const override { return m_colorScheme; }
    // "Residue" and "Base Type", then the nucleotide's schemes; returns the array's count.
    std::int32_t GetColorSchemes(std::vector<std::string>& schemes) const override;
    // Keeps the name; an empty one changes nothing else. "Residue" gives each residue its template's
    // colour, "Base Type" purines red, pyrimidines blue and the others white (both compared without
    // regard to case); any other name is applied to the chain as Object's schemes apply it, and each
    // residue then takes the chain's colour.
    void SetColorScheme(std::string_view name) override;

    // Piece 0 clears the style. Pieces 1 to 5 swap the backbone or the bases of the current style:
    //   1 arrows:  0, 1, 6 -> 3; 4 -> 1; 5 -> 2     2 tubes:  1 -> 4; 2 -> 5; 0, 3 -> 6
    //   3 no bases: 1, 2 -> 3; 4, 5 -> 6            4 ladder: 0, 1, 2, 3 -> 1; 5, 6 -> 4
    //   5 rings:   0, 1, 3 -> 2; 4, 6 -> 5
    // leaving other styles as they are. Any other piece sets style 1.
    void SpecifyDisplayStylePiece(std::int32_t piece);

protected:
    // The backbone, then the bases of the style: solid in NormalDisplay, lines in FastDisplay.
    void NormalDisplay(DisplayList3D& list) override;
    void FastDisplay(DisplayList3D& list) override;

    // A flat arrow ribbon through the C3' atoms (nothing for fewer than three); its outline lines in
    // fast mode.
    virtual void DisplayDNAArrows(DisplayList3D& list, Representation representation);
    // A spline tube of the tube radius through the C3' atoms in normal mode, lines between them in
    // fast mode.
    virtual void DisplayDNATubes(DisplayList3D& list, Representation representation);
    // A rung from each base atom (N1 of a purine, else N3) to the C3' atom: a cylinder and a sphere at
    // the base, or a line.
    virtual void DisplayLadderTube(DisplayList3D& list, Representation representation);
    // Slabs over the six-membered base ring, the sugar ring and a purine's five-membered ring, each
    // when all its atoms exist, and a rod from the glycosidic nitrogen to C1'; solid or lines by the
    // list's mode.
    virtual void DisplayNARings(DisplayList3D& list, Representation representation);

private:
    void DisplayStyle(DisplayList3D& list, Representation representation);
    std::vector<NucleicAcid*> Residues() const;

    std::string m_colorScheme;
    float m_tubeRadius = 0.7f;
};

} // namespace Tavrel
