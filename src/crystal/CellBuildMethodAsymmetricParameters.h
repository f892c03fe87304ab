// CellBuildMethodAsymmetricParameters: the parameters of the "Asymmetric" build method.
#pragma once

#include <tavrel/crystal/CellBuildMethodParameters.h>

namespace Tavrel {

class CellBuildMethodAsymmetricParameters : public CellBuildMethodParameters {
public:
    static constexpr char methodName[] = "Asymmetric";

    CellBuildMethodAsymmetricParameters() : CellBuildMethodParameters(methodName) {}
    CellBuildMethodAsymmetricParameters(double pTolerance, bool pComputeBonds)
        : CellBuildMethodParameters(methodName), tolerance(pTolerance), computeBonds(pComputeBonds)
    {
    }

    bool GetComputeBonds() const override { return computeBonds; }

    double tolerance = 0.001;
    bool computeBonds = false;
};

} // namespace Tavrel
