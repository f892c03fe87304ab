// CellBuildMethodDefaultParameters: the parameters of the "Default" build method, which builds whole fragments.
#pragma once

#include <tavrel/crystal/CellBuildMethodCommonParameters.h>

namespace Tavrel {

class CellBuildMethodDefaultParameters : public CellBuildMethodCommonParameters {
public:
    static constexpr char methodName[] = "Default";

    CellBuildMethodDefaultParameters() : CellBuildMethodCommonParameters(methodName) {}
    CellBuildMethodDefaultParameters(std::int32_t pMinA, std::int32_t pMinB, std::int32_t pMinC, std::int32_t pMaxA,
                                     std::int32_t pMaxB, std::int32_t pMaxC, double pTolerance, bool pComputeBonds)
        : CellBuildMethodCommonParameters(methodName, pMinA, pMinB, pMinC, pMaxA, pMaxB, pMaxC, pTolerance,
                                          pComputeBonds)
    {
    }

    // Places connected fragments (true) or the whole asymmetric unit per operation (false).
    bool connectedComponents = true;
};

} // namespace Tavrel
