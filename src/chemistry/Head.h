// Head: the pseudo-atom that marks the head of a chain.
#pragma once

#include <string>

#include <tavrel/chemistry/PseudoAtom.h>

namespace Tavrel {

// Labelled "J2" and green when made by the host; draws the tag "Head".
class Head : public PseudoAtom {
    TAVREL_CLASS(Head, PseudoAtom, Creatable)
public:
    explicit Head(Object* parent);

    // "Head".
    std::string GetCommonName() const override;
    using PseudoAtom::UpdateHydrogens;
    virtual std::int32_t UpdateHydrogens(HydrogenSet) { return 0; }

protected:
    std::string GetTagText() const override;
};

} // namespace Tavrel
