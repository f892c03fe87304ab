#include <tavrel/conformers/ConformationReference.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Event.h>

namespace Tavrel {

namespace {

using Registry = std::unordered_map<std::uint32_t, std::unique_ptr<ConformationReference>>;

// By the reference's OID, so an object deleted with events off never lends its record to a later
// object at the same address. Never destroyed: Conformations may outlive the other statics.
Registry& Records()
{
    static auto* const records = new Registry();
    return *records;
}

// Alternate atoms, and bonds with an alternate atom at either end, belong to conformer models.
bool IsNumberedAtom(const TreeNode* node)
{
    return ::Tavrel::IsA<Atom>(node) && !::Tavrel::IsA<ConformerAtom>(node);
}

bool IsNumberedBond(const TreeNode* node)
{
    const Bond* const bond = DynCast<Bond>(node);
    return bond && !::Tavrel::IsA<ConformerAtom>(bond->GetAtom1()) && !::Tavrel::IsA<ConformerAtom>(bond->GetAtom2());
}

template <class T>
bool IsLive(const T* object, std::uint32_t oid)
{
    return object && Base::GetObjectA(oid) == object;
}

} // namespace

template <class T>
void ConformationReference::Numbered<T>::Add(T* object)
{
    index.Insert(object, static_cast<int>(objects.size()));
    objects.push_back(object);
    oids.push_back(object->GetOID());
}

template <class T>
void ConformationReference::Numbered<T>::Clear()
{
    objects.clear();
    oids.clear();
    index.Clear();
}

template <class T>
bool ConformationReference::Numbered<T>::IsLive(std::size_t at) const
{
    return Tavrel::IsLive(objects[at], oids[at]);
}

template <class T>
T* ConformationReference::Numbered<T>::At(int at) const
{
    if (at < 0 || static_cast<std::size_t>(at) >= objects.size())
        throw std::out_of_range("index out of range");
    return IsLive(static_cast<std::size_t>(at)) ? objects[static_cast<std::size_t>(at)] : nullptr;
}

template <class T>
int ConformationReference::Numbered<T>::IndexOf(const T* object) const
{
    const int* const found = object ? index.Find(object) : nullptr;
    return found ? *found : -1;
}

template <class T>
int ConformationReference::Numbered<T>::IndexNear(const T* object, std::size_t hint) const
{
    for (std::size_t at = hint > 0 ? hint - 1 : 0; at <= hint + 1 && at < objects.size(); ++at) {
        if (objects[at] == object)
            return static_cast<int>(at);
    }
    return IndexOf(object);
}

ConformationReference::ConformationReference(Object* reference, bool twoD)
    : m_reference(reference), m_referenceOID(reference->GetOID()), m_twoD(twoD)
{
    reference->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &ReferenceDeleted, false, this, nullptr);
}

ConformationReference::~ConformationReference()
{
    if (Object* const reference = GetReference())
        reference->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &ReferenceDeleted, false, this, nullptr);
    Unregister();
}

ConformationReference* ConformationReference::Acquire(Object* reference, Conformation* user)
{
    if (!reference || !user)
        return nullptr;
    std::unique_ptr<ConformationReference>& slot = Records()[reference->GetOID()];
    if (!slot)
        slot.reset(new ConformationReference(reference, user->Is2D()));
    user->SetProperty("Reference Name", reference->GetLabel().c_str(), DataStorage::FlagReadable);
    slot->m_users.push_back(user);
    return slot.get();
}

void ConformationReference::Release(ConformationReference* record, Conformation* user)
{
    if (!record || !user)
        return;
    std::erase(record->m_users, user);
    if (record->m_users.empty())
        Records().erase(record->m_referenceOID);
}

ConformationReference* ConformationReference::Clone(Conformation* copy)
{
    Object* const reference = GetReference();
    Object* const referenceCopy = reference ? DynCast<Object>(reference->Copy()) : nullptr;
    if (!referenceCopy) {
        Release(this, copy);
        return nullptr;
    }
    std::unique_ptr<ConformationReference>& slot = Records()[referenceCopy->GetOID()];
    if (!slot) {
        slot.reset(new ConformationReference(referenceCopy, copy->Is2D()));
        CopyListsTo(*slot);
    }
    Release(this, copy);
    return Acquire(referenceCopy, copy);
}

Object* ConformationReference::GetReference() const
{
    return IsLive(m_reference, m_referenceOID) ? m_reference : nullptr;
}

// ---- Lists

void ConformationReference::Unregister()
{
    if (!m_listed)
        return;
    m_listed = false;
    for (std::size_t i = 0; i < m_atoms.Size(); ++i) {
        if (m_atoms.IsLive(i))
            m_atoms.objects[i]->UnregisterAllEvents(this);
    }
    for (std::size_t i = 0; i < m_bonds.Size(); ++i) {
        if (m_bonds.IsLive(i))
            m_bonds.objects[i]->UnregisterAllEvents(this);
    }
}

void ConformationReference::Number(Atom* atom)
{
    m_atoms.Add(atom);
    atom->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &ReferenceDeleted, false, this, nullptr);
    if (m_twoD) {
        m_elements.push_back(atom->GetElement());
        atom->RegisterEvent(Atom3d::classType, Atom3d::EventElementSet, &ReferenceChanged, false, this, nullptr);
    }
}

void ConformationReference::Number(Bond* bond)
{
    m_bonds.Add(bond);
    bond->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &ReferenceDeleted, false, this, nullptr);
    if (m_twoD) {
        m_bondTypes.push_back(bond->GetType());
        bond->RegisterEvent(Bond::classType, Bond::EventTypeSet, &ReferenceChanged, false, this, nullptr);
    }
}

void ConformationReference::Update()
{
    if (!m_stale)
        return;
    m_stale = false;
    Unregister();
    m_atoms.Clear();
    m_elements.clear();
    m_bonds.Clear();
    m_bondTypes.clear();
    m_sides.clear();
    m_preorder.clear();
    m_sidesBuilt = false;
    Object* const reference = GetReference();
    if (!reference)
        return;
    m_listed = true;
    // Atoms and bonds each in pre-order, from one walk.
    DescendentIterator walk(reference, false);
    while (Object* const object = walk.GetNext()) {
        if (IsNumberedAtom(object))
            Number(static_cast<Atom*>(object));
        else if (IsNumberedBond(object))
            Number(static_cast<Bond*>(object));
    }
}

void ConformationReference::CopyListsTo(ConformationReference& copy) const
{
    copy.m_stale = false;
    copy.m_listed = true;
    if (!GetReference())
        return;
    DescendentIterator atoms(m_reference, Atom::classType, false);
    while (Object* const atom = atoms.GetNext()) {
        if (Atom* const atomCopy = IsNumberedAtom(atom) ? DynCast<Atom>(atom->Copy()) : nullptr)
            copy.Number(atomCopy);
    }
    DescendentIterator bonds(m_reference, Bond::classType, false);
    while (Object* const bond = bonds.GetNext()) {
        if (Bond* const bondCopy = IsNumberedBond(bond) ? DynCast<Bond>(bond->Copy()) : nullptr)
            copy.Number(bondCopy);
    }
}

int ConformationReference::CountAtoms(Object& reference)
{
    int count = 0;
    DescendentIterator atoms(&reference, Atom::classType, false);
    while (const Object* const atom = atoms.GetNext()) {
        if (IsNumberedAtom(atom))
            ++count;
    }
    return count;
}

std::vector<Conformation*> ConformationReference::UsersOf(const Object& reference)
{
    const auto found = Records().find(reference.GetOID());
    if (found == Records().end() || found->second->GetReference() != &reference)
        return {};
    return found->second->m_users;
}

int ConformationReference::GetAtomCount()
{
    Update();
    return static_cast<int>(m_atoms.Size());
}

Atom* ConformationReference::GetAtom(int index)
{
    Update();
    return m_atoms.At(index);
}

int ConformationReference::GetAtomIndex(const Atom* atom)
{
    Update();
    return m_atoms.IndexOf(atom);
}

int ConformationReference::GetBondCount()
{
    Update();
    return static_cast<int>(m_bonds.Size());
}

Bond* ConformationReference::GetBond(int index)
{
    Update();
    return m_bonds.At(index);
}

int ConformationReference::GetBondIndex(const Bond* bond)
{
    Update();
    return m_bonds.IndexOf(bond);
}

// ---- Rotatable sides

// One depth-first search of the bonded graph reached from the reference's atoms (alternates left
// out) numbers the nodes in preorder and finds the bridges: a bond is in a ring exactly when it is
// not a bridge. A bridge cuts its component into the subtree below it (a preorder range) and the
// rest, so each side is two or three ranges of the preorder, and its share of atoms outside the
// reference is a difference of prefix counts.
void ConformationReference::BuildSides()
{
    Update();
    const auto count = static_cast<std::int32_t>(m_atoms.Size());
    m_sides.assign(m_bonds.Size(), Side{});
    m_preorder.clear();
    m_sidesBuilt = true;

    std::vector<const Bondable*> nodes;
    nodes.reserve(m_atoms.Size());
    for (std::size_t i = 0; i < m_atoms.Size(); ++i)
        nodes.push_back(m_atoms.IsLive(i) ? m_atoms.objects[i] : nullptr);
    // Nodes that are not reference atoms.
    FlatHashMap<const Bondable*, std::int32_t, PointerHash> outside(nullptr);
    // A node's number: its atom index, or the number it was given when first reached.
    const auto idOf = [&](const Bondable* node, std::int32_t near) -> std::int32_t {
        if (const int at = m_atoms.IndexNear(DynCast<Atom>(node), static_cast<std::size_t>(near)); at >= 0)
            return at;
        const auto [id, added] = outside.Insert(node, static_cast<std::int32_t>(nodes.size()));
        if (added)
            nodes.push_back(node);
        return *id;
    };

    std::vector<std::int32_t> in(nodes.size(), -1);
    std::vector<std::int32_t> low(nodes.size(), 0);
    std::vector<std::int32_t> out(nodes.size(), 0);
    std::vector<std::int32_t> component(nodes.size(), 0);
    std::vector<const Bond*> treeBond(nodes.size(), nullptr);
    std::vector<std::int32_t> up(nodes.size(), -1);  // the node a tree bond was followed from
    std::vector<std::pair<std::int32_t, std::int32_t>> components;  // preorder ranges
    const auto grow = [&] {
        in.resize(nodes.size(), -1);
        low.resize(nodes.size(), 0);
        out.resize(nodes.size(), 0);
        component.resize(nodes.size(), 0);
        treeBond.resize(nodes.size(), nullptr);
        up.resize(nodes.size(), -1);
    };
    struct Frame {
        std::int32_t node;
        int nextBond;
    };
    std::vector<Frame> stack;
    const auto enter = [&](std::int32_t node, const Bond* through) {
        in[static_cast<std::size_t>(node)] = low[static_cast<std::size_t>(node)] =
            static_cast<std::int32_t>(m_preorder.size());
        component[static_cast<std::size_t>(node)] = static_cast<std::int32_t>(components.size());
        treeBond[static_cast<std::size_t>(node)] = through;
        up[static_cast<std::size_t>(node)] = stack.empty() ? -1 : stack.back().node;
        m_preorder.push_back(node);
        stack.push_back({node, 0});
    };
    for (std::int32_t start = 0; start < count; ++start) {
        if (!nodes[static_cast<std::size_t>(start)] || in[static_cast<std::size_t>(start)] >= 0)
            continue;
        const auto first = static_cast<std::int32_t>(m_preorder.size());
        enter(start, nullptr);
        while (!stack.empty()) {
            Frame& frame = stack.back();
            const auto u = static_cast<std::size_t>(frame.node);
            const Bondable* const node = nodes[u];
            if (frame.nextBond < node->GetNumBonds()) {
                const Bond* const bond = node->GetBond(frame.nextBond++);
                if (!bond || bond == treeBond[u] || !IsNumberedBond(bond))
                    continue;
                const Bondable* const other = bond->GetAtom1() == node ? bond->GetAtom2() : bond->GetAtom1();
                if (!other || other == node)
                    continue;
                const std::int32_t v = idOf(other, frame.node + 1);
                grow();
                if (in[static_cast<std::size_t>(v)] < 0)
                    enter(v, bond);
                else
                    low[u] = std::min(low[u], in[static_cast<std::size_t>(v)]);
                continue;
            }
            out[u] = static_cast<std::int32_t>(m_preorder.size());
            stack.pop_back();
            if (!stack.empty()) {
                const auto parent = static_cast<std::size_t>(stack.back().node);
                low[parent] = std::min(low[parent], low[u]);
            }
        }
        components.emplace_back(first, static_cast<std::int32_t>(m_preorder.size()));
    }

    // outsideBefore[p]: nodes outside the reference among the first p of the preorder.
    std::vector<std::int32_t> outsideBefore(m_preorder.size() + 1, 0);
    for (std::size_t p = 0; p < m_preorder.size(); ++p)
        outsideBefore[p + 1] = outsideBefore[p] + (m_preorder[p] >= count ? 1 : 0);
    const auto outsideIn = [&](std::int32_t begin, std::int32_t end) {
        return outsideBefore[static_cast<std::size_t>(end)] - outsideBefore[static_cast<std::size_t>(begin)];
    };

    // Each tree bond joins a node to the one it was reached from; any other bond closes a ring.
    for (std::size_t node = 0; node < treeBond.size(); ++node) {
        const Bond* const bond = treeBond[node];
        const int index = bond ? m_bonds.IndexNear(bond, node > 0 ? node - 1 : 0) : -1;
        if (index < 0 || !m_bonds.IsLive(static_cast<std::size_t>(index)))
            continue;
        const auto b = static_cast<std::size_t>(index);
        const auto child = static_cast<std::int32_t>(node);
        const std::int32_t parent = up[node];
        const std::int32_t id1 = bond->GetAtom1() == nodes[node] ? child : parent;
        const auto c = static_cast<std::size_t>(child);
        const auto p = static_cast<std::size_t>(parent);
        if (low[c] <= in[p])
            continue;
        const auto [compBegin, compEnd] = components[static_cast<std::size_t>(component[c])];
        const std::int32_t below = out[c] - in[c];
        const std::int32_t above = compEnd - compBegin - below;
        const bool belowInside = outsideIn(in[c], out[c]) == 0;
        const bool aboveInside = outsideIn(compBegin, compEnd) - outsideIn(in[c], out[c]) == 0;
        const bool firstBelow = child == id1;
        const std::int32_t size1 = firstBelow ? below : above;
        const std::int32_t size2 = firstBelow ? above : below;
        const bool inside1 = firstBelow ? belowInside : aboveInside;
        const bool inside2 = firstBelow ? aboveInside : belowInside;
        if (size1 == 1 || size2 == 1)
            continue;
        bool moveFirst = false;
        if (inside1 && (!inside2 || size1 <= size2))
            moveFirst = true;
        else if (!inside2)
            continue;
        const bool moveBelow = moveFirst == firstBelow;
        Side& side = m_sides[b];
        side.cutBegin = in[c];
        side.cutEnd = out[c];
        if (moveBelow) {
            side.count = below;
            side.end = child;
        } else {
            side.count = above;
            side.end = parent;
            side.complement = true;
            side.compBegin = compBegin;
            side.compEnd = compEnd;
            side.endAt = in[p];
        }
    }
}

const ConformationReference::Side& ConformationReference::GetSide(int bond)
{
    Update();
    if (!m_sidesBuilt)
        BuildSides();
    if (bond < 0 || static_cast<std::size_t>(bond) >= m_sides.size())
        throw std::out_of_range("bond index out of range");
    return m_sides[static_cast<std::size_t>(bond)];
}

int ConformationReference::GetSideCount(int bond)
{
    return GetSide(bond).count;
}

int ConformationReference::GetSideAtomIndex(int bond, int k)
{
    const Side& side = GetSide(bond);
    if (k < 0 || k >= side.count)
        throw std::out_of_range("no such moving atom");
    if (!side.complement)
        return m_preorder[static_cast<std::size_t>(side.cutBegin + k)];
    if (k == 0)
        return side.end;
    // The component without the subtree, in preorder, the end taken out to stand first.
    std::int32_t j = k - 1;
    const std::int32_t before = side.endAt - side.compBegin;
    if (j < before)
        return m_preorder[static_cast<std::size_t>(side.compBegin + j)];
    j -= before;
    const std::int32_t between = side.cutBegin - side.endAt - 1;
    if (j < between)
        return m_preorder[static_cast<std::size_t>(side.endAt + 1 + j)];
    j -= between;
    return m_preorder[static_cast<std::size_t>(side.cutEnd + j)];
}

Atom* ConformationReference::GetSideAtom(int bond, int k)
{
    return GetAtom(GetSideAtomIndex(bond, k));
}

// ---- Events

void ConformationReference::DeleteUsers()
{
    // Deleting a Conformation releases it, so the record may go with the last one: only OIDs are
    // kept from here on.
    std::vector<std::uint32_t> users;
    std::unordered_set<std::uint32_t> listed;
    for (const Conformation* user : m_users) {
        if (listed.insert(user->GetOID()).second)
            users.push_back(user->GetOID());
    }
    for (const std::uint32_t oid : users)
        delete DynCast<Conformation>(Base::GetObjectA(oid));
}

bool ConformationReference::Changed(const Event& event) const
{
    const TreeNode* const source = event.GetTreeNode(false);
    if (const Atom* atom = DynCast<Atom>(source)) {
        const int at = m_atoms.IndexOf(atom);
        return at < 0 || m_elements[static_cast<std::size_t>(at)] != atom->GetElement();
    }
    if (const Bond* bond = DynCast<Bond>(source)) {
        const int at = m_bonds.IndexOf(bond);
        return at < 0 || m_bondTypes[static_cast<std::size_t>(at)] != bond->GetType();
    }
    return true;
}

void ConformationReference::ReferenceDeleted(Event& event)
{
    static_cast<ConformationReference*>(event.GetData())->DeleteUsers();
}

void ConformationReference::ReferenceChanged(Event& event)
{
    auto* const record = static_cast<ConformationReference*>(event.GetData());
    if (record->Changed(event))
        record->DeleteUsers();
}

} // namespace Tavrel
