#include <tavrel/crystal/CellBuildMethodZoneParameters.h>

namespace Tavrel {

CellBuildMethodZoneParameters::CellBuildMethodZoneParameters(double pRadius, const Point3d::Array& pPoints,
                                                             double pTolerance, bool pComputeBonds)
    : CellBuildMethodParameters(methodName), radius(pRadius), tolerance(pTolerance), computeBonds(pComputeBonds)
{
    AssignPoints(pPoints);
}

CellBuildMethodZoneParameters::CellBuildMethodZoneParameters(const CellBuildMethodZoneParameters& other)
    : CellBuildMethodParameters(other), radius(other.radius), tolerance(other.tolerance),
      computeBonds(other.computeBonds), connectivity(other.connectivity)
{
    AssignPoints(other.points);
}

CellBuildMethodZoneParameters& CellBuildMethodZoneParameters::operator=(const CellBuildMethodZoneParameters& other)
{
    if (this != &other) {
        CellBuildMethodParameters::operator=(other);
        radius = other.radius;
        tolerance = other.tolerance;
        computeBonds = other.computeBonds;
        connectivity = other.connectivity;
        AssignPoints(other.points);
    }
    return *this;
}

void CellBuildMethodZoneParameters::AssignPoints(const Point3d::Array& newPoints)
{
    if (&newPoints != &points)
        points.assign(newPoints.begin(), newPoints.end());
}

} // namespace Tavrel
