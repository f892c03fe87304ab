// Tail: the pseudo-atom that marks the tail of a chain.
#pragma once

#include <string>

#include <tavrel/chemistry/PseudoAtom.h>

namespace Tavrel {

// Labelled "J1" and green when made by the host; draws the tag "Tail".
class Tail : public PseudoAtom {
    TAVREL_CLASS(Tail, PseudoAtom, Creatable)
public:
    explicit Tail(Object* parent);

    // "Tail".
    std::string GetCommonName() const override;

protected:
    std::string GetTagText() const override;
};

} // namespace Tavrel
