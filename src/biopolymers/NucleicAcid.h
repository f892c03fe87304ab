// NucleicAcid: a nucleotide residue of a nucleic-acid chain, with its named atoms and base class.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/core/SmallString.h>

namespace Tavrel {

class Atom3d;

// Created by the residue pool for templates of its kind. The chain displays find its sugar, base and
// phosphate atoms through it: each getter gives the first Atom3d child with the exact label, the sugar
// atoms trying "C1'", "C1*" and "C1P" (and so on) in that order. It keeps a colour-scheme name,
// persisted after Residue's as "NucleicAcid Color Scheme" (stored on loading, not applied); the
// framework archive appends it from object schema 2 on. A copy takes the name.
class NucleicAcid : public Residue {
    TAVREL_CLASS(NucleicAcid, Residue, Creatable)
public:
    explicit NucleicAcid(Object* parent);

    // Types 21 and 22 (adenine and guanine in any of their forms).
    bool IsPurine() const;
    // Types 23, 24 and 25 (thymine, cytosine, uracil). Modified nucleotides are neither.
    bool IsPyrimidine() const;

    Atom3d* GetC1Prime() const;
    Atom3d* GetC2Prime() const;
    Atom3d* GetC3Prime() const;
    Atom3d* GetC4Prime() const;
    Atom3d* GetO4Prime() const;
    Atom3d* GetC5Prime() const;
    Atom3d* GetC1() const;
    Atom3d* GetC2() const;
    Atom3d* GetC3() const;
    Atom3d* GetC4() const;
    Atom3d* GetC5() const;
    Atom3d* GetC6() const;
    Atom3d* GetC8() const;
    Atom3d* GetN1() const;
    Atom3d* GetN3() const;
    Atom3d* GetN7() const;
    Atom3d* GetN9() const;
    Atom3d* GetP() const;

    // The annotation point of the "P" child (else of the first child, else the origin), moved by
    // (0.5, 0.3, 0).
    Point3d GetAnnotationXYZ() const override;

    std::string GetColorScheme() const override { return std::string(m_colorScheme.View()); }
    // The classes of the ancestors below the root; returns the array's count.
    std::int32_t GetColorSchemes(std::vector<std::string>& schemes) const override;
    // Keeps the name; a non-empty one is applied as Object's schemes apply it.
    void SetColorScheme(std::string_view name) override;

private:
    // The first Atom3d child with one of the labels, tried in order.
    Atom3d* FindAtom(std::initializer_list<std::string_view> labels) const;

    SmallString m_colorScheme;
};

} // namespace Tavrel
