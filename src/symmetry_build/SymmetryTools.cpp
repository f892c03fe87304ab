#include <tavrel/symmetry_build/SymmetryTools.h>

#include <tavrel/symmetry_build/CosetLattice.h>
#include <tavrel/symmetry_build/FractionalCoordinates.h>
#include <tavrel/symmetry_build/PeriodicBins.h>
#include <tavrel/symmetry_build/PeriodicNeighborGrid.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>

namespace Tavrel::SymmetryTools {

namespace {

bool IsOperation(std::int32_t index, const std::vector<Matrix4x4>& operations)
{
    return index >= 0 && static_cast<std::size_t>(index) < operations.size();
}

// The key {op, floor(t + 0.5)}; false when a component lies beyond the int range.
bool MakeKey(std::int32_t op, const Point3d& t, SymmetryImageKey& key)
{
    key.op = op;
    return SetKeyTranslation(t, key);
}

// Same site: the nearest image of the difference within the cutoff, in single precision.
class SiteTest {
public:
    SiteTest(const Matrix3x3& fractionalToCartesian, double cutoff)
        : m_fractionalToCartesian(fractionalToCartesian), m_limit(static_cast<float>(cutoff * cutoff))
    {
    }
    bool operator()(const Point3d& a, const Point3d& b) const
    {
        const Point3d c = ToCartesian(ReduceToNearestImage(a - b), m_fractionalToCartesian);
        return c.x * c.x + c.y * c.y + c.z * c.z <= m_limit;
    }

private:
    const Matrix3x3& m_fractionalToCartesian;
    float m_limit;
};

bool ListsAgree(const EquivalentAtomLists& atoms)
{
    const std::size_t n = atoms.positions.size();
    return n > 0 && atoms.types.size() == n && atoms.states.size() == n && atoms.parents.size() == n &&
           atoms.keys.size() == n && atoms.classes.size() == n;
}

// Claims atom j for atom i when j is a later free atom of i's type and its key can be made.
void Claim(EquivalentAtomLists& atoms, std::vector<bool>& claimed, std::size_t i, std::int32_t j, std::int32_t op,
           const Point3d& from)
{
    const auto n = static_cast<std::int64_t>(atoms.positions.size());
    if (j <= static_cast<std::int64_t>(i) || j >= n || claimed[static_cast<std::size_t>(j)] ||
        atoms.types[static_cast<std::size_t>(j)] != atoms.types[i])
        return;
    SymmetryImageKey key;
    if (!MakeKey(op, GetNearestLatticeDifference(from, atoms.positions[static_cast<std::size_t>(j)]), key))
        return;
    claimed[static_cast<std::size_t>(j)] = true;
    atoms.parents[static_cast<std::size_t>(j)] = static_cast<std::int32_t>(i);
    atoms.keys[static_cast<std::size_t>(j)] = key;
    MergeLists(j, static_cast<std::int32_t>(i), atoms.classes);
}

std::vector<bool> ClaimedAtoms(const EquivalentAtomLists& atoms)
{
    std::vector<bool> claimed(atoms.states.size());
    for (std::size_t i = 0; i < claimed.size(); ++i)
        claimed[i] = atoms.states[i] == 1 || atoms.states[i] == 3;
    return claimed;
}

void MarkClaimed(EquivalentAtomLists& atoms, const std::vector<bool>& claimed)
{
    for (std::size_t i = 0; i < claimed.size(); ++i) {
        std::int32_t& state = atoms.states[i];
        if (claimed[i] && (state == 0 || state == 2))
            ++state;
    }
}

} // namespace

Point3d GetKeyTranslation(const SymmetryImageKey& key)
{
    return key.GetTranslation();
}

bool SetKeyTranslation(const Point3d& t, SymmetryImageKey& key)
{
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = 0;
    if (!FloorToInt32(t.x + 0.5, a) || !FloorToInt32(t.y + 0.5, b) || !FloorToInt32(t.z + 0.5, c)) {
        key = SymmetryImageKey();
        return false;
    }
    key.a = a;
    key.b = b;
    key.c = c;
    return true;
}

bool ReexpressKey(const SymmetryImageKey& k, const Point3d& p, const std::vector<Matrix4x4>& operations,
                  std::int32_t j, SymmetryImageKey& out)
{
    if (!IsOperation(j, operations) || !IsOperation(k.op, operations))
        return false;
    if (k.op == j) {
        out = k;
        return true;
    }
    const Point3d image = p * operations[static_cast<std::size_t>(k.op)] + k.GetTranslation();
    const Point3d base = p * operations[static_cast<std::size_t>(j)];
    SymmetryImageKey result;
    if (!MakeKey(j, image - base, result))
        return false;
    out = result;
    return true;
}

void GetMeanRotation(const std::vector<Matrix4x4>& operations, const SymmetryImageKey::Array& keys,
                     Matrix3x3& mean)
{
    mean.SetIdentity();
    if (keys.size() < 2)
        return;
    double sum[3][3] = {};
    for (const SymmetryImageKey& key : keys) {
        if (!IsOperation(key.op, operations))
            return;
        const Matrix4x4& op = operations[static_cast<std::size_t>(key.op)];
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                sum[row][column] += op(row, column);
    }
    const auto count = static_cast<double>(keys.size());
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            mean(row, column) = sum[row][column] / count;
}

bool GenerateEquivalentPoints(const Point3d& p, const Matrix3x3& fractionalToCartesian, double cutoff,
                              const std::vector<Matrix4x4>& operations, EquivalentPoints& result)
{
    result.images.clear();
    result.siteKeys.clear();
    result.representatives.clear();
    result.representativeOperations.clear();
    if (operations.empty())
        return false;
    const auto n = static_cast<std::int32_t>(operations.size());
    const SiteTest sameSite(fractionalToCartesian, cutoff);

    result.images.reserve(operations.size());
    result.images.push_back(p);
    result.siteKeys.push_back(SymmetryImageKey::identity);
    for (std::int32_t j = 1; j < n; ++j) {
        const Point3d q = p * operations[static_cast<std::size_t>(j)];
        result.images.push_back(q);
        if (!sameSite(q, p))
            continue;
        SymmetryImageKey key;
        if (!MakeKey(j, GetNearestLatticeDifference(q, p), key)) {
            result = {};
            return false;
        }
        result.siteKeys.push_back(key);
    }

    result.representatives.resize(operations.size());
    if (result.siteKeys.size() == 1) {
        for (std::int32_t j = 0; j < n; ++j)
            result.representatives[static_cast<std::size_t>(j)] = j;
        result.representativeOperations = result.representatives;
        return true;
    }
    result.representatives[0] = 0;
    result.representativeOperations.push_back(0);
    for (std::int32_t j = 1; j < n; ++j) {
        const Point3d& q = result.images[static_cast<std::size_t>(j)];
        std::int32_t representative = j;
        for (const std::int32_t r : result.representativeOperations) {
            if (sameSite(q, result.images[static_cast<std::size_t>(r)])) {
                representative = r;
                break;
            }
        }
        if (representative == j)
            result.representativeOperations.push_back(j);
        result.representatives[static_cast<std::size_t>(j)] = representative;
    }
    return true;
}

void ClaimEquivalentAtoms(EquivalentAtomLists& atoms, const Matrix3x3& fractionalToCartesian, double cutoff,
                          const std::vector<Matrix4x4>& operations, PeriodicNeighborGrid& grid,
                          SymmetryOperationTable& table, CosetLattice& lattice)
{
    if (!ListsAgree(atoms) || operations.empty())
        return;
    const std::size_t n = atoms.positions.size();
    table.Reset();
    lattice.SetElementCount(static_cast<std::int32_t>(operations.size()));
    lattice.Reset();
    std::vector<bool> claimed = ClaimedAtoms(atoms);
    atoms.siteNumbers.assign(n, 0);
    atoms.cosetNumbers.assign(n, 0);

    EquivalentPoints points;
    IntArray found;
    Matrix3x3 mean;
    for (std::size_t i = 0; i < n; ++i) {
        if (claimed[i] || !GenerateEquivalentPoints(atoms.positions[i], fractionalToCartesian, cutoff, operations, points))
            continue;
        if (points.representativeOperations.size() != operations.size()) {
            GetMeanRotation(operations, points.siteKeys, mean);
            atoms.siteNumbers[i] = table.Add(points.siteKeys, atoms.positions[i], mean);
            atoms.cosetNumbers[i] = lattice.Add(points.representatives, points.representativeOperations);
        }
        for (const std::int32_t op : points.representativeOperations) {
            const Point3d& image = points.images[static_cast<std::size_t>(op)];
            grid.FindNeighbors(image, found);
            for (const std::int32_t j : found)
                Claim(atoms, claimed, i, j, op, image);
        }
    }
    MarkClaimed(atoms, claimed);
}

void ClaimTranslationEquivalents(EquivalentAtomLists& atoms, std::int32_t op, PeriodicNeighborGrid& grid)
{
    if (!ListsAgree(atoms))
        return;
    std::vector<bool> claimed = ClaimedAtoms(atoms);
    IntArray found;
    for (std::size_t i = 0; i < claimed.size(); ++i) {
        if (claimed[i])
            continue;
        grid.FindNeighbors(atoms.positions[i], found);
        for (const std::int32_t j : found)
            Claim(atoms, claimed, i, j, op, atoms.positions[i]);
    }
    MarkClaimed(atoms, claimed);
}

} // namespace Tavrel::SymmetryTools
