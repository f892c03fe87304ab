// NucleicAcid: a nucleotide residue of a nucleic-acid chain.
#pragma once

#include <tavrel/biopolymers/Residue.h>

namespace Tavrel {

// Created by the residue pool for templates of its kind; nothing of its own yet beyond Residue.
class NucleicAcid : public Residue {
    TAVREL_CLASS(NucleicAcid, Residue, Creatable)
public:
    explicit NucleicAcid(Object* parent);
};

} // namespace Tavrel
