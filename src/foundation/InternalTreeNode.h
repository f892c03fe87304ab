// InternalTreeNode: what the sources of TreeNode share (TreeNode.cpp, TreeNodeStates.cpp,
// TreeNodeEvents.cpp, TreeNodeArchive.cpp); not part of the library's interface.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include <tavrel/foundation/InternalChildArray.h>
#include <tavrel/foundation/PooledBlock.h>
#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

namespace TreeNodeShared {

// Advances on every insertion or removal of a child, so a walk can tell whether callbacks changed
// the tree under it.
extern std::uint64_t g_structureEpoch;

// The root known to a subtree deletion for the removal it is about to cause, valid while nothing
// else changed the tree; spares each removal a climb to the root.
struct RemovalHint {
    const TreeNode* parent = nullptr;
    const TreeNode* child = nullptr;
    TreeNode* root = nullptr;
    std::uint64_t epoch = 0;
};
extern RemovalHint g_removalHint;

// The root of the node last asked about and the tree registrations held on it and above (their codes
// OR-ed by class type: a mask byte takes the same bits either way), so that building under one parent,
// or down a chain, climbs to the root once and a child reads what it inherits from here. Forgotten when a tree registration comes or goes and
// when a node holding children, or the node itself, changes parent or is destroyed.
struct Ancestry {
    const TreeNode* node = nullptr;
    TreeNode* root = nullptr;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> inherited;
    // The node holds none of them itself: what its siblings inherit is `inherited` as it is.
    bool nodeHoldsNone = false;
};
extern Ancestry g_ancestry;

inline void ForgetAncestry()
{
    g_ancestry.node = nullptr;
}

// Before a node changes parent or is destroyed.
inline void ForgetAncestryOf(const TreeNode* node)
{
    if (node == g_ancestry.node || node->GetNumChildren() > 0)
        ForgetAncestry();
}

} // namespace TreeNodeShared

// The children of a node (InternalChildArray.h); a child's slot number is its m_slot. Many nodes have
// a few children, held in the array itself, which takes a pool slot.
class TreeNode::ChildArray : public BlockedChildArray<TreeNode, TreeNode::ChildArray>, public PooledBlock {
public:
    static std::uint32_t GetSlot(const TreeNode* child) { return child->m_slot.Get(); }
    static void SetSlot(TreeNode* child, std::uint32_t slot) { child->m_slot = slot; }

    using Blocks = BlockedChildArray<TreeNode, TreeNode::ChildArray>;

    // A child a loaded "Children" list names: where it stood when listed, and its OID to find it again
    // once the children have moved.
    struct ListedChild {
        TreeNode* child;
        std::uint32_t oid;
        std::uint32_t index;
    };
    // The children listed, in list order; `moved` once a child was inserted, removed or the children
    // reordered after the first of them was listed, so that only the OIDs still tell.
    struct Listed {
        std::vector<ListedChild> children;
        bool moved = false;
    };

    // The children a loaded "Children" list names, in list order, until the node's record ends. While
    // the children listed are the first ones, in list order, only their number is kept: a child listed
    // again stays where it is, and one that joined a few places further on (children joining by their
    // "Parent" while their records nest, a bond before the atom it leads to) moves down to its place
    // at once, the others keeping their order. Otherwise the children listed are kept.
    void AddListed(TreeNode* child)
    {
        if (!m_listed) {
            // The common case: the child listed next is the next one in place.
            const std::size_t index = IndexOf(child);
            if (index == m_listedInPlace) {
                ++m_listedInPlace;
                return;
            }
            // The next but one (a bond that joined before the atom it leads to): the two trade places.
            if (index == m_listedInPlace + std::size_t{1} && SwapWithPrevious(child)) {
                ++TreeNodeShared::g_structureEpoch;
                ++m_listedInPlace;
                return;
            }
        }
        AddListedElsewhere(child);
    }
    // AddListed past its common case.
    [[gnu::noinline]] void AddListedElsewhere(TreeNode* child)
    {
        const std::size_t index = IndexOf(child);
        if (!m_listed && index <= m_listedInPlace + MaxMoveDown) {
            if (index > m_listedInPlace) {
                MoveDown(index, m_listedInPlace);
                ++TreeNodeShared::g_structureEpoch;
            }
            if (index >= m_listedInPlace)
                ++m_listedInPlace;
            return;
        }
        ListApart(child, index);
    }
    // The children listed are kept: this one joins them.
    [[gnu::noinline]] void ListApart(TreeNode* child, std::size_t index)
    {
        ListedChildren().children.push_back({child, child->GetOID(), static_cast<std::uint32_t>(index)});
    }
    // The children listed; null when the children listed are the first ones, in order.
    std::unique_ptr<Listed> TakeListed()
    {
        m_listedInPlace = 0;
        return std::move(m_listed);
    }

    // Changes that move children keep the list of those listed first.
    void Insert(std::size_t index, TreeNode* child)
    {
        KeepListed();
        Blocks::Insert(index, child);
    }
    void Remove(TreeNode* child)
    {
        KeepListed();
        Blocks::Remove(child);
    }
    void Replace(const std::vector<TreeNode*>& order)
    {
        KeepListed();
        Blocks::Replace(order);
    }

private:
    void KeepListed()
    {
        if (m_listedInPlace > 0)
            ListedChildren();
        if (m_listed && !m_listed->children.empty())
            m_listed->moved = true;
    }
    // The children listed so far, each on its own from now on.
    Listed& ListedChildren()
    {
        if (!m_listed) {
            m_listed = std::make_unique<Listed>();
            m_listed->children.reserve(m_listedInPlace);
            for (std::uint32_t i = 0; i < m_listedInPlace; ++i)
                m_listed->children.push_back({At(i), At(i)->GetOID(), i});
            m_listedInPlace = 0;
        }
        return *m_listed;
    }

    // How far a listed child moves down on its own before the children listed are kept instead.
    static constexpr std::size_t MaxMoveDown = 8;

    std::unique_ptr<Listed> m_listed;
    std::uint32_t m_listedInPlace = 0;  // the first children, listed in order, while m_listed is null
};

// A stack whose entries never move while they are on it: the first InPlace in the stack itself, more in
// blocks of as many made when first needed and kept until the stack goes, so a short stack allocates
// nothing.
template <class T, std::size_t InPlace>
class StableStack {
public:
    StableStack() = default;
    StableStack(const StableStack&) = delete;
    StableStack& operator=(const StableStack&) = delete;
    ~StableStack()
    {
        while (!empty())
            pop_back();
        for (T* block : m_blocks)
            ::operator delete(block);
    }

    bool empty() const { return m_size == 0; }
    T& back() { return *At(m_size - 1); }
    template <class... Args>
    void emplace_back(Args&&... args)
    {
        if (m_size >= InPlace && (m_size - InPlace) / InPlace == m_blocks.size())
            m_blocks.push_back(static_cast<T*>(::operator new(sizeof(T) * InPlace)));
        ::new (static_cast<void*>(Storage(m_size))) T(std::forward<Args>(args)...);
        ++m_size;
    }
    void pop_back() { At(--m_size)->~T(); }

private:
    T* Storage(std::size_t i)
    {
        return i < InPlace ? reinterpret_cast<T*>(m_inPlace) + i : m_blocks[(i - InPlace) / InPlace] + (i - InPlace) % InPlace;
    }
    T* At(std::size_t i) { return std::launder(Storage(i)); }

    alignas(T) std::byte m_inPlace[sizeof(T) * InPlace];
    std::vector<T*> m_blocks;
    std::size_t m_size = 0;
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
                    Invoke(child, op, recursive);  // the stack keeps `task` in place
                    if (visited.alive && child->m_parent.Get() == node)
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

    StableStack<Task, 8> m_tasks;
    Walk* m_outer;
    const TreeNode* m_token = nullptr;
    WalkOp m_tokenOp = WalkOp::Select;
};

// What a registration keeps; the delivered Event is built from it.
struct TreeNode::Registration {
    Event::Callback callback;
    void* data;
    std::uint32_t classType;
    std::uint32_t serial;     // grows along the list: later registrations have larger serials
    std::uint32_t attribute;  // AttributeNumber of the attribute filter
    std::uint16_t code;
    bool tree;
    bool muted;  // skipped by delivery until unmuted; not part of the registration's identity

    // As Event's equality for two registrations of one node: attributes agree when either has none.
    bool Same(const Registration& other) const
    {
        return callback == other.callback && data == other.data && classType == other.classType &&
               code == other.code && tree == other.tree &&
               (attribute == 0 || other.attribute == 0 || attribute == other.attribute);
    }
};

// A node's registrations in order of serial: one is held in place, more in a block that doubles as it
// fills, taken from the objects' pool while it fits a slot (PooledBlock), as is a list made on its own.
// Erasing never allocates.
class TreeNode::RegistrationList {
    static_assert(std::is_trivially_copyable_v<Registration> && sizeof(Registration) <= 32);

public:
    static void* operator new(std::size_t size) { return PooledBlock::Allocate(size); }
    static void operator delete(void* list, std::size_t size) noexcept { PooledBlock::Free(list, size); }

    RegistrationList() = default;
    RegistrationList(const RegistrationList&) = delete;
    RegistrationList& operator=(const RegistrationList&) = delete;
    ~RegistrationList() { Release(); }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Registration* begin() const { return Data(); }
    const Registration* end() const { return Data() + m_size; }
    Registration* begin() { return Data(); }
    Registration* end() { return Data() + m_size; }
    const Registration& operator[](std::size_t i) const { return Data()[i]; }

    // Appends with the next serial; serials restart from 1 along the list when they run out.
    void Append(Registration registration)
    {
        if (m_lastSerial == UINT32_MAX) {
            m_lastSerial = 0;
            for (std::uint32_t i = 0; i < m_size; ++i)
                Data()[i].serial = ++m_lastSerial;
        }
        registration.serial = ++m_lastSerial;
        if (m_size == 0) {
            m_one = registration;
            m_size = 1;
            return;
        }
        if (m_size == 1 || m_size == m_block.capacity)
            Grow(std::uint32_t{2} * m_size);
        m_block.data[m_size++] = registration;
    }

    void Erase(std::size_t index)
    {
        Registration* const data = Data();
        std::copy(data + index + 1, data + m_size, data + index);
        if (--m_size == 1) {
            const Block block = m_block;
            m_one = block.data[0];
            DeleteBlock(block);
        }
    }

    void Clear()
    {
        Release();
        m_size = 0;
    }

private:
    struct Block {
        Registration* data;
        std::uint32_t capacity;
    };

    bool InBlock() const { return m_size > 1; }
    Registration* Data() { return InBlock() ? m_block.data : &m_one; }
    const Registration* Data() const { return InBlock() ? m_block.data : &m_one; }
    static void DeleteBlock(Block block) noexcept
    {
        PooledBlock::Free(block.data, std::size_t{block.capacity} * sizeof(Registration));
    }
    // Moves the registrations into a new block of `capacity`, freeing the block they were in.
    void Grow(std::uint32_t capacity)
    {
        auto* const data =
            static_cast<Registration*>(PooledBlock::Allocate(std::size_t{capacity} * sizeof(Registration)));
        std::uninitialized_default_construct_n(data, capacity);
        std::copy(begin(), end(), data);
        Release();
        m_block = Block{data, capacity};
    }
    void Release() noexcept
    {
        if (InBlock())
            DeleteBlock(m_block);
    }

    union {
        Registration m_one;
        Block m_block;
    };
    std::uint32_t m_size = 0;
    std::uint32_t m_lastSerial = 0;
};

template <class Visit>
void TreeNode::VisitDescendants(const TreeNode* top, Visit&& visit)
{
    // The nodes to visit next are on the stack, the next on top. Nothing is asked for ahead: a tree
    // built in order lies in memory in the order of this walk, and the hardware streams it better
    // alone than with a look-ahead competing for the same misses in flight.
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

} // namespace Tavrel
