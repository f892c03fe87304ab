// AminoAcidChain: a protein chain of amino acids.
#pragma once

#include <tavrel/chemistry/Chain.h>

namespace Tavrel {

// Created by the residue pool for chains of its residue kind; nothing of its own yet beyond Chain.
class AminoAcidChain : public Chain {
    TAVREL_DECLARE_CLASS(AminoAcidChain, Chain)
public:
    explicit AminoAcidChain(Object* parent);

protected:
    AminoAcidChain();
    AminoAcidChain(const AminoAcidChain& other) = default;
};

} // namespace Tavrel
