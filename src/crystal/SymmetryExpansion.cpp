#include <tavrel/crystal/SymmetryExpansion.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <optional>
#include <string>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellReplicas.h>
#include <tavrel/crystal/ImageGrid.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>

namespace Tavrel {

namespace {

// The seven translations to the far corners, edges and faces of a cell; the shift of corner n is
// n + 1 in binary (a, b, c).
constexpr int CornerShifts[7][3] = {{0, 0, 1}, {0, 1, 0}, {0, 1, 1}, {1, 0, 0}, {1, 0, 1}, {1, 1, 0}, {1, 1, 1}};

SymmetryExpansion::Vector FromPoint(const Point3d& p)
{
    return {p.x, p.y, p.z};
}

// std::floor, without a library call for the values a cell holds. An integral x gives x itself
// except that -0 gives +0, which no comparison or distance tells apart.
double Floor(double x)
{
    // From 2^52 on (and for what is not a number) every double is integral or not finite.
    if (!(std::abs(x) < 4503599627370496.0))
        return std::floor(x);
    // Without a branch: the sign of x is as likely one way as the other.
    const double truncated = static_cast<double>(static_cast<std::int64_t>(x));
    return truncated - static_cast<double>(truncated > x);
}

int RoundToInt(double x)
{
    return static_cast<int>(std::clamp(std::floor(x + 0.5), -2147483648.0, 2147483647.0));
}

bool IsFinite(const Point3d& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// An integral rotation (small entries) with determinant 1 or -1, whose inverse is integral too.
// The entries are small integers, so the determinant and the inverse are exact in double.
bool IntegralRotation(const double (&rotation)[3][3], Matrix3x3& integral)
{
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const double rounded = std::round(rotation[row][column]);
            if (!(std::abs(rotation[row][column] - rounded) <= 1e-9) || std::abs(rounded) > 100.0)
                return false;
            integral(row, column) = rounded;
        }
    }
    const double determinant = integral.Determinant();
    return determinant == 1.0 || determinant == -1.0;
}

// The Cartesian form C R F (row vectors) of a fractional rotation R.
void CartesianForm(const Matrix3x3& cartToFrac, const Matrix3x3& rotation, const double (&fracToCart)[3][3],
                   double (&cartesian)[3][3])
{
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            double sum = 0.0;
            for (int m = 0; m < 3; ++m) {
                for (int n = 0; n < 3; ++n)
                    sum += cartToFrac(row, m) * rotation(m, n) * fracToCart[n][column];
            }
            cartesian[row][column] = sum;
        }
    }
}

// Whether two translations differ by a lattice translation.
bool SameModuloLattice(const double (&a)[3], const double (&b)[3])
{
    for (int column = 0; column < 3; ++column) {
        const double difference = a[column] - b[column];
        if (!(std::abs(difference - std::round(difference)) <= 1e-6))
            return false;
    }
    return true;
}

} // namespace

SymmetryExpansion::SymmetryExpansion(CellReplicas& replicas)
    : m_replicas(replicas), m_cell(replicas.GetCell()), m_specialTolerance(m_cell.GetSpecialPositionTol())
{
    const Matrix3x3 fracToCart = m_cell.GetFracToCart();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            m_fracToCart[i][j] = fracToCart(i, j);
    }
    double lengths[3];
    m_cell.GetLengths(lengths);
    m_edgeTolerance = m_cell.GetBuildInfo().GetSameTol() / std::max({lengths[0], lengths[1], lengths[2]});
    std::fill(std::begin(m_edgeReach), std::end(m_edgeReach), m_edgeTolerance);
    // The margin covers the rounding of positions stored as floats, far below a millionth of the cell.
    const double margin = 1e-5 * (lengths[0] + lengths[1] + lengths[2]);
    for (int axis = 0; axis < 3; ++axis)
        m_coincidentReach[axis] = Reach(m_specialTolerance + margin, axis) * (1.0 + 1e-9);
}

// Exactly, so that its image of a position is the position itself.
bool SymmetryExpansion::IsIdentity(const Operator& op)
{
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (op.rotation[row][column] != (row == column ? 1.0 : 0.0))
                return false;
        }
    }
    return op.translation[0] == 0.0 && op.translation[1] == 0.0 && op.translation[2] == 0.0;
}

bool SymmetryExpansion::NearFace(const Vector& wrapped, const double (&reach)[3])
{
    for (int axis = 0; axis < 3; ++axis) {
        if (wrapped[axis] < reach[axis] || wrapped[axis] > 1.0 - reach[axis])
            return true;
    }
    return false;
}

SymmetryExpansion::Vector SymmetryExpansion::Apply(const Operator& op, const Vector& p) const
{
    Vector u;
    for (int j = 0; j < 3; ++j)
        u[j] = p[0] * op.rotation[0][j] + p[1] * op.rotation[1][j] + p[2] * op.rotation[2][j] + op.translation[j];
    return u;
}

Point3d SymmetryExpansion::Cartesian(const Vector& f) const
{
    double c[3];
    for (int j = 0; j < 3; ++j)
        c[j] = f[0] * m_fracToCart[0][j] + f[1] * m_fracToCart[1][j] + f[2] * m_fracToCart[2][j];
    return Point3d(c[0], c[1], c[2]);
}

inline SymmetryExpansion::Vector SymmetryExpansion::Wrap(const Vector& u)
{
    return {u[0] - Floor(u[0]), u[1] - Floor(u[1]), u[2] - Floor(u[2])};
}

double SymmetryExpansion::Reach(double radius, int axis) const
{
    const Matrix3x3 cartToFrac = m_cell.GetCartToFrac();
    return radius * std::sqrt(cartToFrac(0, axis) * cartToFrac(0, axis) + cartToFrac(1, axis) * cartToFrac(1, axis) +
                              cartToFrac(2, axis) * cartToFrac(2, axis));
}

ImageGrid SymmetryExpansion::GridOver(double reach, std::size_t points, double radius) const
{
    Point3d low = Point3d::maximum;
    Point3d high = Point3d::minimum;
    for (int corner = 0; corner < 8; ++corner) {
        const Point3d at = Cartesian({corner & 1 ? reach : 0.0, corner & 2 ? reach : 0.0, corner & 4 ? reach : 0.0});
        low.Minimum(at);
        high.Maximum(at);
    }
    return ImageGrid(low, high, points, radius);
}

template <class Visit>
bool SymmetryExpansion::ForEachShift(const Vector& wrapped, const double (&reach)[3], Visit&& visit) const
{
    // Most positions lie away from the faces: the position alone.
    if (!NearFace(wrapped, reach))
        return visit(Cartesian(wrapped));
    int low[3];
    int high[3];
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = 0;
        high[axis] = 0;
        if (wrapped[axis] < reach[axis])
            high[axis] = 1;
        else if (wrapped[axis] > 1.0 - reach[axis])
            low[axis] = -1;
    }
    for (int a = low[0]; a <= high[0]; ++a) {
        for (int b = low[1]; b <= high[1]; ++b) {
            for (int c = low[2]; c <= high[2]; ++c) {
                if (!visit(Cartesian({wrapped[0] + a, wrapped[1] + b, wrapped[2] + c})))
                    return false;
            }
        }
    }
    return true;
}

template <class Visit>
bool SymmetryExpansion::ForEachCoincident(const ImageGrid& grid, const Vector& wrapped, Visit&& visit) const
{
    return ForEachShift(wrapped, m_edgeReach,
                        [&](const Point3d& at) { return grid.ForEachNear(at, m_specialTolerance, visit); });
}

SymmetryExpansion::Search SymmetryExpansion::PlanSearch(const std::vector<Operator>& ops) const
{
    Search search;
    search.identityAlone = !ops.empty() && IsIdentity(ops[0]);
    search.throughAtoms.assign(ops.size(), 0);
    search.query.assign(ops.size(), 0);
    if (!(m_specialTolerance >= 0.0) || !std::isfinite(m_specialTolerance))
        return search;
    const Matrix3x3 cartToFrac = m_cell.GetCartToFrac();
    struct Integral {
        bool valid;
        Matrix3x3 rotation;
    };
    std::vector<Integral> integral(ops.size());
    for (std::size_t l = 0; l < ops.size(); ++l)
        integral[l].valid = IntegralRotation(ops[l].rotation, integral[l].rotation);
    double stretch = 0.0;
    for (std::size_t l = 0; l < ops.size(); ++l) {
        if (!integral[l].valid)
            continue;
        // The inverse, integral as the rotation is, and -t R^-1.
        Matrix3x3 inverse = integral[l].rotation;
        inverse.Invert();
        double translation[3];
        for (int column = 0; column < 3; ++column) {
            translation[column] = 0.0;
            for (int row = 0; row < 3; ++row)
                translation[column] -= ops[l].translation[row] * inverse(row, column);
        }
        const auto isInverse = [&](std::size_t j) {
            return integral[j].valid && inverse == integral[j].rotation &&
                   SameModuloLattice(ops[j].translation, translation);
        };
        std::size_t j = 0;
        while (j < ops.size() && !isInverse(j))
            ++j;
        if (j == ops.size())
            continue;
        search.throughAtoms[l] = 1;
        search.query[j] = 1;
        if (j == 0)
            search.identityAlone = l == 0 && search.identityAlone;
        // How far the inverse can stretch a Cartesian displacement: the Frobenius norm of its
        // Cartesian matrix.
        double cartesian[3][3];
        CartesianForm(cartToFrac, inverse, m_fracToCart, cartesian);
        double squares = 0.0;
        for (const auto& row : cartesian) {
            for (const double entry : row)
                squares += entry * entry;
        }
        stretch = std::max(stretch, std::sqrt(squares));
    }
    // Rounding of float positions and of the translations is covered by a margin of the cell's size.
    double lengths[3];
    m_cell.GetLengths(lengths);
    const double margin = 1e-5 * (lengths[0] + lengths[1] + lengths[2]);
    search.radius = stretch * (m_specialTolerance + margin) + margin;
    bool usable = std::isfinite(search.radius);
    for (int axis = 0; axis < 3; ++axis) {
        search.reach[axis] = Reach(search.radius, axis);
        // A neighbourhood as wide as half the cell could meet an atom through two faces: not searched so.
        usable = usable && search.reach[axis] < 0.5;
    }
    if (!usable) {
        search.throughAtoms.assign(ops.size(), 0);
        search.query.assign(ops.size(), 0);
        search.identityAlone = false;
    }
    return search;
}

bool SymmetryExpansion::ImageCoincides(const std::vector<Operator>& ops, const Search& search, const Vector& p,
                                       std::size_t images, const Vector& wrapped) const
{
    const double radius2 = m_specialTolerance * m_specialTolerance;
    for (std::size_t l = 0; l < images; ++l) {
        if (!search.throughAtoms[l])
            continue;
        const Point3d image = Cartesian(Wrap(Apply(ops[l], p)));
        if (!IsFinite(image))
            continue;
        const bool coincides = !ForEachShift(
            wrapped, m_edgeReach, [&](const Point3d& at) { return !(IsFinite(at) && at.Distance2(image) <= radius2); });
        if (coincides)
            return true;
    }
    return false;
}

bool SymmetryExpansion::IsIsometricGroup(const std::vector<Operator>& ops) const
{
    std::vector<Matrix3x3> rotations(ops.size());
    for (std::size_t l = 0; l < ops.size(); ++l) {
        if (!IntegralRotation(ops[l].rotation, rotations[l]))
            return false;
    }
    // A rotation keeps Cartesian lengths when its Cartesian form is orthogonal.
    const Matrix3x3 cartToFrac = m_cell.GetCartToFrac();
    for (const Matrix3x3& rotation : rotations) {
        double cartesian[3][3];
        CartesianForm(cartToFrac, rotation, m_fracToCart, cartesian);
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                double dot = 0.0;
                for (int k = 0; k < 3; ++k)
                    dot += cartesian[row][k] * cartesian[column][k];
                if (!(std::abs(dot - (row == column ? 1.0 : 0.0)) <= 1e-9))
                    return false;
            }
        }
    }
    // Closed: op_m^-1 op_j, p -> p R_j R_m^-1 + (t_j - t_m) R_m^-1, is an operator up to a lattice
    // translation. The operators are looked up by rotation.
    const auto entries = [](const Matrix3x3& rotation) {
        std::array<double, 9> flat;
        for (int k = 0; k < 9; ++k)
            flat[static_cast<std::size_t>(k)] = rotation(k / 3, k % 3);
        return flat;
    };
    std::vector<std::pair<std::array<double, 9>, std::size_t>> byRotation;
    for (std::size_t l = 0; l < ops.size(); ++l)
        byRotation.emplace_back(entries(rotations[l]), l);
    std::sort(byRotation.begin(), byRotation.end());
    for (std::size_t m = 0; m < ops.size(); ++m) {
        Matrix3x3 inverse = rotations[m];
        inverse.Invert();
        for (std::size_t j = 0; j < ops.size(); ++j) {
            Matrix3x3 product;
            double translation[3];
            for (int column = 0; column < 3; ++column) {
                translation[column] = 0.0;
                for (int row = 0; row < 3; ++row) {
                    double sum = 0.0;
                    for (int k = 0; k < 3; ++k)
                        sum += rotations[j](row, k) * inverse(k, column);
                    product(row, column) = sum;
                    translation[column] += (ops[j].translation[row] - ops[m].translation[row]) * inverse(row, column);
                }
            }
            // The first operator that matches, in index order; two operators alike would make it
            // the identity for a pair of different images.
            const std::array<double, 9> key = entries(product);
            auto match = std::lower_bound(byRotation.begin(), byRotation.end(), std::make_pair(key, std::size_t{0}));
            while (match != byRotation.end() && match->first == key &&
                   !SameModuloLattice(ops[match->second].translation, translation))
                ++match;
            if (match == byRotation.end() || match->first != key || (match->second == 0) != (j == m))
                return false;
        }
    }
    return true;
}

bool SymmetryExpansion::FindCoincidentImages(const std::vector<Vector>& wrapped, std::vector<std::uint32_t>& earliest)
{
    const std::size_t count = wrapped.size();
    if (!(m_specialTolerance >= 0.0) || !std::isfinite(m_specialTolerance))
        return false;
    // Within the reach along an axis, across the faces too.
    const auto near = [&](std::uint32_t a, std::uint32_t b, int axis) {
        const double apart = std::abs(wrapped[a][axis] - wrapped[b][axis]);
        return std::min(apart, 1.0 - apart) <= m_coincidentReach[axis];
    };
    if (m_isometricGroup) {
        // An image not a number counts as near.
        const auto mayMeetFirst = [&](std::uint32_t j) {
            for (int axis = 0; axis < 3; ++axis) {
                const double apart = std::abs(wrapped[j][axis] - wrapped[0][axis]);
                if (std::min(apart, 1.0 - apart) > m_coincidentReach[axis])
                    return false;
            }
            return true;
        };
        std::uint32_t j = 1;
        while (j < count && !mayMeetFirst(j))
            ++j;
        if (j == count)
            return false;
    }
    earliest.resize(count);
    for (std::size_t j = 0; j < count; ++j)
        earliest[j] = static_cast<std::uint32_t>(j);
    const double radius2 = m_specialTolerance * m_specialTolerance;
    // The positions a grid of the images would store: the finite ones.
    m_imagePoints.resize(count);
    m_imageOrder.clear();
    for (std::size_t j = 0; j < count; ++j) {
        m_imagePoints[j] = Cartesian(wrapped[j]);
        if (IsFinite(m_imagePoints[j]))
            m_imageOrder.push_back(static_cast<std::uint32_t>(j));
    }
    const auto compare = [&](std::uint32_t a, std::uint32_t b) {
        const std::uint32_t j = std::max(a, b);
        const std::uint32_t m = std::min(a, b);
        if (m >= earliest[j] || !near(a, b, 1) || !near(a, b, 2))
            return;
        const Point3d& stored = m_imagePoints[m];
        const bool coincides = !ForEachShift(wrapped[j], m_edgeReach, [&](const Point3d& at) {
            return !(IsFinite(at) && at.Distance2(stored) <= radius2);
        });
        if (coincides)
            earliest[j] = m;
    };
    const std::size_t stored = m_imageOrder.size();
    // An image not stored may still meet the others shifted over a face.
    if (stored < count) {
        for (std::uint32_t j = 0; j < count; ++j) {
            if (IsFinite(m_imagePoints[j]))
                continue;
            for (const std::uint32_t m : m_imageOrder)
                compare(j, m);
        }
    }
    if (!(m_coincidentReach[0] < 0.5)) {
        for (std::size_t s = 0; s < stored; ++s) {
            for (std::size_t t = s + 1; t < stored; ++t)
                compare(m_imageOrder[s], m_imageOrder[t]);
        }
        return true;
    }
    // Along a, wrapping round the cell: the images that follow one within the reach.
    std::sort(m_imageOrder.begin(), m_imageOrder.end(),
              [&](std::uint32_t a, std::uint32_t b) { return wrapped[a][0] < wrapped[b][0]; });
    for (std::size_t s = 0; s < stored; ++s) {
        const std::uint32_t first = m_imageOrder[s];
        for (std::size_t step = 1; step < stored; ++step) {
            const bool around = s + step >= stored;
            const std::uint32_t next = m_imageOrder[around ? s + step - stored : s + step];
            if (!(wrapped[next][0] - wrapped[first][0] + (around ? 1.0 : 0.0) <= m_coincidentReach[0]))
                break;
            compare(first, next);
        }
    }
    return true;
}

bool SymmetryExpansion::DoTranslationalOverSpecified(Cell::AtomDataArray& list)
{
    const std::size_t count = list.size();
    // How far a point within the tolerance of another can lie from it along each fractional axis: a
    // corner-shifted point further beyond the cell can never be found and is not stored.
    double reach[3];
    for (int axis = 0; axis < 3; ++axis)
        reach[axis] = Reach(2.0 * m_specialTolerance, axis);
    ImageGrid grid = GridOver(1.0 + std::max({reach[0], reach[1], reach[2], 0.0}), count, m_specialTolerance);
    grid.Reserve(count);
    // The corner copies first; then each atom is looked for among them and the atoms before it, and
    // joins those.
    std::vector<Point3d> places(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Vector wrapped = Wrap(FromPoint(list[i].xyz));
        places[i] = Cartesian(wrapped);
        // The axes along which the far corners lie within reach: bit 2 for a, 1 for b, 0 for c, as
        // the corner shifts count them.
        unsigned nearLow = 0;
        for (int axis = 0; axis < 3; ++axis)
            nearLow |= wrapped[axis] < reach[axis] ? 4u >> axis : 0u;
        if (nearLow == 0)
            continue;
        for (std::uint32_t corner = 0; corner < 7; ++corner) {
            const int* const shift = CornerShifts[corner];
            if (((corner + 1) & ~nearLow) == 0)
                grid.Add(Cartesian({wrapped[0] + shift[0], wrapped[1] + shift[1], wrapped[2] + shift[2]}),
                         {static_cast<std::uint32_t>(i), corner + 1});
        }
    }
    m_translationsChecked = true;
    bool deleted = false;
    for (std::size_t i = 0; i < count; ++i) {
        const bool repeats = !grid.ForEachNear(places[i], m_specialTolerance, [](ImageGrid::Tag) { return false; });
        grid.Add(places[i], {static_cast<std::uint32_t>(i), 0});
        if (!repeats)
            continue;
        if (Atom* const atom = list[i].Live()) {
            delete atom;
            deleted = true;
        }
    }
    return deleted;
}

bool SymmetryExpansion::DoSymmetry(Cell::AtomDataArray& list)
{
    const Symmetry* const symmetry = m_cell.GetSymmetry();
    const int numOps = symmetry->GetNumSymmetryOps();
    std::vector<Operator> ops(static_cast<std::size_t>(numOps));
    for (int j = 0; j < numOps; ++j) {
        const Matrix4x4& matrix = symmetry->GetSymmetryOp(j)->GetMatrix();
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column)
                ops[j].rotation[row][column] = matrix(row, column);
        }
        for (int column = 0; column < 3; ++column)
            ops[j].translation[column] = matrix(3, column);
    }

    const Search search = PlanSearch(ops);
    m_isometricGroup = IsIsometricGroup(ops);
    const auto byImages =
        static_cast<std::size_t>(std::count(search.throughAtoms.begin(), search.throughAtoms.end(), 0));
    // The atoms so far, and the images of those by operators not searched through them, for the test
    // of later atoms; the images of the atom at hand, for its special positions.
    ImageGrid earlierAtoms = GridOver(1.0, list.size(), search.radius);
    earlierAtoms.Reserve(list.size());
    ImageGrid cellImages = GridOver(
        1.0, byImages == 0 ? 1 : list.size() * byImages / std::min<std::size_t>(byImages, 16), m_specialTolerance);
    cellImages.Reserve(list.size() * byImages);
    // How many images of each atom the test of later atoms takes.
    std::vector<std::size_t> images(list.size(), 0);
    std::vector<Vector> unwrapped(ops.size());
    std::vector<Vector> wrapped(ops.size());
    // Without replicas known before, the replicas of an atom are those this loop makes for it.
    const bool fresh = m_replicas.Empty();
    std::vector<std::uint32_t> made(ops.size());
    std::vector<std::uint32_t> earliest;
    std::vector<Point3d> positions;
    std::vector<TreeNode*> family;
    // Whether a kept atom holds a bond, as long as no callback runs meanwhile.
    m_bondsSeen = false;
    const std::uint64_t bondsLooked = TreeNode::GetCallbacksRun();
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto* const atom = DynCast<Atom3d>(list[i].Live());
        if (!atom)
            continue;
        const Vector p = FromPoint(list[i].xyz);
        const Vector own = Wrap(p);
        const auto record = static_cast<std::uint32_t>(i);
        for (std::size_t j = 0; j < ops.size(); ++j) {
            unwrapped[j] = Apply(ops[j], p);
            wrapped[j] = Wrap(unwrapped[j]);
        }
        // An atom that is an image of an earlier one goes.
        bool repeats = cellImages.Size() > 0 && !ForEachCoincident(cellImages, own, [](ImageGrid::Tag) { return false; });
        // An earlier atom at the atom's own place, unshifted, was found by the check of translations.
        const bool ownPlaceChecked = m_translationsChecked && search.identityAlone && !NearFace(own, m_edgeReach);
        for (std::size_t j = ownPlaceChecked ? 1 : 0; j < ops.size() && !repeats; ++j) {
            if (!search.query[j])
                continue;
            repeats = !ForEachShift(wrapped[j], search.reach, [&](const Point3d& at) {
                return earlierAtoms.ForEachNear(at, search.radius, [&](ImageGrid::Tag tag) {
                    return !ImageCoincides(ops, search, FromPoint(list[tag.record].xyz), images[tag.record], own);
                });
            });
        }
        if (repeats) {
            delete atom;
            list[i].atom = nullptr;
            continue;
        }
        m_bondsSeen = m_bondsSeen || atom->GetNumBonds() > 0;
        const bool coincident = FindCoincidentImages(wrapped, earliest);
        // The atom's label, taken again only after a callback, which might have changed it.
        std::string label;
        std::optional<std::uint64_t> labelTaken;
        // An atom's first replicas, all by their own operators, are made and joined in one step where
        // no one can hear them join.
        bool joined = false;
        if (fresh && !coincident && ops.size() > 1 && atom->GetNumChildren() == 0) {
            label = atom->GetLabel();
            labelTaken = TreeNode::GetCallbacksRun();
            positions.clear();
            for (std::size_t j = 1; j < ops.size(); ++j)
                positions.push_back(Cartesian(unwrapped[j]));
            // Made hidden where the build will hide them, so that no walk reads them again.
            const bool hidden = m_cell.HidesNewFamily(*atom, positions);
            joined = m_replicas.MakeSymmetryAtoms(atom, positions, label, family, hidden);
            if (joined && hidden)
                m_cell.NoteHiddenFamily(*atom, family);
        }
        const TreeNode::Watch alive(atom);
        for (std::size_t j = 0; j < ops.size() && alive.alive; ++j) {
            made[j] = 0;
            if (joined && j > 0) {
                made[j] = family[j - 1]->GetOID();
            } else if (j > 0) {
                const Point3d position = Cartesian(unwrapped[j]);
                const std::size_t first = coincident ? earliest[j] : j;
                if (first == j) {
                    const Atom* replica = nullptr;
                    if (fresh) {
                        if (labelTaken != TreeNode::GetCallbacksRun()) {
                            label = atom->GetLabel();
                            labelTaken = TreeNode::GetCallbacksRun();
                        }
                        replica = m_replicas.MakeSymmetryAtom(atom, static_cast<int>(j), position, label);
                    } else {
                        replica = m_replicas.DeriveSymmetryAtom(atom, static_cast<int>(j), position);
                    }
                    made[j] = replica->GetOID();
                } else {
                    const Vector& met = unwrapped[first];
                    const LatticeOffset shift(RoundToInt(unwrapped[j][0] - met[0]), RoundToInt(unwrapped[j][1] - met[1]),
                                              RoundToInt(unwrapped[j][2] - met[2]));
                    // A zero shift puts the image on the atom (a special position) or on the earlier
                    // image's replica; otherwise it is a periodic image of that one.
                    Atom* const parent =
                        first == 0 ? static_cast<Atom*>(atom) : DynCast<Atom>(Base::GetObjectA(made[first]));
                    if (shift.IsPeriodic() && parent && !m_replicas.Find(*parent, parent->GetSymmetryOperator(), shift))
                        m_replicas.MakePeriodicAtom(parent, shift, &position);
                }
            }
            if (!search.throughAtoms[j])
                cellImages.Add(Cartesian(wrapped[j]), {record, static_cast<std::uint32_t>(j)});
            images[i] = j + 1;
        }
        earlierAtoms.Add(Cartesian(own), {record, 0});
    }
    m_bondsSeen = m_bondsSeen || TreeNode::GetCallbacksRun() != bondsLooked;
    m_bondsLooked = TreeNode::GetCallbacksRun();
    return true;
}

} // namespace Tavrel
