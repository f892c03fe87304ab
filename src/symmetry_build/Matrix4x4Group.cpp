#include <tavrel/symmetry_build/Matrix4x4Group.h>

#include <array>
#include <cmath>
#include <map>

#include <tavrel/symmetry_build/FractionalCoordinates.h>

namespace Tavrel {

namespace {

// Element (3, c) of a x b, evaluated as Matrix4x4's product evaluates it.
double ProductTranslation(const Matrix4x4& a, const Matrix4x4& b, int c)
{
    return a(3, 0) * b(0, c) + a(3, 1) * b(1, c) + a(3, 2) * b(2, c) + a(3, 3) * b(3, c);
}

// Finds the first operation equal to a matrix modulo the lattice without scanning the list. Two
// matrices within the tolerance whose rotation elements all lie within the tolerance of whole
// numbers round to the same whole numbers, so only the operations of that rounded rotation, and
// those whose rotation is not whole, can match; a matrix whose rotation is not whole is compared
// with every operation.
class OperationIndex {
public:
    explicit OperationIndex(const std::vector<Matrix4x4>& operations) : m_operations(operations)
    {
        m_rotationOf.assign(operations.size(), -1);
        for (std::size_t i = 0; i < operations.size(); ++i) {
            Rotation rotation;
            if (!WholeRotation(operations[i], rotation)) {
                m_irregular.push_back(static_cast<std::int32_t>(i));
                continue;
            }
            const auto [entry, added] = m_rotations.try_emplace(rotation, static_cast<std::int32_t>(m_buckets.size()));
            if (added)
                m_buckets.emplace_back();
            m_buckets[static_cast<std::size_t>(entry->second)].push_back(static_cast<std::int32_t>(i));
            m_rotationOf[i] = entry->second;
            m_exact = m_exact && Exact(operations[i]);
        }
        m_exact = m_exact && m_irregular.empty();
        m_products.assign(m_buckets.size() * m_buckets.size(), unknown);
    }

    std::int32_t Find(const Matrix4x4& m) const
    {
        Rotation rotation;
        if (!WholeRotation(m, rotation)) {
            for (std::size_t i = 0; i < m_operations.size(); ++i)
                if (EqualModuloLattice(m, m_operations[i]))
                    return static_cast<std::int32_t>(i);
            return -1;
        }
        static const IntArray none;
        const auto found = m_rotations.find(rotation);
        const IntArray& whole = found == m_rotations.end() ? none : m_buckets[static_cast<std::size_t>(found->second)];
        // Both lists ascend: the first match in their merged order is the first in the list.
        auto w = whole.begin();
        auto r = m_irregular.begin();
        while (w != whole.end() || r != m_irregular.end()) {
            const bool takeWhole = r == m_irregular.end() || (w != whole.end() && *w < *r);
            const std::int32_t i = takeWhole ? *w++ : *r++;
            if (EqualModuloLattice(m, m_operations[static_cast<std::size_t>(i)]))
                return i;
        }
        return -1;
    }

    // Find of operations[i] x operations[j]. When every rotation is exactly whole and affine, the
    // product's rotation is exactly the product of the two, whose bucket is worked out once per pair
    // of rotations, and only the translations remain to compare.
    std::int32_t FindProduct(std::size_t i, std::size_t j)
    {
        const Matrix4x4& a = m_operations[i];
        const Matrix4x4& b = m_operations[j];
        if (!m_exact)
            return Find(a * b);
        const std::int32_t bucket = ProductBucket(m_rotationOf[i], m_rotationOf[j]);
        if (bucket < 0)
            return -1;
        const double t[3] = {ProductTranslation(a, b, 0), ProductTranslation(a, b, 1), ProductTranslation(a, b, 2)};
        for (const std::int32_t k : m_buckets[static_cast<std::size_t>(bucket)]) {
            const Matrix4x4& o = m_operations[static_cast<std::size_t>(k)];
            bool equal = true;
            for (int c = 0; c < 3 && equal; ++c) {
                const double d = t[c] - o(3, c);
                equal = std::fabs(d - std::floor(d + 0.5)) < operationTolerance;
            }
            if (equal)
                return k;
        }
        return -1;
    }

private:
    using Rotation = std::array<std::int32_t, 9>;
    static constexpr std::int32_t unknown = -2;

    static bool WholeRotation(const Matrix4x4& m, Rotation& rotation)
    {
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column) {
                const double x = m(row, column);
                const double whole = std::floor(x + 0.5);
                if (!(std::fabs(x - whole) < operationTolerance && std::fabs(whole) < 1e6))
                    return false;
                rotation[static_cast<std::size_t>(row * 3 + column)] = static_cast<std::int32_t>(whole);
            }
        return true;
    }

    // Whole rotation elements exactly, and the affine column (0, 0, 0, 1).
    static bool Exact(const Matrix4x4& m)
    {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column)
                if (m(row, column) != std::floor(m(row, column)) || std::fabs(m(row, column)) > 64.0)
                    return false;
            if (m(row, 3) != 0.0)
                return false;
        }
        return m(3, 3) == 1.0;
    }

    std::int32_t ProductBucket(std::int32_t ra, std::int32_t rb)
    {
        std::int32_t& bucket = m_products[static_cast<std::size_t>(ra) * m_buckets.size() + static_cast<std::size_t>(rb)];
        if (bucket == unknown) {
            const Matrix4x4& a = m_operations[static_cast<std::size_t>(m_buckets[static_cast<std::size_t>(ra)].front())];
            const Matrix4x4& b = m_operations[static_cast<std::size_t>(m_buckets[static_cast<std::size_t>(rb)].front())];
            Rotation rotation;
            for (int row = 0; row < 3; ++row)
                for (int column = 0; column < 3; ++column)
                    rotation[static_cast<std::size_t>(row * 3 + column)] = static_cast<std::int32_t>(
                        a(row, 0) * b(0, column) + a(row, 1) * b(1, column) + a(row, 2) * b(2, column));
            const auto found = m_rotations.find(rotation);
            bucket = found == m_rotations.end() ? -1 : found->second;
        }
        return bucket;
    }

    const std::vector<Matrix4x4>& m_operations;
    // Each distinct whole rotation's number, and per number the operations that have it.
    std::map<Rotation, std::int32_t> m_rotations;
    std::vector<IntArray> m_buckets;
    IntArray m_rotationOf;
    IntArray m_irregular;
    bool m_exact = true;
    // Per pair of rotation numbers the number of their product; -1 for none, unknown until needed.
    IntArray m_products;
};

} // namespace

bool Matrix4x4Group::SetOperations(const std::vector<Matrix4x4>& operations)
{
    m_operations = operations;
    const std::size_t n = operations.size();
    m_inverses.assign(n, NullMatrix());
    m_inverseIndex.assign(n, -1);
    m_products.clear();
    if (n > static_cast<std::size_t>(maxOperations))
        return false;
    m_products.assign(n * n, -1);

    OperationIndex index(m_operations);
    bool group = n == 0 || EqualWithinTolerance(m_operations[0], Matrix4x4());
    for (std::size_t i = 0; i < n; ++i) {
        if (InvertAffine(m_operations[i], m_inverses[i]))
            m_inverseIndex[i] = index.Find(m_inverses[i]);
        group = group && m_inverseIndex[i] >= 0;
        for (std::size_t j = 0; j < n; ++j) {
            const std::int32_t product = index.FindProduct(i, j);
            m_products[i * n + j] = product;
            group = group && product >= 0;
        }
    }
    return group;
}

void Matrix4x4Group::Clear()
{
    m_operations.clear();
    m_inverses.clear();
    m_inverseIndex.clear();
    m_products.clear();
}

std::int32_t Matrix4x4Group::GetInverseIndex(std::int32_t i) const
{
    return IsValidIndex(i) ? m_inverseIndex[static_cast<std::size_t>(i)] : -1;
}

SymmetryImageKey Matrix4x4Group::GetInverse(const SymmetryImageKey& k) const
{
    const std::int32_t j = GetInverseIndex(k.op);
    if (j < 0)
        return {};
    const Matrix4x4& n = m_inverses[static_cast<std::size_t>(k.op)];
    const Matrix4x4& o = m_operations[static_cast<std::size_t>(j)];
    const double t[3] = {double(k.a), double(k.b), double(k.c)};
    std::int32_t result[3];
    for (int c = 0; c < 3; ++c) {
        const double s = n(3, c) - o(3, c) - (t[0] * n(0, c) + t[1] * n(1, c) + t[2] * n(2, c));
        if (!FloorToInt32(s + 0.5, result[c]))
            return {};
    }
    return {j, result[0], result[1], result[2]};
}

SymmetryImageKey Matrix4x4Group::Multiply(const SymmetryImageKey& a, const SymmetryImageKey& b) const
{
    if (!IsValidIndex(a.op) || !IsValidIndex(b.op) || m_products.empty())
        return {};
    const auto n = m_operations.size();
    const std::int32_t j = m_products[static_cast<std::size_t>(a.op) * n + static_cast<std::size_t>(b.op)];
    if (j < 0)
        return {};
    const Matrix4x4& ma = m_operations[static_cast<std::size_t>(a.op)];
    const Matrix4x4& mb = m_operations[static_cast<std::size_t>(b.op)];
    const Matrix4x4& o = m_operations[static_cast<std::size_t>(j)];
    const double ta[3] = {double(a.a), double(a.b), double(a.c)};
    const double tb[3] = {double(b.a), double(b.b), double(b.c)};
    std::int32_t result[3];
    for (int c = 0; c < 3; ++c) {
        // a's lattice translation carried through b's rotation, plus b's own; the rounding is taken
        // of the whole sum.
        const double u = ta[0] * mb(0, c) + ta[1] * mb(1, c) + ta[2] * mb(2, c) + tb[c];
        if (!FloorToInt32(ProductTranslation(ma, mb, c) - o(3, c) + 0.5 + u, result[c]))
            return {};
    }
    return {j, result[0], result[1], result[2]};
}

} // namespace Tavrel
