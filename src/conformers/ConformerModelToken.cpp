#include <tavrel/conformers/ConformerModelToken.h>

#include <algorithm>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/conformers/ConformerHelper.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/LiveObjects.h>
#include <tavrel/core/Arrays.h>
#include <tavrel/core/FlatHashMap.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/OwnedObjects.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(ConformerModelToken)

namespace {

// A packaged object with its index under the family's parent, its OID and logical identifier, read
// in one visit.
struct Placed {
    Object* object;
    std::uint32_t oid;
    std::uint32_t lid;
    std::int32_t index;
};

// The packaged children of one parent, and the parent's child-index path from the top.
struct Family {
    Object* parent;
    std::uint32_t parentOID;
    IntArray path;
    std::vector<Placed> children;
};

using PointerSet = FlatHashMap<const void*, char, PointerHash>;

} // namespace

ConformerModelToken::ConformerModelToken()
{
    LiveObjects<ConformerModelToken>::Enter(this);
}

ConformerModelToken::ConformerModelToken(Object* parent) : Object(parent)
{
    LiveObjects<ConformerModelToken>::Enter(this);
}

ConformerModelToken::~ConformerModelToken()
{
    LiveObjects<ConformerModelToken>::Leave(this);
    DeleteHeld();
}

void ConformerModelToken::DeepenShallowCopy()
{
    LiveObjects<ConformerModelToken>::Enter(this);
    Object::DeepenShallowCopy();
}

std::vector<ConformerModelToken*> ConformerModelToken::FindBelow(const Object& root, bool includeRoot)
{
    return LiveObjects<ConformerModelToken>::Below(root, includeRoot);
}

const PropertyTable& ConformerModelToken::Properties()
{
    using Self = ConformerModelToken;
    static const PropertyTable table(
        PropertyList<Self>()
            .ReferenceOrArray(
                "Object List", [](const Self& self) { return self.m_lists[0].Get(); },
                [](Self& self, std::size_t) { self.m_lists[0].ReadingArray(); },
                [](Self& self, std::size_t index, Base* read) { return self.ReadList(0, index, read); })
            .ReferenceOrArray(
                "Parent List", [](const Self& self) { return self.m_lists[1].Get(); },
                [](Self& self, std::size_t) { self.m_lists[1].ReadingArray(); },
                [](Self& self, std::size_t index, Base* read) { return self.ReadList(1, index, read); })
            .ReferenceOrArray(
                "Sibling List", [](const Self& self) { return self.m_lists[2].Get(); },
                [](Self& self, std::size_t) { self.m_lists[2].ReadingArray(); },
                [](Self& self, std::size_t index, Base* read) { return self.ReadList(2, index, read); })
            .BeforeRecord([](Self& self, Archive& archive, PropertyArchive* stream) {
                if (stream && archive.IsStoring())
                    self.MakeLists();
            })
            .AfterRecord([](Self& self, Archive& archive, PropertyArchive* stream) {
                // The objects read are the token's before the load frees what has no parent.
                if (archive.IsLoading()) {
                    self.Hold();
                } else if (stream) {
                    for (StoredList<OrdCollection>& list : self.m_lists)
                        list.Drop();
                }
            }));
    return table;
}

void ConformerModelToken::MakeLists()
{
    std::vector<Object*> objects(m_places.Get().size());
    for (std::size_t list = 0; list < ListCount; ++list) {
        for (std::size_t i = 0; i < objects.size(); ++i)
            objects[i] = (m_places.Get()[i].*listLinks[list]).Get();
        m_lists[list].Make(objects);
    }
}

bool ConformerModelToken::ReadList(std::size_t list, std::size_t index, Base* read)
{
    return m_lists[list].Read(index, read, [this, list](std::size_t at, Object* object) {
        (PlaceAt(at).*listLinks[list]).Set(object);
        // A packaged object is the token's from its reading on: the collection record that listed it
        // goes, with what no one holds, before the token's record ends.
        if (list == 0 && object) {
            m_held.Get().push_back(object->GetOID());
            OwnedObjects::Enter(object->GetOID());
        }
        return object != nullptr;
    });
}

Object* ConformerModelToken::Link::Get() const
{
    return object && Base::GetObjectA(oid) == object ? object : nullptr;
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
    // The lists were just filled: an OID names the object read or packaged, or one a listener has
    // deleted since, whose entry is harmless, as OIDs are not reused.
    m_held.Get().reserve(m_places.Get().size());
    for (const Place& place : m_places.Get()) {
        if (place.object.oid != 0) {
            m_held.Get().push_back(place.object.oid);
            OwnedObjects::Enter(place.object.oid);
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
    // The list ends with the models, so it is walked backwards.
    std::vector<std::uint32_t> unplaced;
    for (auto place = m_places.Get().rbegin(); place != m_places.Get().rend(); ++place) {
        const Object* const object = place->object.Get();
        if (object && !object->GetParent() && IsUnplaced(object))
            unplaced.push_back(object->GetOID());
    }
    DeleteUnplaced(std::move(unplaced));
}

bool ConformerModelToken::IsUnplaced(const Object* object) const
{
    // A parentless object the token did not move is unplaced too once nothing else holds it: a
    // damaged file can list one, and nothing else would free it.
    return object != this && !HasAncestor(object) && (IsMoved(object) || !OwnedObjects::IsOwned(object->GetOID()));
}

// Models first: a model that goes before its conformers' atoms lets them go without deleting the
// other alternates of their sites.
void ConformerModelToken::DeleteUnplaced(std::vector<std::uint32_t> unplaced)
{
    m_places.Get().clear();
    std::stable_partition(unplaced.begin(), unplaced.end(),
                          [](std::uint32_t oid) { return ::Tavrel::IsA<ConformerModel>(Base::GetObjectA(oid)); });
    for (const std::uint32_t oid : unplaced) {
        auto* const object = DynCast<TreeNode>(Base::GetObjectA(oid));
        if (object && !object->GetParent())
            delete object;
    }
}

// ---- Packaging

// Deepest first means: families by depth (deeper first), then by their parent's path, children by
// index; each object is visited once before it leaves.
void ConformerModelToken::PackageConformerObjects(Object& root)
{
    DeleteHeld();
    std::vector<Object*> objects;
    PointerSet seen(nullptr);
    const auto collect = [&](Object* object) {
        if (object && seen.Insert(object, 0).second)
            objects.push_back(object);
    };
    ConformerHelper helper;
    for (ConformerModel* const model : ConformerModel::FindBelow(root, false)) {
        OrdCollection members;
        helper.FindConformerModelObjects(*model, members);
        for (int i = 0; i < members.GetSize(); ++i)
            collect(members.GetAt(i));
        collect(model);
    }

    std::vector<Family> families;
    FlatHashMap<const void*, std::uint32_t, PointerHash> familyOf(nullptr);
    std::vector<const Object*> withChildren;
    for (Object* const object : objects) {
        Object* const parent = IsMoved(object) ? object->GetParent() : nullptr;
        if (!parent)
            continue;
        const auto [family, added] = familyOf.Insert(parent, static_cast<std::uint32_t>(families.size()));
        if (added) {
            Family& first = families.emplace_back(Family{parent, parent->GetOID(), {}, {}});
            first.path.resize(static_cast<std::size_t>(parent->GetTreePosition(first.path, true)));
        }
        families[*family].children.push_back({object, object->GetOID(), object->GetLID(), object->GetIndex()});
        if (object->GetNumChildren() > 0)
            withChildren.push_back(object);
    }
    std::stable_sort(families.begin(), families.end(), [](const Family& a, const Family& b) {
        return a.path.size() != b.path.size() ? a.path.size() > b.path.size() : a.path < b.path;
    });
    // Parents of another tree may share a path: their children go by index together.
    for (std::size_t begin = 0; begin < families.size();) {
        std::size_t end = begin + 1;
        while (end < families.size() && families[end].path == families[begin].path)
            ++end;
        std::vector<std::pair<std::int32_t, std::pair<std::size_t, std::size_t>>> order;
        for (std::size_t f = begin; f < end; ++f) {
            for (std::size_t c = 0; c < families[f].children.size(); ++c)
                order.push_back({families[f].children[c].index, {f, c}});
        }
        std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        // The child before an object is mostly the packaged one just placed.
        const Placed* previous = nullptr;
        for (const auto& [index, at] : order) {
            const Family& family = families[at.first];
            const Placed& entry = family.children[at.second];
            Link sibling{entry.object, entry.oid};
            if (previous && previous->index == index - 1 && end == begin + 1)
                sibling = {previous->object, previous->oid};
            else if (index > 0)
                sibling.Set(family.parent->GetChild(index - 1));
            m_places.Get().push_back({{entry.object, entry.oid}, {family.parent, family.parentOID}, sibling});
            previous = &entry;
        }
        begin = end;
    }

    // Leaving the tree takes a node's logical identifier, which the node keeps while packaged so
    // that it gets the same one back: the packaged objects', and those of whatever they take along.
    PointerSet packaged(nullptr);
    packaged.Reserve(m_places.Get().size());
    std::vector<std::pair<TreeNode*, std::uint32_t>> lids;
    lids.reserve(m_places.Get().size());
    for (const Family& family : families) {
        for (const Placed& entry : family.children) {
            packaged.Insert(entry.object, 0);
            lids.emplace_back(entry.object, entry.lid);
        }
    }
    for (const Object* const object : withChildren) {
        for (int i = 0; i < object->GetNumChildren(); ++i) {
            Object* const child = object->GetChild(i);
            if (!child || packaged.Find(child))
                continue;
            DescendentIterator subtree(child, true);
            while (Object* const node = subtree.GetNext())
                lids.emplace_back(node, node->GetLID());
        }
    }
    for (const Place& place : m_places.Get())
        place.object.object->SetParent(nullptr);
    for (const auto& [node, lid] : lids)
        node->SetLID(lid);
    Hold();
}

int ConformerModelToken::UnpackageConformerObjects()
{
    LetGo();
    const std::vector<Place>& places = m_places.Get();
    int restored = 0;
    {
        std::vector<TreeNode*> parents;
        std::vector<std::vector<std::size_t>> going;
        FlatHashMap<const void*, std::uint32_t, PointerHash> groupOf(nullptr);
        for (std::size_t i = 0; i < places.size(); ++i) {
            Object* const object = places[i].object.Get();
            Object* const parent = object ? places[i].parent.Get() : nullptr;
            if (!object || !parent || !IsMoved(object) || object->GetParent() || object == this || HasAncestor(object))
                continue;
            const auto [group, added] = groupOf.Insert(parent, static_cast<std::uint32_t>(parents.size()));
            if (added) {
                parents.push_back(parent);
                going.emplace_back();
            }
            going[*group].push_back(i);
        }
        for (std::size_t g = 0; g < parents.size(); ++g)
            PutBack(*parents[g], going[g]);
    }
    // Back is what hangs in a tree again, not below an object that stays out of it: only objects
    // left out of the tree can be such a top.
    PointerSet outside(nullptr);
    std::vector<std::uint32_t> unplaced;
    for (const Place& place : places) {
        const Object* const object = place.object.Get();
        if (!object)
            continue;
        if (object->GetParent()) {
            restored += IsMoved(object) ? 1 : 0;
            continue;
        }
        outside.Insert(object, 0);
        if (IsUnplaced(object))
            unplaced.push_back(place.object.oid);
    }
    if (!outside.Empty()) {
        restored = 0;
        for (const Place& place : places) {
            const Object* const object = place.object.Get();
            if (object && IsMoved(object) && object->GetParent() && !outside.Find(object->GetRoot()))
                ++restored;
        }
    }
    // What could not be put back is still the token's, and goes now.
    std::reverse(unplaced.begin(), unplaced.end());
    DeleteUnplaced(std::move(unplaced));
    return restored;
}

// The objects going under one parent are placed in one step: the parent's children and the
// objects, each after its recorded sibling (first when that is the object itself or not a child)
// as if inserted one by one in list order, are linked in a list, the objects appended, and the
// children reordered once.
void ConformerModelToken::PutBack(TreeNode& parent, const std::vector<std::size_t>& going)
{
    const std::vector<Place>& places = m_places.Get();
    const Watch parentAlive(&parent);
    // The order wanted, as a linked list: nodes[k] follows nodes[before] (next links), the children
    // first. The objects are told alive by their OIDs before they are placed, as listeners may
    // delete them meanwhile; afterwards what the parent holds is alive. Only the objects are hashed:
    // a child is found by its index.
    std::vector<TreeNode*> nodes;
    std::vector<std::uint32_t> oids;
    std::vector<int> next;
    FlatHashMap<const void*, int, PointerHash> at(nullptr);
    const std::size_t room = static_cast<std::size_t>(parent.GetNumChildren()) + going.size();
    nodes.reserve(room);
    oids.reserve(room);
    next.reserve(room);
    at.Reserve(going.size());
    int head = -1;
    int tail = -1;
    const auto link = [&](TreeNode* node, std::uint32_t oid, int after) {
        const int k = static_cast<int>(nodes.size());
        nodes.push_back(node);
        oids.push_back(oid);
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
    for (int i = 0; i < parent.GetNumChildren(); ++i)
        link(parent.GetChild(i), 0, tail);
    const std::size_t children = nodes.size();
    for (const std::size_t i : going) {
        Object* const object = places[i].object.Get();
        if (!object || object->GetParent() == &parent || !at.Insert(object, static_cast<int>(nodes.size())).second)
            continue;
        Object* const sibling = places[i].sibling.Get();
        int after = -1;
        if (sibling && sibling != object) {
            if (const int* const found = at.Find(sibling))
                after = *found;
            else if (sibling->GetParent() == &parent)
                after = sibling->GetIndex();
        }
        link(object, places[i].object.oid, after);
    }
    const auto alive = [&](std::size_t k) { return Base::GetObjectA(oids[k]) == nodes[k]; };
    std::vector<std::size_t> appended;
    appended.reserve(nodes.size() - children);
    for (std::size_t k = children; k < nodes.size(); ++k) {
        if (parentAlive.alive && alive(k) && !nodes[k]->GetParent()) {
            nodes[k]->SetParent(&parent);
            appended.push_back(k);
        }
    }
    if (!parentAlive.alive)
        return;
    // Each present child's node: the old children and the appended objects in turn, unless a
    // listener changed the children meanwhile. A child not listed keeps its turn after the listed
    // ones.
    const int count = parent.GetNumChildren();
    std::vector<int> nodeOf(static_cast<std::size_t>(count), -1);
    std::vector<char> present(nodes.size(), 0);
    bool childrenHashed = false;
    for (int i = 0; i < count; ++i) {
        const TreeNode* const child = parent.GetChild(i);
        const auto index = static_cast<std::size_t>(i);
        std::size_t k = index < children ? index
                        : index - children < appended.size() ? appended[index - children]
                                                             : nodes.size();
        if (k == nodes.size() || nodes[k] != child) {
            if (!childrenHashed) {
                for (std::size_t j = 0; j < children; ++j)
                    at.Insert(nodes[j], static_cast<int>(j));
                childrenHashed = true;
            }
            const int* const found = at.Find(child);
            k = found ? static_cast<std::size_t>(*found) : nodes.size();
        }
        if (k < nodes.size() && nodes[k] == child) {
            nodeOf[index] = static_cast<int>(k);
            present[k] = 1;
        }
    }
    std::vector<int> position(nodes.size(), -1);
    int placedCount = 0;
    for (int k = head; k >= 0; k = next[static_cast<std::size_t>(k)]) {
        if (present[static_cast<std::size_t>(k)])
            position[static_cast<std::size_t>(k)] = placedCount++;
    }
    IntArray positions(static_cast<std::size_t>(count));
    bool moved = false;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        positions[i] = nodeOf[i] >= 0 ? position[static_cast<std::size_t>(nodeOf[i])] : placedCount++;
        moved = moved || positions[i] != static_cast<int>(i);
    }
    if (moved)
        parent.ReorderChildren(positions);
}

} // namespace Tavrel
