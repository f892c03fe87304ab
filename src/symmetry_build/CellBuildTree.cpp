#include <tavrel/symmetry_build/CellBuildTree.h>

#include <algorithm>
#include <climits>

#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NamedCollections.h>
#include <tavrel/biopolymers/ProteinSequence.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/core/AnisotropicDisplacement.h>
#include <tavrel/core/Color.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/symmetry_build/CellBuildOptions.h>
#include <tavrel/symmetry_build/FlatIntMap.h>
#include <tavrel/symmetry_build/InternalCellBuildTree.h>
#include <tavrel/symmetry_build/Matrix4x4Group.h>
#include <tavrel/symmetry_build/SymmetryAtoms.h>
#include <tavrel/symmetry_build/SymmetryBonds.h>
#include <tavrel/symmetry_build/SymmetryImageKeySet.h>
#include <tavrel/symmetry_build/SymmetryObjects.h>

namespace Tavrel {

void CellBuildTree::Nodes::Clear()
{
    nodes.clear();
    slots.clear();
    stride = 0;
    index.Clear();
    parents.clear();
    oids.clear();
}

bool CellBuildTree::Nodes::IndexByOperator(std::int32_t itemCount, std::int32_t operatorCount)
{
    if (!nodes.empty() || itemCount <= 0 || operatorCount <= 0)
        return false;
    stride = operatorCount;
    slots.assign(static_cast<std::size_t>(itemCount) * static_cast<std::size_t>(operatorCount), -1);
    return true;
}

std::ptrdiff_t CellBuildTree::Nodes::SlotOf(const ImageNode& node) const
{
    if (node.item < 0 || node.key.op < 0 || node.key.op >= stride || node.key.HasTranslation())
        return -1;
    const std::size_t at =
        static_cast<std::size_t>(node.item) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(node.key.op);
    return at < slots.size() ? static_cast<std::ptrdiff_t>(at) : -1;
}

std::int32_t CellBuildTree::Nodes::Add(const ImageNode& node, std::int32_t itemCount)
{
    if (node.item < 0 || node.item >= itemCount)
        return -1;
    const auto next = static_cast<std::int32_t>(nodes.size());
    if (const std::ptrdiff_t slot = SlotOf(node); slot >= 0) {
        std::int32_t& at = slots[static_cast<std::size_t>(slot)];
        if (at >= 0)
            return at;
        at = next;
    } else {
        const auto [at, added] = index.Insert(node, next);
        if (!added)
            return *at;
    }
    nodes.push_back(node);
    parents.push_back(-1);
    oids.push_back(0);
    return next;
}

std::int32_t CellBuildTree::Nodes::Find(const ImageNode& node) const
{
    if (const std::ptrdiff_t slot = SlotOf(node); slot >= 0)
        return slots[static_cast<std::size_t>(slot)];
    const std::int32_t* const found = index.Find(node);
    return found ? *found : -1;
}

CellBuildTree::CellBuildTree(std::int32_t atomCount, std::int32_t objectCount)
    : m_atomCount(atomCount < 0 ? 0 : atomCount), m_objectCount(objectCount < 0 ? 0 : objectCount)
{
}

std::int32_t CellBuildTree::AddAtomNode(const ImageNode& node)
{
    const std::int32_t count = GetAtomNodeCount();
    const std::int32_t i = m_atoms.Add(node, m_atomCount);
    if (i == count) {
        m_visibility.push_back(-1);
        if (!m_bondRanges.empty())
            m_bondRanges.emplace_back();
    }
    return i;
}

void CellBuildTree::ReserveAtomNodes(std::size_t count, std::int32_t operatorCount)
{
    const auto fits = [&](std::int32_t items) {
        return operatorCount > 0 && static_cast<std::uint64_t>(items) * static_cast<std::uint64_t>(operatorCount) <=
                                        4 * static_cast<std::uint64_t>(count) + 64;
    };
    if (!(fits(m_atomCount) && m_atoms.IndexByOperator(m_atomCount, operatorCount)))
        m_atoms.index.Reserve(count);
    if (fits(m_objectCount))
        m_objects.IndexByOperator(m_objectCount, operatorCount);
    m_atoms.nodes.reserve(count);
    m_atoms.parents.reserve(count);
    m_atoms.oids.reserve(count);
    m_visibility.reserve(count);
    m_bondStarts.reserve(count);
}

std::int32_t CellBuildTree::AddObjectNode(const ImageNode& node)
{
    return m_objects.Add(node, m_objectCount);
}

std::int32_t CellBuildTree::FindAtomNode(const ImageNode& node) const
{
    return m_atoms.Find(node);
}

std::int32_t CellBuildTree::FindObjectNode(const ImageNode& node) const
{
    return m_objects.Find(node);
}

bool CellBuildTree::SetAtomParent(std::int32_t atomNode, std::int32_t objectNode)
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount() || objectNode < 0 || objectNode >= GetObjectNodeCount())
        return false;
    m_atoms.parents[static_cast<std::size_t>(atomNode)] = objectNode;
    return true;
}

bool CellBuildTree::SetObjectParent(std::int32_t objectNode, std::int32_t parentNode)
{
    if (objectNode < 0 || objectNode >= GetObjectNodeCount() || parentNode >= GetObjectNodeCount())
        return false;
    if (parentNode < 0) {
        if (m_root >= 0)
            return false;
        m_root = objectNode;
        m_objects.parents[static_cast<std::size_t>(objectNode)] = -1;
        return true;
    }
    m_objects.parents[static_cast<std::size_t>(objectNode)] = parentNode;
    return true;
}

void CellBuildTree::ReserveAtomBonds(std::size_t count)
{
    m_bondNeighbors.reserve(count);
    m_bondNumbers.reserve(count);
}

bool CellBuildTree::OpenAtomBondListOutOfTurn(std::int32_t atomNode)
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount())
        return false;
    if (m_bondRanges.empty()) {
        // Every list takes a range of its own from now on.
        m_bondStarts.push_back(static_cast<std::int32_t>(m_bondNeighbors.size()));
        m_bondRanges.resize(static_cast<std::size_t>(GetAtomNodeCount()));
        for (std::size_t node = 0; node + 1 < m_bondStarts.size(); ++node)
            m_bondRanges[node] = {m_bondStarts[node], m_bondStarts[node + 1] - m_bondStarts[node]};
        m_bondStarts = IntArray();
    }
    m_bondRanges[static_cast<std::size_t>(atomNode)] = {static_cast<std::int32_t>(m_bondNeighbors.size()), 0};
    m_openBondList = atomNode;
    return true;
}

void CellBuildTree::SetAtomVisibility(std::int32_t atomNode, std::int32_t visibility)
{
    if (atomNode >= 0 && atomNode < GetAtomNodeCount())
        m_visibility[static_cast<std::size_t>(atomNode)] = static_cast<std::int8_t>(visibility < 0 ? -1 : (visibility > 0 ? 1 : 0));
}

std::int32_t CellBuildTree::GetAtomVisibility(std::int32_t atomNode) const
{
    return atomNode >= 0 && atomNode < GetAtomNodeCount() ? m_visibility[static_cast<std::size_t>(atomNode)] : -1;
}

std::span<const std::int32_t> CellBuildTree::GetAtomBondNeighbors(std::int32_t atomNode) const
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount())
        return {};
    const BondRange range = GetBondRange(atomNode);
    return std::span<const std::int32_t>(m_bondNeighbors).subspan(static_cast<std::size_t>(range.begin),
                                                                  static_cast<std::size_t>(range.count));
}

std::span<const std::int32_t> CellBuildTree::GetAtomBondNumbers(std::int32_t atomNode) const
{
    if (atomNode < 0 || atomNode >= GetAtomNodeCount())
        return {};
    const BondRange range = GetBondRange(atomNode);
    return std::span<const std::int32_t>(m_bondNumbers).subspan(static_cast<std::size_t>(range.begin),
                                                                static_cast<std::size_t>(range.count));
}

std::int32_t CellBuildTree::GetAtomParent(std::int32_t atomNode) const
{
    return atomNode >= 0 && atomNode < GetAtomNodeCount() ? m_atoms.parents[static_cast<std::size_t>(atomNode)] : -1;
}

std::int32_t CellBuildTree::GetObjectParent(std::int32_t objectNode) const
{
    return objectNode >= 0 && objectNode < GetObjectNodeCount() ? m_objects.parents[static_cast<std::size_t>(objectNode)]
                                                                : -1;
}

std::uint32_t CellBuildTree::GetAtomNodeOID(std::int32_t i) const
{
    return i >= 0 && i < GetAtomNodeCount() ? m_atoms.oids[static_cast<std::size_t>(i)] : 0;
}

std::uint32_t CellBuildTree::GetObjectNodeOID(std::int32_t i) const
{
    return i >= 0 && i < GetObjectNodeCount() ? m_objects.oids[static_cast<std::size_t>(i)] : 0;
}

void CellBuildTree::Clear()
{
    m_atoms.Clear();
    m_objects.Clear();
    m_visibility.clear();
    m_bondStarts.clear();
    m_bondRanges.clear();
    m_bondNeighbors.clear();
    m_bondNumbers.clear();
    m_openBondList = -1;
    m_root = -1;
}

bool CellBuildTree::OrderByItem(const Nodes& nodes, std::int32_t itemCount, IntArray& order, IntArray* position)
{
    // Counting sort by item, each item's node at the identity key moved to the front.
    const auto count = static_cast<std::size_t>(itemCount);
    IntArray starts(count + 1, 0);
    for (const ImageNode& node : nodes.nodes)
        ++starts[static_cast<std::size_t>(node.item) + 1];
    for (std::size_t i = 1; i <= count; ++i)
        starts[i] += starts[i - 1];
    order.assign(nodes.nodes.size(), -1);
    IntArray next(starts.begin(), starts.end() - 1);
    for (std::int32_t item = 0; item < itemCount; ++item) {
        const std::int32_t own = nodes.Find(ImageNode(item, SymmetryImageKey::identity));
        if (own < 0)
            return false;
        order[static_cast<std::size_t>(next[static_cast<std::size_t>(item)]++)] = own;
    }
    for (std::size_t i = 0; i < nodes.nodes.size(); ++i) {
        const ImageNode& node = nodes.nodes[i];
        if (node.key.IsIdentity())
            continue;
        order[static_cast<std::size_t>(next[static_cast<std::size_t>(node.item)]++)] = static_cast<std::int32_t>(i);
    }
    if (!position)
        return true;
    position->assign(nodes.nodes.size(), -1);
    for (std::size_t p = 0; p < order.size(); ++p)
        (*position)[static_cast<std::size_t>(order[p])] = static_cast<std::int32_t>(p);
    return true;
}

bool CellBuildTree::HasOwnNodes(const Nodes& nodes, std::int32_t itemCount)
{
    for (std::int32_t item = 0; item < itemCount; ++item) {
        if (nodes.Find(ImageNode(item, SymmetryImageKey::identity)) < 0)
            return false;
    }
    return true;
}

IntArray CellBuildTree::ObjectDepths() const
{
    // Each node's depth found once, from its parent's.
    IntArray depths(m_objects.nodes.size(), 0);
    IntArray chain;
    for (std::size_t i = 0; i < depths.size(); ++i) {
        chain.clear();
        std::int32_t at = static_cast<std::int32_t>(i);
        while (at >= 0 && depths[static_cast<std::size_t>(at)] == 0 && chain.size() <= depths.size()) {
            chain.push_back(at);
            at = m_objects.parents[static_cast<std::size_t>(at)];
        }
        std::int32_t depth = at >= 0 ? depths[static_cast<std::size_t>(at)] : 0;
        for (auto c = chain.rbegin(); c != chain.rend(); ++c)
            depths[static_cast<std::size_t>(*c)] = ++depth;
    }
    return depths;
}

void CellBuildTree::Export(const NodeOrder& order, NodeExport& out)
{
    const std::size_t n = order.GetCount();
    out.oids.reserve(n);
    out.depths.reserve(n);
    out.parents.reserve(n);
    out.symParents.reserve(n);
    out.items.reserve(n);
    out.keys.reserve(n);
    std::int32_t rank = 0;
    for (std::size_t p = 0; p < n; ++p) {
        const NodeOrder::Node node = order[p];
        rank = p > 0 && out.items[p - 1] == node.item ? rank + 1 : 0;
        out.oids.push_back(node.oid);
        out.depths.push_back(node.depth);
        out.parents.push_back(node.parent);
        out.symParents.push_back(static_cast<std::int32_t>(p) - rank);
        out.items.push_back(node.item);
        out.keys.push_back(node.key);
    }
}

bool CellBuildTree::OrderObjectNodes(NodeOrder& out) const
{
    out = {};
    if (m_root < 0 || m_objects.oids[static_cast<std::size_t>(m_root)] == 0 ||
        !OrderByItem(m_objects, m_objectCount, out.m_order, &out.m_objectPositions))
        return false;
    out.m_nodes = &m_objects;
    out.m_objectDepths = ObjectDepths();
    return true;
}

bool CellBuildTree::OrderAtomNodes(NodeOrder& out) const
{
    out = {};
    IntArray objectOrder;
    if (m_root < 0 || m_objects.oids[static_cast<std::size_t>(m_root)] == 0 ||
        !OrderByItem(m_atoms, m_atomCount, out.m_order, nullptr) ||
        !OrderByItem(m_objects, m_objectCount, objectOrder, &out.m_objectPositions))
        return false;
    out.m_nodes = &m_atoms;
    out.m_atoms = true;
    out.m_objectDepths = ObjectDepths();
    return true;
}

bool CellBuildTree::ExportObjectNodes(NodeExport& out) const
{
    return ExportInOrder(&CellBuildTree::OrderObjectNodes, out);
}

bool CellBuildTree::ExportAtomNodes(NodeExport& out) const
{
    return ExportInOrder(&CellBuildTree::OrderAtomNodes, out);
}

bool CellBuildTree::ExportInOrder(bool (CellBuildTree::*orderNodes)(NodeOrder&) const, NodeExport& out) const
{
    out = {};
    NodeOrder order;
    if (!(this->*orderNodes)(order))
        return false;
    Export(order, out);
    return true;
}

} // namespace Tavrel

namespace Tavrel {

namespace {

CellBuildTree::Step& InjectedFailure()
{
    static CellBuildTree::Step step = CellBuildTree::Step::None;
    return step;
}

// Where a moved object was, when it had a parent, so that a failed build can take the move back.
struct Placement {
    std::uint32_t move = 0;  // the move's number
    std::uint32_t parent = 0;
    int index = -1;
};
struct DisplayChange {
    std::uint32_t oid = 0;
    bool visible = true;
    bool clipped = false;
};

// How many nodes ahead a walk out of creation order starts loading objects.
constexpr std::size_t PrefetchDistance = 8;

// Starts loading the first lines of the OID's object, reading nothing of it, so that a walk over
// objects scattered in memory waits for several at once.
void PrefetchObject(std::uint32_t oid)
{
    if (const Base* const object = Base::GetObjectA(oid)) {
        __builtin_prefetch(object);
        __builtin_prefetch(reinterpret_cast<const char*>(object) + 64);
    }
}

// The object of the OID when it is the root or lies below it.
Object* Below(const Object* root, std::uint32_t oid)
{
    Object* const object = oid ? Object::GetObjectA(oid) : nullptr;
    return object && root && (object == root || object->HasAncestor(root)) ? object : nullptr;
}

bool IsBuildAtom(const Object* object)
{
    return IsA<Atom3d>(object) || IsA<ReplicateAtom>(object);
}

Color SymmetryAtomColor(std::int32_t code)
{
    switch (code) {
    case 1: return Color::Red();
    case 2: return Color::Green();
    case 3: return Color::Yellow();
    case 4: return Color::Blue();
    case 5: return Color::Magenta();
    case 6: return Color::Cyan();
    case 7: return Color::White();
    case 8: return Color::Grey();
    default: return Color();
    }
}

// U' = L^T U L for the row-vector Cartesian map x' = x L.
AnisotropicDisplacement TransformDisplacement(const AnisotropicDisplacement& u, const Matrix3x3& l)
{
    const double m[3][3] = {{u.GetU11(), u.GetU12(), u.GetU13()},
                            {u.GetU12(), u.GetU22(), u.GetU23()},
                            {u.GetU13(), u.GetU23(), u.GetU33()}};
    double r[3][3] = {};
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 3; ++i)
                for (int n = 0; n < 3; ++n)
                    r[j][k] += l(i, j) * m[i][n] * l(n, k);
    return AnisotropicDisplacement(static_cast<float>(r[0][0]), static_cast<float>(r[1][1]),
                                   static_cast<float>(r[2][2]), static_cast<float>(r[0][1]),
                                   static_cast<float>(r[0][2]), static_cast<float>(r[1][2]), u.GetSigu11(),
                                   u.GetSigu22(), u.GetSigu33(), u.GetSigu12(), u.GetSigu13(), u.GetSigu23());
}

} // namespace

namespace internal {

void SetCellBuildTreeFailure(CellBuildTree::Step step)
{
    InjectedFailure() = step;
}

CellBuildTree::Step GetCellBuildTreeFailure()
{
    return InjectedFailure();
}

} // namespace internal

// The state of one Build: what stands for each asymmetric-unit item, the objects the build created,
// those it found obsolete, the existing objects it registered and what it changed on existing
// objects.
class CellBuildTree::Builder {
public:
    Builder(CellBuildTree& tree, const Matrix3x3& f2c, const Matrix3x3& c2f, const std::vector<Matrix4x4>& operations,
            const Matrix4x4Group& group, SymmetryImageKeySet* keys, bool computeBonds, bool rewriteAtoms)
        : m_tree(tree), m_f2c(f2c), m_c2f(c2f), m_operations(operations), m_group(group), m_keys(keys),
          m_computeBonds(computeBonds), m_rewriteAtoms(rewriteAtoms),
          m_atomItems(static_cast<std::size_t>(tree.m_atomCount)),
          m_objectItems(static_cast<std::size_t>(tree.m_objectCount))
    {
    }

    bool Run(SymmetryAtoms& atoms, SymmetryObjects& objects, SymmetryBonds& bonds)
    {
        m_atomTable = atoms;
        m_objectTable = objects;
        m_bondTable = bonds;
        const bool built = Passes(Step::Register, Register()) && Passes(Step::ReplaceReplicas, ReplaceReplicas()) &&
                           Passes(Step::RebaseItems, RebaseItems()) && Passes(Step::CreateAtoms, CreateAtoms()) &&
                           Passes(Step::CreateObjects, CreateObjects()) && Passes(Step::Hierarchy, Hierarchy()) &&
                           Passes(Step::Bonds, Bonds()) && Finish();
        if (!built) {
            Restore();
            return false;
        }
        DeleteAll(m_obsolete);
        if (m_rewriteAtoms)
            atoms.Swap(m_atomTable);
        objects.Swap(m_objectTable);
        bonds.Swap(m_bondTable);
        return true;
    }

private:
    struct Item {
        std::uint32_t oid = 0;
        SymmetryImageKey key;
        std::int32_t node = -1;
        bool seenAtIdentity = false;
    };

    static bool Passes(Step step, bool passed) { return passed && InjectedFailure() != step; }

    Object* Root() const
    {
        const std::int32_t root = m_tree.m_root;
        const std::int32_t item = m_tree.m_objects.nodes[static_cast<std::size_t>(root)].item;
        const std::uint32_t oid = m_objectItems[static_cast<std::size_t>(item)].oid;
        return oid ? Object::GetObjectA(oid) : nullptr;
    }

    bool Register()
    {
        for (std::int32_t unit = 0; unit < m_objectTable.GetUnitCount(); ++unit) {
            Item& item = m_objectItems[static_cast<std::size_t>(unit)];
            for (const std::int32_t r : m_objectTable.GetReplicas(unit)) {
                const std::uint32_t oid = m_objectTable.GetReplicaOID(r);
                const SymmetryImageKey key = m_objectTable.GetImageKey(r);
                if (!oid || !Object::GetObjectA(oid))
                    continue;
                if (key.IsIdentity()) {
                    item = {oid, key, m_tree.m_objects.Find(ImageNode(unit, key)), true};
                } else if (!item.seenAtIdentity) {
                    item.oid = oid;
                    item.key = key;
                }
                m_registered[oid] = -1;
            }
        }
        if (m_tree.m_root < 0)
            return false;
        m_root = Root();
        if (!m_root)
            return false;
        for (std::int32_t unit = 0; unit < m_atomTable.GetUnitCount(); ++unit) {
            Item& item = m_atomItems[static_cast<std::size_t>(unit)];
            for (const std::int32_t r : m_atomTable.GetReplicas(unit)) {
                const std::uint32_t oid = m_atomTable.GetReplicaOID(r);
                const SymmetryImageKey key = m_atomTable.GetImageKey(r);
                Object* const object = Below(m_root, oid);
                if (!IsBuildAtom(object))
                    continue;
                const std::int32_t node = m_tree.m_atoms.Find(ImageNode(unit, key));
                if (key.IsIdentity()) {
                    item.oid = oid;
                    item.key = key;
                    item.seenAtIdentity = true;
                    if (node >= 0)
                        item.node = node;
                } else if (item.oid == 0 || !item.seenAtIdentity) {
                    item.oid = oid;
                    item.key = key;
                    if (node >= 0)
                        item.node = node;
                }
                if (node < 0)
                    m_obsolete.push_back(oid);
                else if (!Attach(object, node))
                    return false;
            }
        }
        const auto complete = [](const Item& item) { return item.oid != 0; };
        return std::all_of(m_atomItems.begin(), m_atomItems.end(),
                           [](const Item& item) { return item.oid != 0 && item.node >= 0; }) &&
               std::all_of(m_objectItems.begin(), m_objectItems.end(), complete);
    }

    // An existing object stands for at most one object node: the first atom whose walk reaches it
    // claims it.
    bool Attach(Object* atom, std::int32_t node)
    {
        std::uint32_t& nodeOID = m_tree.m_atoms.oids[static_cast<std::size_t>(node)];
        if (nodeOID != 0)
            return nodeOID == atom->GetOID();
        nodeOID = atom->GetOID();
        if (IsA<ReplicateAtom>(atom))
            return true;
        Object* real = atom->GetParent();
        for (std::int32_t p = m_tree.m_atoms.parents[static_cast<std::size_t>(node)]; p >= 0 && real;
             p = m_tree.m_objects.parents[static_cast<std::size_t>(p)], real = real->GetParent()) {
            std::uint32_t& parentOID = m_tree.m_objects.oids[static_cast<std::size_t>(p)];
            const std::uint32_t realOID = real->GetOID();
            std::int32_t* const claim = m_registered.Find(realOID) ? &m_registered[realOID] : nullptr;
            if (parentOID != 0) {
                if (parentOID == realOID)
                    return true;
                if (!claim)
                    m_registered[realOID] = -1;
                else if (*claim == p)
                    return false;
                continue;
            }
            if (!claim) {
                m_registered[realOID] = p;
                parentOID = realOID;
            } else if (*claim == -1) {
                *claim = p;
                parentOID = realOID;
            } else if (*claim == p) {
                return false;
            }
        }
        return true;
    }

    Atom* ItemAtom(std::int32_t item) const
    {
        return DynCast<Atom>(Below(m_root, m_atomItems[static_cast<std::size_t>(item)].oid));
    }

    bool ReplaceReplicas()
    {
        for (std::size_t i = 0; i < m_atomItems.size(); ++i) {
            if (m_atomItems[i].node < 0 || !ItemAtom(static_cast<std::int32_t>(i)))
                return false;
        }
        m_colorCode = CellBuildOptions::Installed().GetDefaultSymmetryAtomColor();
        for (std::int32_t node = 0; node < m_tree.GetAtomNodeCount(); ++node) {
            std::uint32_t& oid = m_tree.m_atoms.oids[static_cast<std::size_t>(node)];
            ReplicateAtom* const old = DynCast<ReplicateAtom>(Below(m_root, oid));
            if (!old)
                continue;
            Atom* const source = ItemAtom(m_tree.m_atoms.nodes[static_cast<std::size_t>(node)].item);
            Atom* const copy = DynCast<Atom>(source->NodeCopy());
            if (!copy)
                return false;
            Created(copy);
            copy->SetDisplayStyle(old->GetDisplayStyle());
            copy->SetColor(old->GetColor());
            copy->SetCPKScale(old->GetCPKScale());
            copy->SetBallSize(old->GetBallSize());
            copy->SetStickRadius(old->GetStickRadius());
            copy->SetClipped(old->IsClipped());
            copy->SetXYZ(old->GetXYZ());
            m_obsolete.push_back(oid);
            oid = copy->GetOID();
            if (old->IsClipped())
                m_tree.SetAtomVisibility(node, 0);
        }
        return true;
    }

    // A node-only copy of the source at the key's image; null when the key names no operation. An image
    // of a source with conformers is no conformer itself.
    Atom* CreateImageAtom(const Atom& source, bool sourceHasConformers, const SymmetryImageKey& key, bool colouring)
    {
        if (key.op < 0 || static_cast<std::size_t>(key.op) >= m_operations.size())
            return nullptr;
        Atom* const copy = DynCast<Atom>(const_cast<Atom&>(source).NodeCopy());
        if (!copy)
            return nullptr;
        Created(copy);
        if (copy->IsSelected())
            copy->UnSelect(false);
        if (sourceHasConformers)
            copy->SetConformerIndex(-1);
        if (colouring) {
            if (m_colorCode >= 1 && m_colorCode <= 8)
                copy->SetColor(SymmetryAtomColor(m_colorCode));
            else
                copy->SetColorScheme("Element");
        }
        Matrix4x4 operation = m_operations[static_cast<std::size_t>(key.op)];
        operation(3, 0) += key.a;
        operation(3, 1) += key.b;
        operation(3, 2) += key.c;
        Point3d position = source.GetXYZ() * m_c2f;
        operation.Transform(position);
        copy->SetXYZ(position * m_f2c);
        // The copy answers first: it has no user property in the common case.
        if (copy->HasUserProperties() && copy->HasAnisotropicDisplacement() && source.HasAnisotropicDisplacement()) {
            Matrix3x3 rotation;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    rotation(r, c) = operation(r, c);
            copy->SetAnisotropicDisplacement(
                TransformDisplacement(source.GetAnisotropicDisplacement(), m_c2f * rotation * m_f2c));
        }
        return copy;
    }

    bool RebaseItems()
    {
        for (std::size_t i = 0; i < m_atomItems.size(); ++i) {
            Item& item = m_atomItems[i];
            if (item.key.IsIdentity())
                continue;
            const Atom* const recorded = ItemAtom(static_cast<std::int32_t>(i));
            const std::int32_t node =
                m_tree.m_atoms.Find(ImageNode(static_cast<std::int32_t>(i), SymmetryImageKey::identity));
            Atom* const atom =
                recorded ? CreateImageAtom(*recorded, recorded->HasConformers(), m_group.GetInverse(item.key), false)
                         : nullptr;
            if (!atom || node < 0)
                return false;
            m_tree.m_atoms.oids[static_cast<std::size_t>(node)] = atom->GetOID();
            item.oid = atom->GetOID();
            item.key = SymmetryImageKey::identity;
        }
        return true;
    }

    bool CreateAtoms()
    {
        // Whether each item's atom has conformers, asked once for all its images.
        enum class Conformers : std::uint8_t { Unknown, None, Some };
        std::vector<Conformers> conformers(m_atomItems.size(), Conformers::Unknown);
        m_lastOIDBeforeImages = Base::GetLastOID();
        for (std::int32_t node = 0; node < m_tree.GetAtomNodeCount(); ++node) {
            std::uint32_t& oid = m_tree.m_atoms.oids[static_cast<std::size_t>(node)];
            if (oid != 0)
                continue;
            const ImageNode& record = m_tree.m_atoms.nodes[static_cast<std::size_t>(node)];
            const Atom* const source = ItemAtom(record.item);
            if (!source)
                return false;
            Conformers& known = conformers[static_cast<std::size_t>(record.item)];
            if (known == Conformers::Unknown)
                known = source->HasConformers() ? Conformers::Some : Conformers::None;
            Atom* const atom = CreateImageAtom(*source, known == Conformers::Some, record.key, true);
            if (!atom)
                return false;
            oid = atom->GetOID();
        }
        m_lastImageOID = Base::GetLastOID();
        return m_rewriteAtoms ? Rewrite(m_tree.m_atoms, m_tree.m_atomCount, m_atomTable)
                              : HasOwnNodes(m_tree.m_atoms, m_tree.m_atomCount);
    }

    // The table's replicas become the tree's nodes, each item's own node first.
    static bool Rewrite(const Nodes& nodes, std::int32_t itemCount, ReplicaTable& table)
    {
        IntArray order;
        if (!OrderByItem(nodes, itemCount, order, nullptr))
            return false;
        IntArray counts(static_cast<std::size_t>(itemCount), 0);
        SymmetryImageKey::Array keys(order.size());
        OIDArray oids(order.size());
        for (std::size_t p = 0; p < order.size(); ++p) {
            const auto node = static_cast<std::size_t>(order[p]);
            ++counts[static_cast<std::size_t>(nodes.nodes[node].item)];
            keys[p] = nodes.nodes[node].key;
            oids[p] = nodes.oids[node];
        }
        return table.SetReplicasInOrder(counts, std::move(keys), std::move(oids));
    }

    // A node-only copy; a copy of a molecule with an amino-acid chain gets a sequence of its own.
    Object* CreateImageObject(Object& source)
    {
        Object* const copy = source.NodeCopy();
        if (!copy)
            return nullptr;
        Created(copy);
        if (copy->IsSelected())
            copy->UnSelect(false);
        if (IsA<Molecule>(&source) && IsA<Molecule>(copy) && source.HasChild(AminoAcidChain::classType))
            (new ProteinSequence(copy))->SetLabel("Sequence");
        return copy;
    }

    bool CreateObjects()
    {
        for (std::int32_t node = 0; node < m_tree.GetObjectNodeCount(); ++node) {
            if (m_tree.m_objects.oids[static_cast<std::size_t>(node)] != 0)
                continue;
            const std::int32_t j = m_tree.m_objects.nodes[static_cast<std::size_t>(node)].item;
            Item& item = m_objectItems[static_cast<std::size_t>(j)];
            const std::int32_t own = m_tree.m_objects.Find(ImageNode(j, SymmetryImageKey::identity));
            Object* const recorded = Below(m_root, item.oid);
            if (!recorded || own < 0)
                return false;
            if (!item.key.IsIdentity()) {
                Object* const rebased = CreateImageObject(*recorded);
                if (!rebased)
                    return false;
                m_tree.m_objects.oids[static_cast<std::size_t>(own)] = rebased->GetOID();
                item.oid = rebased->GetOID();
                item.key = SymmetryImageKey::identity;
            }
            if (node == own) {
                // The node stands for the object now, so the finish step must not delete it.
                m_tree.m_objects.oids[static_cast<std::size_t>(node)] = item.oid;
                if (m_registered.Find(item.oid))
                    m_registered[item.oid] = node;
                continue;
            }
            Object* const source = Object::GetObjectA(item.oid);
            Object* const image = source ? CreateImageObject(*source) : nullptr;
            if (!image)
                return false;
            m_tree.m_objects.oids[static_cast<std::size_t>(node)] = image->GetOID();
        }
        const auto& oids = m_tree.m_objects.oids;
        return std::none_of(oids.begin(), oids.end(), [](std::uint32_t oid) { return oid == 0; }) &&
               Rewrite(m_tree.m_objects, m_tree.m_objectCount, m_objectTable);
    }

    // Puts the object under the parent, recording where it was.
    [[gnu::always_inline]] void MoveUnder(Object& object, Object& parent)
    {
        Object* const old = object.GetParent();
        if (old == &parent)
            return;
        if (old)
            m_placements.push_back({static_cast<std::uint32_t>(m_moved.size()), old->GetOID(), object.GetIndex()});
        m_moved.push_back(object.GetOID());
        object.SetParent(&parent);
    }

    // The object a node's OID names, or null when it is gone. Every OID a node records named an
    // object when it was recorded, and OIDs are never reused.
    static Object* ObjectOf(std::uint32_t oid) { return static_cast<Object*>(Base::GetObjectA(oid)); }

    Object* NodeObject(const Nodes& nodes, std::int32_t node) const
    {
        return node < 0 ? nullptr : ObjectOf(nodes.oids[static_cast<std::size_t>(node)]);
    }

    void ApplyVisibility(Object& atom, std::int32_t visibility)
    {
        const bool visible = atom.IsVisible();
        const bool clipped = atom.IsClipped();
        if (visibility == 1 && (clipped || !visible)) {
            m_display.push_back({atom.GetOID(), visible, clipped});
            if (clipped)
                atom.SetClipped(false);
            if (!visible)
                atom.SetVisible(false);
        } else if (visibility == 0 && visible) {
            m_display.push_back({atom.GetOID(), visible, clipped});
            atom.SetInvisible(false);
        }
    }

    // The atom nodes by parent node (none first), then positive IDs ascending, then the rest, each
    // run in node order: counted out by parent, then sorted within a parent where out of order.
    // False when a parent names no object node.
    bool AtomsByParentAndID(const std::vector<std::int32_t>& ids, IntArray& order) const
    {
        const IntArray& parents = m_tree.m_atoms.parents;
        const std::size_t slots = m_tree.m_objects.nodes.size() + 1;
        std::vector<std::size_t> starts(slots + 1, 0);
        for (const std::int32_t parent : parents) {
            if (parent < -1 || parent >= static_cast<std::int64_t>(slots) - 1)
                return false;
            ++starts[static_cast<std::size_t>(parent + 1) + 1];
        }
        for (std::size_t s = 1; s < starts.size(); ++s)
            starts[s] += starts[s - 1];
        order.assign(parents.size(), 0);
        std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
        for (std::size_t node = 0; node < parents.size(); ++node)
            order[next[static_cast<std::size_t>(parents[node] + 1)]++] = static_cast<std::int32_t>(node);
        const auto idRank = [&ids](std::int32_t node) {
            const std::int32_t id = ids[static_cast<std::size_t>(node)];
            return id > 0 ? static_cast<std::int64_t>(id) : std::int64_t{INT32_MAX} + 1;
        };
        const auto byID = [&idRank](std::int32_t x, std::int32_t y) { return idRank(x) < idRank(y); };
        for (std::size_t s = 0; s < slots; ++s) {
            const auto first = order.begin() + static_cast<std::ptrdiff_t>(starts[s]);
            const auto last = order.begin() + static_cast<std::ptrdiff_t>(starts[s + 1]);
            if (!std::is_sorted(first, last, byID))
                std::stable_sort(first, last, byID);
        }
        return true;
    }

    bool Hierarchy()
    {
        const Nodes& atoms = m_tree.m_atoms;
        const Nodes& objects = m_tree.m_objects;
        std::vector<std::int32_t> ids(atoms.nodes.size(), 0);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const Object* const atom = NodeObject(atoms, static_cast<std::int32_t>(i));
            ids[i] = atom ? atom->GetID() : 0;
        }
        IntArray order;
        if (!AtomsByParentAndID(ids, order))
            return false;
        // At most one move per node: room for all at once instead of growth by doubling.
        m_moved.reserve(m_moved.size() + order.size() + objects.nodes.size());
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::int32_t node = order[k];
            if (k + PrefetchDistance < order.size())
                PrefetchObject(atoms.oids[static_cast<std::size_t>(order[k + PrefetchDistance])]);
            Object* const atom = NodeObject(atoms, node);
            Object* const parent = NodeObject(objects, atoms.parents[static_cast<std::size_t>(node)]);
            if (!atom || !parent)
                return false;
            ApplyVisibility(*atom, m_tree.m_visibility[static_cast<std::size_t>(node)]);
            MoveUnder(*atom, *parent);
        }
        // Chains by parent node and label, then residues by parent node and ID, then the rest.
        std::vector<std::int32_t> chains;
        std::vector<std::int32_t> residues;
        std::vector<std::int32_t> rest;
        for (std::int32_t node = 0; node < m_tree.GetObjectNodeCount(); ++node) {
            const Object* const object = NodeObject(objects, node);
            if (!object)
                return false;
            (IsA<Chain>(object) ? chains : IsA<Residue>(object) ? residues : rest).push_back(node);
        }
        const auto parentOf = [&objects](std::int32_t node) { return objects.parents[static_cast<std::size_t>(node)]; };
        std::stable_sort(chains.begin(), chains.end(), [&](std::int32_t x, std::int32_t y) {
            return parentOf(x) != parentOf(y) ? parentOf(x) < parentOf(y)
                                              : NodeObject(objects, x)->GetLabel() < NodeObject(objects, y)->GetLabel();
        });
        std::stable_sort(residues.begin(), residues.end(), [&](std::int32_t x, std::int32_t y) {
            return parentOf(x) != parentOf(y) ? parentOf(x) < parentOf(y)
                                              : NodeObject(objects, x)->GetID() < NodeObject(objects, y)->GetID();
        });
        for (const std::vector<std::int32_t>* group : {&chains, &residues, &rest}) {
            for (const std::int32_t node : *group) {
                if (parentOf(node) < 0)
                    continue;
                Object* const object = NodeObject(objects, node);
                Object* const parent = NodeObject(objects, parentOf(node));
                if (!parent)
                    return false;
                MoveUnder(*object, *parent);
                if (IsA<AminoAcidChain>(object) && IsA<Molecule>(parent) &&
                    !parent->HasChild(ProteinSequence::classType)) {
                    auto* const sequence = new ProteinSequence(parent);
                    sequence->SetLabel("Sequence");
                    Created(sequence);
                }
            }
        }
        return true;
    }

    bool Bonds()
    {
        OIDArray sources;
        m_bondTable.GetFirstOIDs(sources);
        // Each bond once, from its lower node: its unit and OID.
        IntArray units;
        OIDArray made;
        units.reserve(m_tree.m_bondNeighbors.size() / 2);
        made.reserve(m_tree.m_bondNeighbors.size() / 2);
        for (std::int32_t i = 0; i < m_tree.GetAtomNodeCount(); ++i) {
            const BondRange range = m_tree.GetBondRange(i);
            for (auto e = static_cast<std::size_t>(range.begin); e < static_cast<std::size_t>(range.begin + range.count); ++e) {
                const std::int32_t j = m_tree.m_bondNeighbors[e];
                const std::int32_t b = m_tree.m_bondNumbers[e];
                if (j <= i)
                    continue;
                Bond* const source = b >= 0 && static_cast<std::size_t>(b) < sources.size()
                                         ? DynCast<Bond>(Base::GetObjectA(sources[static_cast<std::size_t>(b)]))
                                         : nullptr;
                if (!source && !m_computeBonds)
                    continue;
                Atom* const a = DynCast<Atom>(NodeObject(m_tree.m_atoms, i));
                Atom* const z = DynCast<Atom>(NodeObject(m_tree.m_atoms, j));
                if (!a || !z)
                    return false;
                Bond* bond = a->FindBond(z);
                if (!bond) {
                    Atom* const maker = z->GetID() < a->GetID() ? z : a;
                    bond = maker->MakeBond(maker == a ? z : a, Bond::Single);
                    if (!bond)
                        return false;
                    Created(bond);
                    if (source) {
                        // Made single with its ends perceived, a single bond needs the type again
                        // only for a listener.
                        if (source->GetType() != bond->GetType() || bond->IsTypeSetHeard())
                            bond->SetType(source->GetType());
                        bond->SetOrder(source->GetOrder());
                        bond->SetDisplayStyle(source->GetDisplayStyle());
                        bond->SetIsInRing(source->IsInRing());
                    } else {
                        m_bondTable.ApplyBondSummary(b, bond);
                    }
                    // Atoms made in the place of replicas took their clipping before they had bonds.
                    bond->UpdateClipped();
                }
                units.push_back(b);
                made.push_back(bond->GetOID());
                Object* const ancestor = DynCast<Object>(a->FindCommonAncestor(static_cast<const TreeNode*>(z)));
                if (ancestor && bond->GetParent() != ancestor)
                    MoveUnder(*bond, *ancestor);
            }
        }
        return m_bondTable.SetBonds(units, std::move(made));
    }

    // Every node's object must exist (and be an atom for an atom node) before any marker is written,
    // so that the markers cannot fail half way; unclaimed registered objects go only after that.
    bool Finish()
    {
        for (const std::uint32_t oid : m_tree.m_atoms.oids) {
            if (!DynCast<Atom>(ObjectOf(oid)))
                return false;
        }
        for (const std::uint32_t oid : m_tree.m_objects.oids) {
            if (!ObjectOf(oid))
                return false;
        }
        AlternatesFollowVisibility();
        if (InjectedFailure() == Step::Finish)
            return false;
        Mark(m_tree.m_atoms, -1);
        Mark(m_tree.m_objects, m_tree.m_root);
        m_registered.ForEach([this](std::uint32_t oid, std::int32_t claim) {
            if (claim < 0)
                m_unclaimed.push_back(oid);
        });
        DeleteAll(m_unclaimed);
        NamedCollections::Update(m_root);
        return true;
    }

    // The alternates of an atom's site are shown with a visible atom and hidden with a hidden one. The
    // images CreateAtoms made are no conformers.
    void AlternatesFollowVisibility()
    {
        OrdCollection alternates;
        for (const std::uint32_t oid : m_tree.m_atoms.oids) {
            if (oid > m_lastOIDBeforeImages && oid <= m_lastImageOID)
                continue;
            const auto* const atom = static_cast<const Atom*>(ObjectOf(oid));
            if (!atom->HasConformers())
                continue;
            alternates.RemoveAll();
            Conformer::FindAlternateAtomSet(atom, alternates);
            const bool visible = atom->IsVisible();
            for (int i = 0; i < alternates.GetSize(); ++i) {
                Object* const alternate = alternates.GetAt(i);
                if (alternate == atom || alternate->IsVisible() == visible)
                    continue;
                m_display.push_back({alternate->GetOID(), !visible, alternate->IsClipped()});
                if (visible)
                    alternate->SetVisible(false);
                else
                    alternate->SetInvisible(false);
            }
        }
    }

    // The root node (the cell) carries no marker.
    void Mark(const Nodes& nodes, std::int32_t root)
    {
        static const UniqueString asu("_ASU");
        static const UniqueString rep("_REP");
        static const UniqueString rmi("_RMI");
        for (std::size_t i = 0; i < nodes.nodes.size(); ++i) {
            if (static_cast<std::int32_t>(i) == root)
                continue;
            Object* const object = ObjectOf(nodes.oids[i]);
            const ImageNode& node = nodes.nodes[i];
            // An object without properties has no marker to drop: new images come without any.
            const bool bare = !object->HasUserProperties();
            if (!bare && object->HasProperty("_RMI"))
                object->RemoveProperty("_RMI");
            if (node.key.IsIdentity()) {
                if (!bare && object->HasProperty("_REP"))
                    object->RemoveProperty("_REP");
                object->SetProperty(asu, node.item, 0);
                continue;
            }
            if (!bare && object->HasProperty("_ASU"))
                object->RemoveProperty("_ASU");
            if (m_keys)
                object->SetProperties(rep, node.item, rmi, m_keys->Add(node.key), 0);
            else
                object->SetProperty(rep, node.item, 0);
        }
    }

    // A build creates objects mostly in OID order: each run of consecutive OIDs is kept as one entry.
    void Created(const Object* object)
    {
        const std::uint32_t oid = object->GetOID();
        if (!m_created.empty() && m_created.back().first + m_created.back().count == oid)
            ++m_created.back().count;
        else
            m_created.push_back({oid, 1});
    }

    // Deletes the created objects, newest first.
    void DeleteCreated()
    {
        for (auto run = m_created.rbegin(); run != m_created.rend(); ++run) {
            for (std::uint32_t k = run->count; k > 0; --k)
                delete Object::GetObjectA(run->first + k - 1);
        }
        m_created.clear();
    }

    static void DeleteAll(OIDArray& oids)
    {
        for (auto oid = oids.rbegin(); oid != oids.rend(); ++oid)
            delete Object::GetObjectA(*oid);
        oids.clear();
    }

    // Takes back every change to existing objects, newest first, then deletes what the build made.
    void Restore()
    {
        auto placement = m_placements.rbegin();
        for (std::size_t move = m_moved.size(); move-- > 0;) {
            std::uint32_t parentOID = 0;
            int index = -1;
            if (placement != m_placements.rend() && placement->move == move) {
                parentOID = placement->parent;
                index = placement->index;
                ++placement;
            }
            Object* const object = Object::GetObjectA(m_moved[move]);
            if (!object)
                continue;
            Object* const parent = parentOID ? Object::GetObjectA(parentOID) : nullptr;
            if (parent && index >= 0)
                object->SetParentAt(parent, index);
            else
                object->SetParent(parent);
        }
        for (auto change = m_display.rbegin(); change != m_display.rend(); ++change) {
            Object* const object = Object::GetObjectA(change->oid);
            if (!object)
                continue;
            object->SetClipped(change->clipped);
            if (change->visible)
                object->SetVisible(false);
            else
                object->SetInvisible(false);
        }
        DeleteCreated();
    }

    CellBuildTree& m_tree;
    const Matrix3x3& m_f2c;
    const Matrix3x3& m_c2f;
    const std::vector<Matrix4x4>& m_operations;
    const Matrix4x4Group& m_group;
    SymmetryImageKeySet* m_keys;
    bool m_computeBonds;
    bool m_rewriteAtoms;
    std::int32_t m_colorCode = 0;
    // CreateAtoms gave its images the OIDs after the first up to the last.
    std::uint32_t m_lastOIDBeforeImages = 0;
    std::uint32_t m_lastImageOID = 0;
    Object* m_root = nullptr;
    std::vector<Item> m_atomItems;
    std::vector<Item> m_objectItems;
    SymmetryAtoms m_atomTable;
    SymmetryObjects m_objectTable;
    SymmetryBonds m_bondTable;
    struct OIDRun {
        std::uint32_t first;
        std::uint32_t count;
    };
    std::vector<OIDRun> m_created;
    OIDArray m_obsolete;
    OIDArray m_unclaimed;
    // Existing objects met by the build: OID -> the object node that claimed it, -1 while none did.
    FlatIntMap<std::uint32_t, std::int32_t, 0> m_registered;
    // The objects moved, oldest first, and where those that had a parent were.
    OIDArray m_moved;
    std::vector<Placement> m_placements;
    std::vector<DisplayChange> m_display;
};

bool CellBuildTree::Build(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional,
                          const std::vector<Matrix4x4>& operations, const Matrix4x4Group& group,
                          SymmetryImageKeySet* keys, bool computeBonds, SymmetryAtoms& atoms, SymmetryObjects& objects,
                          SymmetryBonds& bonds, bool rewriteAtoms)
{
    if (m_root < 0 || atoms.GetUnitCount() != m_atomCount || objects.GetUnitCount() != m_objectCount)
        return false;
    Builder builder(*this, fractionalToCartesian, cartesianToFractional, operations, group, keys, computeBonds,
                    rewriteAtoms);
    return builder.Run(atoms, objects, bonds);
}

} // namespace Tavrel
