// CellBuildMethodOriginalParameters: the parameters of the "Original" build method.
#pragma once

#include <tavrel/crystal/CellBuildMethodCommonParameters.h>

namespace Tavrel {

class CellBuildMethodOriginalParameters : public CellBuildMethodCommonParameters {
public:
    static constexpr char methodName[] = "Original";

    CellBuildMethodOriginalParameters() : CellBuildMethodCommonParameters(methodName) {}
    CellBuildMethodOriginalParameters(std::int32_t pMinA, std::int32_t pMinB, std::int32_t pMinC, std::int32_t pMaxA,
                                std::int32_t pMaxB, std::int32_t pMaxC, double pTolerance, bool pComputeBonds)
        : CellBuildMethodCommonParameters(methodName, pMinA, pMinB, pMinC, pMaxA, pMaxB, pMaxC, pTolerance,
                                          pComputeBonds)
    {
    }
};

} // namespace Tavrel
