// SymmetryExpansion: the steps of a cell build that make the symmetry images of the asymmetric unit and remove atoms
// entered twice.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <tavrel/core/LatticeOffset.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/ImageGrid.h>
#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

class Cell3d;
class CellReplicas;

// Fractional arithmetic is done in double precision; stored positions are floats. Two images
// coincide when their wrapped positions (each fractional coordinate x - floor(x)), shifted across the
// cell faces they lie within the edge tolerance of, are within the special-position tolerance
// (Cartesian). An atom that coincides with an image of an earlier atom goes. For an operator whose
// inverse is among the operators (up to a lattice translation), such an earlier atom lies near the
// atom's image by that inverse: a grid of the earlier atoms alone, as many points as atoms, is asked
// with the atom's images and each atom found is tested exactly as above. The images by any other
// operator are kept in a grid of their own. Each test is a grid query and the expansion is linear in
// atoms times operators, with a working set that grows with the atoms only.
class SymmetryExpansion {
public:
    explicit SymmetryExpansion(CellReplicas& replicas);

    // Cell3d::DoTranslationalOverSpecified. Afterwards no record whose atom it kept lies within the
    // tolerance of an earlier record (unshifted), which DoSymmetry on the same records, or on those
    // kept, relies on unless told otherwise.
    bool DoTranslationalOverSpecified(Cell::AtomDataArray& list);
    // The list to expand is not the one DoTranslationalOverSpecified checked (gathered again).
    void ForgetTranslationalCheck() { m_translationsChecked = false; }
    // Cell3d::DoSymmetry.
    bool DoSymmetry(Cell::AtomDataArray& list);
    // Whether an atom DoSymmetry kept held a bond, or a callback has run since it looked: otherwise
    // no atom of its list has a bond for the bond step to image.
    bool MayHoldBonds() const { return m_bondsSeen || TreeNode::GetCallbacksRun() != m_bondsLooked; }

    // A fractional or Cartesian point in double precision.
    using Vector = std::array<double, 3>;

private:
    // Operator j as u = p R + t on row vectors.
    struct Operator {
        double rotation[3][3];
        double translation[3];
    };

    // How the images of earlier atoms are searched: through the earlier atoms (`throughAtoms`, the
    // operator's inverse `query` being among the operators) within `radius` of an image, which
    // covers the tolerance, the stretch of the inverse and rounding, shifted over the faces within
    // `reach` (fractional) of the image; or in the grid of images (the other operators).
    struct Search {
        std::vector<std::uint8_t> throughAtoms;
        std::vector<std::uint8_t> query;
        // The identity is searched for itself alone: it finds only the earlier atoms at an atom's own
        // place.
        bool identityAlone = false;
        double radius = 0.0;
        double reach[3] = {0.0, 0.0, 0.0};
    };

    static bool IsIdentity(const Operator& op);
    // Whether a wrapped position lies within reach (fractional, per axis) of a face of the cell.
    static bool NearFace(const Vector& wrapped, const double (&reach)[3]);
    Vector Apply(const Operator& op, const Vector& p) const;
    Point3d Cartesian(const Vector& f) const;
    static Vector Wrap(const Vector& u);
    Search PlanSearch(const std::vector<Operator>& ops) const;
    // How far a point within radius (Cartesian) of another can lie from it along a fractional axis.
    double Reach(double radius, int axis) const;
    // visit(point) for the Cartesian point of the wrapped position and of each of its shifts over the
    // faces it lies within reach of (fractional, per axis); false when a visit stopped the walk.
    template <class Visit>
    bool ForEachShift(const Vector& wrapped, const double (&reach)[3], Visit&& visit) const;
    // visit(tag) for every grid point within the special-position tolerance of the wrapped position,
    // shifted over the faces it lies near; false when a visit stopped the walk.
    template <class Visit>
    bool ForEachCoincident(const ImageGrid& grid, const Vector& wrapped, Visit&& visit) const;
    // Whether one of the first `images` images of the atom at p by an operator searched through the
    // atoms coincides with the wrapped position.
    bool ImageCoincides(const std::vector<Operator>& ops, const Search& search, const Vector& p, std::size_t images,
                        const Vector& wrapped) const;
    // A grid over the Cartesian box of the fractional cube [0, reach]^3, for about `points` points
    // within radius of a query.
    ImageGrid GridOver(double reach, std::size_t points, double radius) const;
    // Whether the operators form a group modulo lattice translations whose rotations keep Cartesian
    // lengths: images j and m of a point then lie as far apart as image 0 and the image by the
    // operator that is op_m^-1 op_j, so a point whose images all lie away from image 0 has no two
    // images together.
    bool IsIsometricGroup(const std::vector<Operator>& ops) const;
    // For each image j of one atom (its wrapped positions), the earliest image m < j it coincides
    // with, else j itself. Only images whose positions lie within the tolerance's reach along each
    // axis (wrapping round the cell) are compared, found in their order along a; each is checked
    // exactly as a grid of the earlier images would. Where the operators are an isometric group,
    // the images of a point none of whose images lies within that reach of image 0 are all distinct:
    // then, or when the tolerance is unusable, false and `earliest` is left as it was.
    bool FindCoincidentImages(const std::vector<Vector>& wrapped, std::vector<std::uint32_t>& earliest);

    CellReplicas& m_replicas;
    Cell3d& m_cell;
    double m_fracToCart[3][3];
    double m_specialTolerance;
    double m_edgeTolerance;
    double m_edgeReach[3];
    // How far apart along each axis two images within the special-position tolerance (with a margin
    // above the rounding of their stored positions) can lie.
    double m_coincidentReach[3];
    bool m_isometricGroup = false;
    bool m_translationsChecked = false;
    bool m_bondsSeen = true;
    std::uint64_t m_bondsLooked = 0;
    // FindCoincidentImages's work: the images' stored positions and their order along a.
    std::vector<Point3d> m_imagePoints;
    std::vector<std::uint32_t> m_imageOrder;
};

} // namespace Tavrel
