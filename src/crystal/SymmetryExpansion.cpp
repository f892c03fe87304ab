#include <tavrel/crystal/SymmetryExpansion.h>

#include <algorithm>
#include <cmath>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellReplicas.h>
#include <tavrel/crystal/ImageGrid.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>

namespace Tavrel {

namespace {

// The seven translations to the far corners, edges and faces of a cell.
constexpr int CornerShifts[7][3] = {{0, 0, 1}, {0, 1, 0}, {0, 1, 1}, {1, 0, 0}, {1, 0, 1}, {1, 1, 0}, {1, 1, 1}};

SymmetryExpansion::Vector FromPoint(const Point3d& p)
{
    return {p.x, p.y, p.z};
}

int RoundToInt(double x)
{
    return static_cast<int>(std::clamp(std::floor(x + 0.5), -2147483648.0, 2147483647.0));
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

SymmetryExpansion::Vector SymmetryExpansion::Wrap(const Vector& u)
{
    return {u[0] - std::floor(u[0]), u[1] - std::floor(u[1]), u[2] - std::floor(u[2])};
}

ImageGrid SymmetryExpansion::GridOver(double reach, std::size_t points) const
{
    Point3d low = Point3d::maximum;
    Point3d high = Point3d::minimum;
    for (int corner = 0; corner < 8; ++corner) {
        const Point3d at = Cartesian({corner & 1 ? reach : 0.0, corner & 2 ? reach : 0.0, corner & 4 ? reach : 0.0});
        low.Minimum(at);
        high.Maximum(at);
    }
    return ImageGrid(low, high, points, m_specialTolerance);
}

template <class Visit>
bool SymmetryExpansion::ForEachCoincident(const ImageGrid& grid, const Vector& wrapped, Visit&& visit) const
{
    int low[3];
    int high[3];
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = 0;
        high[axis] = 0;
        if (wrapped[axis] < m_edgeTolerance)
            high[axis] = 1;
        else if (wrapped[axis] > 1.0 - m_edgeTolerance)
            low[axis] = -1;
    }
    for (int a = low[0]; a <= high[0]; ++a) {
        for (int b = low[1]; b <= high[1]; ++b) {
            for (int c = low[2]; c <= high[2]; ++c) {
                const Point3d at = Cartesian({wrapped[0] + a, wrapped[1] + b, wrapped[2] + c});
                if (!grid.ForEachNear(at, m_specialTolerance, visit))
                    return false;
            }
        }
    }
    return true;
}

bool SymmetryExpansion::DoTranslationalOverSpecified(Cell::AtomDataArray& list)
{
    const std::size_t count = list.size();
    // How far a point within the tolerance of another can lie from it along each fractional axis: a
    // corner-shifted point further beyond the cell can never be found and is not stored.
    const Matrix3x3 cartToFrac = m_cell.GetCartToFrac();
    double reach[3];
    for (int axis = 0; axis < 3; ++axis) {
        const double column = std::sqrt(cartToFrac(0, axis) * cartToFrac(0, axis) +
                                        cartToFrac(1, axis) * cartToFrac(1, axis) +
                                        cartToFrac(2, axis) * cartToFrac(2, axis));
        reach[axis] = 2.0 * m_specialTolerance * column;
    }
    ImageGrid grid = GridOver(2.0, count);
    grid.Reserve(count);
    std::vector<Vector> wrapped(count);
    for (std::size_t i = 0; i < count; ++i) {
        wrapped[i] = Wrap(FromPoint(list[i].xyz));
        grid.Add(Cartesian(wrapped[i]), {static_cast<std::uint32_t>(i), 0});
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (std::uint32_t corner = 0; corner < 7; ++corner) {
            const int* const shift = CornerShifts[corner];
            bool reachable = true;
            for (int axis = 0; axis < 3; ++axis)
                reachable = reachable && (shift[axis] == 0 || wrapped[i][axis] < reach[axis]);
            if (reachable)
                grid.Add(Cartesian({wrapped[i][0] + shift[0], wrapped[i][1] + shift[1], wrapped[i][2] + shift[2]}),
                         {static_cast<std::uint32_t>(i), corner + 1});
        }
    }
    bool deleted = false;
    for (std::size_t i = 0; i < count; ++i) {
        const bool repeats = !grid.ForEachNear(Cartesian(wrapped[i]), m_specialTolerance, [i](ImageGrid::Tag tag) {
            return tag.index == 0 && tag.record >= i;
        });
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

    // The wrapped images of every atom so far, for the test of later atoms, and those of the atom at
    // hand, for its special positions. The first is added to once per image but asked once per atom:
    // cells of about as many images as an atom has keep its cell array small.
    ImageGrid cellImages = GridOver(1.0, list.size() * ops.size() / std::min<std::size_t>(ops.size(), 16));
    cellImages.Reserve(list.size() * ops.size());
    ImageGrid atomImages = GridOver(1.0, ops.size());
    atomImages.Reserve(ops.size());
    std::vector<Vector> unwrapped(ops.size());
    // Without replicas known before, the replicas of an atom are those this loop makes for it.
    const bool fresh = m_replicas.Empty();
    std::vector<std::uint32_t> made(ops.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto* const atom = DynCast<Atom3d>(list[i].Live());
        if (!atom)
            continue;
        const Vector p = FromPoint(list[i].xyz);
        const auto record = static_cast<std::uint32_t>(i);
        // An atom that is an image of an earlier one goes.
        if (!ForEachCoincident(cellImages, Wrap(p), [](ImageGrid::Tag) { return false; })) {
            delete atom;
            list[i].atom = nullptr;
            continue;
        }
        atomImages.Clear();
        const TreeNode::Watch alive(atom);
        for (std::size_t j = 0; j < ops.size() && alive.alive; ++j) {
            unwrapped[j] = Apply(ops[j], p);
            const Vector wrapped = Wrap(unwrapped[j]);
            made[j] = 0;
            if (j > 0) {
                std::uint32_t earliest = static_cast<std::uint32_t>(j);
                ForEachCoincident(atomImages, wrapped, [&earliest](ImageGrid::Tag tag) {
                    earliest = std::min(earliest, tag.index);
                    return true;
                });
                const Point3d position = Cartesian(unwrapped[j]);
                if (earliest == j) {
                    const Atom* const replica = fresh ? m_replicas.MakeSymmetryAtom(atom, static_cast<int>(j), position)
                                                      : m_replicas.DeriveSymmetryAtom(atom, static_cast<int>(j), position);
                    made[j] = replica->GetOID();
                } else {
                    const Vector& first = unwrapped[earliest];
                    const LatticeOffset shift(RoundToInt(unwrapped[j][0] - first[0]),
                                              RoundToInt(unwrapped[j][1] - first[1]),
                                              RoundToInt(unwrapped[j][2] - first[2]));
                    // A zero shift puts the image on the atom (a special position) or on the earlier
                    // image's replica; otherwise it is a periodic image of that one.
                    Atom* const parent =
                        earliest == 0 ? static_cast<Atom*>(atom) : DynCast<Atom>(Base::GetObjectA(made[earliest]));
                    if (shift.IsPeriodic() && parent && !m_replicas.Find(*parent, parent->GetSymmetryOperator(), shift))
                        m_replicas.MakePeriodicAtom(parent, shift, &position);
                }
            }
            const Point3d at = Cartesian(wrapped);
            atomImages.Add(at, {record, static_cast<std::uint32_t>(j)});
            cellImages.Add(at, {record, static_cast<std::uint32_t>(j)});
        }
    }
    return true;
}

} // namespace Tavrel
