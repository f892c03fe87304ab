#include <tavrel/foundation/TreeNode.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

#include <tavrel/foundation/OwnedObjects.h>
#include <tavrel/foundation/InternalTreeNode.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(TreeNode)

namespace TreeNodeShared {

std::uint64_t g_structureEpoch = 0;
RemovalHint g_removalHint;
constinit Ancestry g_ancestry;

} // namespace TreeNodeShared

using namespace TreeNodeShared;

void TreeNode::DeleteChildArray::operator()(ChildArray* children) const noexcept
{
    // Most nodes with children hold a few: their array is one pool slot of at most this size.
    static_assert(sizeof(ChildArray) <= 160);
    delete children;
}

// Copies made during one outermost deepening whose parent and children are still to be linked, in
// the order they were made. The queue is made by the first copy that waits, so copying a single node
// allocates nothing for it.
struct TreeNode::CopyWork {
    using Link = std::pair<TreeNode*, const TreeNode*>;  // a copy with its source
    std::optional<std::deque<Link>> pending;
    std::vector<TreeNode*> inserted;  // copies that took a copied parent
    static inline CopyWork* current = nullptr;

    void Wait(TreeNode* copy, const TreeNode* source)
    {
        if (!pending)
            pending.emplace();
        pending->emplace_back(copy, source);
    }
    bool HasPending() const { return pending && !pending->empty(); }
    Link TakePending()
    {
        const Link next = pending->front();
        pending->pop_front();
        return next;
    }
};

// ---- Construction and destruction

TreeNode::TreeNode(TreeNode* parent) : TreeNode()
{
    const ConstructionScope construction(*this);
    if (parent)
        SetFlag(Selected, parent->HasFlag(Selected));
    JoinAtConstruction(parent);
    // The created event reaches the listeners above whether or not a mask bit was copied down. Only
    // a registration of this node, or a tree registration above for this very event, can hear it:
    // without one, the delivery is spared its climb to the root.
    const bool wanted = m_levelEventMask.Has(EventCreated);
    const RegistrationList* own = m_extras.FindRegistrations();
    bool heard = own && !own->empty();
    if (!heard && m_parent.Get()) {
        CacheAncestry(m_parent.Get());
        heard = std::any_of(g_ancestry.inherited.begin(), g_ancestry.inherited.end(), [](const auto& entry) {
            return entry.first == classType && (entry.second & EventCreated) != 0;
        });
    }
    if (heard)
        m_levelEventMask.Set(EventCreated);
    NotifyIfHeard(classType, EventCreated, nullptr, nullptr);
    if (!wanted)
        m_levelEventMask.Unset(EventCreated);
}

TreeNode::~TreeNode()
{
    SetFlag(Pinned, true);
    DeleteChildren();
    m_children = nullptr;
    DoNotify(classType, EventDeleted, nullptr, nullptr);
    // Listeners may give the dying node new children, or a new parent while it leaves the old one:
    // the children go with it, the parent is left again.
    while (m_parent.Get() || GetNumChildren() > 0) {
        DeleteChildren();
        if (m_parent.Get())
            m_parent->RemoveChild(this);
    }
    m_children = nullptr;
    m_extras.Reset();
    for (Watch* watch = m_watchers.Get(); watch; watch = watch->next)
        watch->alive = false;
    ForgetAncestryOf(this);
}

void TreeNode::Discard(TreeNode* node)
{
    if (!node->HasFlag(Pinned))
        delete node;
    else if (node->m_parent.Get())
        node->m_parent->RemoveChild(node);
}

void TreeNode::DeleteChildren()
{
    TreeNode* cursor = this;
    TreeNode* root = nullptr;
    for (;;) {
        if ((cursor == this || !cursor->HasFlag(Pinned)) && cursor->GetNumChildren() > 0) {
            cursor = cursor->m_children->Last();
            continue;
        }
        if (cursor == this)
            return;
        if (!root)
            root = GetRoot();
        TreeNode* const up = cursor->m_parent.Get();
        const std::uint64_t epoch = g_structureEpoch;
        g_removalHint = {up, cursor, root, epoch};
        Discard(cursor);
        // Anything beyond the removal of the node means callbacks changed the tree: start over.
        if (g_structureEpoch == epoch + 1) {
            cursor = up;
        } else {
            cursor = this;
            root = nullptr;
        }
    }
}

bool TreeNode::Notify(std::uint32_t type, std::uint16_t code, const char* attribute, void* data)
{
    const Watch self(this);
    DoNotify(type, code, attribute, data);
    return self.alive;
}

// ---- Placement

bool TreeNode::IsValidParent(const TreeNode*) const
{
    return true;
}

bool TreeNode::IsInSubtreeOf(const TreeNode* node) const
{
    for (const TreeNode* above = m_parent.Get(); above; above = above->m_parent.Get()) {
        if (above == node)
            return true;
    }
    return false;
}

bool TreeNode::WouldCloseCycle(const TreeNode* parent) const
{
    // A node without children holds no other node, so only the node itself could close a cycle.
    return parent && (parent == this || (GetNumChildren() > 0 && parent->IsInSubtreeOf(this)));
}

void TreeNode::SetParent(TreeNode* parent)
{
    if (parent == m_parent.Get() || !IsValidParent(parent) || WouldCloseCycle(parent))
        return;
    MoveTo(parent, -1);
}

void TreeNode::SetParentAt(TreeNode* parent, int index)
{
    if (!parent || index < 0 || !IsValidParent(parent) || WouldCloseCycle(parent))
        return;
    if (index > parent->GetNumChildren() - (parent == m_parent.Get() ? 1 : 0))
        return;
    MoveTo(parent, index);
}

void TreeNode::MoveTo(TreeNode* parent, int index)
{
    // Callbacks of the events below may delete this node or the new parent.
    Watch self(this);
    // A node without a parent only joins: no callback runs before the new parent takes it.
    if (!m_parent.Get() && parent) {
        parent->AddChild(this, index < 0 ? parent->GetNumChildren() : index);
        if (self.alive)
            AnnounceParentSet();
        return;
    }
    std::optional<Watch> target;
    if (parent)
        target.emplace(parent);
    if (m_parent.Get())
        m_parent->RemoveChild(this);
    if (!self.alive)
        return;
    if (target && target->alive)
        parent->AddChild(this, index < 0 ? parent->GetNumChildren() : index);
    if (!self.alive)
        return;
    AnnounceParentSet();
}

void TreeNode::JoinAtConstruction(TreeNode* parent)
{
    // Only this level's IsValidParent runs in a constructor, and it takes any parent; without
    // children, only the node itself would close a cycle.
    if (!parent || parent == this)
        return;
    parent->AddChild(this, -1);
    AnnounceParentSet();
}

void TreeNode::JoinParent(TreeNode* parent)
{
    if (m_parent.Get() || GetNumChildren() > 0 || !parent || parent == this) {
        SetParent(parent);
        return;
    }
    Watch self(this);
    parent->AddChild(this, -1);
    if (self.alive)
        AnnounceParentSet();
}

inline void TreeNode::LinkChild(TreeNode* child, int index)
{
    ForgetAncestryOf(child);
    if (!m_children)
        m_children = ChildArrayPointer(new ChildArray());
    if (index >= 0 && index < m_children->Size())
        m_children->Insert(static_cast<std::size_t>(index), child);
    else
        m_children->Append(child);
    child->m_parent = this;
    ++g_structureEpoch;
    // The root through the child caches this node's ancestry, which the child's mask asks for next.
    child->GetRoot()->NodeInserted(child, true);
}

bool TreeNode::JoinsUnheard(const TreeNode& parent)
{
    // An alone node hears only what it inherits from the tree registrations at and above its parent.
    if (parent.IsHeard(classType, EventChildrenChanged))
        return false;
    CacheAncestry(&parent);
    return g_ancestry.node == &parent && g_ancestry.inherited.empty();
}

bool TreeNode::JoinAloneUnheard(TreeNode& parent, std::span<TreeNode* const> nodes)
{
    if (!JoinsUnheard(parent))
        return false;
    for (const TreeNode* node : nodes) {
        if (node == &parent || !node->IsAlone())
            return false;
    }
    if (!parent.m_children)
        parent.m_children = ChildArrayPointer(new ChildArray());
    parent.m_children->Reserve(static_cast<std::size_t>(parent.m_children->Size()) + nodes.size());
    // As AddChild, then AnnounceParentSet, with each event unheard; the root takes each in turn. The
    // parent and its line are marked modified with the first node that joins: the later marks would
    // find them marked already.
    bool parentMarked = false;
    for (TreeNode* const node : nodes) {
        // A node listed twice joined at its first place, as JoinParent leaves it.
        if (node->m_parent.Get())
            continue;
        parent.LinkChild(node, -1);
        if (!std::exchange(parentMarked, true))
            parent.SetModified();
        node->SetModified();
        if (node->IsExpanded() && !parent.IsExpanded())
            node->CollapseNode(true);
    }
    return true;
}

void TreeNode::AnnounceParentSet()
{
    if (!IsHeard(classType, EventParentSet))
        SetModified();
    else if (!Notify(classType, EventParentSet))
        return;
    if (IsExpanded() && (!m_parent.Get() || !m_parent->IsExpanded()))
        CollapseNode(true);
}

void TreeNode::AddChild(TreeNode* child, int index)
{
    // A child without children cannot hold this node.
    if (!child || child->m_parent.Get() || child == this || (child->GetNumChildren() > 0 && IsInSubtreeOf(child)))
        return;
    LinkChild(child, index);
    // Most often nothing is registered above: the cache just filled says so.
    if (g_ancestry.node != this || !g_ancestry.inherited.empty())
        child->SetMaskFromParents();
    NotifyIfHeard(classType, EventChildrenChanged, nullptr, nullptr);
}

void TreeNode::RemoveChild(TreeNode* child)
{
    if (!child || child->m_parent.Get() != this || !m_children || !m_children->Holds(child))
        return;
    ForgetAncestryOf(child);
    m_children->Remove(child);
    child->m_parent = nullptr;
    const RemovalHint hint = std::exchange(g_removalHint, {});
    const bool hinted = hint.parent == this && hint.child == child && hint.epoch == g_structureEpoch;
    ++g_structureEpoch;
    (hinted ? hint.root : GetRoot())->NodeRemoved(child, true);
    NotifyIfHeard(classType, EventChildrenChanged, nullptr, nullptr);
}

void TreeNode::NodeInserted(TreeNode*, bool) {}

void TreeNode::NodeRemoved(TreeNode*, bool) {}

void TreeNode::NodeLoaded(TreeNode*, const PropertyArchive*) {}

void TreeNode::LoadedTreeChanged() {}

bool TreeNode::ReorderChildren(const IntArray& positions)
{
    const int count = GetNumChildren();
    if (count == 0 || positions.size() != static_cast<std::size_t>(count))
        return false;
    std::vector<TreeNode*> current;
    current.reserve(positions.size());
    m_children->ForEach([&](TreeNode* child) { current.push_back(child); });
    std::vector<TreeNode*> order(positions.size(), nullptr);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const std::int32_t position = positions[i];
        if (position < 0 || position >= count || order[static_cast<std::size_t>(position)])
            return false;
        order[static_cast<std::size_t>(position)] = current[i];
    }
    m_children->Replace(std::move(order));
    return true;
}

void TreeNode::ReserveChildren(int count)
{
    if (count <= 0)
        return;
    if (!m_children)
        m_children = ChildArrayPointer(new ChildArray());
    m_children->Reserve(static_cast<std::size_t>(count));
}

// ---- Queries

TreeNode* TreeNode::GetRoot() const
{
    // Through the parent, so that its children share one cache entry.
    const TreeNode* const parent = m_parent.Get();
    if (!parent)
        return const_cast<TreeNode*>(this);
    return parent == g_ancestry.node ? g_ancestry.root : CacheAncestry(parent);
}

TreeNode* TreeNode::CacheAncestry(const TreeNode* node)
{
    Ancestry& cache = g_ancestry;
    if (node == cache.node)
        return cache.root;
    // Adds the tree registrations the holder holds; false when it holds none.
    const auto take = [](const TreeNode* holder) {
        Ancestry& ancestry = g_ancestry;
        const RegistrationList* registrations = holder->m_extras.FindRegistrations();
        if (!registrations)
            return false;
        bool took = false;
        for (const Registration& held : *registrations) {
            const std::uint16_t code = held.code;
            if (!held.tree || code == 0)
                continue;
            took = true;
            const std::uint32_t type = held.classType;
            const auto known = std::find_if(ancestry.inherited.begin(), ancestry.inherited.end(),
                                            [type](const auto& entry) { return entry.first == type; });
            if (known != ancestry.inherited.end())
                known->second = static_cast<std::uint16_t>(known->second | code);
            else
                ancestry.inherited.emplace_back(type, code);
        }
        return took;
    };
    // A child of the cached node inherits what the cached node holds, and its own; a sibling of a
    // cached node that holds none, what that one inherits, and its own.
    const TreeNode* const parent = node->m_parent.Get();
    const bool below = cache.node && parent &&
                       (parent == cache.node || (cache.nodeHoldsNone && parent == cache.node->m_parent.Get()));
    if (!below) {
        cache.inherited.clear();
        const TreeNode* top = node;
        for (const TreeNode* above = parent; above; above = above->m_parent.Get()) {
            take(above);
            top = above;
        }
        cache.root = const_cast<TreeNode*>(top);
    }
    cache.nodeHoldsNone = !take(node);
    cache.node = node;
    return cache.root;
}

TreeNode* TreeNode::GetChild(int index) const
{
    if (!m_children || index < 0 || index >= m_children->Size())
        return nullptr;
    return m_children->At(static_cast<std::size_t>(index));
}

int TreeNode::GetNumChildren() const
{
    return m_children ? m_children->Size() : 0;
}

int TreeNode::GetNumChildren(std::uint32_t type) const
{
    int count = 0;
    if (m_children)
        m_children->ForEach([&](const TreeNode* child) { count += child->IsA(type) ? 1 : 0; });
    return count;
}

namespace {
bool IsAnyOf(const Base* object, std::span<const std::uint32_t> types)
{
    return std::any_of(types.begin(), types.end(), [object](std::uint32_t type) { return object->IsA(type); });
}

// IsA of one type over many objects. A class answers alike for all its objects, and a walk meets
// few classes, most of them again and again: the last class found of the type and the last two
// found not of it answer without asking.
class ClassTest {
public:
    explicit ClassTest(std::uint32_t type) : m_type(type) {}
    bool IsA(const Base& object)
    {
        const std::type_info* const type = &typeid(object);
        if (type == m_yes)
            return true;
        if (type == m_no[0] || type == m_no[1])
            return false;
        const bool answer = object.IsA(m_type);
        if (answer) {
            m_yes = type;
        } else {
            m_no[1] = m_no[0];
            m_no[0] = type;
        }
        return answer;
    }

private:
    std::uint32_t m_type;
    const std::type_info* m_yes = nullptr;
    const std::type_info* m_no[2] = {};
};
} // namespace

int TreeNode::GetNumChildren(std::span<const std::uint32_t> types) const
{
    int count = 0;
    if (m_children)
        m_children->ForEach([&](const TreeNode* child) { count += IsAnyOf(child, types) ? 1 : 0; });
    return count;
}

int TreeNode::GetNumDescendents() const
{
    int count = 0;
    VisitDescendants(this, [&](const TreeNode*) { return ++count, true; });
    return count;
}

void TreeNode::GetDescendents(std::uint32_t type, std::vector<TreeNode*>& out) const
{
    ClassTest test(type);
    VisitDescendants(this, [&](TreeNode* node) {
        if (test.IsA(*node))
            out.push_back(node);
        return true;
    });
}

void TreeNode::ForEachDescendent(const DescendentVisit& visit) const
{
    ClassTest test(visit.type);
    VisitDescendants(this, [&visit, &test](TreeNode* node) {
        if (test.IsA(*node))
            visit.visit(node, visit.context);
        return true;
    });
}

bool TreeNode::ForEachDescendentWhile(std::uint32_t type, bool (*visit)(TreeNode* node, void* context), void* context) const
{
    ClassTest test(type);
    bool completed = true;
    VisitDescendants(this, [&](TreeNode* node) {
        completed = !test.IsA(*node) || visit(node, context);
        return completed;
    });
    return completed;
}

int TreeNode::GetNumDescendents(std::uint32_t type) const
{
    int count = 0;
    VisitDescendants(this, [&](const TreeNode* node) { return count += node->IsA(type) ? 1 : 0, true; });
    return count;
}

int TreeNode::GetNumDescendents(std::span<const std::uint32_t> types) const
{
    int count = 0;
    VisitDescendants(this, [&](const TreeNode* node) { return count += IsAnyOf(node, types) ? 1 : 0, true; });
    return count;
}

int TreeNode::GetNumAncestors() const
{
    int count = 0;
    for (const TreeNode* above = m_parent.Get(); above; above = above->m_parent.Get())
        ++count;
    return count;
}

int TreeNode::GetNumAncestors(std::uint32_t type) const
{
    int count = 0;
    for (const TreeNode* above = m_parent.Get(); above; above = above->m_parent.Get())
        count += above->IsA(type) ? 1 : 0;
    return count;
}

int TreeNode::GetNumAncestors(std::span<const std::uint32_t> types) const
{
    int count = 0;
    for (const TreeNode* above = m_parent.Get(); above; above = above->m_parent.Get())
        count += IsAnyOf(above, types) ? 1 : 0;
    return count;
}

int TreeNode::FindChildIndex(const TreeNode* node) const
{
    if (!node || node->m_parent.Get() != this || !m_children || !m_children->Holds(node))
        return -1;
    return static_cast<int>(m_children->IndexOf(node));
}

int TreeNode::GetIndex() const
{
    return m_parent.Get() ? m_parent->FindChildIndex(this) : -1;
}

bool TreeNode::HasChild(std::uint32_t type) const
{
    return GetNumChildren(type) > 0;
}

bool TreeNode::HasChild(const TreeNode* node) const
{
    return node && node->m_parent.Get() == this;
}

bool TreeNode::HasDescendent(std::uint32_t type) const
{
    bool found = false;
    VisitDescendants(this, [&](const TreeNode* node) { return !(found = node->IsA(type)); });
    return found;
}

bool TreeNode::HasDescendent(const TreeNode* node) const
{
    return node && node->IsInSubtreeOf(this);
}

bool TreeNode::HasAncestor(std::uint32_t type) const
{
    for (const TreeNode* above = m_parent.Get(); above; above = above->m_parent.Get()) {
        if (above->IsA(type))
            return true;
    }
    return false;
}

bool TreeNode::HasAncestor(const TreeNode* node) const
{
    return node && IsInSubtreeOf(node);
}

TreeNode* TreeNode::FindCommonAncestor(const TreeNode* node) const
{
    if (!node)
        return nullptr;
    const TreeNode* mine = this;
    const TreeNode* theirs = node;
    int myDepth = GetNumAncestors();
    int theirDepth = node->GetNumAncestors();
    for (; myDepth > theirDepth; --myDepth)
        mine = mine->m_parent.Get();
    for (; theirDepth > myDepth; --theirDepth)
        theirs = theirs->m_parent.Get();
    while (mine != theirs) {
        mine = mine->m_parent.Get();
        theirs = theirs->m_parent.Get();
    }
    return const_cast<TreeNode*>(mine);
}

int TreeNode::GetTreePosition(IntArray& position, bool reverse) const
{
    const int depth = GetNumAncestors();
    if (position.size() < static_cast<std::size_t>(depth))
        position.resize(static_cast<std::size_t>(depth));
    std::size_t entry = 0;
    for (const TreeNode* node = this; node->m_parent.Get(); node = node->m_parent.Get())
        position[entry++] = node->GetIndex();
    if (reverse)
        std::reverse(position.begin(), position.begin() + depth);
    return depth;
}

std::string TreeNode::GetInvariant() const
{
    IntArray position;
    const int depth = GetTreePosition(position, true);
    std::string path = "/";
    for (int level = 0; level < depth; ++level) {
        char digits[16];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, position[static_cast<std::size_t>(level)]);
        static_cast<void>(error);
        path.append(digits, end);
        path += '/';
    }
    return path;
}

TreeNode* TreeNode::FindInvariant(std::string_view path) const
{
    if (path.empty())
        return nullptr;
    const TreeNode* node = this;
    std::string_view rest = path.substr(1);
    while (!rest.empty()) {
        int index = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), index);
        if (error != std::errc() || index < 0)
            return nullptr;
        node = node->GetChild(index);
        if (!node)
            return nullptr;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
        if (rest.empty())
            break;
        if (rest.front() != '/')
            return nullptr;
        rest.remove_prefix(1);
    }
    return const_cast<TreeNode*>(node);
}

// ---- Copies

void TreeNode::DeepenShallowCopy()
{
    const auto* const source = DynCast<TreeNode>(GetCopySource());
    Base::DeepenShallowCopy();
    // Copies made while linking are queued, so copying never recurses down or up the tree.
    if (CopyWork::current) {
        CopyWork::current->Wait(this, source);
        return;
    }
    // A source without parent and children (that of a node copy, most often) has nothing to link.
    if (!source || (!source->m_parent.Get() && source->GetNumChildren() == 0)) {
        ForgetAncestry();
        return;
    }
    CopyWork work;
    struct Scope {
        ~Scope() { CopyWork::current = nullptr; }
    } scope;
    CopyWork::current = &work;
    LinkCopy(work, source);
    while (work.HasPending()) {
        const auto [next, nextSource] = work.TakePending();
        next->LinkCopy(work, nextSource);
    }
    CopyWork::current = nullptr;
    // Whatever was cached about the copies while they were half linked is stale.
    ForgetAncestry();
    if (work.inserted.empty())
        return;
    // Roots are final only now; each climb stops at a node whose root is already known. The nodes
    // linked here are copies made during this copy, so their OIDs lie in a range no wider than the
    // number of objects made meanwhile, and index the known roots.
    const auto [lowest, highest] = std::minmax_element(
        work.inserted.begin(), work.inserted.end(),
        [](const TreeNode* a, const TreeNode* b) { return a->GetOID() < b->GetOID(); });
    const std::uint32_t first = (*lowest)->GetOID();
    std::vector<TreeNode*> roots(std::size_t{(*highest)->GetOID() - first} + 1, nullptr);
    const auto knownRoot = [&roots, first](const TreeNode* node) -> TreeNode** {
        const std::uint32_t oid = node->GetOID();
        return oid >= first && oid - first < roots.size() ? &roots[oid - first] : nullptr;
    };
    std::vector<const TreeNode*> path;
    for (TreeNode* node : work.inserted) {
        const TreeNode* top = node;
        TreeNode* root = nullptr;
        while (!root) {
            if (TreeNode* const* const known = knownRoot(top); known && *known) {
                root = *known;
            } else if (!top->m_parent.Get()) {
                root = const_cast<TreeNode*>(top);
            } else {
                path.push_back(top);
                top = top->m_parent.Get();
            }
        }
        for (const TreeNode* passed : path) {
            if (TreeNode** const slot = knownRoot(passed))
                *slot = root;
        }
        path.clear();
        root->NodeInserted(node, false);
    }
}

void TreeNode::LinkCopy(CopyWork& work, const TreeNode* source)
{
    if (!source)
        return;
    if (source->m_parent.Get()) {
        m_parent = DynCast<TreeNode>(source->m_parent->Copy());
        if (m_parent.Get())
            work.inserted.push_back(this);
    }
    if (source->GetNumChildren() == 0)
        return;
    auto children = ChildArrayPointer(new ChildArray());
    // By index, as the copied events raised meanwhile may change the source's children.
    for (int i = 0; i < source->GetNumChildren(); ++i) {
        if (TreeNode* const copy = DynCast<TreeNode>(source->GetChild(i)->Copy()))
            children->Append(copy);
    }
    m_children = std::move(children);
}

std::size_t TreeNode::DeleteParentlessSince(std::uint32_t lastOIDBefore, std::uint32_t last, const TreeNode* kept)
{
    std::size_t deleted = 0;
    // Each object is asked for a few OIDs ahead: a large load leaves most of them out of the cache.
    constexpr std::uint32_t prefetchDistance = 32;
    for (std::uint32_t oid = lastOIDBefore + 1; oid <= last && oid > lastOIDBefore; ++oid) {
        if (last - oid >= prefetchDistance) {
            if (const Base* const ahead = Base::GetObjectA(oid + prefetchDistance))
                PrefetchObject(ahead);
        }
        TreeNode* const node = DynCast<TreeNode>(Base::GetObjectA(oid));
        if (node && node != kept && !node->HasOwner() && !OwnedObjects::IsOwned(oid)) {
            node->LetGoOfNodesMadeUpTo(lastOIDBefore);
            delete node;
            ++deleted;
        }
    }
    return deleted;
}

void TreeNode::SettleLinksSince(std::uint32_t lastOIDBefore, std::uint32_t last)
{
    for (std::uint32_t oid = lastOIDBefore + 1; oid <= last && oid > lastOIDBefore; ++oid) {
        if (Base* const object = Base::GetObjectA(oid))
            object->SettleLinks();
    }
}

void TreeNode::LetGoOfNodesMadeUpTo(std::uint32_t lastOID)
{
    std::vector<TreeNode*> walk{this};
    while (!walk.empty()) {
        TreeNode* const node = walk.back();
        walk.pop_back();
        for (int i = node->GetNumChildren(); i-- > 0;) {
            TreeNode* const child = node->GetChild(i);
            if (child->GetOID() <= lastOID)
                node->RemoveChild(child);
            else
                walk.push_back(child);
        }
    }
}

TreeNode* TreeNode::TreeCopy()
{
    // Listeners of the copied events run only once the links below are restored.
    const CopyEventScope events;
    struct Restore {
        TreeNode* node;
        TreeNode* parent;
        TreeNode* copyRoot;
        ~Restore()
        {
            ForgetAncestryOf(node);
            node->m_parent = parent;
            m_pCopyRoot = copyRoot;
        }
    } restore{this, m_parent.Get(), m_pCopyRoot};
    m_pCopyRoot = this;
    ForgetAncestryOf(this);
    m_parent = nullptr;
    return DynCast<TreeNode>(Copy());
}

TreeNode* TreeNode::NodeCopy()
{
    const CopyEventScope events;
    NodeCopySource source{this, false};
    struct Restore {
        TreeNode* node;
        ChildArrayPointer children;
        NodeCopySource* outerSource;
        ~Restore()
        {
            node->m_children = std::move(children);
            m_pNodeCopySource = outerSource;
        }
    } restore{this, std::move(m_children.Get()), std::exchange(m_pNodeCopySource, &source)};
    TreeNode* const copy = TreeCopy();
    if (copy && source.leftOut)
        copy->SetModified();
    return copy;
}

} // namespace Tavrel
