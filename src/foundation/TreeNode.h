// Tree level of every model object: parent, ordered children, event registrations and node states.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/EventMaskLevel.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Archive;
class Property;
class PropertyArchive;
class PropertyTable;
class ReadCleanup;

// A node owns its children and deletes them, last first, before it leaves its parent. Every change
// is announced through DoNotify and delivered to the registrations of the node and its ancestors.
// Walks over the tree (destruction, recursive state changes, copies, mask propagation) run from
// explicit stacks, so their depth never grows with the size of the tree.
class TreeNode : public Base {
    // Property-stream level: "Selected", "Visible", "Clip", "Inactive", "Parent", "Children", "Hints",
    // "Logical Id", "Expanded". On reading, a node joins the parent it names unless a list already
    // holds it, and each node a "Children" list names is moved under that list's node; null entries,
    // other classes and entries that would close a cycle are dropped. When its record ends a node
    // holds the children its list names in list order, whatever order their records came in, then
    // any others. No events are raised. A node whose record ends below open records is handed to the
    // top's NodeLoaded; the top node hands the whole tree to its NodeInserted when its record ends.
    // The table has no text interface.
    // Framework-archive form, the level's own record walk: the parent reference, the children (an
    // object-array record holding the count and the references, or null without children), then the
    // selected, visible and clipped bytes. A loaded child list keeps only entries that are new to the
    // tree: null entries, repeated children and the node's own ancestors are dropped, and each kept
    // child's parent is the node that lists it. Subtrees of any depth are written and read from an
    // explicit stack: the children's records come before the rest of the node's record, so the
    // derived levels' fields follow once the children are done.
    TAVREL_CLASS(TreeNode, Base, Creatable)
public:
    // Event codes of the TreeNode level; their data is always null.
    static constexpr std::uint16_t EventTreeWide = 1;          // registration only: every tree event
    static constexpr std::uint16_t EventCreated = 2;           // on the new node
    static constexpr std::uint16_t EventDeleted = 4;           // on the node being destroyed
    static constexpr std::uint16_t EventParentSet = 8;         // on the moved node
    static constexpr std::uint16_t EventChildrenChanged = 16;  // on the parent
    static constexpr std::uint16_t EventSelectionChanged = 32;
    static constexpr std::uint16_t EventDisplayChanged = 64;   // visibility or clipping
    static constexpr std::uint16_t EventActivityChanged = 128;

    ~TreeNode() override;

    // Placement. A parent that is this node or one of its descendants is refused, as is a parent
    // that IsValidParent refuses; refused calls change nothing.
    virtual void SetParent(TreeNode* parent);
    // Also for the current parent (the node moves to the index counted after its removal). A null
    // parent or an index outside 0..n (n children, the node itself not counted) is refused.
    virtual void SetParentAt(TreeNode* parent, int index);
    virtual bool IsValidParent(const TreeNode* parent) const;
    // -1 when the node is not a child.
    virtual int FindChildIndex(const TreeNode* node) const;
    // -1 without a parent.
    virtual int GetIndex() const;
    virtual bool HasChild(std::uint32_t type) const;
    virtual bool HasChild(const TreeNode* node) const;
    virtual bool HasDescendent(std::uint32_t type) const;
    virtual bool HasDescendent(const TreeNode* node) const;
    virtual bool HasAncestor(std::uint32_t type) const;
    virtual bool HasAncestor(const TreeNode* node) const;
    // Whether the node lies on the parent chain, by the tree alone, whatever a class answers to
    // HasAncestor: what copies, references and collections ask of their members. False for null.
    bool IsInSubtreeOf(const TreeNode* node) const;

    // A call for each descendant of a class type, made in GetDescendents' order as a walk reaches it:
    // what is read of a node there costs no second trip to memory, as a pass over the gathered list
    // would once the tree outgrows the cache. The call must not change the tree.
    struct DescendentVisit {
        std::uint32_t type;
        void (*visit)(TreeNode* node, void* context);
        void* context;
        // Makes the call when the node is of the type.
        void operator()(TreeNode* node) const
        {
            if (node->IsA(type))
                visit(node, context);
        }
        // Calls visit(node); visit must outlive the value returned.
        template <class Visit>
        static DescendentVisit Of(std::uint32_t type, Visit& visit)
        {
            return {type, [](TreeNode* node, void* callable) { (*static_cast<Visit*>(callable))(node); },
                    const_cast<void*>(static_cast<const void*>(&visit))};
        }
    };

    // Registrations. A plain registration hears the events of this node, a tree registration those
    // of its whole subtree; (TreeNode, EventTreeWide) with the tree flag hears every event below.
    // An equal registration is not added twice; a null callback registers nothing.
    virtual void RegisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree,
                               void* data, const char* attribute);
    virtual void UnregisterEvent(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree,
                                 void* data, const char* attribute);
    // One kind of event: a class-type identifier and a code.
    struct EventKind {
        std::uint32_t type;
        std::uint16_t code;
    };
    // RegisterEvent for each kind in turn, with one callback, data and attribute; the masks of a
    // subtree are set in one walk for all of them.
    void RegisterEvents(std::span<const EventKind> kinds, Event::Callback callback, bool tree, void* data,
                        const char* attribute);
    // RegisterEvents of tree registrations whose walk setting the subtree's masks also makes the
    // visit: one walk of the subtree where registering, then visiting would take two.
    void RegisterTreeEvents(std::span<const EventKind> kinds, Event::Callback callback, void* data,
                            const char* attribute, const DescendentVisit& visit);
    // Whether the node holds a registration equal to this one (as RegisterEvent compares them).
    bool IsRegistered(std::uint32_t type, std::uint16_t code, Event::Callback callback, bool tree, void* data,
                      const char* attribute) const;
    // Removes the registrations with this user data; null data removes all of the subtree's.
    virtual void UnregisterAllEvents(void* data);
    virtual void UnregisterAllEvents();
    // Mutes (or unmutes) this node's tree registrations with this user data: delivery passes over
    // them as if they did not match, while they and the event masks stay as they are. Costs a pass
    // over this node's own registrations only.
    void MuteTreeEvents(const void* data, bool muted);
    // How many event callbacks the process has run: one who keeps something a callback could change
    // knows it still holds while the count stays.
    static std::uint64_t GetCallbacksRun() { return s_callbacksRun; }
    // How many times the process has marked a node modified: every change a node announces marks it
    // (heard or not), so one who keeps what a change could alter knows it still holds while the count
    // stays.
    static std::uint64_t GetChangesMarked() { return s_changesMarked; }

    // States.
    virtual void SetModified();
    virtual void ClearModified();
    bool IsModified() const { return HasFlag(Modified); }
    virtual void Activate();
    virtual void Deactivate();
    // Active when its own inactive count is below 1 and its parent, if any, is active.
    bool IsActive() const;
    bool IsObjectActive() const;
    virtual void Select(bool recursive);
    virtual void UnSelect(bool recursive);
    virtual void SelectIfChildrenSelected();
    // Active and marked selected.
    bool IsSelected() const;
    bool IsObjectSelected() const;
    virtual void SetVisible(bool recursive);
    virtual void SetInvisible(bool recursive);
    virtual bool IsExpanded() const;
    virtual void CollapseNode(bool recursive);
    virtual void ExpandNode(bool recursive);
    // Child i moves to positions[i]; false (nothing changed) unless positions is a permutation of
    // 0..n-1 over n > 0 children. Raises no event.
    virtual bool ReorderChildren(const IntArray& positions);
    // Room for `count` children in all, for one who is about to add that many: they then take their
    // places without the array growing step by step. Changes nothing else.
    void ReserveChildren(int count);
    virtual void SetClipped(bool clipped);
    // SetClipped where no one can hear it, so that its only work is the flag and the modified mark:
    // true when done; false, with nothing changed, where SetClipped would do more (a class whose
    // SetClipped does more refuses then).
    virtual bool SetClippedUnheard(bool clipped);
    bool IsClipped() const { return HasFlag(Clipped); }
    virtual void DisableSelection(bool recursive);
    virtual void EnableSelection(bool recursive);
    bool IsSelectable() const;
    // True when this node and every ancestor share a bit with the argument.
    bool CheckHint(std::uint8_t bits) const;
    // True when this node itself shares a bit with the argument, whatever its ancestors hold.
    bool HasHint(std::uint8_t bits) const { return (m_hints & bits) != 0; }
    void SetHint(std::uint8_t bits);
    void ClearHint(std::uint8_t bits);
    void SetLID(std::uint32_t lid) { m_LID = lid; }
    std::uint32_t GetLID() const { return m_LID; }
    // Hooks of the finishing pass after a document load or store, with the framework archive's
    // object schema. Empty here and inline, so that the overrides' calls up the chain cost nothing.
    virtual void FinishLoading(std::uint32_t /*schema*/) {}
    virtual void FinishStoring(std::uint32_t schema);
    // A refused record lets go, parentless, of the nodes in its subtree made before its node: its walk
    // took only parentless ones, which earlier reads handed out, so they are their readers' to delete.
    void RecordRefused() override;


    // Queries.
    TreeNode* GetParent() const { return m_parent.Get(); }
    // The topmost ancestor, or this node.
    TreeNode* GetRoot() const;
    // Null for an index outside 0..n-1.
    TreeNode* GetChild(int index) const;
    int GetNumChildren() const;
    int GetNumChildren(std::uint32_t type) const;
    int GetNumChildren(std::span<const std::uint32_t> types) const;
    int GetNumDescendents() const;
    // Appends the descendants of the class type (IsA), in pre-order, this node excluded: what a
    // DescendentIterator over the type gives, in one walk that asks for the nodes ahead.
    void GetDescendents(std::uint32_t type, std::vector<TreeNode*>& out) const;
    void ForEachDescendent(const DescendentVisit& visit) const;
    template <class Visit>
    void ForEachDescendent(std::uint32_t type, Visit&& visit) const
    {
        ForEachDescendent(DescendentVisit::Of(type, visit));
    }
    // ForEachDescendent until a call returns false: false when one did. A walk of a large tree that
    // stops where its caller must go on another way (as after a call it cannot make unheard).
    template <class Visit>
    bool ForEachDescendentWhile(std::uint32_t type, Visit&& visit) const
    {
        return ForEachDescendentWhile(
            type, [](TreeNode* node, void* callable) { return (*static_cast<std::remove_reference_t<Visit>*>(callable))(node); },
            const_cast<void*>(static_cast<const void*>(&visit)));
    }
    bool ForEachDescendentWhile(std::uint32_t type, bool (*visit)(TreeNode* node, void* context), void* context) const;
    int GetNumDescendents(std::uint32_t type) const;
    int GetNumDescendents(std::span<const std::uint32_t> types) const;
    int GetNumAncestors() const;
    int GetNumAncestors(std::uint32_t type) const;
    int GetNumAncestors(std::span<const std::uint32_t> types) const;
    // This node when both are the same; null for null or a node of another tree.
    TreeNode* FindCommonAncestor(const TreeNode* node) const;
    // Writes the index of this node and of each ancestor below the root, this node first (root side
    // first with reverse); grows the array when needed, never shrinks it. Returns the depth.
    int GetTreePosition(IntArray& position, bool reverse) const;
    // The path from the root: "/" and each child index followed by "/", as "/0/3/"; "/" for the root.
    std::string GetInvariant() const;
    // Follows a path from this node; null for an empty text, a malformed index or one that is not a
    // child position.
    TreeNode* FindInvariant(std::string_view path) const;

    // Copies.
    // A parentless copy of the node and its subtree.
    TreeNode* TreeCopy();
    // Deletes the tree nodes created after lastOIDBefore, up to last, that nothing owns (HasOwner: a
    // parent, or a holder such as a restraint for its monitors), each with its subtree, except `kept`
    // and the objects a holder owns (OwnedObjects). A reader that refuses its input leaves such records,
    // and members of collections that no node holds, to its caller. Returns how many it deleted
    // (subtrees counted once).
    static std::size_t DeleteParentlessSince(std::uint32_t lastOIDBefore, std::uint32_t last,
                                             const TreeNode* kept = nullptr);
    // The objects created after lastOIDBefore, up to last, settle their links (SettleLinks), all of
    // them still alive: a reader does so before it frees any of them.
    static void SettleLinksSince(std::uint32_t lastOIDBefore, std::uint32_t last);
    // The object model's answers around a framework archive's outermost reads (ReadCleanup): OIDs
    // mark a read, its objects settle with SettleLinksSince, and a refused one's parentless nodes go
    // with DeleteParentlessSince.
    static const ReadCleanup& ReadAnswers();
    // A parentless copy of the node alone.
    TreeNode* NodeCopy();
    // The node whose TreeCopy is running (the innermost one), or null.
    static TreeNode* GetCopyRoot() { return m_pCopyRoot; }
    // A TreeCopy is running and the node is its root or lies below it; false for null.
    static bool IsInsideCopy(const TreeNode* node)
    {
        return m_pCopyRoot && node && (node == m_pCopyRoot || node->IsInSubtreeOf(m_pCopyRoot));
    }

    bool HasOwner() const override { return m_parent.Get() != nullptr; }

    // Listeners may delete, move and add nodes while an operation runs. An operation that goes on
    // after raising an event holds a watch on every node it goes on with (Notify does so for the node
    // raising the event) and stops at those whose watches died: the node's destructor clears `alive`.
    // A node being constructed or destroyed is pinned: the teardown of an ancestor that listeners
    // delete meanwhile only takes it out of the tree, and its own constructor or destructor completes.
    // Listeners must not delete a pinned node itself (Object::GetObjectA no longer finds a node whose
    // tree level is being destroyed).
    struct Watch {
        // Out of line: the watch unlinks itself on destruction, which dangling-pointer analysis of an
        // inlined constructor cannot see.
        [[gnu::noinline]] explicit Watch(TreeNode* watched) noexcept : node(watched), next(watched->m_watchers.Get())
        {
            watched->m_watchers = this;
        }
        ~Watch()
        {
            if (!alive)
                return;
            for (Watch** link = &node->m_watchers.Get(); *link; link = &(*link)->next) {
                if (*link == this) {
                    *link = next;
                    return;
                }
            }
        }
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

        TreeNode* node;
        Watch* next;
        bool alive = true;
    };

protected:
    // Takes the selected flag of a non-null parent, joins it and raises EventCreated.
    explicit TreeNode(TreeNode* parent);
    // Names of the user properties that a copy of this node made now does not keep; none by default.
    // A node copy leaves them out as it copies, marking the copy modified as a removal would.
    virtual std::span<const std::string_view> GetUserPropertiesLeftOutOfCopy() const;

    // Pins the node for the rest of its destruction, for a level whose destructor deletes nodes that
    // may hold this one (deleting them then only takes this node out of them).
    void PinForDestruction() { SetFlag(Pinned, true); }

    // Pins the node while a constructor raises events after the node joined its parent, so the
    // construction completes on a live node even when listeners delete the parent.
    class ConstructionScope {
    public:
        explicit ConstructionScope(TreeNode& node) : m_node(node), m_pinned(node.HasFlag(Pinned))
        {
            node.SetFlag(Pinned, true);
        }
        ~ConstructionScope() { m_node.SetFlag(Pinned, m_pinned); }
        ConstructionScope(const ConstructionScope&) = delete;
        ConstructionScope& operator=(const ConstructionScope&) = delete;

    private:
        TreeNode& m_node;
        bool m_pinned;
    };

    // Raises an event on this node through DoNotify; false when a listener destroyed the node.
    [[nodiscard]] bool Notify(std::uint32_t type, std::uint16_t code, const char* attribute = nullptr,
                              void* data = nullptr);
    // SetParent for a class whose IsValidParent takes any parent while the node has none: a node
    // without parent or children joins the end of parent with no check (nothing else to leave, no
    // cycle to close); any other goes through SetParent.
    void JoinParent(TreeNode* parent);
    // No parent, no children and no rarely used member, so no registration: none of the node's events
    // can be heard yet, and an event would only mark it modified.
    bool IsAlone() const { return !m_parent.Get() && !m_children.Get() && m_extras.IsEmpty(); }
    // JoinParent of each node, in order, for nodes that are alone (none of them the parent), where no
    // one can hear the joins: the state the calls one by one would leave, in one step with the child
    // array grown once. False, with nothing done, where a join could be heard.
    static bool JoinAloneUnheard(TreeNode& parent, std::span<TreeNode* const> nodes);
    // Whether JoinAloneUnheard would join alone nodes below parent.
    static bool JoinsUnheard(const TreeNode& parent);
    // Deletes the node, or only takes it out of its parent while it is pinned.
    static void Discard(TreeNode* node);
    // Deletes the subtree deepest first, the last child of each node first; pinned nodes are taken
    // out with what hangs below them.
    void DeleteChildren();

    // Links the copy to the copies of its source's parent and children.
    void DeepenShallowCopy() override;

    // Inserts at 0..n (any other index appends) and raises EventChildrenChanged. A child that
    // already has a parent, or that would close a cycle, is refused.
    virtual void AddChild(TreeNode* child, int index);
    // Does nothing for a node that is not a child.
    virtual void RemoveChild(TreeNode* child);
    // Delivers an event at this node, then at each ancestor up to the root.
    virtual void ProcessEvent(TreeNode* source, std::uint32_t type, std::uint16_t code, const char* attribute,
                              bool tree, void* data);
    virtual bool IsVisible() const;
    virtual void SetVisibility(bool visible);
    virtual void SetSelect(bool recursive);
    // Always called on the topmost node of the tree; empty at this level.
    virtual void NodeInserted(TreeNode* node, bool recursive);
    virtual void NodeRemoved(TreeNode* node, bool recursive);
    // Called on the topmost node of a tree being read from the property stream: the record of `node`
    // ended in `stream` below a parent whose record is open, or (null stream) a node without children
    // read parentless joined the tree through a children list (NodeLoaded); a loaded node moved or
    // joined with children (LoadedTreeChanged, on the tops it leaves and joins). Empty at this level.
    virtual void NodeLoaded(TreeNode* node, const PropertyArchive* stream);
    virtual void LoadedTreeChanged();

    // Mask propagation.
    // Sets in this subtree the bits of every tree registration held above it.
    void SetMaskFromParents();
    // Sets the kinds' bits on this node and, as a tree registration here does, in its subtree.
    void PropagateSetEventMasks(std::span<const EventKind> kinds);
    // The bits of tree registrations held above, on a node of the subtree.
    void SetInheritedMasks(std::span<const EventKind> kinds);
    // Adds the registrations this node does not hold yet (the masks of a plain one too).
    void AddRegistrations(std::span<const EventKind> kinds, Event::Callback callback, bool tree, void* data,
                          const char* attribute);
    // Clears the code's bits on this node (and with tree, in its subtree) except where a remaining
    // registration of the node, or a tree registration above it, still needs them; a node that still
    // holds a registration for (type, code) keeps its bits and those of its subtree.
    void PropagateUnsetEventMask(std::uint32_t type, std::uint16_t code, bool tree);
    void PropagateClearEventMask();
    // A tree-wide listener sits on this node or above it.
    bool HasTreeListener() const { return TreeNode::m_levelEventMask.Has(EventTreeWide); }

    // The user properties of the Object level and its scratch pointer, kept with the registrations
    // behind the node's one pointer to rarely used members. Null or 0 when never set.
    Property* FindUserProperties() const { return m_extras.IsEmpty() ? nullptr : m_extras.FindProperties(); }
    Property& EditUserProperties();
    void* GetTempDataSlot() const;
    void SetTempDataSlot(void* data);

private:
    // The child at index (the end when out of range) with its parent, epoch and root told; no event.
    void LinkChild(TreeNode* child, int index);
    class ChildArray;
    // Deletes a child array where its class is complete, so that copies compile anywhere.
    struct DeleteChildArray {
        void operator()(ChildArray* children) const noexcept;
    };
    using ChildArrayPointer = std::unique_ptr<ChildArray, DeleteChildArray>;
    class Walk;
    struct CopyWork;
    enum class WalkOp : std::uint8_t;

    struct Registration;
    class RegistrationList;

    // Owner of the side block of rarely used members (registrations, user properties, temp data),
    // null until one of them is needed. The block holds in place the registrations or the user
    // properties, whichever the node needed first, and the other behind a pointer of its own, so
    // either costs one heap block; the low bit of the address tells the two layouts apart.
    class Extras {
    public:
        Extras() = default;
        // A copy holds a copy of the user properties (none when they are empty; during NodeCopy of
        // its node, without those the node leaves out), no registrations and no temporary data.
        Extras(const Extras& other);
        Extras& operator=(const Extras&) = delete;
        ~Extras() { Reset(); }

        void Reset() noexcept;
        // No rarely used member was ever needed (the common node).
        bool IsEmpty() const { return m_bits == 0; }
        // Null when the node never had any.
        RegistrationList* FindRegistrations() const;
        RegistrationList& EditRegistrations();
        Property* FindProperties() const;
        Property& EditProperties();
        void* GetTempData() const;
        void SetTempData(void* data);

    private:
        struct RegistrationsFirst;
        struct PropertiesFirst;
        static constexpr std::uintptr_t PropertiesFirstTag = 1;

        RegistrationsFirst* AsRegistrationsFirst() const;
        PropertiesFirst* AsPropertiesFirst() const;

        std::uintptr_t m_bits = 0;
    };

    enum Flag : std::uint8_t {
        Selected = 1,
        Modified = 2,
        Visible = 4,
        Clipped = 8,
        Expanded = 16,
        Selectable = 32,
        Pinned = 64,        // being constructed or destroyed
        EventsMuted = 128,  // every registration of the node is muted
    };
    // The node's flags; a copy is neither pinned nor muted.
    struct Flags {
        Flags() = default;
        Flags(const Flags& other) noexcept : bits(static_cast<std::uint8_t>(other.bits & ~(Pinned | EventsMuted)))
        {
        }
        Flags& operator=(const Flags&) = delete;
        std::uint8_t bits = Visible | Selectable;
    };

    bool HasFlag(Flag flag) const { return (m_flags.bits & flag) != 0; }
    void SetFlag(Flag flag, bool on)
    {
        m_flags.bits = static_cast<std::uint8_t>(on ? (m_flags.bits | flag) : (m_flags.bits & ~flag));
    }
    // The node's root, through a one-entry cache that also holds the tree registrations on the node
    // and above; asking about the same node, or a child of the node last asked about, climbs nothing.
    static TreeNode* CacheAncestry(const TreeNode* node);
    bool WouldCloseCycle(const TreeNode* parent) const;
    void MoveTo(TreeNode* parent, int index);
    // MoveTo for the constructor, to the end of the parent: the node has no parent, children or
    // watcher yet, and its pin keeps it alive through the events.
    void JoinAtConstruction(TreeNode* parent);
    // After a move: the parent-set event (or the modified mark when no one hears it), then the
    // collapse of an expanded node that left its expanded parent.
    void AnnounceParentSet();
    // Visits the descendants depth first, children in order, while the visitor returns true.
    template <class Visit>
    static void VisitDescendants(const TreeNode* top, Visit&& visit);
    void DeliverHere(TreeNode* source, std::uint32_t sourceOID, const Base* instance, std::uint32_t type,
                     std::uint16_t code, const char* attribute, bool tree, void* data, const Watch& watch);
    std::uint8_t RegisteredBits(std::uint32_t type, bool treeOnly) const;
    // Code bits of one class type whose registrations were dropped.
    struct DroppedBits {
        std::uint32_t type;
        std::uint8_t bits;
    };
    // PropagateUnsetEventMask for several class types and codes at once: one walk of the subtree,
    // which stops where no dropped bit can be cleared any more.
    void UnsetDroppedBits(std::span<const DroppedBits> dropped, bool tree);
    bool HoldsRegistration(std::uint32_t type, std::uint16_t code) const;
    void Perform(WalkOp op, bool recursive);
    void Step(WalkOp op, bool recursive);
    void ActivityChanged();
    bool AllChildrenSelected() const;
    void LinkCopy(CopyWork& work, const TreeNode* source);
    // The framework-archive record of a subtree (the level's ArchiveRecord).
    struct RecordWalk;
    // Links a loaded node under a parent without events; false when that would close a cycle.
    bool JoinLoaded(TreeNode* parent);
    // JoinLoaded for a parentless node that read its "Parent", telling its root when it brings children.
    bool JoinLoadedParent(TreeNode* parent);
    [[gnu::noinline]] bool JoinLoadedParentElsewhere(TreeNode* parent);
    // JoinLoaded past its common case: a node that moves or holds children, or a parent's first child.
    [[gnu::noinline]] bool JoinLoadedMoving(TreeNode* parent);
    // A child a loaded "Children" list names that its own record did not place here (or null): it
    // joins when it can, and is listed.
    [[gnu::noinline]] bool TakeListedChildElsewhere(TreeNode* child);
    // Puts the children a loaded "Children" list names at their list positions.
    void PlaceListedChildren();
    // Removes from the subtree, leaving them parentless, the nodes whose OIDs are lastOID or lower: a
    // node made by a refused read lets go of what was made before the read (an earlier read handed it
    // out) before it is deleted.
    void LetGoOfNodesMadeUpTo(std::uint32_t lastOID);

    static inline TreeNode* m_pCopyRoot = nullptr;
    static inline std::uint64_t s_callbacksRun = 0;
    static inline std::uint64_t s_changesMarked = 0;
    // The node NodeCopy copies, and whether its copy left out a user property.
    struct NodeCopySource {
        const TreeNode* node;
        bool leftOut;
    };
    static inline NodeCopySource* m_pNodeCopySource = nullptr;

    // First, so that the small fields fill the room Base leaves before the first pointer.
    Flags m_flags;
    std::uint8_t m_hints = 0xFF;
    TAVREL_EVENT_MASK_LEVEL()

private:
    // A copy is linked to the copies of its parent and children by DeepenShallowCopy, holds no
    // registrations, watches or temporary data, and is not pinned.
    Uncopied<TreeNode*> m_parent;
    Uncopied<ChildArrayPointer> m_children;
    Extras m_extras;                         // null until a registration, user property or temp data
    // Operations that must learn of this node's destruction. Inline, as every raised event watches
    // its node: kept with the rare members, each watch would allocate them.
    Uncopied<Watch*> m_watchers;
    Uncopied<std::uint32_t, UINT32_MAX> m_slot; // position in the parent's child array; all ones outside one
    std::uint32_t m_LID = 0;
    std::int32_t m_inactive = 0;
};

} // namespace Tavrel
