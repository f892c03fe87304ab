// CellBuildMethodZone: the "Zone" build method: the images of every atom that lie within a radius of any zone point.
#pragma once

#include <tavrel/crystal/CellBuildMethodZoneParameters.h>
#include <tavrel/symmetry_build/CellBuildMethod.h>

namespace Tavrel {

// A negative or non-finite radius, no zone point, or more than MaxImageKeys keys gives no results.
class CellBuildMethodZone final : public CellBuildMethodWith<CellBuildMethodZoneParameters> {
public:
    using CellBuildMethodWith::CellBuildMethodWith;

    std::unique_ptr<BuildResults> Run(const AsymmetricUnit& unit) override;
};

} // namespace Tavrel
