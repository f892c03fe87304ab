// PseudoAtom: what the head, tail and R-group markers share: an atom without chemistry that shows a tag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/chemistry/Atom3d.h>

namespace Tavrel {

// Not a class level of its own: the markers' run-time classes derive from Atom3d's. The element is the
// unknown element; changes of element and hybridization are ignored; no hydrogens, valence,
// hybridization or chirality. The element symbol is the label.
class PseudoAtom : public Atom3d {
public:
    // The stored label, else the common name (never the default label, which is built from it).
    std::string GetElementSymbol() const override;
    void SetElement(ElementType) override {}
    void SetElement(std::string_view) override {}
    void SetHybridization(HybridizationType) override {}
    HybridizationType GetHybridization() const override { return HybridNone; }
    HybridizationType PerceiveHybridization() const override { return HybridNone; }
    float GetMass() const override { return 0.1f; }
    std::int32_t GetValence() const override { return 0; }
    std::int32_t GetNumHydrogens() const override { return 0; }
    Chirality GetChirality(bool) override { return NotStereocentre; }
    std::int32_t GetHydrogens(BaseCollection&) const override { return 0; }
    std::int32_t UpdateHydrogens(HydrogenSet, bool) override { return 0; }
    void RemoveHydrogens(HydrogenSet) override {}
    using Atom3d::GetValenceSproutVectors;
    virtual std::int32_t GetValenceSproutVectors() const { return 0; }

protected:
    PseudoAtom() = default;
    // An atom of the unknown element under parent; the second form then takes the label and colour.
    explicit PseudoAtom(Object* parent);
    PseudoAtom(Object* parent, std::string_view label, const Color& color);
    PseudoAtom(const PseudoAtom& other) = default;

    void SetElement(const Element*) override {}
    // The atom, then its tag in the large font at the annotation point.
    void NormalDisplay(DisplayList3D& list) override;
    // The text drawn next to the marker.
    virtual std::string GetTagText() const = 0;
};

} // namespace Tavrel
