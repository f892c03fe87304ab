#include "foundation/TreeNode.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <deque>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

#include "foundation/PropertyPass.h"
#include "platform/Archive.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(TreeNode, ClassKind::Creatable)

namespace {

// Advances on every insertion or removal of a child, so a walk can tell whether callbacks changed
// the tree under it.
std::uint64_t g_structureEpoch = 0;
// Last serial number given to a registration.
std::uint64_t g_lastSerial = 0;

// The root known to a subtree deletion for the removal it is about to cause, valid while nothing
// else changed the tree; spares each removal a climb to the root.
struct RemovalHint {
    const TreeNode* parent = nullptr;
    const TreeNode* child = nullptr;
    TreeNode* root = nullptr;
    std::uint64_t epoch = 0;
};
RemovalHint g_removalHint;

// A framework-archive record of a tree node in progress. The record holds the node's own fields up to
// its child array, its children's records, then the rest: the flags and each derived class's fields,
// which the node's Serialize writes or reads when the walk gives it the turn. Records are kept on an
// explicit stack, innermost last, shared by the walks that nest inside a record's own fields.
struct OpenRecord {
    Archive* archive = nullptr;
    TreeNode* node = nullptr;
    Archive::ObjectHeader header;  // loading: the node's entry in the archive, to abandon it on failure
    std::uint32_t next = 0;        // children begun
    std::uint32_t count = 0;
    bool turn = false;             // the node's Serialize is to take the rest of its record
    std::vector<TreeNode*> taken;  // loading: children read, placed when the rest is read
};

std::vector<OpenRecord>& OpenRecords()
{
    static std::vector<OpenRecord> records;
    return records;
}

// The nodes whose records are open up to their children, with their archive.
std::unordered_map<const TreeNode*, const Archive*>& OpenNodes()
{
    static std::unordered_map<const TreeNode*, const Archive*> nodes;
    return nodes;
}

// The framework's object array: in the framework-archive form the children are one record of it,
// class-tagged, holding the count and the children's records.
const RuntimeClass& ObjectArrayClass()
{
    static const RuntimeClass record{"CObArray", 0, nullptr, nullptr};
    return record;
}

// True while the node's record is open up to its children in the archive.
bool IsRecordOpen(const Archive& archive, const TreeNode* node)
{
    const auto& nodes = OpenNodes();
    const auto found = node ? nodes.find(node) : nodes.end();
    return found != nodes.end() && found->second == &archive;
}

// A child names its parent only by a back-reference to a record already open. Skips that reference
// (or a null one) without taking the parent over; a new object there is refused.
void SkipParentReference(Archive& archive)
{
    const std::vector<std::uint8_t>& bytes = archive.GetBuffer();
    const std::size_t at = archive.GetPosition();
    if (archive.GetRemaining() < 2)
        archive.Refuse(ArchiveException::endOfFile, "a node's parent reference cut short");
    const auto tag = static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    std::size_t length = 2;
    bool isNew = tag == 0xFFFF || (tag != 0x7FFF && (tag & 0x8000) != 0);
    if (tag == 0x7FFF) {
        if (archive.GetRemaining() < 6)
            archive.Refuse(ArchiveException::endOfFile, "a node's parent reference cut short");
        isNew = (bytes[at + 5] & 0x80) != 0;
        length = 6;
    }
    if (isNew)
        archive.Refuse(ArchiveException::genericException,
                       "a node's parent is a new record, not a reference to a record around it");
    archive.Seek(at + length);
}

} // namespace

// The children in order. Removed entries leave holes that a Fenwick tree of live slots skips, so
// removal, index lookup and access by index take O(log n); holes are squeezed out when they
// outnumber the children. Each child keeps its slot.
class TreeNode::ChildArray {
public:
    int Size() const { return static_cast<int>(m_live); }
    bool Holds(const TreeNode* child) const { return child->m_slot < m_slots.size() && m_slots[child->m_slot] == child; }
    TreeNode* At(std::size_t index) const { return m_slots[IsDense() ? index : FindSlot(index)]; }
    std::size_t IndexOf(const TreeNode* child) const { return IsDense() ? child->m_slot : LiveBefore(child->m_slot); }
    // The last slot is never a hole.
    TreeNode* Last() const { return m_slots.empty() ? nullptr : m_slots.back(); }

    template <class Visit>
    void ForEach(Visit&& visit) const
    {
        for (TreeNode* child : m_slots) {
            if (child)
                visit(child);
        }
    }

    void Append(TreeNode* child)
    {
        const std::size_t slot = m_slots.size();
        const std::size_t one = slot + 1;
        const std::size_t covered = one & (~one + 1);
        child->m_slot = static_cast<std::uint32_t>(slot);
        m_slots.push_back(child);
        m_counts.push_back(static_cast<std::uint32_t>(IsDense() ? covered : 1 + LiveBefore(slot) - LiveBefore(one - covered)));
        ++m_live;
    }

    void Insert(std::size_t index, TreeNode* child)
    {
        Compact();
        m_slots.insert(m_slots.begin() + static_cast<std::ptrdiff_t>(index), child);
        for (std::size_t slot = index; slot < m_slots.size(); ++slot)
            m_slots[slot]->m_slot = static_cast<std::uint32_t>(slot);
        const std::size_t one = m_slots.size();
        m_counts.push_back(static_cast<std::uint32_t>(one & (~one + 1)));
        ++m_live;
    }

    void Remove(const TreeNode* child)
    {
        const std::size_t slot = child->m_slot;
        --m_live;
        if (slot + 1 == m_slots.size()) {
            do {
                m_slots.pop_back();
                m_counts.pop_back();
            } while (!m_slots.empty() && !m_slots.back());
            return;
        }
        m_slots[slot] = nullptr;
        for (std::size_t one = slot + 1; one <= m_counts.size(); one += one & (~one + 1))
            --m_counts[one - 1];
        if (m_slots.size() - m_live > m_live)
            Compact();
    }

    // Children in the new order.
    void Replace(std::vector<TreeNode*> order)
    {
        m_slots = std::move(order);
        m_live = m_slots.size();
        Renumber();
    }

    // The OIDs a loaded "Children" list names, in list order, until the node's record ends.
    void AddListed(std::uint32_t oid)
    {
        if (!m_listed)
            m_listed = std::make_unique<std::vector<std::uint32_t>>();
        m_listed->push_back(oid);
    }
    std::unique_ptr<std::vector<std::uint32_t>> TakeListed() { return std::move(m_listed); }

private:
    bool IsDense() const { return m_live == m_slots.size(); }

    // Live children among the first `count` slots.
    std::size_t LiveBefore(std::size_t count) const
    {
        std::size_t live = 0;
        for (std::size_t one = count; one > 0; one &= one - 1)
            live += m_counts[one - 1];
        return live;
    }

    // The slot of the child at an index.
    std::size_t FindSlot(std::size_t index) const
    {
        std::size_t slot = 0;
        std::size_t remaining = index + 1;
        for (std::size_t step = std::bit_floor(m_counts.size()); step > 0; step >>= 1) {
            if (slot + step <= m_counts.size() && m_counts[slot + step - 1] < remaining) {
                slot += step;
                remaining -= m_counts[slot - 1];
            }
        }
        return slot;
    }

    void Compact()
    {
        if (IsDense())
            return;
        std::erase(m_slots, nullptr);
        Renumber();
    }

    void Renumber()
    {
        m_counts.resize(m_slots.size());
        for (std::size_t slot = 0; slot < m_slots.size(); ++slot) {
            m_slots[slot]->m_slot = static_cast<std::uint32_t>(slot);
            const std::size_t one = slot + 1;
            m_counts[slot] = static_cast<std::uint32_t>(one & (~one + 1));
        }
    }

    std::vector<TreeNode*> m_slots;
    std::vector<std::uint32_t> m_counts;
    std::size_t m_live = 0;
    std::unique_ptr<std::vector<std::uint32_t>> m_listed;
};

// The recursive state operations (Select, SetVisible, CollapseNode ...) run from an explicit stack
// of tasks instead of the C++ stack. The walk calls each node's virtual operation, so overrides
// still run for every node; the base operation of a node called by the walk does its own part and
// leaves its children to the walk. Anything else (a callback, an override calling another
// operation) starts a walk of its own that is complete when it returns.
enum class TreeNode::WalkOp : std::uint8_t {
    Select,
    SetSelect,
    UnSelect,
    SelectIfChildrenSelected,
    DisableSelection,
    EnableSelection,
    SetVisible,
    SetInvisible,
    ExpandNode,
    CollapseNode,
    ClearModified,
    ActivityChanged,
};

class TreeNode::Walk {
public:
    Walk() : m_outer(s_current) { s_current = this; }
    ~Walk() { s_current = m_outer; }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    static Walk& Current() { return *s_current; }

    // True, once, when the running walk is calling this operation on this node.
    static bool Claim(const TreeNode* node, WalkOp op)
    {
        Walk* walk = s_current;
        if (!walk || walk->m_token != node || walk->m_tokenOp != op)
            return false;
        walk->m_token = nullptr;
        return true;
    }

    // Callbacks run outside any walk.
    class Suspension {
    public:
        Suspension() : m_saved(std::exchange(s_current, nullptr)) {}
        ~Suspension() { s_current = m_saved; }
        Suspension(const Suspension&) = delete;
        Suspension& operator=(const Suspension&) = delete;

    private:
        Walk* m_saved;
    };

    // Tasks run last pushed first.
    void Call(TreeNode* node, WalkOp op, bool recursive) { m_tasks.emplace_back(node, Kind::Call, op, recursive); }
    void Children(TreeNode* node, WalkOp op, bool recursive)
    {
        m_tasks.emplace_back(node, Kind::Children, op, recursive);
    }
    void NotifySelection(TreeNode* node) { m_tasks.emplace_back(node, Kind::NotifySelection, WalkOp::Select, false); }
    void SelectIfAllSelected(TreeNode* node)
    {
        m_tasks.emplace_back(node, Kind::SelectIfAllSelected, WalkOp::Select, true);
    }

    void Run()
    {
        while (!m_tasks.empty()) {
            Task& task = m_tasks.back();
            if (!task.watch.alive) {
                m_tasks.pop_back();
                continue;
            }
            TreeNode* const node = task.watch.node;
            const WalkOp op = task.op;
            const bool recursive = task.recursive;
            switch (task.kind) {
            case Kind::Children:
                // Children are read by index as the walk goes, so it follows changes callbacks make: the
                // next child is the one after the child just visited, or in its place once it left.
                if (task.index < node->GetNumChildren()) {
                    TreeNode* const child = node->GetChild(task.index);
                    const Watch visited(child);
                    Invoke(child, op, recursive);  // the deque keeps `task` in place
                    if (visited.alive && child->m_parent == node)
                        task.index = child->GetIndex() + 1;
                } else {
                    m_tasks.pop_back();
                }
                break;
            case Kind::Call:
                m_tasks.pop_back();
                Invoke(node, op, recursive);
                break;
            case Kind::NotifySelection:
                m_tasks.pop_back();
                node->DoNotify(TreeNode::classType, EventSelectionChanged, nullptr, nullptr);
                break;
            case Kind::SelectIfAllSelected:
                m_tasks.pop_back();
                if (node->AllChildrenSelected())
                    Invoke(node, WalkOp::Select, true);
                break;
            }
        }
    }

private:
    enum class Kind : std::uint8_t { Call, Children, NotifySelection, SelectIfAllSelected };

    struct Task {
        Task(TreeNode* node, Kind taskKind, WalkOp taskOp, bool taskRecursive)
            : watch(node), kind(taskKind), op(taskOp), recursive(taskRecursive)
        {
        }
        Watch watch;
        Kind kind;
        WalkOp op;
        bool recursive;
        int index = 0;
    };

    void Invoke(TreeNode* node, WalkOp op, bool recursive)
    {
        if (op == WalkOp::ActivityChanged) {
            // A child deactivated by itself, and its subtree, hears nothing.
            if (node->m_inactive < 1)
                node->Step(op, recursive);
            return;
        }
        m_token = node;
        m_tokenOp = op;
        switch (op) {
        case WalkOp::Select: node->Select(recursive); break;
        case WalkOp::SetSelect: node->SetSelect(recursive); break;
        case WalkOp::UnSelect: node->UnSelect(recursive); break;
        case WalkOp::SelectIfChildrenSelected: node->SelectIfChildrenSelected(); break;
        case WalkOp::DisableSelection: node->DisableSelection(recursive); break;
        case WalkOp::EnableSelection: node->EnableSelection(recursive); break;
        case WalkOp::SetVisible: node->SetVisible(recursive); break;
        case WalkOp::SetInvisible: node->SetInvisible(recursive); break;
        case WalkOp::ExpandNode: node->ExpandNode(recursive); break;
        case WalkOp::CollapseNode: node->CollapseNode(recursive); break;
        case WalkOp::ClearModified: node->ClearModified(); break;
        case WalkOp::ActivityChanged: break;
        }
        m_token = nullptr;
    }

    static inline Walk* s_current = nullptr;

    std::deque<Task> m_tasks;
    Walk* m_outer;
    const TreeNode* m_token = nullptr;
    WalkOp m_tokenOp = WalkOp::Select;
};

// Copies made during one outermost deepening whose parent and children are still to be linked.
struct TreeNode::CopyWork {
    std::deque<TreeNode*> pending;
    std::vector<TreeNode*> inserted;  // copies that took a copied parent
    static inline CopyWork* current = nullptr;
};

// ---- Construction and destruction

TreeNode::TreeNode() = default;

TreeNode::TreeNode(const TreeNode& other)
    : Base(other),
      m_copySource(&other),
      m_inactive(other.m_inactive),
      m_LID(other.m_LID),
      m_flags(static_cast<std::uint8_t>(other.m_flags & ~Pinned)),
      m_hints(other.m_hints)
{
}

TreeNode::TreeNode(TreeNode* parent) : TreeNode()
{
    const ConstructionScope construction(*this);
    if (parent)
        SetFlag(Selected, parent->HasFlag(Selected));
    SetParent(parent);
    // The created event reaches the listeners above whether or not a mask bit was copied down.
    const bool wanted = m_levelEventMask.Has(EventCreated);
    m_levelEventMask.Set(EventCreated);
    DoNotify(classType, EventCreated, nullptr, nullptr);
    if (!wanted)
        m_levelEventMask.Unset(EventCreated);
}

TreeNode::~TreeNode()
{
    SetFlag(Pinned, true);
    DeleteChildren();
    m_children.reset();
    DoNotify(classType, EventDeleted, nullptr, nullptr);
    // Listeners may give the dying node new children, or a new parent while it leaves the old one:
    // the children go with it, the parent is left again.
    while (m_parent || GetNumChildren() > 0) {
        DeleteChildren();
        if (m_parent)
            m_parent->RemoveChild(this);
    }
    m_children.reset();
    m_registrations.reset();
    for (Watch* watch = m_watchers; watch; watch = watch->next)
        watch->alive = false;
}

void TreeNode::Discard(TreeNode* node)
{
    if (!node->HasFlag(Pinned))
        delete node;
    else if (node->m_parent)
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
        TreeNode* const up = cursor->m_parent;
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
    for (const TreeNode* above = m_parent; above; above = above->m_parent) {
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
    if (parent == m_parent || !IsValidParent(parent) || WouldCloseCycle(parent))
        return;
    MoveTo(parent, -1);
}

void TreeNode::SetParentAt(TreeNode* parent, int index)
{
    if (!parent || index < 0 || !IsValidParent(parent) || WouldCloseCycle(parent))
        return;
    if (index > parent->GetNumChildren() - (parent == m_parent ? 1 : 0))
        return;
    MoveTo(parent, index);
}

void TreeNode::MoveTo(TreeNode* parent, int index)
{
    // Callbacks of the events below may delete this node or the new parent.
    Watch self(this);
    std::optional<Watch> target;
    if (parent)
        target.emplace(parent);
    if (m_parent)
        m_parent->RemoveChild(this);
    if (!self.alive)
        return;
    if (target && target->alive)
        parent->AddChild(this, index < 0 ? parent->GetNumChildren() : index);
    if (self.alive && Notify(classType, EventParentSet) && IsExpanded() && (!m_parent || !m_parent->IsExpanded()))
        CollapseNode(true);
}

void TreeNode::AddChild(TreeNode* child, int index)
{
    if (!child || child->m_parent || child == this || IsInSubtreeOf(child))
        return;
    if (!m_children)
        m_children = std::make_unique<ChildArray>();
    if (index >= 0 && index < m_children->Size())
        m_children->Insert(static_cast<std::size_t>(index), child);
    else
        m_children->Append(child);
    child->m_parent = this;
    ++g_structureEpoch;
    GetRoot()->NodeInserted(child, true);
    child->SetMaskFromParents();
    DoNotify(classType, EventChildrenChanged, nullptr, nullptr);
}

void TreeNode::RemoveChild(TreeNode* child)
{
    if (!child || child->m_parent != this || !m_children || !m_children->Holds(child))
        return;
    m_children->Remove(child);
    child->m_parent = nullptr;
    const RemovalHint hint = std::exchange(g_removalHint, {});
    const bool hinted = hint.parent == this && hint.child == child && hint.epoch == g_structureEpoch;
    ++g_structureEpoch;
    (hinted ? hint.root : GetRoot())->NodeRemoved(child, true);
    DoNotify(classType, EventChildrenChanged, nullptr, nullptr);
}

void TreeNode::NodeInserted(TreeNode*, bool) {}

void TreeNode::NodeRemoved(TreeNode*, bool) {}

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

// ---- Queries

template <class Visit>
void TreeNode::VisitDescendants(const TreeNode* top, Visit&& visit)
{
    std::vector<TreeNode*> stack;
    const auto pushChildren = [&stack](const TreeNode* node) {
        if (!node->m_children)
            return;
        const std::size_t first = stack.size();
        node->m_children->ForEach([&stack](TreeNode* child) { stack.push_back(child); });
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    };
    pushChildren(top);
    while (!stack.empty()) {
        TreeNode* const node = stack.back();
        stack.pop_back();
        if (!visit(node))
            return;
        pushChildren(node);
    }
}

TreeNode* TreeNode::GetRoot() const
{
    const TreeNode* root = this;
    while (root->m_parent)
        root = root->m_parent;
    return const_cast<TreeNode*>(root);
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
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        ++count;
    return count;
}

int TreeNode::GetNumAncestors(std::uint32_t type) const
{
    int count = 0;
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        count += above->IsA(type) ? 1 : 0;
    return count;
}

int TreeNode::GetNumAncestors(std::span<const std::uint32_t> types) const
{
    int count = 0;
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        count += IsAnyOf(above, types) ? 1 : 0;
    return count;
}

int TreeNode::FindChildIndex(const TreeNode* node) const
{
    if (!node || node->m_parent != this || !m_children || !m_children->Holds(node))
        return -1;
    return static_cast<int>(m_children->IndexOf(node));
}

int TreeNode::GetIndex() const
{
    return m_parent ? m_parent->FindChildIndex(this) : -1;
}

bool TreeNode::HasChild(std::uint32_t type) const
{
    return GetNumChildren(type) > 0;
}

bool TreeNode::HasChild(const TreeNode* node) const
{
    return node && node->m_parent == this;
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
    for (const TreeNode* above = m_parent; above; above = above->m_parent) {
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
        mine = mine->m_parent;
    for (; theirDepth > myDepth; --theirDepth)
        theirs = theirs->m_parent;
    while (mine != theirs) {
        mine = mine->m_parent;
        theirs = theirs->m_parent;
    }
    return const_cast<TreeNode*>(mine);
}

int TreeNode::GetTreePosition(IntArray& position, bool reverse) const
{
    const int depth = GetNumAncestors();
    if (position.size() < static_cast<std::size_t>(depth))
        position.resize(static_cast<std::size_t>(depth));
    std::size_t entry = 0;
    for (const TreeNode* node = this; node->m_parent; node = node->m_parent)
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

// ---- States

void TreeNode::SetFlag(Flag flag, bool on)
{
    m_flags = static_cast<std::uint8_t>(on ? (m_flags | flag) : (m_flags & ~flag));
}

void TreeNode::Perform(WalkOp op, bool recursive)
{
    if (Walk::Claim(this, op)) {
        Step(op, recursive);
        return;
    }
    Walk walk;
    Step(op, recursive);
    walk.Run();
}

// One node's part of a walk operation. Continuations are queued before any event is raised, so a
// callback that deletes this node only cancels them.
void TreeNode::Step(WalkOp op, bool recursive)
{
    Walk& walk = Walk::Current();
    switch (op) {
    case WalkOp::Select:
        if (!HasFlag(Selectable) || HasFlag(Selected))
            return;
        SetFlag(Selected, true);
        if (recursive && GetNumChildren() > 0) {
            walk.NotifySelection(this);
            walk.Children(this, op, recursive);
        } else {
            DoNotify(classType, EventSelectionChanged, nullptr, nullptr);
        }
        return;
    case WalkOp::SetSelect:
        if (!HasFlag(Selectable))
            return;
        if (!HasFlag(Selected))
            walk.Call(this, WalkOp::Select, recursive);
        else if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::UnSelect:
        if (!HasFlag(Selectable))
            return;
        if (recursive)
            walk.Children(this, op, recursive);
        if (HasFlag(Selected)) {
            // No ancestor stays selected above an unselected node; theirs are announced first.
            SetFlag(Selected, false);
            walk.NotifySelection(this);
            if (m_parent)
                walk.Call(m_parent, op, false);
        }
        return;
    case WalkOp::SelectIfChildrenSelected:
        if (!HasFlag(Selectable) || HasFlag(Selected) || GetNumChildren() == 0)
            return;
        walk.SelectIfAllSelected(this);
        walk.Children(this, op, false);
        return;
    case WalkOp::DisableSelection:
        if (recursive)
            walk.Children(this, op, recursive);
        if (HasFlag(Selectable)) {
            if (IsSelected()) {
                Watch self(this);
                UnSelect(false);
                if (!self.alive)
                    return;
            }
            SetFlag(Selectable, false);
        }
        return;
    case WalkOp::EnableSelection:
        SetFlag(Selectable, true);
        if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::SetVisible:
    case WalkOp::SetInvisible:
        if (recursive)
            walk.Children(this, op, recursive);
        if (IsVisible() != (op == WalkOp::SetVisible))
            SetVisibility(op == WalkOp::SetVisible);
        return;
    case WalkOp::ExpandNode:
    case WalkOp::CollapseNode:
        if (HasFlag(Expanded) == (op == WalkOp::ExpandNode))
            return;
        SetFlag(Expanded, op == WalkOp::ExpandNode);
        if (recursive)
            walk.Children(this, op, recursive);
        return;
    case WalkOp::ClearModified:
        if (!HasFlag(Modified))
            return;
        SetFlag(Modified, false);
        walk.Children(this, op, true);
        return;
    case WalkOp::ActivityChanged:
        walk.Children(this, op, true);
        DoNotify(classType, EventActivityChanged, nullptr, nullptr);
        return;
    }
}

void TreeNode::SetModified()
{
    for (TreeNode* node = this; node && !node->HasFlag(Modified); node = node->m_parent)
        node->SetFlag(Modified, true);
}

void TreeNode::ClearModified()
{
    Perform(WalkOp::ClearModified, true);
}

bool TreeNode::IsModified() const
{
    return HasFlag(Modified);
}

void TreeNode::ActivityChanged()
{
    Walk walk;
    Step(WalkOp::ActivityChanged, true);
    walk.Run();
}

void TreeNode::Activate()
{
    if (m_inactive <= 0)
        return;
    --m_inactive;
    if (IsActive())
        ActivityChanged();
}

void TreeNode::Deactivate()
{
    const bool wasActive = IsActive();
    if (m_inactive < std::numeric_limits<std::int32_t>::max())
        ++m_inactive;
    if (wasActive)
        ActivityChanged();
}

bool TreeNode::IsActive() const
{
    for (const TreeNode* node = this; node; node = node->m_parent) {
        if (node->m_inactive >= 1)
            return false;
    }
    return true;
}

bool TreeNode::IsObjectActive() const
{
    return m_inactive < 1;
}

void TreeNode::Select(bool recursive)
{
    Perform(WalkOp::Select, recursive);
}

void TreeNode::SetSelect(bool recursive)
{
    Perform(WalkOp::SetSelect, recursive);
}

void TreeNode::UnSelect(bool recursive)
{
    Perform(WalkOp::UnSelect, recursive);
}

void TreeNode::SelectIfChildrenSelected()
{
    Perform(WalkOp::SelectIfChildrenSelected, false);
}

bool TreeNode::AllChildrenSelected() const
{
    int selected = 0;
    if (m_children)
        m_children->ForEach([&](const TreeNode* child) { selected += child->IsSelected() ? 1 : 0; });
    return selected == GetNumChildren();
}

bool TreeNode::IsSelected() const
{
    return HasFlag(Selected) && IsActive();
}

bool TreeNode::IsObjectSelected() const
{
    return HasFlag(Selected);
}

void TreeNode::DisableSelection(bool recursive)
{
    Perform(WalkOp::DisableSelection, recursive);
}

void TreeNode::EnableSelection(bool recursive)
{
    Perform(WalkOp::EnableSelection, recursive);
}

bool TreeNode::IsSelectable() const
{
    return HasFlag(Selectable);
}

void TreeNode::SetVisible(bool recursive)
{
    Perform(WalkOp::SetVisible, recursive);
}

void TreeNode::SetInvisible(bool recursive)
{
    Perform(WalkOp::SetInvisible, recursive);
}

bool TreeNode::IsVisible() const
{
    return HasFlag(Visible);
}

void TreeNode::SetVisibility(bool visible)
{
    if (HasFlag(Visible) == visible)
        return;
    SetFlag(Visible, visible);
    DoNotify(classType, EventDisplayChanged, nullptr, nullptr);
}

void TreeNode::SetClipped(bool clipped)
{
    SetFlag(Clipped, clipped);
    DoNotify(classType, EventDisplayChanged, nullptr, nullptr);
}

bool TreeNode::IsClipped() const
{
    return HasFlag(Clipped);
}

bool TreeNode::IsExpanded() const
{
    return HasFlag(Expanded);
}

void TreeNode::ExpandNode(bool recursive)
{
    Perform(WalkOp::ExpandNode, recursive);
}

void TreeNode::CollapseNode(bool recursive)
{
    Perform(WalkOp::CollapseNode, recursive);
}

bool TreeNode::CheckHint(std::uint8_t bits) const
{
    for (const TreeNode* node = this; node; node = node->m_parent) {
        if ((node->m_hints & bits) == 0)
            return false;
    }
    return true;
}

void TreeNode::SetHint(std::uint8_t bits)
{
    m_hints = static_cast<std::uint8_t>(m_hints | bits);
}

void TreeNode::ClearHint(std::uint8_t bits)
{
    m_hints = static_cast<std::uint8_t>(m_hints & ~bits);
}

void TreeNode::FinishLoading(std::uint32_t) {}

void TreeNode::FinishStoring(std::uint32_t) {}

// ---- Registrations and masks

void TreeNode::RegisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                             const char* attribute)
{
    if (!callback)
        return;
    if (!m_registrations)
        m_registrations = std::make_unique<std::vector<Registration>>();
    Event registration(type, code, callback, tree, data, attribute, nullptr);
    if (!tree)
        registration.SetTreeNode(this);
    const bool known = std::any_of(m_registrations->begin(), m_registrations->end(),
                                   [&](const Registration& held) { return held.event == registration; });
    if (!known)
        m_registrations->push_back({std::move(registration), ++g_lastSerial});
    else if (!tree)
        return;
    PropagateSetEventMask(type, code, tree);
}

void TreeNode::UnregisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                               const char* attribute)
{
    if (!m_registrations)
        return;
    Event registration(type, code, callback, tree, data, attribute, nullptr);
    if (!tree)
        registration.SetTreeNode(this);
    std::vector<Registration>& registrations = *m_registrations;
    for (std::size_t i = registrations.size(); i-- > 0;) {
        if (registrations[i].event == registration) {
            registrations.erase(registrations.begin() + static_cast<std::ptrdiff_t>(i));
            PropagateUnsetEventMask(type, code, tree);
            return;
        }
    }
}

void TreeNode::UnregisterAllEvents(void* data)
{
    if (!data) {
        UnregisterAllEvents();
        return;
    }
    if (!m_registrations)
        return;
    std::vector<Registration>& registrations = *m_registrations;
    for (std::size_t i = registrations.size(); i-- > 0;) {
        const Event& held = registrations[i].event;
        if (held.GetData() != data)
            continue;
        const std::uint32_t type = held.GetClassType();
        const std::uint16_t code = held.GetEventType();
        const bool tree = held.GetTreeEvent();
        registrations.erase(registrations.begin() + static_cast<std::ptrdiff_t>(i));
        PropagateUnsetEventMask(type, code, tree);
    }
}

void TreeNode::UnregisterAllEvents()
{
    const auto drop = [](TreeNode* node) {
        if (node->m_registrations)
            node->m_registrations->clear();
        return true;
    };
    drop(this);
    VisitDescendants(this, drop);
    PropagateClearEventMask();
    // Tree registrations above this subtree still need their bits in it.
    SetMaskFromParents();
}

std::uint8_t TreeNode::RegisteredBits(std::uint32_t type, bool treeOnly) const
{
    unsigned bits = 0;
    if (m_registrations) {
        for (const Registration& held : *m_registrations) {
            if (held.event.GetClassType() == type && (!treeOnly || held.event.GetTreeEvent()))
                bits |= held.event.GetEventType() & 0xFFu;
        }
    }
    return static_cast<std::uint8_t>(bits);
}

bool TreeNode::HoldsRegistration(std::uint32_t type, std::uint16_t code) const
{
    return m_registrations && std::any_of(m_registrations->begin(), m_registrations->end(), [&](const Registration& held) {
               return held.event.CheckType(type, code);
           });
}

void TreeNode::PropagateSetEventMask(std::uint32_t type, std::uint16_t code, bool tree)
{
    SetEventMask(type, code);
    if (tree) {
        VisitDescendants(this, [&](TreeNode* node) {
            node->SetEventMask(type, code);
            return true;
        });
    }
}

void TreeNode::PropagateUnsetEventMask(std::uint32_t type, std::uint16_t code, bool tree)
{
    unsigned inherited = 0;
    for (const TreeNode* above = m_parent; above; above = above->m_parent)
        inherited |= above->RegisteredBits(type, true);
    std::vector<std::pair<TreeNode*, unsigned>> stack{{this, inherited}};
    while (!stack.empty()) {
        const auto [node, needed] = stack.back();
        stack.pop_back();
        if (node->HoldsRegistration(type, code))
            continue;
        const unsigned clear = code & 0xFFu & ~(needed | node->RegisteredBits(type, false));
        if (clear != 0)
            node->UnsetEventMask(type, static_cast<std::uint16_t>(clear));
        if (tree && node->m_children) {
            const unsigned below = needed | node->RegisteredBits(type, true);
            node->m_children->ForEach([&](TreeNode* child) { stack.emplace_back(child, below); });
        }
    }
}

void TreeNode::PropagateClearEventMask()
{
    ClearEventMask();
    VisitDescendants(this, [](TreeNode* node) {
        node->ClearEventMask();
        return true;
    });
}

void TreeNode::SetMaskFromParents()
{
    std::vector<std::pair<std::uint32_t, std::uint16_t>> inherited;
    for (const TreeNode* above = m_parent; above; above = above->m_parent) {
        if (!above->m_registrations)
            continue;
        for (const Registration& held : *above->m_registrations) {
            if (held.event.GetTreeEvent())
                inherited.emplace_back(held.event.GetClassType(), held.event.GetEventType());
        }
    }
    if (inherited.empty())
        return;
    const auto apply = [&inherited](TreeNode* node) {
        for (const auto& [type, code] : inherited)
            node->SetEventMask(type, code);
        return true;
    };
    apply(this);
    VisitDescendants(this, apply);
}

// ---- Delivery

void TreeNode::ProcessEvent(TreeNode* source, std::uint32_t type, std::uint16_t code, const char* attribute, bool tree,
                            void* data)
{
    // Read from the source once: callbacks may delete it while the event climbs.
    const std::uint32_t sourceOID = source ? source->GetOID() : 0;
    const Base* const instance = source ? source->GetClassInstance() : nullptr;
    for (TreeNode* node = this; node; node = node->m_parent) {
        if (!node->m_registrations || node->m_registrations->empty())
            continue;
        Watch watch(node);
        node->DeliverHere(source, sourceOID, instance, type, code, attribute, tree, data, watch);
        // A callback destroyed the node: there is no way up from it any more.
        if (!watch.alive)
            return;
    }
}

// One pass over this node's registrations. After every callback the scan starts again from the
// first registration, since callbacks may add or remove registrations, and skips those already dealt
// with. Serials grow along the array, so what this pass has dealt with is every serial up to the last
// one it looked at; a pass nested in a callback keeps its own account.
void TreeNode::DeliverHere(TreeNode* source, std::uint32_t sourceOID, const Base* instance, std::uint32_t type,
                           std::uint16_t code, const char* attribute, bool tree, void* data, const Watch& watch)
{
    std::uint64_t done = 0;
    for (bool fired = true; fired && watch.alive;) {
        fired = false;
        const std::vector<Registration>& registrations = *m_registrations;
        auto next = std::upper_bound(registrations.begin(), registrations.end(), done,
                                     [](std::uint64_t serial, const Registration& held) { return serial < held.serial; });
        for (; next != registrations.end(); ++next) {
            done = next->serial;
            const Event& held = next->event;
            const bool treeWide = tree && held.CheckType(TreeNode::classType, EventTreeWide);
            const bool matches =
                held.CheckType(type, code) && (!attribute || !held.m_attribute || *held.m_attribute == attribute);
            if (!treeWide && !matches)
                continue;
            // A plain registration hears only events of the node it was made on.
            if (!held.GetTreeEvent() && held.GetTreeNodeOID() != sourceOID)
                continue;
            Event delivered(held);
            delivered.m_classType = type;
            delivered.m_eventType = code;
            delivered.m_treeNode = source;
            delivered.m_treeNodeOID = sourceOID;
            delivered.m_classInstance = instance;
            delivered.m_extraData = data;
            const Event::Callback callback = held.GetCallback();
            {
                const Walk::Suspension suspension;
                callback(delivered);
            }
            fired = true;
            break;
        }
    }
}

// ---- Copies

void TreeNode::DeepenShallowCopy()
{
    Base::DeepenShallowCopy();
    // Copies made while linking are queued, so copying never recurses down or up the tree.
    if (CopyWork::current) {
        CopyWork::current->pending.push_back(this);
        return;
    }
    CopyWork work;
    struct Scope {
        ~Scope() { CopyWork::current = nullptr; }
    } scope;
    CopyWork::current = &work;
    LinkCopy(work);
    while (!work.pending.empty()) {
        TreeNode* const next = work.pending.front();
        work.pending.pop_front();
        next->LinkCopy(work);
    }
    CopyWork::current = nullptr;
    // Roots are final only now; each climb stops at a node whose root is already known.
    std::unordered_map<const TreeNode*, TreeNode*> roots;
    std::vector<const TreeNode*> path;
    for (TreeNode* node : work.inserted) {
        const TreeNode* top = node;
        for (; top->m_parent && !roots.contains(top); top = top->m_parent)
            path.push_back(top);
        const auto known = roots.find(top);
        TreeNode* const root = known != roots.end() ? known->second : const_cast<TreeNode*>(top);
        for (const TreeNode* passed : path)
            roots.emplace(passed, root);
        path.clear();
        root->NodeInserted(node, false);
    }
}

void TreeNode::LinkCopy(CopyWork& work)
{
    const TreeNode* const source = std::exchange(m_copySource, nullptr);
    if (!source)
        return;
    if (source->m_parent) {
        m_parent = DynCast<TreeNode>(source->m_parent->Copy());
        if (m_parent)
            work.inserted.push_back(this);
    }
    if (source->GetNumChildren() == 0)
        return;
    auto children = std::make_unique<ChildArray>();
    // By index, as the copied events raised meanwhile may change the source's children.
    for (int i = 0; i < source->GetNumChildren(); ++i) {
        if (TreeNode* const copy = DynCast<TreeNode>(source->GetChild(i)->Copy()))
            children->Append(copy);
    }
    m_children = std::move(children);
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
            node->m_parent = parent;
            m_pCopyRoot = copyRoot;
        }
    } restore{this, m_parent, m_pCopyRoot};
    m_pCopyRoot = this;
    m_parent = nullptr;
    return DynCast<TreeNode>(Copy());
}

TreeNode* TreeNode::NodeCopy()
{
    const CopyEventScope events;
    struct Restore {
        TreeNode* node;
        std::unique_ptr<ChildArray> children;
        ~Restore() { node->m_children = std::move(children); }
    } restore{this, std::move(m_children)};
    return TreeCopy();
}

// ---- Framework archive

// Writes or reads the records of a node's subtree with an explicit stack: each record is opened (own
// fields and child array), its children follow, and its rest is handed to the node's Serialize.
struct TreeNode::RecordWalk {
    RecordWalk(Archive& archive, TreeNode& top) : m_archive(archive), m_top(top), m_base(OpenRecords().size()) {}

    void Run()
    {
        std::vector<OpenRecord>& records = OpenRecords();
        try {
            Open(m_top, {});
            for (;;) {
                OpenRecord& record = records.back();
                if (record.next < record.count) {
                    ++record.next;
                    NextChild(record);
                } else if (records.size() > m_base + 1) {
                    Finish();
                } else {
                    break;
                }
            }
            OpenNodes().erase(&m_top);
            Rest(m_archive, m_top);
            records.pop_back();
        } catch (...) {
            Unwind();
            throw;
        }
    }

    // True (once) when a walk gives the node's Serialize the rest of its record.
    static bool TakeTurn(const Archive& archive, const TreeNode& node)
    {
        std::vector<OpenRecord>& records = OpenRecords();
        if (records.empty())
            return false;
        OpenRecord& record = records.back();
        if (!record.turn || record.node != &node || record.archive != &archive)
            return false;
        record.turn = false;
        return true;
    }

    // The node's fields after its children: the flags; on loading the children read are placed first.
    static void Rest(Archive& archive, TreeNode& node)
    {
        if (archive.IsStoring()) {
            archive << node.HasFlag(Selected) << node.HasFlag(Visible) << node.HasFlag(Clipped);
            return;
        }
        std::uint8_t selected = 0;
        std::uint8_t visible = 0;
        std::uint8_t clipped = 0;
        archive >> selected >> visible >> clipped;
        const std::vector<TreeNode*> taken = std::move(OpenRecords().back().taken);
        if (!taken.empty()) {
            if (!node.m_children)
                node.m_children = std::make_unique<ChildArray>();
            for (TreeNode* child : taken)
                node.m_children->Append(child);
            ++g_structureEpoch;
            // The children's records ended before they had a parent: they take their places now.
            TreeNode* const root = node.GetRoot();
            for (TreeNode* child : taken)
                root->NodeInserted(child, true);
        }
        node.SetFlag(Selected, selected != 0);
        node.SetFlag(Visible, visible != 0);
        node.SetFlag(Clipped, clipped != 0);
        node.GetRoot()->NodeInserted(&node, false);
    }

private:
    // Pushes the node's record and writes or reads its fields up to the children's records.
    void Open(TreeNode& node, const Archive::ObjectHeader& header)
    {
        OpenRecord& record = OpenRecords().emplace_back();
        record.archive = &m_archive;
        record.node = &node;
        record.header = header;
        OpenNodes().emplace(&node, &m_archive);
        if (m_archive.IsStoring()) {
            // Only a parent whose record is open is written, so a record never drags in the tree above it.
            m_archive.WriteObject(IsRecordOpen(m_archive, node.m_parent) ? node.m_parent : nullptr);
            record.count = static_cast<std::uint32_t>(node.GetNumChildren());
            if (record.count == 0) {
                m_archive.WriteObject(nullptr);
            } else {
                m_archive.WriteRecordHeader(ObjectArrayClass());
                m_archive.WriteCount(record.count);
            }
            return;
        }
        SkipParentReference(m_archive);
        // No array record (a null reference) means no children.
        record.count = m_archive.ReadRecordHeader(ObjectArrayClass()) ? m_archive.ReadCount(2) : 0;
    }

    void NextChild(OpenRecord& record)
    {
        if (m_archive.IsStoring()) {
            TreeNode* const child = record.node->GetChild(static_cast<int>(record.next - 1));
            if (m_archive.WriteObjectHeader(child)) {
                child->Base::Serialize(m_archive);
                Open(*child, {});
            }
            return;
        }
        const Archive::ObjectHeader header = m_archive.ReadObjectHeader(&TreeNode::GetThisClass());
        auto* const child = static_cast<TreeNode*>(header.object);
        if (header.isNew) {
            child->Base::Serialize(m_archive);
            Open(*child, header);
            return;
        }
        Offer(record, child);
    }

    // Null entries, children already placed and open records are dropped.
    void Offer(OpenRecord& record, TreeNode* child) const
    {
        if (!child || child->m_parent || IsRecordOpen(m_archive, child))
            return;
        child->m_parent = record.node;
        record.taken.push_back(child);
    }

    // The innermost record's children are done: its node's Serialize takes the rest, then the node
    // joins the children of the record below.
    void Finish()
    {
        std::vector<OpenRecord>& records = OpenRecords();
        TreeNode& node = *records.back().node;
        const std::uint32_t schema = records.back().header.schema;
        records.back().turn = true;
        OpenNodes().erase(&node);
        if (m_archive.IsLoading())
            m_archive.SetObjectSchema(schema);
        node.Serialize(m_archive);
        if (m_archive.IsLoading())
            m_archive.SetObjectSchema(0xFFFFFFFFu);
        // Walks nested in the node's fields may have moved the stack.
        records.pop_back();
        if (m_archive.IsLoading())
            Offer(records.back(), &node);
    }

    // After a failure: the records this walk opened are closed, their children read so far deleted and
    // their nodes abandoned (the top node is its reader's).
    void Unwind()
    {
        std::vector<OpenRecord>& records = OpenRecords();
        while (records.size() > m_base) {
            OpenRecord& record = records.back();
            if (const auto found = OpenNodes().find(record.node); found != OpenNodes().end() && found->second == &m_archive)
                OpenNodes().erase(found);
            for (TreeNode* child : record.taken) {
                child->m_parent = nullptr;
                delete child;
            }
            const Archive::ObjectHeader header = record.header;
            const bool top = records.size() == m_base + 1;
            records.pop_back();
            if (!top && m_archive.IsLoading())
                m_archive.AbandonObject(header);
        }
    }

    Archive& m_archive;
    TreeNode& m_top;
    std::size_t m_base;
};

void TreeNode::Serialize(Archive& archive)
{
    if (RecordWalk::TakeTurn(archive, *this)) {
        RecordWalk::Rest(archive, *this);
        return;
    }
    Base::Serialize(archive);
    RecordWalk(archive, *this).Run();
}

// ---- Property stream

bool TreeNode::JoinLoaded(TreeNode* parent)
{
    if (!parent || parent == m_parent)
        return parent != nullptr;
    // A node without children cannot hold its new parent; otherwise climb from the parent.
    if (parent == this || (GetNumChildren() > 0 && parent->IsInSubtreeOf(this)))
        return false;
    if (m_parent) {
        m_parent->m_children->Remove(this);
        m_parent = nullptr;
    }
    if (!parent->m_children)
        parent->m_children = std::make_unique<ChildArray>();
    parent->m_children->Append(this);
    m_parent = parent;
    ++g_structureEpoch;
    return true;
}

void TreeNode::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass pass(archive, *this);
    const auto flag = [this](Flag which) { return [this, which] { return HasFlag(which); }; };
    const auto setFlag = [this](Flag which) { return [this, which](bool on) { SetFlag(which, on); }; };
    pass.Value<Storage::StorageBool>("Selected", flag(Selected), setFlag(Selected));
    pass.Value<Storage::StorageBool>("Visible", flag(Visible), setFlag(Visible));
    pass.Value<Storage::StorageBool>("Clip", flag(Clipped), setFlag(Clipped));
    pass.Value<Storage::StorageInt>("Inactive", m_inactive);
    TreeNode* parent = m_parent;
    pass.Object("Parent", parent);
    if (pass.Is(PropertyArchive::MethodRead) && parent && !m_parent)
        JoinLoaded(parent);
    pass.Array<Storage::StorageObject>(
        "Children", [this] { return static_cast<std::size_t>(GetNumChildren()); },
        [this](std::size_t index) { return GetChild(static_cast<int>(index)); }, [](std::size_t) {},
        [this](std::size_t, TreeNode* child) {
            if (child && child->JoinLoaded(this))
                m_children->AddListed(child->GetOID());
        });
    pass.Value<Storage::StorageUnsignedChar>("Hints", m_hints);
    pass.Value<Storage::StorageUnsignedLong>("Logical Id", m_LID);
    pass.Value<Storage::StorageBool>("Expanded", flag(Expanded), setFlag(Expanded));
    if (pass.Is(PropertyArchive::MethodAfter) && archive.GetArchive().IsLoading()) {
        PlaceListedChildren();
        // Nodes join their parents while their records are read, so the top node's record ends
        // last: it numbers the whole loaded tree at once, in pre-order.
        if (!m_parent)
            NodeInserted(this, true);
    }
}

// A child joins its parent as soon as its "Parent" value is read, which may be before the children
// listed ahead of it arrive; one pass puts the listed children in list order, the others after them.
void TreeNode::PlaceListedChildren()
{
    if (!m_children)
        return;
    const std::unique_ptr<std::vector<std::uint32_t>> listed = m_children->TakeListed();
    if (!listed)
        return;
    const auto count = static_cast<std::size_t>(m_children->Size());
    std::vector<TreeNode*> order;
    order.reserve(count);
    std::vector<bool> placed(count, false);
    for (const std::uint32_t oid : *listed) {
        TreeNode* const child = DynCast<TreeNode>(Base::GetObjectA(oid));
        if (!child || child->m_parent != this)
            continue;
        const std::size_t index = m_children->IndexOf(child);
        if (placed[index])
            continue;
        placed[index] = true;
        order.push_back(child);
    }
    bool moved = false;
    std::size_t index = 0;
    m_children->ForEach([&](TreeNode* child) {
        if (!placed[index])
            order.push_back(child);
        moved = moved || order[index] != child;
        ++index;
    });
    if (!moved)
        return;
    m_children->Replace(std::move(order));
    ++g_structureEpoch;
}

} // namespace Tavrel
