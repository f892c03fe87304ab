// NucleicAcidChain: a chain of nucleotides.
#pragma once

#include <tavrel/chemistry/Chain.h>

namespace Tavrel {

// Created by the residue pool for chains of its residue kind; nothing of its own yet beyond Chain.
class NucleicAcidChain : public Chain {
    TAVREL_CLASS(NucleicAcidChain, Chain, Creatable)
public:
    explicit NucleicAcidChain(Object* parent);
};

} // namespace Tavrel
