// AminoAcid: an amino-acid residue of a protein chain, with its secondary structure and backbone atoms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/core/SmallString.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Atom3d;

// Created by the residue pool for templates of its kind. It keeps the secondary-structure class in
// use (the environment), a class supplied from outside that can replace it, and a colour-scheme
// name. Backbone atoms are not stored: each lookup takes the first Atom3d child with the exact label.
// Persisted after Residue's as "AminoAcid Secondary Structure", "AminoAcid Color Scheme" and
// "AminoAcid External Secondary Structure"; the framework archive appends the environment and,
// from object schema 2 on, the scheme name. A copy takes both classes; its scheme name starts empty.
class AminoAcid : public Residue {
    // The text interface adds "Secondary" (the environment's word, "Coil", "Helix", "Sheet" or
    // "Turn", any case when set) to Residue's names.
    TAVREL_CLASS(AminoAcid, Residue, Creatable)
public:
    // Stored as 32-bit integers; a code read from a file may lie outside them and counts as coil.
    enum SecondaryStructure : std::int32_t { Coil = 0, Helix = 1, Sheet = 2, Turn = 3 };

    explicit AminoAcid(Object* parent);

    SecondaryStructure GetEnvironment() const { return m_environment; }
    // Raises Object's EventPropertySet, with no attribute and no data.
    void SetEnvironment(SecondaryStructure environment);
    SecondaryStructure GetExternalEnvironment() const { return m_externalEnvironment; }
    // No event.
    void SetExternalEnvironment(SecondaryStructure environment) { m_externalEnvironment = environment; }
    // Takes the external class when it differs from the one in use (SetEnvironment); else nothing.
    void UseExternalEnvironment();

    // Backbone atoms; null when absent. The oxygen is "O", else "O1"; the hydrogen "HN", else "H".
    Atom3d* GetCAlpha() const;
    Atom3d* GetCBeta() const;
    Atom3d* GetAmideNitrogen() const;
    Atom3d* GetAmideCarbon() const;
    Atom3d* GetAmideOxygen() const;
    Atom3d* GetAmideHydrogen() const;
    // The amide hydrogen's position; without one, the point 1.0 from the nitrogen on the bisector
    // opposite its first two bonded atoms. False, with out unchanged, without a nitrogen, with fewer
    // than two bonds on it, or when those two lie in opposite directions (no bisector).
    bool GetAmideHydrogenPosition(Point3d& out) const;

    // Colour schemes: "Residue", "Hydrophobicity", "pKa" and "CAlpha", then the parents' classes.
    std::string GetColorScheme() const override { return std::string(m_colorScheme.Get().View()); }
    std::int32_t GetColorSchemes(std::vector<std::string>& schemes) const override;
    // Keeps the name; an empty one changes nothing else. "Secondary Type" and "Custom" leave the
    // colour to others; "Hydrophobicity" (red-white-blue over -4.5..4.5), "Residue" (the template's
    // colour), "pKa" (blue-white-red over 0..14, white for a pKa of 0) and "CAlpha" (the "CA" atom's
    // colour, kept without one) colour the residue; other names go to Object's schemes.
    void SetColorScheme(std::string_view name) override;

    // The annotation point of the "CA" child (else of the first child, else the origin), moved by
    // (0.5, 0.3, 0).
    Point3d GetAnnotationXYZ() const override;
    // While displayed: two unlit points of colour 0 at the maximum and then the minimum corner of the
    // positions of the Geometric descendants; nothing without any.
    void DisplayExtents(DisplayList3D& list) override;

private:
    SecondaryStructure m_environment = Coil;
    SecondaryStructure m_externalEnvironment = Coil;
    Uncopied<SmallString> m_colorScheme;
};

} // namespace Tavrel
