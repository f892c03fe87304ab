#include <tavrel/foundation/TreeNode.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tavrel/foundation/InternalTreeNode.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ReadCleanup.h>

namespace Tavrel {

using namespace TreeNodeShared;

namespace {

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

// The nodes whose records are open, with their archive and whether the records are still open up to
// their children (else the nodes' own Serialize is reading or writing the rest).
struct OpenNode {
    const Archive* archive;
    bool upToChildren;
};
std::unordered_map<const TreeNode*, OpenNode>& OpenNodes()
{
    static std::unordered_map<const TreeNode*, OpenNode> nodes;
    return nodes;
}

// The framework's object array: in the framework-archive form the children are one record of it,
// class-tagged, holding the count and the children's records.
const RuntimeClass& ObjectArrayClass()
{
    static const RuntimeClass record{"CObArray", 0, nullptr, nullptr};
    return record;
}

// True while the node's record is open in the archive: up to its children only, or to its end.
bool IsRecordOpen(const Archive& archive, const TreeNode* node, bool upToChildren)
{
    const auto& nodes = OpenNodes();
    const auto found = node ? nodes.find(node) : nodes.end();
    return found != nodes.end() && found->second.archive == &archive && (!upToChildren || found->second.upToChildren);
}

// The rest of the node's record follows: it is no longer open up to its children.
void OpenRest(const TreeNode& node)
{
    if (const auto found = OpenNodes().find(&node); found != OpenNodes().end())
        found->second.upToChildren = false;
}

// A child made before its parent was not made by the parent's record: an earlier read handed it out
// (or another field of this one made it), so a refused record lets it go, parentless.
bool MadeBefore(const TreeNode& child, const TreeNode& parent)
{
    return child.GetOID() < parent.GetOID();
}

} // namespace

// ---- Framework archive

// Writes or reads the records of a node's subtree with an explicit stack: each record is opened (own
// fields and child array), its children follow, and its rest is handed to the node's Serialize.
struct TreeNode::RecordWalk {
    RecordWalk(Archive& archive, TreeNode& top)
        : m_archive(archive), m_top(top), m_base(OpenRecords().size()), m_lastBefore(Base::GetLastOID())
    {
    }

    void Run()
    {
        const Archive::ReadScope read(m_archive);
        std::vector<OpenRecord>& records = OpenRecords();
        // The levels after the tree node's read the rest of the top record by its schema, which the
        // children's records leave changed.
        const std::uint32_t schema = m_archive.IsLoading() ? m_archive.GetObjectSchema() : 0;
        if (m_archive.IsLoading())
            m_archive.SetObjectSchema(schema);
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
            OpenRest(m_top);
            Rest(m_archive, m_top);
            OpenNodes().erase(&m_top);
            records.pop_back();
            if (m_archive.IsLoading())
                m_archive.SetObjectSchema(schema);
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
                node.m_children = ChildArrayPointer(new ChildArray());
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
        OpenNodes().emplace(&node, OpenNode{&m_archive, true});
        if (m_archive.IsStoring()) {
            // Only a parent whose record is open is written, so a record never drags in the tree above it.
            m_archive.WriteObject(IsRecordOpen(m_archive, node.m_parent.Get(), true) ? node.m_parent.Get() : nullptr);
            record.count = static_cast<std::uint32_t>(node.GetNumChildren());
            if (record.count == 0) {
                m_archive.WriteObject(nullptr);
            } else {
                m_archive.WriteRecordHeader(ObjectArrayClass());
                m_archive.WriteCount(record.count);
            }
            return;
        }
        // A child names its parent only by a back-reference to a record already open: skipped, never
        // taken over.
        m_archive.SkipBackReference("a node's parent reference");
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
        // A node whose own record is still being read around this one stays its reader's.
        if (!m_archive.IsReadingBody(header))
            Offer(record, child);
    }

    // Null entries, children already placed and nodes whose records are open (the rest of a record
    // included, where its node's own fields may refer back to it) are dropped.
    void Offer(OpenRecord& record, TreeNode* child) const
    {
        if (!child || child->m_parent.Get() || IsRecordOpen(m_archive, child, false))
            return;
        ForgetAncestryOf(child);
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
        OpenRest(node);
        if (m_archive.IsLoading())
            m_archive.SetObjectSchema(schema);
        node.Serialize(m_archive);
        OpenNodes().erase(&node);
        if (m_archive.IsLoading())
            m_archive.SetObjectSchema(0xFFFFFFFFu);
        // Walks nested in the node's fields may have moved the stack.
        records.pop_back();
        if (m_archive.IsLoading())
            Offer(records.back(), &node);
    }

    // After a failure: the records this walk opened are closed, their nodes abandoned (the top node is
    // its reader's) and the children they made deleted; nodes made before them are let go, also from
    // deep in the subtrees of the deleted children. Every child read is made parentless first, as one's
    // deletion may take others (a monitor goes with its item), which must then leave no parent that
    // does not list them. For the same reason each record's node and the children it made are noted by
    // OID while all are alive, and each is touched later only while its OID still finds it.
    void Unwind()
    {
        m_archive.SettleRefused();
        std::vector<OpenRecord>& records = OpenRecords();
        struct Closing {
            TreeNode* node;
            std::uint32_t oid;
            std::vector<std::pair<TreeNode*, std::uint32_t>> made;
        };
        std::vector<Closing> closing;
        closing.reserve(records.size() - m_base);
        for (std::size_t i = m_base; i < records.size(); ++i) {
            TreeNode& node = *records[i].node;
            Closing& entry = closing.emplace_back(Closing{&node, node.GetOID(), {}});
            for (TreeNode* child : records[i].taken) {
                if (!MadeBefore(*child, node))
                    entry.made.emplace_back(child, child->GetOID());
                ForgetAncestryOf(child);
                child->m_parent = nullptr;
            }
        }
        const auto alive = [](TreeNode* node, std::uint32_t oid) { return Base::GetObjectA(oid) == node; };
        while (records.size() > m_base) {
            OpenRecord& record = records.back();
            if (const auto found = OpenNodes().find(record.node); found != OpenNodes().end() && found->second.archive == &m_archive)
                OpenNodes().erase(found);
            const Closing entry = std::move(closing.back());
            closing.pop_back();
            const Archive::ObjectHeader header = record.header;
            const bool top = records.size() == m_base + 1;
            records.pop_back();
            if (!top && m_archive.IsLoading()) {
                if (alive(entry.node, entry.oid)) {
                    // Its rest may have placed its children already.
                    entry.node->LetGoOfNodesMadeUpTo(entry.oid - 1);
                    m_archive.AbandonObject(header);
                } else {
                    m_archive.ForgetObject(header);
                }
            }
            for (const auto& [child, oid] : entry.made) {
                if (!alive(child, oid))
                    continue;
                child->LetGoOfNodesMadeUpTo(m_lastBefore);
                delete child;
            }
        }
    }

    Archive& m_archive;
    TreeNode& m_top;
    std::size_t m_base;
    // The last OID before the walk: the nodes up to it are not the walk's to delete.
    std::uint32_t m_lastBefore;
};

void TreeNode::RecordRefused()
{
    LetGoOfNodesMadeUpTo(GetOID() - 1);
    SettleLinks();
}

const ReadCleanup& TreeNode::ReadAnswers()
{
    struct Answers final : ReadCleanup {
        std::uint64_t Mark() const override { return Base::GetLastOID(); }
        void Settle(std::uint64_t mark) const override
        {
            SettleLinksSince(static_cast<std::uint32_t>(mark), Base::GetLastOID());
        }
        void Sweep(std::uint64_t mark) const override
        {
            DeleteParentlessSince(static_cast<std::uint32_t>(mark), Base::GetLastOID());
        }
    };
    static const Answers answers;
    return answers;
}

// ---- Property stream

bool TreeNode::JoinLoaded(TreeNode* parent)
{
    // A node just read, without parent or children, joins the end of a parent that has children.
    if (parent && parent != this && !m_parent.Get() && !m_children && parent->m_children) {
        if (this == g_ancestry.node)
            ForgetAncestry();
        parent->m_children->Append(this);
        m_parent = parent;
        ++g_structureEpoch;
        return true;
    }
    return JoinLoadedMoving(parent);
}

bool TreeNode::JoinLoadedParent(TreeNode* parent)
{
    // A node without children joins at the end of a parent that has some, with no call.
    if (parent != this && !m_children && parent->m_children && this != g_ancestry.node) [[likely]] {
        m_parent = parent;
        ++g_structureEpoch;
        return parent->m_children->AppendLast(this);
    }
    return JoinLoadedParentElsewhere(parent);
}

bool TreeNode::JoinLoadedParentElsewhere(TreeNode* parent)
{
    if (!JoinLoaded(parent))
        return false;
    if (m_children && m_children->Size() > 0)
        GetRoot()->LoadedTreeChanged();
    return true;
}

bool TreeNode::JoinLoadedMoving(TreeNode* parent)
{
    if (!parent || parent == m_parent.Get())
        return parent != nullptr;
    // A node without children cannot hold its new parent; otherwise climb from the parent.
    const bool hasChildren = m_children && m_children->Size() > 0;
    if (parent == this || (hasChildren && parent->IsInSubtreeOf(this)))
        return false;
    if (hasChildren || this == g_ancestry.node)
        ForgetAncestry();
    if (m_parent.Get()) {
        m_parent->m_children->Remove(this);
        m_parent = nullptr;
    }
    if (!parent->m_children)
        parent->m_children = ChildArrayPointer(new ChildArray());
    parent->m_children->Append(this);
    m_parent = parent;
    ++g_structureEpoch;
    return true;
}

const PropertyTable& TreeNode::Properties()
{
    constexpr auto FlagByte = [](const TreeNode& node) -> const std::uint8_t& { return node.m_flags.bits; };
    static const PropertyTable table(
        PropertyList<TreeNode>()
            .Value<Storage::StorageBool>(
                "Selected", [](const TreeNode& node) { return node.HasFlag(Selected); },
                [](TreeNode& node, bool on) { node.SetFlag(Selected, on); })
            .InBit(FlagByte, Selected)
            .StoresBitAlone()
            .Value<Storage::StorageBool>(
                "Visible", [](const TreeNode& node) { return node.HasFlag(Visible); },
                [](TreeNode& node, bool on) { node.SetFlag(Visible, on); })
            .InBit(FlagByte, Visible)
            .StoresBitAlone()
            .Value<Storage::StorageBool>(
                "Clip", [](const TreeNode& node) { return node.HasFlag(Clipped); },
                [](TreeNode& node, bool on) { node.SetFlag(Clipped, on); })
            .InBit(FlagByte, Clipped)
            .StoresBitAlone()
            .Field<Storage::StorageInt, &TreeNode::m_inactive>("Inactive")
            .StreamOnly()
            // A parent or child that cannot join (a second parent, a cycle) is not kept, so one read
            // for the value alone is freed.
            .Reference(
                "Parent", [](const TreeNode& node) { return node.m_parent.Get(); },
                [](TreeNode& node, TreeNode* parent) {
                    if (parent && !node.m_parent.Get())
                        return node.JoinLoadedParent(parent);
                    return parent == node.m_parent.Get();
                })
            .References(
                "Children",
                [](const TreeNode& node) {
                    return node.m_children ? static_cast<std::size_t>(node.m_children->Size()) : std::size_t{0};
                },
                // The array itself, not the exported GetChild: a writer asks for every child by index.
                [](const TreeNode& node, std::size_t index) -> TreeNode* {
                    return node.m_children && index < static_cast<std::size_t>(node.m_children->Size())
                               ? node.m_children->At(index)
                               : nullptr;
                },
                [](TreeNode& node, std::size_t, TreeNode* child) {
                    // The common case: the child's record placed it here.
                    if (child && child->m_parent.Get() == &node) [[likely]] {
                        node.m_children->AddListed(child);
                        return true;
                    }
                    return node.TakeListedChildElsewhere(child);
                })
            .Field<Storage::StorageUnsignedChar, &TreeNode::m_hints>("Hints")
            .StreamOnly()
            .Field<Storage::StorageUnsignedLong, &TreeNode::m_LID>("Logical Id")
            .StreamOnly()
            .Value<Storage::StorageBool>(
                "Expanded", [](const TreeNode& node) { return node.HasFlag(Expanded); },
                [](TreeNode& node, bool on) { node.SetFlag(Expanded, on); })
            .InBit(FlagByte, Expanded)
            .StreamOnly()
            .AfterLoad([](TreeNode& node, Archive&, PropertyArchive* stream) {
                if (!stream)
                    return;
                if (node.m_children)
                    node.PlaceListedChildren();
                // Nodes join their parents while their records are read, so the top node's record
                // ends last: it numbers the whole loaded tree at once, in pre-order, or keeps what its
                // NodeLoaded took in as the records ended, while the nodes were in the cache. A node
                // that joined a parent whose record had ended (a later record naming it) leaves the
                // numbering to the top's pass while the top's record is open: its subtree may hold
                // nodes whose records are open still, their stored numbers not yet read. Below a top
                // whose record has ended, the tree was numbered already: the node is numbered with its
                // subtree now.
                TreeNode* const parent = node.m_parent.Get();
                if (!parent) {
                    node.NodeInserted(&node, true);
                } else if (!stream->IsRecordOpen(*parent)) {
                    TreeNode* const root = node.GetRoot();
                    if (stream->IsRecordOpen(*root))
                        root->LoadedTreeChanged();
                    else
                        root->NodeInserted(&node, true);
                } else {
                    // GetRoot through its cache, inline: siblings ending in turn share the entry.
                    TreeNode* const root = parent == g_ancestry.node ? g_ancestry.root : node.GetRoot();
                    root->NodeLoaded(&node, stream);
                }
            })
            // The framework archive's record of a node is not a list: the node's record walk (parent,
            // children, then the selected, visible and clipped flags), which gives the node the rest
            // of its record once its children's records are done.
            .ArchiveRecord([](TreeNode& node, Archive& archive) {
                if (RecordWalk::TakeTurn(archive, node))
                    RecordWalk::Rest(archive, node);
                else
                    RecordWalk(archive, node).Run();
            }));
    return table;
}

bool TreeNode::TakeListedChildElsewhere(TreeNode* child)
{
    if (!child)
        return false;
    // One read parentless (its record nested in another before its parent's began) joins; one that
    // moves leaves a tree.
    TreeNode* const before = child->m_parent.Get();
    if (before != this) {
        child->GetRoot()->LoadedTreeChanged();
        if (!child->JoinLoaded(this))
            return false;
        TreeNode* const root = GetRoot();
        if (before || child->GetNumChildren() > 0)
            root->LoadedTreeChanged();
        else
            root->NodeLoaded(child, nullptr);
    }
    m_children->AddListed(child);
    // A parent this record made inline only to hold the child (its "Parent" value) is left with
    // nothing: it goes as an inline record nobody took goes, or it would outlive the read unreached.
    if (before && before->GetOID() > GetOID() && !before->m_parent.Get() && before->GetNumChildren() == 0) {
        const std::uint32_t oid = before->GetOID();
        before->SettleLinks();
        DeleteParentlessSince(oid - 1, oid);
    }
    return true;
}

// A child joins its parent as soon as its "Parent" value is read, which may be before the children
// listed ahead of it arrive; one pass puts the listed children in list order, the others after them.
void TreeNode::PlaceListedChildren()
{
    if (!m_children)
        return;
    const std::unique_ptr<ChildArray::Listed> listed = m_children->TakeListed();
    if (!listed)
        return;
    const auto count = static_cast<std::size_t>(m_children->Size());
    std::vector<TreeNode*> order;
    order.reserve(count);
    std::vector<bool> placed(count, false);
    for (const ChildArray::ListedChild& entry : listed->children) {
        // While no child moved, each listed one is still a child where it was listed.
        TreeNode* child = entry.child;
        std::size_t index = entry.index;
        if (listed->moved) {
            child = DynCast<TreeNode>(Base::GetObjectA(entry.oid));
            if (!child || child->m_parent.Get() != this)
                continue;
            index = m_children->IndexOf(child);
        }
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
