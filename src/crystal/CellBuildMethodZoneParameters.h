// CellBuildMethodZoneParameters: the parameters of the "Zone" build method: images within a radius of zone points.
#pragma once

#include <tavrel/core/Point3d.h>
#include <tavrel/crystal/CellBuildMethodParameters.h>

namespace Tavrel {

class CellBuildMethodZoneParameters : public CellBuildMethodParameters {
public:
    static constexpr char methodName[] = "Zone";

    CellBuildMethodZoneParameters() : CellBuildMethodParameters(methodName) {}
    CellBuildMethodZoneParameters(double pRadius, const Point3d::Array& pPoints, double pTolerance, bool pComputeBonds);
    CellBuildMethodZoneParameters(const CellBuildMethodZoneParameters& other);
    CellBuildMethodZoneParameters& operator=(const CellBuildMethodZoneParameters& other);

    bool GetComputeBonds() const override { return computeBonds; }
    // Replaces the zone points by copies of the given ones.
    void AssignPoints(const Point3d::Array& newPoints);

    double radius = 10.0;
    Point3d::Array points;
    double tolerance = 0.001;
    bool computeBonds = false;
    // Each image is shown with the rest of its residue.
    bool connectivity = false;
};

} // namespace Tavrel
