#include <tavrel/symmetry_build/HierarchyData.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numeric>
#include <span>
#include <tuple>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BucketQueue.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/CellBuildTree.h>
#include <tavrel/symmetry_build/CosetDecomposition.h>
#include <tavrel/symmetry_build/CosetLattice.h>
#include <tavrel/symmetry_build/FlatIntMap.h>
#include <tavrel/symmetry_build/FractionalCoordinates.h>
#include <tavrel/symmetry_build/HierarchyDataErrorList.h>
#include <tavrel/symmetry_build/HierarchyDataException.h>
#include <tavrel/symmetry_build/PeriodicNeighborGrid.h>
#include <tavrel/symmetry_build/PeriodicRadiusGrid.h>
#include <tavrel/symmetry_build/SymmetryConnectivityPass.h>
#include <tavrel/symmetry_build/SymmetryImageKeySet.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>
#include <tavrel/symmetry_build/SymmetryTools.h>

namespace Tavrel {

namespace {

// Position codes of the checks that record no code of their own.
constexpr std::int32_t stepCode = 5000;

// The most lattice translations one pair of atoms may be bonded across: a cell far smaller than the
// bonding reach is refused rather than searched.
constexpr double maxBondTranslations = 65536.0;

constexpr std::string_view markers[] = {"_ASU", "_REP", "_RMI"};

std::size_t At(std::int32_t i)
{
    return static_cast<std::size_t>(i);
}

bool LongProperty(const Object* object, std::string_view name, std::int32_t& value)
{
    return object->GetProperty(name, value);
}

Point3d Apply(const Matrix4x4& operation, const Point3d& p)
{
    Point3d image = p;
    operation.Transform(image);
    return image;
}

// Whether a fractional position lies within the reach of a lattice translation: finite, and nearer
// than 2^24 cells, beyond which a float no longer places it within its cell.
bool IsWithinReach(const Point3d& p)
{
    constexpr float reach = 16777216.0f;
    return std::abs(p.x) < reach && std::abs(p.y) < reach && std::abs(p.z) < reach;
}

// Disjoint sets of indices, each named by its smallest member; union by size.
class SmallestMemberSets {
public:
    explicit SmallestMemberSets(std::size_t n) : m_parent(n), m_size(n, 1), m_smallest(n)
    {
        std::iota(m_parent.begin(), m_parent.end(), 0);
        std::iota(m_smallest.begin(), m_smallest.end(), 0);
    }
    std::int32_t Find(std::int32_t i)
    {
        while (m_parent[At(i)] != i) {
            m_parent[At(i)] = m_parent[At(m_parent[At(i)])];
            i = m_parent[At(i)];
        }
        return i;
    }
    void Join(std::int32_t a, std::int32_t b)
    {
        a = Find(a);
        b = Find(b);
        if (a == b)
            return;
        if (m_size[At(a)] < m_size[At(b)])
            std::swap(a, b);
        m_parent[At(b)] = a;
        m_size[At(a)] += m_size[At(b)];
        m_smallest[At(a)] = std::min(m_smallest[At(a)], m_smallest[At(b)]);
    }
    std::int32_t Smallest(std::int32_t i) { return m_smallest[At(Find(i))]; }

private:
    IntArray m_parent;
    IntArray m_size;
    IntArray m_smallest;
};

// A working partition of n operations: owner[i] is the smallest member of i's class.
class ComponentPartition {
public:
    explicit ComponentPartition(std::int32_t n) : m_owners(At(n)), m_members(At(n))
    {
        for (std::int32_t i = 0; i < n; ++i) {
            m_owners[At(i)] = i;
            m_members[At(i)] = {i};
        }
    }
    void MergeOperations(const IntArray& list)
    {
        const auto n = static_cast<std::int32_t>(m_owners.size());
        if (list.size() < 2 || list.size() > m_owners.size() ||
            std::any_of(list.begin(), list.end(), [n](std::int32_t i) { return i < 0 || i >= n; }))
            return;
        std::int32_t target = n;
        for (const std::int32_t i : list)
            target = std::min(target, m_owners[At(i)]);
        for (const std::int32_t i : list) {
            const std::int32_t owner = m_owners[At(i)];
            if (owner == target)
                continue;
            for (const std::int32_t member : m_members[At(owner)])
                m_owners[At(member)] = target;
            IntArray& into = m_members[At(target)];
            into.insert(into.end(), m_members[At(owner)].begin(), m_members[At(owner)].end());
            m_members[At(owner)].clear();
        }
    }
    const IntArray& GetOwners() const { return m_owners; }

private:
    IntArray m_owners;
    IndexLists m_members;
};

} // namespace

struct HierarchyData::Work {
    std::vector<Atom*> atoms;
    IntArray kinds;
    std::vector<bool> flags;
    OIDArray oids;
    IntArray depths;
    IntArray parents;
    Point3d::Array positions;
    std::vector<double> radii;
    IntArray types;
    IntArray symParents;
    IntArray lists;
    IntArray members;
    IntArray listParents;
    IndexLists partners;
    IndexLists bondTypes;
    std::vector<OIDArray> bondOIDs;
};

HierarchyData::HierarchyData(Cell3d* cell, std::unique_ptr<SymmetryImageKeySet> keys)
    : m_cell(cell), m_imageKeys(std::move(keys))
{
}

HierarchyData::HierarchyData(const HierarchyData& other)
    : m_cell(nullptr), m_fractionalToCartesian(other.m_fractionalToCartesian),
      m_cartesianToFractional(other.m_cartesianToFractional), m_operations(other.m_operations),
      m_operationGroup(other.m_operationGroup), m_tolerance(other.m_tolerance), m_atomItems(other.m_atomItems),
      m_objectItems(other.m_objectItems), m_itemCount(other.m_itemCount), m_atomCount(other.m_atomCount),
      m_objectCount(other.m_objectCount), m_atomLists(other.m_atomLists), m_objectLists(other.m_objectLists),
      m_atomIndexByOID(other.m_atomIndexByOID), m_objectIndexByOID(other.m_objectIndexByOID),
      m_cosetLattice(other.m_cosetLattice ? std::make_unique<CosetLattice>(*other.m_cosetLattice) : nullptr),
      m_operationTable(other.m_operationTable ? std::make_unique<SymmetryOperationTable>(*other.m_operationTable)
                                              : nullptr),
      m_imageKeys(other.m_imageKeys ? std::make_unique<SymmetryImageKeySet>(*other.m_imageKeys) : nullptr),
      m_atoms(other.m_atoms), m_objects(other.m_objects), m_bonds(other.m_bonds), m_tree(other.m_tree),
      m_nodeLists(other.m_nodeLists), m_nodeKeys(other.m_nodeKeys), m_nodeOffsets(other.m_nodeOffsets), m_linkFrom(other.m_linkFrom), m_linkTypes(other.m_linkTypes), m_links(other.m_links), m_records(other.m_records), m_recordOffsets(other.m_recordOffsets),
      m_components(other.m_components),
      m_buildFullMolecules(other.m_buildFullMolecules)
{
}

HierarchyData::~HierarchyData() = default;

void HierarchyData::SetCellParameters(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional)
{
    if (!m_cell)
        return;
    m_fractionalToCartesian = fractionalToCartesian;
    m_cartesianToFractional = cartesianToFractional;
}

void HierarchyData::SetComputeBonds(bool computeBonds)
{
    if (!m_cell)
        return;
    // Asking for computed bonds rebuilds, and so does asking for none of data that holds them.
    if (computeBonds ? !m_computeBonds : m_bondsComputed)
        MarkDirty(false);
    m_computeBonds = computeBonds;
}

void HierarchyData::SetBuildFullMolecules(bool buildFullMolecules)
{
    if (!m_cell)
        return;
    if (buildFullMolecules != m_buildFullMolecules)
        MarkDirty(false);
    m_buildFullMolecules = buildFullMolecules;
}

void HierarchyData::MarkDirty(bool removeMarkers)
{
    m_dirty = true;
    if (!removeMarkers || !m_cell)
        return;
    // The key numbers were the images' markers.
    if (m_imageKeys)
        m_imageKeys->Clear();
    DescendentIterator walk(m_cell, Object::classType, false);
    while (Object* const object = walk.GetNext()) {
        for (const std::string_view name : markers) {
            if (object->HasProperty(name))
                object->RemoveProperty(name);
        }
    }
}

void HierarchyData::Update()
{
    if (!m_cell || !m_dirty)
        return;
    m_dirty = false;
    Rebuild();
}

void HierarchyData::Rebuild()
{
    Reset();
    if (!m_cell)
        return;
    HierarchyDataErrorList::ClearErrors();
    m_bondsComputed = false;
    try {
        Create();
    } catch (const HierarchyDataException&) {
        // Empty, and dirty: the next Update tries again, once the cause may be gone.
        Reset();
        m_dirty = true;
    }
}

void HierarchyData::Reset()
{
    m_fractionalToCartesian = Matrix3x3();
    m_cartesianToFractional = Matrix3x3();
    m_operations.clear();
    m_operationGroup.Clear();
    m_atomItems.clear();
    m_objectItems.clear();
    m_atomLists.clear();
    m_objectLists.clear();
    m_atomIndexByOID.Clear();
    m_objectIndexByOID.Clear();
    ClearGraph();
    m_itemCount = 0;
    m_atomCount = 0;
    m_objectCount = 0;
    if (m_cosetLattice)
        m_cosetLattice->Reset();
    if (m_operationTable)
        m_operationTable->Reset();
}

void HierarchyData::Fail(std::string_view step)
{
    if (!step.empty())
        HierarchyDataErrorList::AddError(stepCode, std::string(step));
    throw HierarchyDataException();
}

void HierarchyData::Check(bool passed, std::string_view step)
{
    if (!passed)
        Fail(step);
}

void HierarchyData::Create()
{
    Check(GetSymmetryInformation(), "Failed to obtain symmetry information");
    Check(CreateLookupTables(), "Failed to create lookup tables");
    Work work;
    Check(GetAtomList(work), "Failed to obtain atom list");
    Check(GetHierarchyInformation(work), "GetHierarchyInformation");
    m_objectCount = m_itemCount - m_atomCount;
    Check(InitializeItems(work), "InitializeItems");
    Check(GetAtomInformation(work), "GetAtomInformation");
    Check(ComputeAtomTypes(work), "ComputeAtomTypes");
    Check(FindEquivalentAtoms(work), "FindEquivalentAtoms");
    Check(FindSymmetryParents(work), "FindSymmetryParents");
    Check(SetSymmetryParent(work), "SetSymmetryParent");
    Check(FindEquivalentObjects(work), "FindEquivalentObjects");
    Check(FindListMembership(work), "FindListMembership");
    Check(VerifyListMembership(work), "VerifyListMembership");
    SetListMembership(work);
    Check(FindListParents(work), "FindListParents");
    Check(SetListParents(work), "SetListParents");
    Check(UpdateItemParents(work), "UpdateItemParents");
    Check(ValidateItemsAndLists(), "ValidateItemsAndLists");

    m_bonds.Clear();
    Check(GetBondsFromHierarchy(work), "GetBondsFromHierarchy");
    std::vector<ReplicateBondList> bonds;
    if (!FindEquivalentBonds(work, bonds)) {
        HierarchyDataErrorList::AddError(7686, "FindEquivalentBonds");
        Fail({});
    }
    if (!SymmetrizeBonds(bonds)) {
        HierarchyDataErrorList::AddError(7697, "SymmetrizeBonds");
        Fail({});
    }
    const bool computeBonds = m_computeBonds;
    m_computeBonds = false;
    m_bondsComputed = computeBonds;
    if (computeBonds) {
        std::vector<ReplicateBondList> computed;
        if (!FindNeighbors(computed)) {
            HierarchyDataErrorList::AddError(7725, "FindNeighbors");
            Fail({});
        }
        if (!SymmetrizeBonds(computed)) {
            HierarchyDataErrorList::AddError(7736, "SymmetrizeBonds");
            Fail({});
        }
        std::vector<ReplicateBondList> merged;
        Check(MergeBonds(bonds, computed, merged), "MergeBonds");
        bonds = std::move(merged);
    }
    std::int32_t highest = 0;
    for (const ReplicateBondList& list : bonds)
        for (const ReplicateBond& bond : list)
            highest = std::max(highest, bond.GetBondType());
    Check(DetermineChemistry(bonds, highest), "DetermineChemistry");
    IntArray representatives;
    if (FindAsymmetricUnitAtoms(representatives)) {
        SymmetryImageKey::Array redefinitions;
        GetAsymmetricUnitOperations(representatives, redefinitions);
        TransformCellAtomOperations(redefinitions);
    }

    // List ancestry: each atom list, then its chain of object lists.
    const std::int32_t width = highest == 0 ? 2 : highest + 1;
    IndexLists ancestry(m_atomLists.size());
    for (std::size_t i = 0; i < ancestry.size(); ++i) {
        IntArray& row = ancestry[i];
        row.push_back(static_cast<std::int32_t>(i));
        for (std::int32_t p = m_atomLists[i].GetParentIndex(); p >= 0 && static_cast<std::int32_t>(row.size()) < width;
             p = m_objectLists[At(p)].GetParentIndex())
            row.push_back(p);
    }
    for (std::int32_t level = 1; level <= std::max(highest, 1); ++level) {
        const IndexLists components = ComponentsAtLevel(level);
        if ((highest == 0 || !CheckCosetDecomposition(level, ancestry, components)) &&
            !SortComponents(level, ancestry, components))
            Fail("SortComponents failed");
    }
    Check(DetermineSymmetryTree(), "DetermineSymmetryTree");
    ClearGraph();

    std::vector<SymmetryImageKey::Array> keys(m_atomLists.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (const ReplicateMember& member : m_atomLists[i].members)
            keys[i].push_back(member.key);
    Check(BuildImages(keys, false, false, computeBonds), "CellBuildTree::Build");
}

// ---- Space group and atoms -------------------------------------------------------------------

bool HierarchyData::GetSymmetryInformation()
{
    if (!m_cell)
        return false;
    Matrix3x3 fractionalToCartesian;
    Matrix3x3 cartesianToFractional;
    m_cell->GetFracToCart(fractionalToCartesian);
    m_cell->GetCartToFrac(cartesianToFractional);
    const Symmetry* const symmetry = m_cell->GetSymmetry();
    if (!symmetry) {
        HierarchyDataErrorList::AddError(5309, "No symmetry specified");
        return false;
    }
    const int n = symmetry->GetNumSymmetryOps();
    if (n < 1) {
        HierarchyDataErrorList::AddError(5315, "No symmetry operations defined");
        return false;
    }
    std::vector<Matrix4x4> operations;
    for (int i = 0; i < n; ++i) {
        const SymmetryOp* const op = symmetry->GetSymmetryOp(i);
        if (!op) {
            HierarchyDataErrorList::AddError(5328, "At least one symmetry operation is undefined");
            return false;
        }
        operations.push_back(op->GetMatrix());
    }
    if (!(operations.front() == Matrix4x4())) {
        HierarchyDataErrorList::AddError(5340, "Identity operation is not the first symmetry operation");
        return false;
    }
    m_fractionalToCartesian = fractionalToCartesian;
    m_cartesianToFractional = cartesianToFractional;
    m_operations = std::move(operations);
    m_operationGroup.SetOperations(m_operations);
    m_tolerance = m_cell->GetSpecialPositionTol();
    return true;
}

bool HierarchyData::CreateLookupTables()
{
    const auto n = static_cast<std::int32_t>(m_operations.size());
    if (m_cosetLattice)
        m_cosetLattice->SetElementCount(n);
    else
        m_cosetLattice = std::make_unique<CosetLattice>(n);
    if (!m_operationTable)
        m_operationTable = std::make_unique<SymmetryOperationTable>();
    if (!m_imageKeys)
        m_imageKeys = std::make_unique<SymmetryImageKeySet>();
    return true;
}

bool HierarchyData::GetAtomList(Work& work) const
{
    work.atoms.clear();
    work.kinds.clear();
    work.flags.clear();
    std::vector<Atom*> waiting;
    DescendentIterator walk(m_cell, Atom3d::classType, false);
    while (Object* const object = walk.GetNext()) {
        const Object* const parent = object->GetParent();
        if (!parent || !(IsA<Residue>(parent) || IsA<Molecule>(parent)) || IsA<ConformerAtom>(object) ||
            object->HasAncestor(Conformer::classType) || object->HasAncestor(Atom3d::classType))
            continue;
        auto* const atom = static_cast<Atom*>(object);
        if (object->HasProperty("_ASU")) {
            work.atoms.push_back(atom);
            work.kinds.push_back(0);
            work.flags.push_back(true);
        } else {
            waiting.push_back(atom);
        }
    }
    for (Atom* const atom : waiting) {
        work.atoms.push_back(atom);
        work.kinds.push_back(atom->HasProperty("_REP") ? 2 : 0);
        work.flags.push_back(false);
    }
    DescendentIterator replicas(m_cell, ReplicateAtom::classType, false);
    while (Object* const object = replicas.GetNext()) {
        work.atoms.push_back(static_cast<Atom*>(object));
        work.kinds.push_back(2);
        work.flags.push_back(false);
    }
    const_cast<HierarchyData*>(this)->m_atomCount = static_cast<std::int32_t>(work.atoms.size());
    return m_atomCount > 0;
}

bool HierarchyData::GetHierarchyInformation(Work& work) const
{
    const auto n = At(m_atomCount);
    if (work.atoms.size() != n || work.kinds.size() != n || work.flags.size() != n)
        return false;
    const std::uint32_t cellOID = m_cell->GetOID();
    // Ancestor paths, the atom's own OID first, up to and including the cell.
    std::vector<OIDArray> paths(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (const Object* at = work.atoms[i]; at; at = at->GetParent()) {
            paths[i].push_back(at->GetOID());
            if (at->GetOID() == cellOID)
                break;
        }
        if (paths[i].empty() || paths[i].back() != cellOID)
            return false;
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        if (work.flags[x] != work.flags[y])
            return static_cast<bool>(work.flags[x]);
        if (work.kinds[x] != work.kinds[y])
            return work.kinds[x] < work.kinds[y];
        return std::lexicographical_compare(paths[x].rbegin(), std::prev(paths[x].rend()), paths[y].rbegin(),
                                            std::prev(paths[y].rend()));
    });
    Work sorted;
    std::vector<OIDArray> sortedPaths(n);
    for (std::size_t p = 0; p < n; ++p) {
        sorted.atoms.push_back(work.atoms[order[p]]);
        sorted.kinds.push_back(work.kinds[order[p]]);
        sorted.flags.push_back(work.flags[order[p]]);
        sortedPaths[p] = std::move(paths[order[p]]);
    }
    work.atoms = std::move(sorted.atoms);
    work.kinds = std::move(sorted.kinds);
    work.flags = std::move(sorted.flags);

    // Atoms are items 0..n-1; every object on a path, the cell included, becomes an item after them.
    OIDArray& oids = work.oids;
    IntArray& depths = work.depths;
    IntArray& parents = work.parents;
    oids.assign(n, 0);
    depths.assign(n, 0);
    parents.assign(n, -1);
    FlatIntMap<std::uint32_t, std::int32_t, 0> items;
    for (std::size_t i = 0; i < n; ++i) {
        oids[i] = sortedPaths[i].front();
        depths[i] = static_cast<std::int32_t>(sortedPaths[i].size());
        items[oids[i]] = static_cast<std::int32_t>(i);
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::int32_t current = static_cast<std::int32_t>(i);
        for (std::size_t k = 1; k < sortedPaths[i].size(); ++k) {
            const std::uint32_t oid = sortedPaths[i][k];
            if (const std::int32_t* const found = items.Find(oid)) {
                parents[At(current)] = *found;
                break;
            }
            const auto added = static_cast<std::int32_t>(oids.size());
            oids.push_back(oid);
            depths.push_back(depths[At(current)] - 1);
            parents.push_back(-1);
            parents[At(current)] = added;
            items[oid] = added;
            current = added;
        }
    }
    // A replica's chain of replica items must end at an atom that precedes it.
    for (std::size_t i = 0; i < n; ++i) {
        if (!IsA<ReplicateAtom>(work.atoms[i]))
            continue;
        std::int32_t at = parents[i];
        while (at >= 0 && at < m_atomCount && IsA<ReplicateAtom>(work.atoms[At(at)]))
            at = parents[At(at)];
        if (at < 0 || at >= m_atomCount) {
            HierarchyDataErrorList::AddError(5816, "ReplicateAtom has no Atom3d parent");
            HierarchyDataErrorList::AddError(5819, "ReplicateAtom OID = " + std::to_string(oids[i]));
            for (const std::uint32_t oid : sortedPaths[i]) {
                HierarchyDataErrorList::AddError(5825, "OID = " + std::to_string(oid));
                if (const Object* const object = Object::GetObjectA(oid))
                    HierarchyDataErrorList::AddError(5830, object->GetCommonName());
            }
            return false;
        }
        if (at > static_cast<std::int32_t>(i)) {
            HierarchyDataErrorList::AddError(5837, "ReplicateAtom precedes Atom3d parent");
            return false;
        }
    }
    for (std::size_t i = n; i < oids.size(); ++i) {
        if (parents[i] >= 0 && parents[i] < m_atomCount) {
            HierarchyDataErrorList::AddError(5862, "Atoms included must be leaf nodes");
            return false;
        }
    }
    // A replica becomes a sibling of its chemical parent.
    const IntArray itemParents(parents.begin(), parents.begin() + static_cast<std::ptrdiff_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        if (!IsA<ReplicateAtom>(work.atoms[i]))
            continue;
        std::int32_t at = itemParents[i];
        while (IsA<ReplicateAtom>(work.atoms[At(at)]))
            at = itemParents[At(at)];
        parents[i] = parents[At(at)];
        depths[i] = depths[At(at)];
    }
    const_cast<HierarchyData*>(this)->m_itemCount = static_cast<std::int32_t>(oids.size());
    return true;
}

bool HierarchyData::InitializeItems(const Work& work)
{
    const auto count = At(m_itemCount);
    if (work.oids.size() != count || work.depths.size() != count || work.parents.size() != count)
        return false;
    const auto oids = std::span<const std::uint32_t>(work.oids);
    const auto split = At(std::clamp(m_atomCount, 0, m_itemCount));
    m_atomIndexByOID.Prepare(oids.first(split));
    m_objectIndexByOID.Prepare(oids.subspan(split));
    std::vector<AtomItem> atoms;
    std::vector<ObjectItem> objects;
    for (std::size_t i = 0; i < count; ++i) {
        const HierarchyItem item{work.oids[i], work.depths[i], work.parents[i]};
        if (static_cast<std::int32_t>(i) < m_atomCount) {
            m_atomIndexByOID[item.oid] = static_cast<std::int32_t>(i);
            atoms.push_back({item});
        } else {
            m_objectIndexByOID[item.oid] = static_cast<std::int32_t>(i) - m_atomCount;
            objects.push_back({item});
        }
    }
    m_atomItems = std::move(atoms);
    m_objectItems = std::move(objects);
    return true;
}

bool HierarchyData::GetAtomInformation(Work& work) const
{
    if (work.atoms.size() != At(m_atomCount))
        return false;
    work.positions.assign(work.atoms.size(), Point3d());
    work.radii.assign(work.atoms.size(), 0.0);
    work.types.assign(work.atoms.size(), -1);
    for (std::size_t i = 0; i < work.atoms.size(); ++i) {
        const Atom* const atom = work.atoms[i];
        if (!atom)
            continue;
        const Point3d position = atom->GetXYZ() * m_cartesianToFractional;
        if (!IsWithinReach(position))
            return false;
        work.positions[i] = position;
        work.radii[i] = atom->GetBondingRadius();
        work.types[i] = atom->GetAtomicNumber();
    }
    return true;
}

bool HierarchyData::ComputeAtomTypes(Work& work) const
{
    const auto n = At(m_atomCount);
    if (work.atoms.size() != n || work.types.size() != n)
        return false;
    std::vector<std::pair<std::int64_t, std::size_t>> byMarker;
    std::vector<std::pair<std::int64_t, std::size_t>> byParent;
    for (std::size_t i = 0; i < n; ++i) {
        work.types[i] = 0;
        const Atom* const atom = work.atoms[i];
        if (IsA<Atom3d>(atom)) {
            std::int32_t value = -1;
            if ((LongProperty(atom, "_ASU", value) && value != -1) || (LongProperty(atom, "_REP", value) && value != -1))
                byMarker.emplace_back(value, i);
            if (atom->HasDescendent(ReplicateAtom::classType))
                byParent.emplace_back(atom->GetOID(), i);
        } else if (const auto* const replica = DynCast<ReplicateAtom>(const_cast<Atom*>(atom))) {
            const Atom3d* const parent = replica->GetChemicalParent();
            byParent.emplace_back(parent ? parent->GetOID() : 0, i);
        }
    }
    const auto byKey = [](const auto& x, const auto& y) { return x.first < y.first; };
    std::stable_sort(byMarker.begin(), byMarker.end(), byKey);
    std::stable_sort(byParent.begin(), byParent.end(), byKey);
    std::int32_t c = 0;
    std::int64_t last = -1;
    for (const auto& [key, i] : byMarker) {
        if (key != last) {
            ++c;
            last = key;
        }
        work.types[i] = c;
    }
    last = 0;
    for (const auto& [key, i] : byParent) {
        if (key != last) {
            ++c;
            last = key;
        }
        work.types[i] = c;
    }
    for (std::int32_t& type : work.types) {
        if (type == 0)
            type = ++c;
    }
    return true;
}

// ---- Equivalent atoms and replicate lists ------------------------------------------------------

bool HierarchyData::FindEquivalentAtoms(const Work& work)
{
    m_atomLists.clear();
    const auto n = At(m_atomCount);
    if (work.positions.size() != n || work.radii.size() != n || work.types.size() != n || work.kinds.size() < n)
        return false;
    PeriodicNeighborGrid grid(m_fractionalToCartesian, m_cartesianToFractional, m_tolerance);
    for (std::size_t i = 0; i < n; ++i)
        grid.AddPoint(work.positions[i], static_cast<std::int32_t>(i));
    EquivalentAtomLists lists;
    lists.positions = work.positions;
    lists.types = work.types;
    lists.states.assign(work.kinds.begin(), work.kinds.begin() + static_cast<std::ptrdiff_t>(n));
    lists.parents.resize(n);
    std::iota(lists.parents.begin(), lists.parents.end(), 0);
    lists.keys.assign(n, SymmetryImageKey::identity);
    MakeSingletonLists(m_atomCount, lists.classes);
    SymmetryTools::ClaimTranslationEquivalents(lists, 0, grid);
    SymmetryTools::ClaimEquivalentAtoms(lists, m_fractionalToCartesian, m_tolerance, m_operations, grid,
                                        *m_operationTable, *m_cosetLattice);
    if (lists.siteNumbers.size() != n || lists.cosetNumbers.size() != n)
        return false;
    // A member claimed by a translation of an atom that is itself an image takes that image's parent.
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t j = lists.parents[i];
        SymmetryImageKey& key = lists.keys[i];
        if (j == static_cast<std::int32_t>(i) || key.op != 0 || lists.parents[At(j)] == j)
            continue;
        const SymmetryImageKey& via = lists.keys[At(j)];
        key = {via.op, key.a + via.a, key.b + via.b, key.c + via.c};
        lists.parents[i] = lists.parents[At(j)];
    }
    for (const SymmetryImageKey& key : lists.keys)
        m_imageKeys->Add(key);
    for (std::size_t i = 0; i < n; ++i) {
        const auto self = static_cast<std::int32_t>(i);
        const IntArray& members = lists.classes[i];
        if (members.empty()) {
            if (lists.parents[i] == self) {
                HierarchyDataErrorList::AddError(6143, "Error in determining symmetry equivalent atoms");
                return false;
            }
            continue;
        }
        bool failed = false;
        if (lists.parents[i] != self) {
            HierarchyDataErrorList::AddError(6098, "Symmetry parent is not set correctly");
            failed = true;
        }
        if (members.front() != self) {
            HierarchyDataErrorList::AddError(6105, "Symmetry parent is not first in list");
            failed = true;
        }
        const Object* const object = Object::GetObjectA(work.oids[i]);
        if (!object) {
            HierarchyDataErrorList::AddError(6113, "Symmetry parent has an invalid object ID");
            failed = true;
        } else if (!IsA<Atom3d>(object)) {
            HierarchyDataErrorList::AddError(6119, "Symmetry parent is not an Atom3d object :");
            HierarchyDataErrorList::AddError(6122, object->GetCommonName());
            failed = true;
        }
        if (lists.cosetNumbers[i] < 0) {
            HierarchyDataErrorList::AddError(6127, "Symmetry parent has an invalid coset decomposition");
            failed = true;
        }
        if (failed) {
            HierarchyDataErrorList::AddError(6133, "Error in determining symmetry equivalent atoms");
            return false;
        }
    }
    return EquivalenceTest(work, lists);
}

bool HierarchyData::EquivalenceTest(const Work& work, const EquivalentAtomLists& lists)
{
    std::vector<ReplicateAtomList> result;
    const double limit = m_tolerance * m_tolerance;
    for (std::size_t i = 0; i < lists.classes.size(); ++i) {
        const IntArray& members = lists.classes[i];
        if (members.empty())
            continue;
        ReplicateAtomList list;
        list.cosetDecompositionIndex = lists.cosetNumbers[i];
        list.itemIndex = static_cast<std::int32_t>(i);
        list.oid = work.oids[i];
        list.fractionalPosition = work.positions[i];
        list.bondingRadius = work.radii[i];
        list.operationTableIndex = lists.siteNumbers[i];
        for (const std::int32_t m : members)
            list.members.push_back({m, work.oids[At(m)], lists.keys[At(m)]});
        if (!(list.members.front().key == SymmetryImageKey::identity)) {
            HierarchyDataErrorList::AddError(6249, "Identity operation not first in list");
            return false;
        }
        for (const ReplicateMember& member : list.members) {
            const SymmetryImageKey& key = member.key;
            if (key.op < 0 || At(key.op) >= m_operations.size()) {
                HierarchyDataErrorList::AddError(6265, "EquivalenceTest error");
                return false;
            }
            const Point3d expected = Apply(m_operations[At(key.op)], list.fractionalPosition) + key.GetTranslation();
            const Point3d d = (expected - work.positions[At(member.item)]) * m_fractionalToCartesian;
            if (static_cast<double>(d.x) * d.x + static_cast<double>(d.y) * d.y + static_cast<double>(d.z) * d.z >
                limit) {
                HierarchyDataErrorList::AddError(6265, "EquivalenceTest error");
                return false;
            }
        }
        result.push_back(std::move(list));
    }
    m_atomLists = std::move(result);
    return true;
}

bool HierarchyData::FindSymmetryParents(Work& work) const
{
    if (m_itemCount <= 0)
        return false;
    if (work.parents.size() != At(m_itemCount)) {
        HierarchyDataErrorList::AddError(6367, "Bad input");
        return false;
    }
    IntArray& sp = work.symParents;
    sp.assign(At(m_itemCount), -1);
    for (const ReplicateAtomList& list : m_atomLists)
        for (const ReplicateMember& member : list.members)
            sp[At(member.item)] = list.itemIndex;
    if (std::any_of(sp.begin(), sp.begin() + m_atomCount, [](std::int32_t v) { return v < 0; })) {
        HierarchyDataErrorList::AddError(6401, "Failed to assign symmetry parents to atoms");
        return false;
    }
    // Objects holding equivalent atoms are equivalent.
    SmallestMemberSets classes(At(m_objectCount));
    IntArray objects;
    for (const ReplicateAtomList& list : m_atomLists) {
        objects.clear();
        for (const ReplicateMember& member : list.members) {
            const std::int32_t parent = work.parents[At(member.item)];
            if (parent >= m_atomCount)
                objects.push_back(parent - m_atomCount);
        }
        for (std::size_t k = 1; k < objects.size(); ++k)
            classes.Join(objects[0], objects[k]);
    }
    IndexLists byClass(At(m_objectCount));
    for (std::int32_t k = 0; k < m_objectCount; ++k)
        byClass[At(classes.Smallest(k))].push_back(k);
    std::vector<bool> handled(At(m_objectCount), false);
    for (const ReplicateAtomList& list : m_atomLists) {
        const std::int32_t o = work.parents[At(list.itemIndex)];
        if (o < m_atomCount)
            continue;
        const std::int32_t c = classes.Smallest(o - m_atomCount);
        if (handled[At(c)])
            continue;
        handled[At(c)] = true;
        for (const std::int32_t k : byClass[At(c)])
            sp[At(k + m_atomCount)] = o;
    }
    for (std::int32_t k = m_atomCount; k < m_itemCount; ++k) {
        if (sp[At(k)] != k)
            continue;
        for (std::int32_t a = work.parents[At(k)]; a >= 0 && sp[At(a)] != a; a = work.parents[At(a)])
            sp[At(a)] = a;
    }
    for (std::int32_t k = m_atomCount; k < m_itemCount; ++k) {
        if (sp[At(k)] == k || sp[At(k)] < 0)
            continue;
        std::int32_t a = work.parents[At(k)];
        std::int32_t b = work.parents[At(sp[At(k)])];
        while (a >= 0 && b >= 0 && sp[At(a)] < 0) {
            sp[At(a)] = b;
            a = work.parents[At(a)];
            b = work.parents[At(b)];
        }
    }
    if (std::any_of(sp.begin() + m_atomCount, sp.end(), [](std::int32_t v) { return v < 0; })) {
        HierarchyDataErrorList::AddError(6495, "Failed to assign symmetry parents to objects");
        return false;
    }
    return true;
}

bool HierarchyData::SetSymmetryParent(const Work& work)
{
    if (work.symParents.size() != At(m_itemCount))
        return false;
    for (std::int32_t i = 0; i < m_itemCount; ++i) {
        if (i < m_atomCount)
            m_atomItems[At(i)].symParent = work.symParents[At(i)];
        else
            m_objectItems[At(i - m_atomCount)].symParent = work.symParents[At(i)];
    }
    return true;
}

bool HierarchyData::FindEquivalentObjects(const Work& work)
{
    const auto count = At(m_itemCount);
    if (work.oids.size() != count || work.parents.size() != count || work.symParents.size() != count)
        return false;
    std::vector<ReplicateObjectList> lists;
    IntArray number(count, -1);
    for (std::int32_t k = m_atomCount; k < m_itemCount; ++k) {
        if (work.symParents[At(k)] != k)
            continue;
        number[At(k)] = static_cast<std::int32_t>(lists.size());
        ReplicateObjectList list;
        list.cosetDecompositionIndex = 0;
        list.itemIndex = k - m_atomCount;
        list.oid = work.oids[At(k)];
        list.members.push_back({k - m_atomCount, list.oid, SymmetryImageKey::identity});
        lists.push_back(std::move(list));
    }
    for (std::int32_t k = m_atomCount; k < m_itemCount; ++k) {
        const std::int32_t head = work.symParents[At(k)];
        if (head == k)
            continue;
        if (head < m_atomCount || number[At(head)] < 0)
            return false;
        lists[At(number[At(head)])].members.push_back({k - m_atomCount, work.oids[At(k)], SymmetryImageKey()});
    }
    m_objectLists = std::move(lists);
    return true;
}

bool HierarchyData::FindListMembership(Work& work) const
{
    work.lists.assign(At(m_itemCount), -1);
    work.members.assign(At(m_itemCount), -1);
    for (std::size_t l = 0; l < m_atomLists.size(); ++l) {
        const auto& members = m_atomLists[l].members;
        for (std::size_t m = 0; m < members.size(); ++m) {
            const std::int32_t item = members[m].item;
            if (item < 0 || item >= m_atomCount || work.lists[At(item)] >= 0) {
                HierarchyDataErrorList::AddError(6666, "Item already assigned");
                return false;
            }
            work.lists[At(item)] = static_cast<std::int32_t>(l);
            work.members[At(item)] = static_cast<std::int32_t>(m);
        }
    }
    for (std::size_t l = 0; l < m_objectLists.size(); ++l) {
        const auto& members = m_objectLists[l].members;
        for (std::size_t m = 0; m < members.size(); ++m) {
            const std::int32_t item = members[m].item + m_atomCount;
            if (item < m_atomCount || item >= m_itemCount || work.lists[At(item)] >= 0) {
                HierarchyDataErrorList::AddError(6688, "Item already assigned");
                return false;
            }
            work.lists[At(item)] = static_cast<std::int32_t>(l);
            work.members[At(item)] = static_cast<std::int32_t>(m);
        }
    }
    if (std::any_of(work.lists.begin(), work.lists.end(), [](std::int32_t l) { return l < 0; })) {
        HierarchyDataErrorList::AddError(6710, "Item not assigned");
        return false;
    }
    return true;
}

bool HierarchyData::VerifyListMembership(const Work& work) const
{
    for (std::int32_t i = 0; i < m_itemCount; ++i) {
        const std::int32_t l = work.lists[At(i)];
        const std::int32_t m = work.members[At(i)];
        const bool ok = i < m_atomCount ? l < static_cast<std::int32_t>(m_atomLists.size()) &&
                                              m_atomLists[At(l)].IsMemberItem(m, i)
                                        : l < static_cast<std::int32_t>(m_objectLists.size()) &&
                                              m_objectLists[At(l)].IsMemberItem(m, i - m_atomCount);
        if (!ok)
            return false;
    }
    return true;
}

void HierarchyData::SetListMembership(const Work& work)
{
    for (std::int32_t i = 0; i < m_itemCount; ++i) {
        HierarchyItem& item = i < m_atomCount ? static_cast<HierarchyItem&>(m_atomItems[At(i)])
                                              : m_objectItems[At(i - m_atomCount)];
        item.list = work.lists[At(i)];
        item.member = work.members[At(i)];
    }
}

bool HierarchyData::FindListParents(Work& work) const
{
    if (work.lists.size() != At(m_itemCount) || work.parents.size() != At(m_itemCount) || m_objectLists.empty())
        return false;
    IntArray& parents = work.listParents;
    parents.assign(m_atomLists.size() + m_objectLists.size(), -1);
    for (std::size_t k = 0; k < m_atomLists.size(); ++k) {
        const std::int32_t p = work.parents[At(m_atomLists[k].itemIndex)];
        parents[k] = p < 0 ? -1 : work.lists[At(p)];
    }
    bool rooted = false;
    for (std::size_t k = 0; k < m_objectLists.size(); ++k) {
        const std::int32_t p = work.parents[At(m_objectLists[k].itemIndex + m_atomCount)];
        if (p < 0) {
            if (rooted)
                return false;
            rooted = true;
            continue;
        }
        parents[m_atomLists.size() + k] = work.lists[At(p)];
    }
    return rooted;
}

bool HierarchyData::SetListParents(const Work& work)
{
    if (work.listParents.size() != m_atomLists.size() + m_objectLists.size())
        return false;
    for (std::size_t k = 0; k < m_atomLists.size(); ++k)
        m_atomLists[k].SetParentIndex(work.listParents[k]);
    bool rooted = false;
    for (std::size_t k = 0; k < m_objectLists.size(); ++k) {
        const std::int32_t parent = work.listParents[m_atomLists.size() + k];
        m_objectLists[k].SetParentIndex(parent);
        if (parent != -1)
            continue;
        if (rooted)
            return false;
        rooted = true;
        m_objectLists[k].SetCosetDecompositionIndex(1);
    }
    return rooted;
}

bool HierarchyData::UpdateItemParents(const Work& work)
{
    if (work.parents.size() != At(m_itemCount) || work.symParents.size() != At(m_itemCount))
        return false;
    for (std::int32_t i = 0; i < m_itemCount; ++i) {
        const std::int32_t parent = work.parents[At(i)];
        if (parent != -1 && parent < m_atomCount)
            return false;
        const std::int32_t objectParent = parent < 0 ? -1 : parent - m_atomCount;
        if (i < m_atomCount) {
            m_atomItems[At(i)].parent = objectParent;
            continue;
        }
        const std::int32_t sp = work.symParents[At(i)];
        if (sp < m_atomCount)
            return false;
        ObjectItem& item = m_objectItems[At(i - m_atomCount)];
        item.parent = objectParent;
        item.symParent = sp - m_atomCount;
    }
    return true;
}

bool HierarchyData::ValidateItemsAndLists() const
{
    if (m_atomCount != static_cast<std::int32_t>(m_atomItems.size()) ||
        At(m_atomCount) != m_atomIndexByOID.GetCount() ||
        m_objectCount != static_cast<std::int32_t>(m_objectItems.size()) ||
        At(m_objectCount) != m_objectIndexByOID.GetCount() || m_itemCount != m_atomCount + m_objectCount)
        return false;
    const std::uint32_t cellOID = m_cell->GetOID();
    for (const AtomItem& item : m_atomItems) {
        const Object* const object = item.oid ? Object::GetObjectA(item.oid) : nullptr;
        if (!object || !object->HasAncestor(m_cell))
            return false;
    }
    std::int32_t roots = 0;
    for (const ObjectItem& item : m_objectItems) {
        if (item.oid == 0)
            return false;
        if (item.oid != cellOID) {
            const Object* const object = Object::GetObjectA(item.oid);
            if (!object || !object->HasAncestor(m_cell))
                return false;
        }
        roots += item.parent == -1 ? 1 : 0;
    }
    if (roots != 1)
        return false;
    // Every item a member of exactly one list, at the place it names.
    const auto checkLists = [this](const auto& lists, const auto& items, const auto& map, std::int32_t count,
                                   bool objects) {
        std::vector<bool> used(At(count), false);
        for (std::size_t i = 0; i < lists.size(); ++i) {
            const ReplicateList& list = lists[i];
            const std::int32_t* const index = list.oid ? map.Find(list.oid) : nullptr;
            if (!index || list.itemIndex < 0 || list.itemIndex >= count || *index != list.itemIndex ||
                list.members.empty() || list.members[0].oid != list.oid || list.members[0].item != list.itemIndex)
                return false;
            for (std::size_t m = 0; m < list.members.size(); ++m) {
                const ReplicateMember& member = list.members[m];
                if (member.oid == 0 || member.item < 0 || member.item >= count || used[At(member.item)])
                    return false;
                used[At(member.item)] = true;
                const HierarchyItem& item = items[At(member.item)];
                if (item.oid != member.oid || item.list != static_cast<std::int32_t>(i) ||
                    item.member != static_cast<std::int32_t>(m) || item.symParent < 0 || item.symParent >= count)
                    return false;
                if (item.parent < -1 || item.parent >= m_objectCount || (item.parent == -1 && !objects))
                    return false;
            }
        }
        return std::all_of(used.begin(), used.end(), [](bool u) { return u; });
    };
    return checkLists(m_atomLists, m_atomItems, m_atomIndexByOID, m_atomCount, false) &&
           checkLists(m_objectLists, m_objectItems, m_objectIndexByOID, m_objectCount, true);
}

// ---- Bonds -------------------------------------------------------------------------------------

bool HierarchyData::GetBondsFromHierarchy(Work& work) const
{
    const auto n = At(m_atomCount);
    if (work.atoms.size() != n)
        return false;
    work.partners.assign(n, {});
    work.bondTypes.assign(n, {});
    work.bondOIDs.assign(n, {});
    const auto parentOf = [this](std::int32_t item, bool atom) {
        return item < 0 ? -1 : atom ? m_atomItems[At(item)].parent : m_objectItems[At(item)].parent;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const Atom* const atom = work.atoms[i];
        if (!atom)
            continue;
        const int count = atom->GetNumAttached();
        work.partners[i].assign(At(count), -1);
        work.bondTypes[i].assign(At(count), -1);
        work.bondOIDs[i].assign(At(count), 0);
        for (int k = 0; k < count; ++k) {
            const Bond* const bond = atom->GetBond(k);
            const Bondable* const partner = atom->GetAttached(k);
            const std::int32_t* const j = bond && partner ? m_atomIndexByOID.Find(partner->GetOID()) : nullptr;
            if (!j)
                continue;
            work.bondOIDs[i][At(k)] = bond->GetOID();
            work.partners[i][At(k)] = *j;
            if (m_atomItems[i].depth != m_atomItems[At(*j)].depth)
                continue;
            const TreeNode* const common = atom->FindCommonAncestor(static_cast<const TreeNode*>(partner));
            const bool known = common && (IsA<Atom>(common) ? m_atomIndexByOID.Find(common->GetOID()) != nullptr
                                                            : m_objectIndexByOID.Find(common->GetOID()) != nullptr);
            if (!known)
                continue;
            // Climb both in step until their symmetry parents agree.
            std::int32_t a = m_atomItems[i].parent;
            std::int32_t b = m_atomItems[At(*j)].parent;
            for (std::int32_t steps = 1; steps <= m_objectCount + 1; ++steps) {
                const std::int32_t sa = a < 0 ? -1 : m_objectItems[At(a)].symParent;
                const std::int32_t sb = b < 0 ? -1 : m_objectItems[At(b)].symParent;
                if (sa == sb) {
                    work.bondTypes[i][At(k)] = steps;
                    break;
                }
                a = parentOf(a, false);
                b = parentOf(b, false);
            }
        }
    }
    return true;
}

bool HierarchyData::FindEquivalentBonds(const Work& work, std::vector<ReplicateBondList>& out) const
{
    const auto n = At(m_atomCount);
    if (work.partners.size() != n || work.bondTypes.size() != n || work.bondOIDs.size() != n)
        return false;
    out.assign(m_atomLists.size(), {});
    for (std::size_t l = 0; l < m_atomLists.size(); ++l) {
        for (const ReplicateMember& member : m_atomLists[l].members) {
            const SymmetryImageKey inverse = m_operationGroup.GetInverse(member.key);
            const IntArray& partners = work.partners[At(member.item)];
            for (std::size_t k = 0; k < partners.size(); ++k) {
                const std::int32_t b = partners[k];
                if (b < 0)
                    continue;
                const AtomItem& partner = m_atomItems[At(b)];
                const SymmetryImageKey& kb = m_atomLists[At(partner.list)].members[At(partner.member)].key;
                out[l].emplace_back(work.bondOIDs[At(member.item)][k], m_operationGroup.Multiply(kb, inverse),
                                    partner.list, work.bondTypes[At(member.item)][k]);
            }
        }
    }
    return true;
}

bool HierarchyData::SymmetrizeBonds(std::vector<ReplicateBondList>& lists)
{
    if (!ReduceSymmetryBonds(lists)) {
        HierarchyDataErrorList::AddError(7634, "ReduceSymmetryBonds");
        return false;
    }
    m_bonds.AddBonds(lists);
    if (!ExpandSymmetryBonds(lists)) {
        HierarchyDataErrorList::AddError(7649, "ExpandSymmetryBonds");
        return false;
    }
    return true;
}

bool HierarchyData::ReduceSymmetryBonds(std::vector<ReplicateBondList>& lists)
{
    if (lists.size() != m_atomLists.size()) {
        HierarchyDataErrorList::AddError(7475, "Bad input");
        return false;
    }
    for (std::size_t k = 0; k < lists.size(); ++k) {
        if (!ReplaceWithCosetRepresentatives(lists[k])) {
            HierarchyDataErrorList::AddError(7486, "ReplaceWithCosetRepresentatives");
            return false;
        }
        SortAndUniqueBonds(lists[k]);
        ReplaceWithSymmetryEquivalentBonds(static_cast<std::int32_t>(k), lists[k]);
        if (!ReplaceWithCosetRepresentatives(lists[k])) {
            HierarchyDataErrorList::AddError(7500, "ReplaceWithCosetRepresentatives");
            return false;
        }
        SortAndUniqueBonds(lists[k]);
    }
    return true;
}

bool HierarchyData::GetCosetRepresentativeKey(std::int32_t partner, SymmetryImageKey& key)
{
    if (!m_cosetLattice || partner < 0 || At(partner) >= m_atomLists.size())
        return true;
    const ReplicateAtomList& list = m_atomLists[At(partner)];
    const std::int32_t decomposition = list.GetCosetDecompositionIndex();
    if (decomposition <= 0)
        return true;
    const std::int32_t r = m_cosetLattice->GetRepresentative(decomposition, key.op);
    if (r == key.op)
        return true;
    SymmetryImageKey reexpressed;
    if (!SymmetryTools::ReexpressKey(key, list.fractionalPosition, m_operations, r, reexpressed))
        return false;
    key = reexpressed;
    return true;
}

bool HierarchyData::ReplaceWithCosetRepresentatives(ReplicateBondList& list)
{
    bool all = true;
    for (ReplicateBond& bond : list) {
        SymmetryImageKey key = bond.GetOperation();
        all = GetCosetRepresentativeKey(bond.GetBondAtomList(), key) && all;
        bond.SetOperation(key);
    }
    return all;
}

void HierarchyData::SortAndUniqueBonds(ReplicateBondList& list)
{
    std::stable_sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

void HierarchyData::ReplaceWithSymmetryEquivalentBonds(std::int32_t k, ReplicateBondList& list)
{
    const std::int32_t site = m_atomLists[At(k)].operationTableIndex;
    SymmetryImageKey::Array siteKeys;
    if (!m_operationTable || site <= 0 || !m_operationTable->GetKeys(site, siteKeys))
        return;
    std::int32_t partner = -1;
    IntArray representatives;
    for (ReplicateBond& bond : list) {
        if (bond.GetBondAtomList() != partner) {
            partner = bond.GetBondAtomList();
            m_cosetLattice->GetPartition(m_atomLists[At(partner)].GetCosetDecompositionIndex(), representatives);
        }
        const auto rep = [&representatives](std::int32_t op) {
            return op >= 0 && At(op) < representatives.size() ? representatives[At(op)] : op;
        };
        SymmetryImageKey best;
        std::int32_t bestRep = INT32_MAX;
        for (const SymmetryImageKey& s : siteKeys) {
            const SymmetryImageKey candidate = m_operationGroup.Multiply(bond.GetOperation(), s);
            if (candidate.op >= 0 && rep(candidate.op) < bestRep) {
                bestRep = rep(candidate.op);
                best = candidate;
            }
        }
        if (bestRep < rep(bond.GetOperation().op))
            bond.SetOperation(best);
    }
}

bool HierarchyData::ExpandSymmetryBonds(std::vector<ReplicateBondList>& lists)
{
    if (!m_operationTable || !m_cosetLattice)
        return true;
    if (lists.size() != m_atomLists.size())
        return false;
    for (std::size_t k = 0; k < lists.size(); ++k) {
        SymmetryImageKey::Array siteKeys;
        const std::int32_t site = m_atomLists[k].operationTableIndex;
        if (site <= 0 || !m_operationTable->GetKeys(site, siteKeys))
            continue;
        ReplicateBondList expanded;
        std::int32_t partner = -1;
        IntArray representatives;
        for (const ReplicateBond& bond : lists[k]) {
            if (bond.GetBondAtomList() != partner) {
                partner = bond.GetBondAtomList();
                m_cosetLattice->GetPartition(m_atomLists[At(partner)].GetCosetDecompositionIndex(), representatives);
            }
            // Each image of the bond by the site symmetry, as the key of its class representative:
            // images equal in operator class but not in translation are bonds of their own, and
            // equal ones go with the sort below.
            expanded.push_back(bond);
            for (std::size_t s = 1; s < siteKeys.size(); ++s) {
                SymmetryImageKey c = m_operationGroup.Multiply(bond.GetOperation(), siteKeys[s]);
                if (c.op < 0 || At(c.op) >= representatives.size())
                    continue;
                const std::int32_t r = representatives[At(c.op)];
                if (r != c.op) {
                    SymmetryImageKey reexpressed;
                    if (SymmetryTools::ReexpressKey(c, m_atomLists[At(partner)].fractionalPosition, m_operations, r,
                                                    reexpressed))
                        c = reexpressed;
                }
                ReplicateBond image = bond;
                image.SetOperation(c);
                expanded.push_back(image);
            }
        }
        SortAndUniqueBonds(expanded);
        lists[k] = std::move(expanded);
    }
    return true;
}

std::int32_t HierarchyData::ComputedBondType(const ReplicateAtomList& list, const ReplicateAtomList& other) const
{
    std::int32_t a = list.GetParentIndex();
    std::int32_t b = other.GetParentIndex();
    for (std::int32_t count = 1; a != -1 && b != -1; ++count) {
        if (a == b)
            return count;
        a = m_objectLists[At(a)].GetParentIndex();
        b = m_objectLists[At(b)].GetParentIndex();
    }
    return 0;
}

bool HierarchyData::FindNeighbors(std::vector<ReplicateBondList>& out)
{
    out.assign(m_atomLists.size(), {});
    double largest = 0.0;
    for (const ReplicateAtomList& list : m_atomLists)
        largest = std::max(largest, list.bondingRadius);
    // The grid is asked with a margin; the pair is then decided with the arithmetic below, so that a
    // pair exactly at the sum of the radii is bonded whichever way the grid rounds.
    constexpr double margin = 1e-4;
    PeriodicRadiusGrid grid(m_fractionalToCartesian, m_cartesianToFractional, 2.0 * largest + 2.0 * margin);
    for (std::size_t k = 0; k < m_atomLists.size(); ++k)
        grid.AddPoint(m_atomLists[k].fractionalPosition, m_atomLists[k].bondingRadius, static_cast<std::int32_t>(k));
    // Per unit of reach, how far a sphere extends along each fractional axis.
    const std::array<double, 3> halfExtents = GetAxisExtents(m_cartesianToFractional, 0.5);
    IntArray candidates;
    IntArray operators;
    for (std::size_t k = 0; k < m_atomLists.size(); ++k) {
        const ReplicateAtomList& list = m_atomLists[k];
        ClassRepresentatives(list.GetCosetDecompositionIndex(), operators);
        for (const std::int32_t o : operators) {
            const Point3d image = Apply(m_operations[At(o)], list.fractionalPosition);
            grid.FindNeighbors(image, list.bondingRadius + margin, candidates);
            std::sort(candidates.begin(), candidates.end());
            candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
            for (const std::int32_t m : candidates) {
                const ReplicateAtomList& other = m_atomLists[At(m)];
                const double reach = list.bondingRadius + other.bondingRadius;
                const std::int32_t type = ComputedBondType(list, other);
                // Every lattice translation of the partner within reach, the head's own images
                // at other translations included.
                const Point3d d = other.fractionalPosition - image;
                const double along[3] = {d.x, d.y, d.z};
                double low[3];
                double high[3];
                double count = 1.0;
                for (std::size_t i = 0; i < 3; ++i) {
                    low[i] = std::ceil(along[i] - reach * halfExtents[i]);
                    high[i] = std::floor(along[i] + reach * halfExtents[i]);
                    count *= std::max(high[i] - low[i] + 1.0, 0.0);
                }
                if (!(count <= maxBondTranslations)) {
                    HierarchyDataErrorList::AddError(7871, "Bonding reach spans too many cells");
                    return false;
                }
                for (double ta = low[0]; ta <= high[0]; ++ta) {
                    for (double tb = low[1]; tb <= high[1]; ++tb) {
                        for (double tc = low[2]; tc <= high[2]; ++tc) {
                            const Point3d t(static_cast<float>(ta), static_cast<float>(tb), static_cast<float>(tc));
                            if (o == 0 && m == static_cast<std::int32_t>(k) && ta == 0.0 && tb == 0.0 && tc == 0.0)
                                continue;
                            const Point3d v = (d - t) * m_fractionalToCartesian;
                            if (static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                                    static_cast<double>(v.z) * v.z >
                                reach * reach)
                                continue;
                            SymmetryImageKey k1(o);
                            if (!SymmetryTools::SetKeyTranslation(t, k1)) {
                                HierarchyDataErrorList::AddError(7870, "ProximityTest error");
                                return false;
                            }
                            out[At(m)].emplace_back(k1, static_cast<std::int32_t>(k), type);
                            out[k].emplace_back(m_operationGroup.GetInverse(k1), m, type);
                        }
                    }
                }
            }
        }
    }
    return true;
}

bool HierarchyData::MergeBonds(const std::vector<ReplicateBondList>& specified,
                               const std::vector<ReplicateBondList>& computed, std::vector<ReplicateBondList>& merged)
{
    if (specified.size() != m_atomLists.size() || computed.size() != m_atomLists.size())
        return false;
    merged.assign(m_atomLists.size(), {});
    for (std::size_t k = 0; k < merged.size(); ++k) {
        ReplicateBondList sorted = specified[k];
        std::stable_sort(sorted.begin(), sorted.end());
        merged[k] = specified[k];
        for (const ReplicateBond& bond : computed[k]) {
            if (!std::binary_search(sorted.begin(), sorted.end(), bond))
                merged[k].push_back(bond);
        }
    }
    m_bonds.RebuildBonds(merged);
    return true;
}

// ---- Image graph, components and the symmetry tree --------------------------------------------

void HierarchyData::ClearGraph()
{
    // The graph lives for one build only: its memory goes with it (assigning {} to a vector would
    // keep its capacity).
    m_nodeLists = IntArray();
    m_nodeKeys = SymmetryImageKey::Array();
    m_nodeOffsets = IntArray();
    m_linkFrom = IntArray();
    m_linkTypes = IntArray();
    m_links = std::vector<GraphLink>();
    m_records = {};
    m_recordOffsets = IntArray();
    m_components = IndexLists();
}

bool HierarchyData::DetermineChemistry(const std::vector<ReplicateBondList>& bonds, std::int32_t bondTypes)
{
    if (m_atomLists.empty() || bonds.size() != m_atomLists.size())
        return false;
    m_nodeLists.clear();
    m_nodeKeys.clear();
    m_nodeOffsets.assign(m_atomLists.size() + 1, 0);
    std::size_t images = 0;
    for (const ReplicateAtomList& list : m_atomLists) {
        const std::int32_t d = list.GetCosetDecompositionIndex();
        images += d > 0 ? At(m_cosetLattice->GetClassCount(d)) : m_operations.size();
    }
    m_nodeLists.reserve(images);
    m_nodeKeys.reserve(images);
    IntArray representatives;
    // One record per node and bond of its list to a list that exists: each node's records take
    // their place before the walk, which writes them while it visits the node.
    m_recordOffsets.reserve(images + 1);
    m_recordOffsets.assign(1, 0);
    for (std::size_t k = 0; k < m_atomLists.size(); ++k) {
        m_nodeOffsets[k] = static_cast<std::int32_t>(m_nodeLists.size());
        ClassRepresentatives(m_atomLists[k].GetCosetDecompositionIndex(), representatives);
        const auto records = static_cast<std::int32_t>(
            std::count_if(bonds[k].begin(), bonds[k].end(), [this](const ReplicateBond& bond) {
                return bond.GetBondAtomList() >= 0 && At(bond.GetBondAtomList()) < m_atomLists.size();
            }));
        for (const std::int32_t r : representatives) {
            m_nodeLists.push_back(static_cast<std::int32_t>(k));
            m_nodeKeys.emplace_back(r, 0, 0, 0);
            m_recordOffsets.push_back(m_recordOffsets.back() + records);
        }
    }
    m_nodeOffsets.back() = static_cast<std::int32_t>(m_nodeLists.size());
    m_records.Resize(At(m_recordOffsets.back()));
    const auto classNumber = [this](std::int32_t list, std::int32_t op) {
        const std::int32_t d = m_atomLists[At(list)].GetCosetDecompositionIndex();
        return d > 0 ? m_cosetLattice->GetClassNumber(d, op) : op;
    };
    const auto nodeCount = static_cast<std::int32_t>(m_nodeLists.size());
    BucketQueue queue(bondTypes, -1);
    queue.Reserve(nodeCount);
    std::vector<std::int8_t> state(m_nodeLists.size(), 0);
    IntArray best(m_nodeLists.size(), 0);
    const auto clamp = [bondTypes](std::int32_t t) { return std::clamp(t, 0, std::max(bondTypes, 1)); };
    std::int32_t seed = 0;
    m_linkFrom.assign(m_nodeLists.size(), -1);
    m_linkTypes.assign(m_nodeLists.size(), 0);
    m_links.clear();
    // Each component's nodes are those one seed's walk visits, kept in node order.
    m_components.clear();
    IntArray members;
    for (;;) {
        while (seed < nodeCount && state[At(seed)] != 0)
            ++seed;
        if (seed == nodeCount)
            break;
        if (!members.empty()) {
            std::sort(members.begin(), members.end());
            m_components.emplace_back(members.begin(), members.end());
            members.clear();
        }
        state[At(seed)] = -1;
        best[At(seed)] = 1;
        queue.Push(seed, 1);
        while (!queue.IsEmpty()) {
            const std::int32_t u = queue.Front();
            queue.PopFront();
            members.push_back(u);
            state[At(u)] = 1;
            std::int32_t record = m_recordOffsets[At(u)];
            for (const ReplicateBond& bond : bonds[At(m_nodeLists[At(u)])]) {
                const std::int32_t p = bond.GetBondAtomList();
                if (p < 0 || At(p) >= m_atomLists.size())
                    continue;
                SymmetryImageKey key = bond.GetOperation().IsIdentity()
                                           ? m_nodeKeys[At(u)]
                                           : m_operationGroup.Multiply(bond.GetOperation(), m_nodeKeys[At(u)]);
                if (key.op < 0 || !GetCosetRepresentativeKey(p, key))
                    return false;
                const std::int32_t c = classNumber(p, key.op);
                const std::int32_t v = m_nodeOffsets[At(p)] + c;
                if (c < 0 || v >= m_nodeOffsets[At(p) + 1])
                    return false;
                const std::int32_t type = bond.GetBondType();
                SymmetryImageKey& to = m_nodeKeys[At(v)];
                if (state[At(v)] == 0) {
                    if (!to.HasTranslation())
                        to = key;
                    m_linkFrom[At(v)] = u;
                    m_linkTypes[At(v)] = type;
                    best[At(v)] = type;
                    state[At(v)] = -1;
                    queue.Push(v, clamp(type));
                } else if (state[At(v)] == -1 && type > 0 && type < best[At(v)]) {
                    // A node linked again has all its links in the list.
                    if (m_linkFrom[At(v)] >= 0) {
                        m_links.push_back({m_linkFrom[At(v)], v, m_linkTypes[At(v)]});
                        m_linkFrom[At(v)] = -1;
                    }
                    m_links.push_back({u, v, type});
                    queue.Move(v, clamp(best[At(v)]), clamp(type));
                    best[At(v)] = type;
                }
                m_records.Set(At(record++), bond.GetBondListIndex(), v, key.a - to.a, key.b - to.b, key.c - to.c);
            }
        }
    }
    if (!members.empty()) {
        std::sort(members.begin(), members.end());
        m_components.emplace_back(members.begin(), members.end());
    }
    return true;
}

bool HierarchyData::FindAsymmetricUnitAtoms(IntArray& representatives) const
{
    representatives.clear();
    if (m_nodeLists.empty())
        return false;
    // Whether component c holds the same item lists, in order, as the one before it.
    const auto sameAsPrevious = [this](std::size_t c) {
        return c > 0 && std::equal(m_components[c].begin(), m_components[c].end(), m_components[c - 1].begin(),
                                   m_components[c - 1].end(), [this](std::int32_t v, std::int32_t w) {
                                       return m_nodeLists[At(v)] == m_nodeLists[At(w)];
                                   });
    };
    // The unique component each list belongs to; runs of equal item lists count as one.
    IntArray owner(m_atomLists.size(), -1);
    std::vector<bool> repeats(m_components.size(), false);
    std::int32_t unique = -1;
    for (std::size_t c = 0; c < m_components.size(); ++c) {
        repeats[c] = sameAsPrevious(c);
        if (!repeats[c])
            unique = static_cast<std::int32_t>(c);
        for (const std::int32_t v : m_components[c]) {
            const std::int32_t list = m_nodeLists[At(v)];
            if (owner[At(list)] >= 0 && owner[At(list)] != unique)
                return false;
            owner[At(list)] = unique;
        }
    }
    representatives.assign(m_atomLists.size(), -1);
    for (std::size_t c = 0; c < m_components.size(); ++c) {
        if (repeats[c])
            continue;
        for (const std::int32_t v : m_components[c]) {
            std::int32_t& representative = representatives[At(m_nodeLists[At(v)])];
            if (representative < 0)
                representative = v;
        }
    }
    return true;
}

void HierarchyData::GetAsymmetricUnitOperations(const IntArray& representatives, SymmetryImageKey::Array& keys) const
{
    keys.clear();
    if (representatives.size() != m_atomLists.size())
        return;
    keys.assign(m_atomLists.size(), SymmetryImageKey::identity);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (representatives[k] >= 0)
            keys[k] = m_nodeKeys[At(representatives[k])];
    }
}

void HierarchyData::TransformCellAtomOperations(const SymmetryImageKey::Array& keys)
{
    IntArray partition;
    SymmetryImageKey::Array nodeKeys;
    SymmetryImageKey::Array memberKeys;
    for (std::size_t k = 0; k < keys.size() && k < m_atomLists.size(); ++k) {
        if (keys[k].IsIdentity())
            continue;
        ReplicateAtomList& list = m_atomLists[k];
        const SymmetryImageKey g = m_operationGroup.GetInverse(keys[k]);
        Point3d reference;
        std::int32_t coset = 0;
        std::int32_t site = 0;
        if (g.op < 0 || !ReplicaTable::GetImage(list.fractionalPosition, list.GetCosetDecompositionIndex(),
                                                list.operationTableIndex, keys[k], m_operations, m_operationGroup,
                                                *m_cosetLattice, *m_operationTable, reference, coset, site))
            continue;
        m_cosetLattice->GetPartition(coset, partition);
        memberKeys.clear();
        for (const ReplicateMember& member : list.members)
            memberKeys.push_back(member.key);
        nodeKeys.clear();
        nodeKeys.assign(m_nodeKeys.begin() + m_nodeOffsets[k], m_nodeKeys.begin() + m_nodeOffsets[k + 1]);
        if (!ReplicaTable::TransformImageKeys(g, m_operationGroup, reference, m_operations, partition, memberKeys) ||
            !ReplicaTable::TransformImageKeys(g, m_operationGroup, reference, m_operations, partition, nodeKeys))
            continue;
        for (std::size_t m = 0; m < memberKeys.size(); ++m)
            list.members[m].key = memberKeys[m];
        std::copy(nodeKeys.begin(), nodeKeys.end(), m_nodeKeys.begin() + m_nodeOffsets[k]);
        list.fractionalPosition = reference;
        list.SetCosetDecompositionIndex(coset);
        list.operationTableIndex = site;
    }
}

IndexLists HierarchyData::ComponentsAtLevel(std::int32_t level)
{
    const auto n = m_nodeLists.size();
    // Sets joined by the links of type 1..level, union by size: a root holds minus its set's size.
    IntArray up(n, -1);
    const auto root = [&up](std::int32_t x) {
        while (up[At(x)] >= 0) {
            const std::int32_t parent = up[At(x)];
            if (up[At(parent)] >= 0)
                up[At(x)] = up[At(parent)];
            x = parent;
        }
        return x;
    };
    const auto join = [&](std::int32_t u, std::int32_t v, std::int32_t type) {
        if (type < 1 || type > level)
            return;
        std::int32_t a = root(u);
        std::int32_t b = root(v);
        if (a == b)
            return;
        if (up[At(a)] > up[At(b)])
            std::swap(a, b);
        up[At(a)] += up[At(b)];
        up[At(b)] = a;
    };
    for (std::size_t v = 0; v < m_linkFrom.size(); ++v) {
        if (m_linkFrom[v] >= 0)
            join(m_linkFrom[v], static_cast<std::int32_t>(v), m_linkTypes[v]);
    }
    for (const GraphLink& link : m_links)
        join(link.u, link.v, link.type);
    // Components numbered in order of their first node; only those that join nodes of a list with
    // a site symmetry or of different operators are kept.
    IntArray number(n, -1);
    IntArray firstOp;
    IntArray sizes;
    std::vector<bool> keep;
    for (std::size_t v = 0; v < n; ++v) {
        const std::int32_t r = root(static_cast<std::int32_t>(v));
        if (number[At(r)] < 0) {
            number[At(r)] = static_cast<std::int32_t>(sizes.size());
            firstOp.push_back(m_nodeKeys[v].op);
            sizes.push_back(-up[At(r)]);
            keep.push_back(false);
        }
        const std::int32_t c = number[At(r)];
        number[v] = c;
        if (!keep[At(c)])
            keep[At(c)] = m_atomLists[At(m_nodeLists[v])].GetCosetDecompositionIndex() > 0 ||
                          m_nodeKeys[v].op != firstOp[At(c)];
    }
    IntArray slot(sizes.size(), -1);
    IndexLists kept;
    for (std::size_t c = 0; c < sizes.size(); ++c) {
        if (keep[c]) {
            slot[c] = static_cast<std::int32_t>(kept.size());
            kept.emplace_back().reserve(At(sizes[c]));
        }
    }
    for (std::size_t v = 0; v < n; ++v) {
        const std::int32_t c = slot[At(number[v])];
        if (c >= 0)
            kept[At(c)].push_back(static_cast<std::int32_t>(v));
    }
    return kept;
}

void HierarchyData::ClassRepresentatives(std::int32_t decomposition, IntArray& representatives) const
{
    if (decomposition > 0) {
        m_cosetLattice->GetClassRepresentatives(decomposition, representatives);
        return;
    }
    representatives.resize(m_operations.size());
    std::iota(representatives.begin(), representatives.end(), 0);
}

std::int32_t HierarchyData::ObjectRepresentative(std::int32_t list, std::int32_t op) const
{
    const std::int32_t d = m_objectLists[At(list)].GetCosetDecompositionIndex();
    if (d <= 0)
        return op;
    return m_cosetLattice->GetRepresentative(d, op);
}

void HierarchyData::PropagateCosetDecomposition(const IntArray& representatives, std::int32_t start)
{
    std::int32_t k = m_cosetLattice->AddPartition(representatives);
    for (std::int32_t list = start; list != -1; list = m_objectLists[At(list)].GetParentIndex()) {
        ReplicateObjectList& object = m_objectLists[At(list)];
        const std::int32_t own = object.GetCosetDecompositionIndex();
        if (own >= 0 && own != k)
            k = m_cosetLattice->Combine(k, own);
        object.SetCosetDecompositionIndex(k);
    }
}

void HierarchyData::ComponentOperations(const IntArray& component, std::vector<bool>& marked,
                                        IntArray& operations) const
{
    marked.assign(m_operations.size(), false);
    IntArray members;
    for (const std::int32_t v : component) {
        const std::int32_t op = m_nodeKeys[At(v)].op;
        const std::int32_t d = m_atomLists[At(m_nodeLists[At(v)])].GetCosetDecompositionIndex();
        if (d < 1) {
            marked[At(op)] = true;
            continue;
        }
        m_cosetLattice->GetClassMembers(d, op, members);
        for (const std::int32_t m : members)
            marked[At(m)] = true;
    }
    operations.clear();
    for (std::size_t op = 0; op < marked.size(); ++op)
        if (marked[op])
            operations.push_back(static_cast<std::int32_t>(op));
}

bool HierarchyData::SortComponents(std::int32_t level, const IndexLists& ancestry, const IndexLists& components)
{
    const auto n = static_cast<std::int32_t>(m_operations.size());
    // The components by the object list that holds them at this level.
    std::vector<std::pair<std::int32_t, IntArray>> byParent;
    for (std::size_t c = 0; c < components.size(); ++c) {
        const IntArray& row = ancestry[At(m_nodeLists[At(components[c].front())])];
        const std::int32_t parent = At(level) < row.size() ? row[At(level)] : -1;
        if (parent < 0)
            continue;
        const auto at = std::find_if(byParent.begin(), byParent.end(),
                                     [parent](const auto& entry) { return entry.first == parent; });
        (at == byParent.end() ? byParent.emplace_back(parent, IntArray()).second : at->second).push_back(
            static_cast<std::int32_t>(c));
    }
    std::vector<bool> marked;
    IntArray operations;
    for (const auto& [parent, members] : byParent) {
        if (m_objectLists[At(parent)].GetParentIndex() == -1)
            continue;
        ComponentPartition partition(n);
        for (const std::int32_t c : members) {
            ComponentOperations(components[At(c)], marked, operations);
            partition.MergeOperations(operations);
        }
        if (!IsValidCosetArray(partition.GetOwners()))
            return false;
        PropagateCosetDecomposition(partition.GetOwners(), parent);
    }
    return true;
}

bool HierarchyData::CheckCosetDecomposition(std::int32_t level, const IndexLists& ancestry, const IndexLists& components)
{
    const auto n = static_cast<std::int32_t>(m_operations.size());
    if (components.empty())
        return true;
    // Each component is claimed by one parent; its item lists and operations.
    IntArray parents(components.size(), -1);
    IndexLists items(components.size());
    IndexLists operations(components.size());
    IntArray owner(m_nodeLists.size(), -1);
    std::vector<bool> marked;
    for (std::size_t c = 0; c < components.size(); ++c) {
        for (const std::int32_t v : components[c]) {
            if (owner[At(v)] >= 0)
                return false;
            owner[At(v)] = static_cast<std::int32_t>(c);
            const std::int32_t list = m_nodeLists[At(v)];
            const IntArray& row = ancestry[At(list)];
            const std::int32_t parent = At(level) < row.size() ? row[At(level)] : -1;
            if (parent != -1) {
                if (parents[c] != -1 && parents[c] != parent)
                    return false;
                parents[c] = parent;
            }
            items[c].push_back(list);
        }
        ComponentOperations(components[c], marked, operations[c]);
    }
    // Runs of equal item lists count as one component whose operations join.
    std::vector<bool> unique(components.size(), true);
    for (std::size_t c = 1; c < components.size(); ++c)
        unique[c] = items[c] != items[c - 1];
    IntArray all;
    for (std::size_t c = 0; c < components.size(); ++c)
        if (unique[c])
            all.insert(all.end(), items[c].begin(), items[c].end());
    std::sort(all.begin(), all.end());
    if (std::adjacent_find(all.begin(), all.end()) != all.end())
        return false;
    for (std::size_t c = 0; c < components.size(); ++c) {
        if (!unique[c])
            continue;
        IntArray joined = operations[c];
        for (std::size_t e = c + 1; e < components.size() && !unique[e]; ++e)
            joined.insert(joined.end(), operations[e].begin(), operations[e].end());
        std::sort(joined.begin(), joined.end());
        if (std::adjacent_find(joined.begin(), joined.end()) != joined.end() ||
            static_cast<std::int32_t>(joined.size()) != n)
            return false;
    }
    for (std::size_t list = 0; list < m_objectLists.size(); ++list) {
        if (m_objectLists[list].GetParentIndex() == -1)
            continue;
        ComponentPartition partition(n);
        bool claims = false;
        for (std::size_t c = 0; c < components.size(); ++c) {
            if (parents[c] != static_cast<std::int32_t>(list) || operations[c].size() < 2)
                continue;
            claims = true;
            partition.MergeOperations(operations[c]);
        }
        if (!claims)
            continue;
        if (!IsValidCosetArray(partition.GetOwners()))
            return false;
        PropagateCosetDecomposition(partition.GetOwners(), static_cast<std::int32_t>(list));
    }
    return true;
}

bool HierarchyData::DetermineSymmetryTree()
{
    // One object node per object list and representative of its partition.
    IntArray objectOffsets(m_objectLists.size() + 1, 0);
    IntArray objectItems;
    IntArray objectOperators;
    IntArray typeCodes;
    IntArray representatives;
    for (std::size_t l = 0; l < m_objectLists.size(); ++l) {
        objectOffsets[l] = static_cast<std::int32_t>(objectItems.size());
        ClassRepresentatives(m_objectLists[l].GetCosetDecompositionIndex(), representatives);
        const std::int32_t type = SymmetryTree::GetTypeCode(Object::GetObjectA(m_objectLists[l].oid));
        for (const std::int32_t r : representatives) {
            objectItems.push_back(static_cast<std::int32_t>(l));
            objectOperators.push_back(r);
            typeCodes.push_back(type);
        }
    }
    objectOffsets.back() = static_cast<std::int32_t>(objectItems.size());
    const auto objectNode = [&](std::int32_t list, std::int32_t op) {
        const std::int32_t d = m_objectLists[At(list)].GetCosetDecompositionIndex();
        const std::int32_t c = d > 0 ? m_cosetLattice->GetClassNumber(d, op) : op;
        return c < 0 ? -1 : objectOffsets[At(list)] + c;
    };
    // The parents are found before the atom nodes' lists and keys move into the tree.
    const auto atomNodes = static_cast<std::int32_t>(m_nodeLists.size());
    IntArray parents;
    parents.reserve(m_nodeLists.size() + objectItems.size());
    for (std::size_t v = 0; v < m_nodeLists.size(); ++v) {
        const std::int32_t list = m_atomLists[At(m_nodeLists[v])].GetParentIndex();
        parents.push_back(list < 0 ? -1 : objectNode(list, ObjectRepresentative(list, m_nodeKeys[v].op)));
    }
    for (std::size_t o = 0; o < objectItems.size(); ++o) {
        const std::int32_t list = m_objectLists[At(objectItems[o])].GetParentIndex();
        parents.push_back(list < 0 ? -1 : objectNode(list, ObjectRepresentative(list, objectOperators[o])));
    }
    if (!m_tree.SetAtoms(atomNodes, std::move(m_nodeLists), std::move(m_nodeKeys))) {
        HierarchyDataErrorList::AddError(8810, "SymmetryTree::SetAtoms");
        return false;
    }
    // Each bond is kept once, from its lower node; the records are rewritten in place.
    const bool bonded = SymmetryTree::KeepBondsOnce(m_recordOffsets, m_records) &&
                        m_tree.SetBonds(atomNodes, m_recordOffsets, std::move(m_records));
    m_records = {};
    m_recordOffsets = IntArray();
    if (!bonded) {
        HierarchyDataErrorList::AddError(8818, "SymmetryTree::SetBonds");
        return false;
    }
    if (!m_tree.SetComponents(std::move(m_components))) {
        HierarchyDataErrorList::AddError(8826, "SymmetryTree::SetComponents");
        return false;
    }
    if (!m_tree.SetObjects(static_cast<std::int32_t>(objectItems.size()), objectItems, objectOperators, typeCodes)) {
        HierarchyDataErrorList::AddError(8834, "SymmetryTree::SetObjects");
        return false;
    }
    if (!m_tree.SetParents(parents)) {
        HierarchyDataErrorList::AddError(8842, "SymmetryTree::SetParents");
        return false;
    }
    return true;
}

// ---- Building the images ----------------------------------------------------------------------

void HierarchyData::FillSymmetryTables()
{
    m_atoms.Clear();
    m_objects.Clear();
    SymmetryImageKey::Array keys;
    OIDArray oids;
    for (const ReplicateAtomList& list : m_atomLists) {
        const std::int32_t unit = m_atoms.AddAtom(list.fractionalPosition, list.bondingRadius,
                                                  list.GetCosetDecompositionIndex(), list.operationTableIndex);
        keys.clear();
        oids.clear();
        for (const ReplicateMember& member : list.members) {
            keys.push_back(member.key);
            oids.push_back(member.oid);
        }
        m_atoms.AddReplicas(unit, keys, oids);
    }
    for (const ReplicateObjectList& list : m_objectLists) {
        const std::int32_t unit = m_objects.AddObject(list.GetCosetDecompositionIndex());
        keys.clear();
        oids.clear();
        for (const ReplicateMember& member : list.members) {
            keys.push_back(member.key);
            oids.push_back(member.oid);
        }
        m_objects.AddReplicas(unit, keys, oids);
    }
}

bool HierarchyData::BuildImages(const std::vector<SymmetryImageKey::Array>& keys, bool show, bool withGroups,
                                bool computeBonds)
{
    CellBuildTree build(static_cast<std::int32_t>(m_atomLists.size()), static_cast<std::int32_t>(m_objectLists.size()));
    SymmetryConnectivityPass::SetBuildMode(m_buildFullMolecules ? 1 : 0);
    const bool filled = withGroups ? SymmetryConnectivityPass::BuildFromResultsWithGroups(
                                         m_tree, keys, show, SymmetryTree::ResidueType, true, build)
                                   : SymmetryConnectivityPass::BuildFromResults(m_tree, keys, show, build);
    FillSymmetryTables();
    // The atom table is dropped after the build: the items come from the tree's export.
    const bool built = filled && build.Build(m_fractionalToCartesian, m_cartesianToFractional, m_operations,
                                             m_operationGroup, m_imageKeys.get(), computeBonds, m_atoms, m_objects,
                                             m_bonds, false);
    m_atoms.Clear();
    m_objects.Clear();
    return built && RebuildItems(build);
}

bool HierarchyData::RebuildItems(const CellBuildTree& build)
{
    // The nodes are read in export order straight from the build, without listing them first.
    CellBuildTree::NodeOrder atoms;
    CellBuildTree::NodeOrder objects;
    if (!build.OrderAtomNodes(atoms) || !build.OrderObjectNodes(objects))
        return false;
    // Entries scattered over a large map: the slot of an entry a few ahead starts loading early.
    constexpr std::size_t lookAhead = 8;
    const auto rebuild = [](const CellBuildTree::NodeOrder& nodes, auto& items, auto& lists, auto& map) {
        map.Prepare(nodes.GetNodeOIDs());
        for (auto& list : lists) {
            list.itemIndex = -1;
            list.oid = 0;
            list.members.clear();
        }
        IntArray counts(lists.size(), 0);
        for (const ImageNode& node : nodes.GetNodes())
            ++counts[At(node.item)];
        for (std::size_t l = 0; l < lists.size(); ++l)
            lists[l].members.reserve(At(counts[l]));
        const std::size_t n = nodes.GetCount();
        items.clear();
        items.reserve(n);
        // Each item's nodes follow its own one, which is the symmetry parent of all of them.
        std::int32_t previousItem = -1;
        std::int32_t own = -1;
        for (std::size_t i = 0; i < n; ++i) {
            if (i + lookAhead < n)
                map.Prefetch(nodes.GetOID(i + lookAhead));
            const CellBuildTree::NodeOrder::Node node = nodes[i];
            if (i == 0 || node.item != previousItem)
                own = static_cast<std::int32_t>(i);
            previousItem = node.item;
            if (node.oid == 0)
                continue;
            const auto index = static_cast<std::int32_t>(items.size());
            auto& list = lists[At(node.item)];
            if (own == static_cast<std::int32_t>(i)) {
                list.itemIndex = index;
                list.oid = node.oid;
            }
            map[node.oid] = index;
            HierarchyItem item{node.oid, node.depth, node.parent, own, node.item,
                               static_cast<std::int32_t>(list.members.size())};
            items.push_back({item});
            list.members.push_back({index, node.oid, node.key});
        }
    };
    rebuild(atoms, m_atomItems, m_atomLists, m_atomIndexByOID);
    rebuild(objects, m_objectItems, m_objectLists, m_objectIndexByOID);
    m_atomCount = static_cast<std::int32_t>(m_atomItems.size());
    m_objectCount = static_cast<std::int32_t>(m_objectItems.size());
    m_itemCount = m_atomCount + m_objectCount;
    return true;
}

// ---- Queries ----------------------------------------------------------------------------------

std::int32_t HierarchyData::FindAtomItem(std::uint32_t oid) const
{
    const std::int32_t* const found = oid ? m_atomIndexByOID.Find(oid) : nullptr;
    return found && *found >= 0 && *found < static_cast<std::int32_t>(m_atomItems.size()) ? *found : -1;
}

std::int32_t HierarchyData::FindObjectItem(std::uint32_t oid) const
{
    const std::int32_t* const found = oid ? m_objectIndexByOID.Find(oid) : nullptr;
    return found && *found >= 0 && *found < static_cast<std::int32_t>(m_objectItems.size()) ? *found : -1;
}

namespace {

template <class Items, class Lists>
const ReplicateMember* FindMember(const Items& items, const Lists& lists, std::int32_t index,
                                  const ReplicateList** list)
{
    if (index < 0)
        return nullptr;
    const HierarchyItem& item = items[At(index)];
    if (item.list < 0 || At(item.list) >= lists.size() || item.member < 0)
        return nullptr;
    const ReplicateList& found = lists[At(item.list)];
    if (At(item.member) >= found.members.size())
        return nullptr;
    *list = &found;
    return &found.members[At(item.member)];
}

} // namespace

bool HierarchyData::FindImageKey(std::uint32_t oid, SymmetryImageKey& key) const
{
    const ReplicateList* list = nullptr;
    const std::int32_t atom = FindAtomItem(oid);
    const ReplicateMember* member = atom >= 0 ? FindMember(m_atomItems, m_atomLists, atom, &list)
                                              : FindMember(m_objectItems, m_objectLists, FindObjectItem(oid), &list);
    if (!member)
        return false;
    key = member->key;
    return true;
}

std::uint32_t HierarchyData::GetSymmetryParentOID(std::uint32_t oid) const
{
    const ReplicateList* list = nullptr;
    const std::int32_t atom = FindAtomItem(oid);
    const ReplicateMember* member = atom >= 0 ? FindMember(m_atomItems, m_atomLists, atom, &list)
                                              : FindMember(m_objectItems, m_objectLists, FindObjectItem(oid), &list);
    return member ? list->oid : 0;
}

void HierarchyData::GetAtomOIDs(OIDArray& out) const
{
    out.clear();
    for (const AtomItem& item : m_atomItems)
        out.push_back(item.oid);
}

void HierarchyData::GetObjectOIDs(OIDArray& out) const
{
    out.clear();
    for (const ObjectItem& item : m_objectItems)
        out.push_back(item.oid);
}

void HierarchyData::GetBondOIDs(OIDArray& out) const
{
    out.clear();
    m_bonds.GetOIDs(out);
}

void HierarchyData::GetOperationIndexList(IntArray& out) const
{
    out.clear();
    if (m_imageKeys)
        m_imageKeys->GetOperationIndexList(out);
}

bool HierarchyData::GetAsymmetricUnitObjects(const Object* start, std::uint32_t classType, BaseCollection& out) const
{
    if (!m_cell || !start || (start != m_cell && !start->HasAncestor(m_cell)))
        return false;
    const int before = out.GetSize();
    DescendentIterator walk(const_cast<Object*>(start), classType, false);
    while (Object* const object = walk.GetNext()) {
        // Atoms by the atom map, every other object by the object map.
        const bool atom = IsA<Atom>(object);
        const std::int32_t index = atom ? FindAtomItem(object->GetOID()) : FindObjectItem(object->GetOID());
        if (index < 0)
            continue;
        const std::int32_t symParent = atom ? m_atomItems[At(index)].symParent : m_objectItems[At(index)].symParent;
        if (symParent == index)
            out.Add(object);
    }
    return out.GetSize() > before;
}

bool HierarchyData::GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const
{
    if (!m_cell || !object || (object != m_cell && !object->HasAncestor(m_cell)))
        return false;
    const bool atom = IsA<Atom3d>(object);
    const ReplicateList* list = nullptr;
    const std::uint32_t oid = object->GetOID();
    const ReplicateMember* const self = atom ? FindMember(m_atomItems, m_atomLists, FindAtomItem(oid), &list)
                                             : FindMember(m_objectItems, m_objectLists, FindObjectItem(oid), &list);
    if (!self)
        return false;
    const std::uint32_t classType = atom ? Atom3d::classType : object->GetClassType();
    OrdCollection collected(0);
    if (includeSelf)
        collected.Add(const_cast<Object*>(object));
    const auto collect = [&](const ReplicateMember& member) {
        if (member.oid == oid)
            return;
        Object* const found = member.oid ? Object::GetObjectA(member.oid) : nullptr;
        if (found && found->HasAncestor(m_cell) && found->IsA(classType))
            collected.Add(found);
    };
    if (oid == list->oid) {
        for (std::size_t m = 1; m < list->members.size(); ++m)
            collect(list->members[m]);
    } else if (!self->key.HasTranslation()) {
        for (const ReplicateMember& member : list->members)
            if (member.key.op == self->key.op)
                collect(member);
    }
    out.Add(collected);
    return true;
}

void HierarchyData::GetAsymmetricUnit(AsymmetricUnit& unit) const
{
    unit.SetCellData(m_fractionalToCartesian, m_cartesianToFractional, m_operations, m_tolerance);
    const auto n = static_cast<std::int32_t>(m_atomLists.size());
    if (n == 0)
        return;
    OIDArray oids;
    Point3d::Array positions;
    std::vector<double> radii;
    IntArray numbers;
    for (const ReplicateAtomList& list : m_atomLists) {
        oids.push_back(list.oid);
        positions.push_back(list.fractionalPosition);
        radii.push_back(list.bondingRadius);
        numbers.push_back(list.GetCosetDecompositionIndex());
    }
    const std::int32_t m = *std::max_element(numbers.begin(), numbers.end()) + 1;
    IndexLists partitions(At(std::max(m, 0)));
    for (std::int32_t r = 0; r < m && m_cosetLattice; ++r)
        m_cosetLattice->GetPartition(r, partitions[At(r)]);
    unit.SetAtoms(n, oids, positions, radii, numbers, partitions);
    if (unit.GetComponentsRequested()) {
        IntArray items;
        SymmetryImageKey::Array keys;
        IndexLists components;
        m_tree.ExportNodes(items, keys, components);
        unit.SetComponents(std::move(items), std::move(keys), std::move(components));
    }
}

bool HierarchyData::DisplayBuildResults(const BuildResults& results)
{
    const auto n = m_atomLists.size();
    if (n == 0)
        return false;
    // The results' own lists, read in place: a copy would cost a key array per atom.
    const IntArray& oids = results.GetOIDs();
    const std::vector<SymmetryImageKey::Array>& keys = results.GetKeys();
    if (oids.size() != n || keys.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (static_cast<std::uint32_t>(oids[i]) != m_atomLists[i].oid)
            return false;
    }
    if (BuildImages(keys, true, results.GetConnectivity(), results.GetComputeBonds()))
        return true;
    m_dirty = true;
    return false;
}

std::unique_ptr<HierarchyData> HierarchyData::Paste(Cell3d* cell, const OIDArray& oldAtoms, const OIDArray& newAtoms,
                                                    const OIDArray& oldObjects, const OIDArray& newObjects,
                                                    const OIDArray& oldBonds, const OIDArray& newBonds) const
{
    auto clone = std::make_unique<HierarchyData>(*this);
    clone->m_cell = cell;
    const auto remap = [](auto& items, auto& lists, auto& map, const OIDArray& oldOIDs, const OIDArray& newOIDs) {
        if (oldOIDs.size() != items.size() || newOIDs.size() != items.size())
            return false;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].oid != oldOIDs[i])
                return false;
        }
        bool ok = true;
        // A deleted member keeps OID 0.
        const auto lookup = [&](std::uint32_t oid) {
            if (oid == 0)
                return std::uint32_t{0};
            const std::int32_t* const found = map.Find(oid);
            if (!found) {
                ok = false;
                return std::uint32_t{0};
            }
            return newOIDs[At(*found)];
        };
        for (auto& list : lists) {
            list.oid = lookup(list.oid);
            for (ReplicateMember& member : list.members)
                member.oid = lookup(member.oid);
        }
        map.Prepare(newOIDs);
        for (std::size_t i = 0; i < items.size(); ++i) {
            items[i].oid = newOIDs[i];
            if (newOIDs[i] != 0)
                map[newOIDs[i]] = static_cast<std::int32_t>(i);
        }
        return ok;
    };
    if (!remap(clone->m_atomItems, clone->m_atomLists, clone->m_atomIndexByOID, oldAtoms, newAtoms) ||
        !remap(clone->m_objectItems, clone->m_objectLists, clone->m_objectIndexByOID, oldObjects, newObjects) ||
        !clone->m_bonds.ReplaceOIDs(oldBonds, newBonds))
        return nullptr;
    return clone;
}

} // namespace Tavrel
