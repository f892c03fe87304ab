// AminoAcid: an amino-acid residue of a protein chain.
#pragma once

#include <tavrel/biopolymers/Residue.h>

namespace Tavrel {

// Created by the residue pool for templates of its kind; nothing of its own yet beyond Residue.
class AminoAcid : public Residue {
    TAVREL_CLASS(AminoAcid, Residue, Creatable)
public:
    explicit AminoAcid(Object* parent);
};

} // namespace Tavrel
