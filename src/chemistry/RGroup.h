// RGroup: the pseudo-atom that holds the place of a numbered substituent.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/chemistry/PseudoAtom.h>

namespace Tavrel {

// The n-th R-group under a parent is labelled "Rn", has the ID n and is white; it draws its label.
// It carries no charge: charges set are ignored.
class RGroup : public PseudoAtom {
    TAVREL_CLASS(RGroup, PseudoAtom, Creatable)
public:
    // n counts the R-groups under the parent, this one included; 1 without a parent.
    explicit RGroup(Object* parent);

    // "RGroup".
    std::string GetCommonName() const override;
    double GetCharge() const override { return 0.0; }
    void SetCharge(double) override {}
    Rational GetFormalCharge() const override { return {0, 1}; }
    void SetFormalCharge(const Rational&) override {}
    void SetFormalCharge(std::int32_t, std::int32_t) override {}

protected:
    std::string GetTagText() const override;
};

} // namespace Tavrel
