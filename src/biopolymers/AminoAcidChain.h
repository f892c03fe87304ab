// AminoAcidChain: a protein chain of amino acids.
#pragma once

#include <tavrel/chemistry/Chain.h>

namespace Tavrel {

// Created by the residue pool for chains of its residue kind; nothing of its own yet beyond Chain.
class AminoAcidChain : public Chain {
    TAVREL_CLASS(AminoAcidChain, Chain, Creatable)
public:
    explicit AminoAcidChain(Object* parent);
};

} // namespace Tavrel
