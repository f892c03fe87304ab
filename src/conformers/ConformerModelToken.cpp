#include <tavrel/conformers/ConformerModelToken.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/conformers/ConformerHelper.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/core/Arrays.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/OwnedObjects.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(ConformerModelToken)

namespace {

// A packaged object's place: deeper objects first, then by the child-index path from the top.
struct Placed {
    Object* object;
    IntArray path;
};

bool PlacedBefore(const Placed& a, const Placed& b)
{
    if (a.path.size() != b.path.size())
        return a.path.size() > b.path.size();
    return std::lexicographical_compare(a.path.begin(), a.path.end(), b.path.begin(), b.path.end());
}

} // namespace

ConformerModelToken::ConformerModelToken() = default;

ConformerModelToken::ConformerModelToken(Object* parent) : Object(parent) {}

ConformerModelToken::~ConformerModelToken()
{
    DeleteHeld();
}

const PropertyTable& ConformerModelToken::Properties()
{
    using Self = ConformerModelToken;
    static const PropertyTable table(
        PropertyList<Self>()
            .References(
                "Object List", [](const Self& self) { return self.m_places.Get().size(); },
                [](const Self& self, std::size_t index) -> Base* { return self.m_places.Get()[index].object.Get(); },
                [](Self& self, std::size_t index, Base* object) {
                    self.PlaceAt(index).object.Set(DynCast<Object>(object));
                })
            .StreamOnly()
            .References(
                "Parent List", [](const Self& self) { return self.m_places.Get().size(); },
                [](const Self& self, std::size_t index) -> Base* { return self.m_places.Get()[index].parent.Get(); },
                [](Self& self, std::size_t index, Base* parent) {
                    self.PlaceAt(index).parent.Set(DynCast<Object>(parent));
                })
            .StreamOnly()
            .References(
                "Sibling List", [](const Self& self) { return self.m_places.Get().size(); },
                [](const Self& self, std::size_t index) -> Base* { return self.m_places.Get()[index].sibling.Get(); },
                [](Self& self, std::size_t index, Base* sibling) {
                    self.PlaceAt(index).sibling.Set(DynCast<Object>(sibling));
                })
            .StreamOnly()
            .AfterRecord([](Self& self, Archive& archive, PropertyArchive*) {
                // The objects read are the token's before the load frees what has no parent.
                if (archive.IsLoading())
                    self.Hold();
            }));
    return table;
}

Object* ConformerModelToken::Link::Get() const
{
    return object && Object::GetObjectA(oid) == object ? object : nullptr;
}

void ConformerModelToken::Link::Set(Object* to)
{
    object = to;
    oid = to ? to->GetOID() : 0;
}

ConformerModelToken::Place& ConformerModelToken::PlaceAt(std::size_t index)
{
    if (index >= m_places.Get().size())
        m_places.Get().resize(index + 1);
    return m_places.Get()[index];
}

Object* ConformerModelToken::GetObjectAt(int index) const
{
    return index >= 0 && static_cast<std::size_t>(index) < m_places.Get().size()
               ? m_places.Get()[static_cast<std::size_t>(index)].object.Get()
               : nullptr;
}

bool ConformerModelToken::IsMoved(const Object* object)
{
    if (::Tavrel::IsA<Atom>(object))
        return ::Tavrel::IsA<ConformerAtom>(object);
    if (::Tavrel::IsA<Bond>(object))
        return ::Tavrel::IsA<ConformerBond>(object);
    return object != nullptr;
}

void ConformerModelToken::Hold()
{
    LetGo();
    for (const Place& place : m_places.Get()) {
        if (const Object* const object = place.object.Get()) {
            m_held.Get().push_back(object->GetOID());
            OwnedObjects::Enter(object->GetOID());
        }
    }
}

void ConformerModelToken::LetGo()
{
    for (const std::uint32_t oid : m_held.Get())
        OwnedObjects::Leave(oid);
    m_held.Get().clear();
}

void ConformerModelToken::DeleteHeld()
{
    LetGo();
    // Models first: a model that goes before its conformers' atoms lets them go without deleting the
    // other alternates of their sites. The list ends with the models, so it is walked backwards.
    std::vector<std::uint32_t> held;
    for (auto place = m_places.Get().rbegin(); place != m_places.Get().rend(); ++place) {
        const Object* const object = place->object.Get();
        if (object && IsMoved(object) && object != this && !object->GetParent() && !HasAncestor(object))
            held.push_back(object->GetOID());
    }
    m_places.Get().clear();
    std::stable_partition(held.begin(), held.end(),
                          [](std::uint32_t oid) { return ::Tavrel::IsA<ConformerModel>(Base::GetObjectA(oid)); });
    for (const std::uint32_t oid : held) {
        auto* const object = DynCast<TreeNode>(Base::GetObjectA(oid));
        if (object && !object->GetParent())
            delete object;
    }
}

// ---- Packaging

void ConformerModelToken::PackageConformerObjects(Object& root)
{
    DeleteHeld();
    std::vector<Placed> placed;
    std::unordered_set<const Object*> seen;
    const auto collect = [&](Object* object) {
        if (object && seen.insert(object).second)
            placed.push_back({object, {}});
    };
    ConformerHelper helper;
    DescendentIterator models(&root, ConformerModel::classType, false);
    while (Object* const model = models.GetNext()) {
        OrdCollection objects;
        helper.FindConformerModelObjects(*model, objects);
        for (int i = 0; i < objects.GetSize(); ++i)
            collect(objects.GetAt(i));
        collect(model);
    }
    for (Placed& entry : placed)
        entry.path.resize(static_cast<std::size_t>(entry.object->GetTreePosition(entry.path, true)));
    std::stable_sort(placed.begin(), placed.end(), PlacedBefore);

    std::vector<Object*> recorded;
    for (const Placed& entry : placed) {
        Object* const object = entry.object;
        Object* const parent = object->GetParent();
        if (!IsMoved(object) || !parent)
            continue;
        const int index = object->GetIndex();
        Place& place = m_places.Get().emplace_back();
        place.object.Set(object);
        place.parent.Set(parent);
        place.sibling.Set(index > 0 ? parent->GetChild(index - 1) : object);
        recorded.push_back(object);
    }
    // Leaving the tree takes a node's logical identifier, which the node keeps while packaged so
    // that it gets the same one back.
    const std::unordered_set<const Object*> packaged(recorded.begin(), recorded.end());
    std::vector<std::pair<TreeNode*, std::uint32_t>> lids;
    for (Object* const object : recorded) {
        if (packaged.contains(object->GetParent()))
            continue;
        DescendentIterator subtree(object, true);
        while (Object* const node = subtree.GetNext())
            lids.emplace_back(node, node->GetLID());
    }
    for (Object* const object : recorded)
        object->SetParent(nullptr);
    for (const auto& [node, lid] : lids)
        node->SetLID(lid);
    Hold();
}

// The objects going under one parent are placed in one step: the parent's children and the
// objects, each after its recorded sibling (first when that is the object itself or not a child)
// as if inserted one by one in list order, are linked in a list, the objects appended, and the
// children reordered once.
int ConformerModelToken::UnpackageConformerObjects()
{
    LetGo();
    int restored = 0;
    {
        std::vector<TreeNode*> parents;
        std::unordered_map<TreeNode*, std::vector<std::size_t>> going;
        for (std::size_t i = 0; i < m_places.Get().size(); ++i) {
            Object* const object = m_places.Get()[i].object.Get();
            Object* const parent = m_places.Get()[i].parent.Get();
            if (!object || !parent || !IsMoved(object) || object->GetParent() || object == this || HasAncestor(object))
                continue;
            auto [entry, added] = going.try_emplace(parent);
            if (added)
                parents.push_back(parent);
            entry->second.push_back(i);
        }
        for (TreeNode* const parent : parents) {
            const Watch parentAlive(parent);
            // The order wanted, as a linked list: nodes[k] follows nodes[before] (next links).
            std::vector<TreeNode*> nodes;
            std::vector<int> next;
            std::unordered_map<const TreeNode*, int> at;
            int head = -1;
            int tail = -1;
            const auto link = [&](TreeNode* node, int after) {
                const int k = static_cast<int>(nodes.size());
                nodes.push_back(node);
                at.emplace(node, k);
                if (after < 0) {
                    next.push_back(head);
                    head = k;
                } else {
                    next.push_back(next[static_cast<std::size_t>(after)]);
                    next[static_cast<std::size_t>(after)] = k;
                }
                if (next.back() < 0)
                    tail = k;
            };
            for (int i = 0; i < parent->GetNumChildren(); ++i)
                link(parent->GetChild(i), tail);
            std::vector<TreeNode*> moving;
            for (const std::size_t i : going[parent]) {
                Object* const object = m_places.Get()[i].object.Get();
                if (!object || at.contains(object))
                    continue;
                Object* const sibling = m_places.Get()[i].sibling.Get();
                const auto found = sibling && sibling != object ? at.find(sibling) : at.end();
                link(object, found == at.end() ? -1 : found->second);
                moving.push_back(object);
            }
            for (TreeNode* const object : moving) {
                if (parentAlive.alive && Base::GetObjectA(object->GetOID()) == object && !object->GetParent())
                    object->SetParent(parent);
            }
            if (!parentAlive.alive)
                continue;
            // Positions of the present children in the order wanted; any child a listener added
            // meanwhile keeps its turn after them.
            const int children = parent->GetNumChildren();
            std::unordered_map<const TreeNode*, int> position;
            int placedCount = 0;
            for (int k = head; k >= 0; k = next[static_cast<std::size_t>(k)]) {
                TreeNode* const node = nodes[static_cast<std::size_t>(k)];
                if (Base::GetObjectA(node->GetOID()) == node && node->GetParent() == parent &&
                    position.emplace(node, placedCount).second)
                    ++placedCount;
            }
            IntArray positions(static_cast<std::size_t>(children));
            bool moved = false;
            for (int i = 0; i < children; ++i) {
                const TreeNode* const child = parent->GetChild(i);
                const auto found = position.find(child);
                positions[static_cast<std::size_t>(i)] = found != position.end() ? found->second : placedCount++;
                moved = moved || positions[static_cast<std::size_t>(i)] != i;
            }
            if (moved)
                parent->ReorderChildren(positions);
        }
    }
    // Back is what hangs in a tree again, not below an object that stays out of it.
    std::unordered_set<const TreeNode*> held;
    for (const Place& place : m_places.Get())
        held.insert(place.object.Get());
    for (const Place& place : m_places.Get()) {
        const Object* const object = place.object.Get();
        if (object && IsMoved(object) && object->GetParent() && !held.contains(object->GetRoot()))
            ++restored;
    }
    // What could not be put back is still the token's, and goes now.
    Hold();
    DeleteHeld();
    return restored;
}

} // namespace Tavrel
