// AminoAcidChain: a protein chain of amino acids, with its secondary structure, display style and ribbon displays.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/chemistry/Chain.h>
#include <tavrel/core/Arrays.h>
#include <tavrel/foundation/Uncopied.h>
#include <tavrel/graphics/SecondaryColorScheme.h>

namespace Tavrel {

class AminoAcid;
class Event;
class OrdCollection;
class SecondaryStructureQueries;

// The chain decides which secondary structure its residues carry (predicted, or supplied from
// outside), keeps its display style in step with its residues' (8, mixed, when they differ), its
// colour scheme with the secondary-structure colouring of its second base, a display size, a
// disulfide switch, and the splines its ribbon displays draw from.
//
// Listener: one tree-wide registration on the chain itself, made by the first style change, by a
// copy and by a load, hears every event below the chain. A residue restyled apart makes the chain
// mixed (8), unless it is already; any other event but Object's and TreeNode's selection and display
// events marks the splines for regeneration. Residues cost nothing for it, residues added later are
// heard too, and no event mask that files store changes. It is not persisted: copying and loading
// make it again without restyling the residues, except that a framework record of a style other
// than 0 and 8 gives its style to the residues once more.
//
// Persisted after Chain's as "AminoAcid Has Secondary Structure", "AminoAcid Use External
// Environment", "AminoAcid Display Size", "AminoAcid Color Scheme", "AminoAcidChain Disulfide
// Display" and "Amino Acid Chain Secondary Color Scheme" (the four colours as a byte block). The
// framework archive appends the has-secondary-structure byte (object schema 3 on), the display size
// and the scheme name (schema 2 on).
//
// A copy takes the flags, display size, scheme, disulfide switch and secondary colours; its splines
// start empty and marked for regeneration.
class AminoAcidChain : public Chain, public SecondaryColorScheme {
    // The text interface adds the chain's "Style" words to Geometric's names.
    TAVREL_CLASS_CONSTRUCTED(AminoAcidChain, Chain, Creatable)
public:
    // Display styles, and their words in "Style".
    enum DisplayStyle : std::int32_t {
        StyleNone = 0,     // "None"
        RibbonLine = 1,    // "RibbonLine"
        RibbonFlat = 2,    // "RibbonFlat"
        RibbonTube = 3,    // "RibbonTube"
        CAlphaStick = 4,   // "CAlphaStick"
        Tube = 5,          // "Tube"
        Schematic = 6,     // "Schematic"
        CAlphaWire = 7,    // "CAlphaWire"
        Mixed = 8,         // the residues carry their own styles
    };
    // Lines (wire) or cylinders and spheres (any other value).
    enum RepresentationType : std::int32_t { Wire = 0, Stick = 1 };

    explicit AminoAcidChain(Object* parent);
    ~AminoAcidChain() override;

    // The answers the secondary-structure colouring asks for, to install at start-up.
    static const SecondaryStructureQueries& SecondaryQueries();

    // ---- Secondary structure

    bool HasSecondaryStructure() const { return GetSecondaryStructureDefined(); }
    void SetHasSecondaryStructure(bool has) { SetSecondaryStructureDefined(has); }
    // Predicts by method 0 without turns, marks the structure present, then SetDefaultRibbonSizes.
    void CalcSecondaryStructure();
    // Every AminoAcid child gets ribbon size 1.3 in a helix or sheet, else 0.225.
    void SetDefaultRibbonSizes();
    bool CheckUsingExternalEnvironment() const { return m_useExternalEnvironment; }
    // Once: every AminoAcid below takes its external class, the structure is present, and the
    // secondary colouring is applied again under the "Secondary Type" scheme.
    void UseExternalEnvironment();
    // Once: the structure is marked absent (the next display or colouring predicts it), and the
    // secondary colouring is applied again under the "Secondary Type" scheme.
    void UsePredictedEnvironment();
    // Loading a record of object schema below 10 sets the default ribbon sizes.
    virtual void PostProcess(bool isStoring, std::uint32_t schema);

    // ---- Display settings

    float GetDisplaySize() const { return m_displaySize; }
    // Marks the splines for regeneration. A size that is not finite and above 0 is not taken
    // (IsDisplaySize), from the setter or a file alike.
    void SetDisplaySize(float size);
    virtual bool GetDisulfideDisplay() const { return m_disulfideDisplay; }
    virtual void SetDisulfideDisplay(bool display) { m_disulfideDisplay = display; }
    // The style all AminoAcid descendants share; 8 when two differ or there is none.
    std::int32_t GetAminoAcidDisplayStyle() const;
    // Nothing for the current style. Otherwise a style other than 8 goes to every AminoAcid below,
    // and the listener is made. The four-argument form reaches the chain itself through this one.
    void SetDisplayStyle(std::int32_t style) override;
    using Chain::SetDisplayStyle;

    // ---- Colours

    std::string GetColorScheme() const override { return m_colorScheme; }
    // The scheme name all AminoAcid descendants share (compared without regard to case); empty when
    // two differ or there is none.
    std::string GetAminoAcidColorScheme() const;
    // The amino acid's schemes, then "Secondary Type".
    std::int32_t GetColorSchemes(std::vector<std::string>& schemes) const override;
    // Keeps the name. "Secondary Type" colours the residues by their secondary structure and clears
    // their scheme names; any other name goes to every AminoAcid below.
    void SetColorScheme(std::string_view name) override;
    // The chain's colour, then every AminoAcid's below.
    void SetColor(const Color& color) override;
    void GetSecondaryColors(Color& coil, Color& helix, Color& sheet, Color& turn) const;
    // Applied at once under the "Secondary Type" scheme.
    void SetSecondaryColors(const Color& coil, const Color& helix, const Color& sheet, const Color& turn);

    // ---- Structure

    // Moves aa into the chain just after the child that holds `after` (which must lie below the
    // chain), or first without `after`. False for a null aa or when it was not inserted.
    bool InsertAminoAcid(AminoAcid* aa, AminoAcid* after);
    // Whether the first atom of the last AminoAcid child is reached from the first atom of the first
    // through covalent bonds, without crossing a cysteine's "SG". False without amino acids or when
    // either residue has no atom.
    bool IsContinuous() const;
    // Filters the collection in place to its amino acids (n of them) and writes their backbone
    // torsions in degrees (0 where an atom is missing, and phi of the first, psi of the last); the
    // arrays grow to n elements when shorter, never shrink.
    static void CalculatePhiPsi(OrdCollection& residues, DoubleArray& phi, DoubleArray& psi);
    // Whether every (also: when there is none) or any AminoAcid below is selected.
    bool CheckAllAminoAcidsSelected() const;
    bool CheckAnyAminoAcidSelected() const;

    // ---- Display

    // While active: takes the residues' shared style and, without a scheme, "Secondary Type"; then
    // the normal path in normal mode, the fast path in fast mode.
    void Display(DisplayList3D& list) override;
    // A C-alpha trace over the residues (those without a C-alpha skipped), then the disulfides of the
    // matching style when the switch is on. The runs of a chain trace their residues and draw the
    // disulfides once for all of them.
    virtual void DisplayCAlpha(DisplayList3D& list, RepresentationType representation,
                               std::span<AminoAcid* const> residues);
    // Ribbons over the current splines: a solid slab, a flat two-sided sheet, five lines.
    virtual void DisplayTubeRibbon(DisplayList3D& list);
    virtual void DisplayFlatRibbon(DisplayList3D& list);
    virtual void DisplayLineRibbon(DisplayList3D& list);
    // Helix cylinders, sheet arrows and coil tubes over the AminoAcid children.
    virtual void DisplaySchematic(DisplayList3D& list);
    // A spline tube through the C-alpha atoms (normal mode), else half lines between them.
    virtual void DisplayTube(DisplayList3D& list, std::span<AminoAcid* const> residues);
    // C-alpha links of the disulfide bonds under the chain and (first atom in this chain) under its
    // parent, between residues of the given style.
    virtual void DisplayDisulfides(DisplayList3D& list, std::int32_t style, RepresentationType representation);

    // The whole chain's splines, when marked for regeneration.
    void GenerateSplines();
    // The splines of a residue sequence: five guide lines across the ribbon, one point per step
    // between consecutive C-alpha atoms, interpolated by the shared cubic sampler; predicts the
    // secondary structure first when the chain has none.
    void GenerateSplines(std::span<AminoAcid* const> residues);
    void GenerateNormals();
    // The runs of residues sharing a style, each drawn in it.
    void DisplayAminoAcidsNormally(DisplayList3D& list);
    void DisplayAminoAcidsQuickly(DisplayList3D& list);

    // Set by anything that invalidates the splines; cleared when the whole chain's are made.
    bool SplinesNeedRegeneration() const { return m_splinesDirty.Get(); }

    // Loading from the property stream: the default ribbon sizes of old records and the listeners,
    // once the tree is read.
    void FinishLoading(std::uint32_t schema) override;

protected:
    // The tree's deepening, then the listeners.
    void DeepenShallowCopy() override;
    void NormalDisplay(DisplayList3D& list) override;
    void FastDisplay(DisplayList3D& list) override;

private:
    struct Splines;

    static void OnTreeEvent(Event& event);
    // The tree-wide listener (once registered it stays).
    void WireListeners();
    // After a framework record: its style (other than 0 and 8) goes to the residues again, and the
    // listeners are made.
    void RestyleLoaded();

    Splines& GetSplines();
    // The flat (open) or tube (closed) ribbon over lines 0 and 4: faces lifted along and dropped
    // against the normals.
    void AddRibbonMesh(DisplayList3D& list, double lift, double drop, bool closed);
    // The C-alpha trace alone.
    void TraceAlphas(DisplayList3D& list, RepresentationType representation,
                     std::span<AminoAcid* const> residues) const;
    // Draws the runs: normal or fast. The disulfides of the traced runs are drawn once, after them.
    void DisplayRuns(DisplayList3D& list, bool normal);
    // The mesh colour and pick identifier of spline point j.
    Color PointColor(std::size_t j) const;
    std::uint32_t PointOID(std::size_t j) const;

    bool m_useExternalEnvironment = false;
    bool m_disulfideDisplay = true;
    Uncopied<bool, true> m_splinesDirty;
    float m_displaySize = 1.0f;
    std::string m_colorScheme;
    Uncopied<std::unique_ptr<Splines>> m_splines;
};

} // namespace Tavrel
