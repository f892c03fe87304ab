// CellBuildMethodCommonParameters: the lattice-cell range, tolerance and bond switch the cell-range build methods share.
#pragma once

#include <cstdint>

#include <tavrel/crystal/CellBuildMethodParameters.h>

namespace Tavrel {

// Cells (a, b, c) with min <= a < max on each axis; by default the one cell (0, 0, 0).
class CellBuildMethodCommonParameters : public CellBuildMethodParameters {
public:
    explicit CellBuildMethodCommonParameters(const char* methodName) : CellBuildMethodParameters(methodName) {}
    CellBuildMethodCommonParameters(const char* methodName, std::int32_t pMinA, std::int32_t pMinB, std::int32_t pMinC,
                                    std::int32_t pMaxA, std::int32_t pMaxB, std::int32_t pMaxC, double pTolerance,
                                    bool pComputeBonds)
        : CellBuildMethodParameters(methodName), minA(pMinA), minB(pMinB), minC(pMinC), maxA(pMaxA), maxB(pMaxB),
          maxC(pMaxC), tolerance(pTolerance), computeBonds(pComputeBonds)
    {
    }

    bool GetComputeBonds() const override { return computeBonds; }

    std::int32_t minA = 0;
    std::int32_t minB = 0;
    std::int32_t minC = 0;
    std::int32_t maxA = 1;
    std::int32_t maxB = 1;
    std::int32_t maxC = 1;
    double tolerance = 0.001;
    bool computeBonds = false;
};

} // namespace Tavrel
