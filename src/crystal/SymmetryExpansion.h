// SymmetryExpansion: the steps of a cell build that make the symmetry images of the asymmetric unit and remove atoms entered twice.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <tavrel/core/LatticeOffset.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/ImageGrid.h>

namespace Tavrel {

class Cell3d;
class CellReplicas;

// Fractional arithmetic is done in double precision; stored positions are floats. Two images
// coincide when their wrapped positions (each fractional coordinate x - floor(x)), shifted across the
// cell faces they lie within the edge tolerance of, are within the special-position tolerance
// (Cartesian). One image grid holds the wrapped images of the whole cell, so each test is a grid
// query and the expansion is linear in atoms times operators.
class SymmetryExpansion {
public:
    explicit SymmetryExpansion(CellReplicas& replicas);

    // Cell3d::DoTranslationalOverSpecified.
    bool DoTranslationalOverSpecified(Cell::AtomDataArray& list);
    // Cell3d::DoSymmetry.
    bool DoSymmetry(Cell::AtomDataArray& list);

    // A fractional or Cartesian point in double precision.
    using Vector = std::array<double, 3>;

private:
    // Operator j as u = p R + t on row vectors.
    struct Operator {
        double rotation[3][3];
        double translation[3];
    };

    Vector Apply(const Operator& op, const Vector& p) const;
    Point3d Cartesian(const Vector& f) const;
    static Vector Wrap(const Vector& u);
    // visit(tag) for every grid point within the special-position tolerance of the wrapped position,
    // shifted over the faces it lies near; false when a visit stopped the walk.
    template <class Visit>
    bool ForEachCoincident(const ImageGrid& grid, const Vector& wrapped, Visit&& visit) const;
    // A grid over the Cartesian box of the fractional cube [0, reach]^3, for about `points` points.
    ImageGrid GridOver(double reach, std::size_t points) const;

    CellReplicas& m_replicas;
    Cell3d& m_cell;
    double m_fracToCart[3][3];
    double m_specialTolerance;
    double m_edgeTolerance;
};

} // namespace Tavrel
