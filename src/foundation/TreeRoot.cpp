#include <tavrel/foundation/TreeRoot.h>

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/ClassTypeEnumerator.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/FilterVisible.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(TreeRoot)

namespace {

using SelectionSetType = TreeRoot::SelectionSetType;

constexpr int PrefetchDistance = 16;

// Visits the nodes below top in pre-order, children in index order, while visit returns true. The
// children are read by index as the walk goes, from an explicit stack.
template <class Visit>
void VisitBelow(const TreeNode& top, Visit&& visit)
{
    // Most nodes joining or leaving a tree are leaves: no stack for them.
    if (top.GetNumChildren() == 0)
        return;
    std::vector<std::pair<const TreeNode*, int>> stack{{&top, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->GetNumChildren()) {
            stack.pop_back();
            continue;
        }
        TreeNode* const child = node->GetChild(next++);
        // Fetching a sibling a few places ahead hides the memory latency of walking wide trees whose
        // nodes are out of the cache.
        if (const TreeNode* const ahead = node->GetChild(next + PrefetchDistance))
            PrefetchObject(ahead);
        if (!visit(child))
            return;
        stack.emplace_back(child, 0);
    }
}

// The same over the Objects below top; other tree nodes are walked through.
template <class Visit>
void VisitObjectsBelow(const TreeNode& top, Visit&& visit)
{
    VisitBelow(top, [&visit](TreeNode* node) {
        Object* const object = DynCast<Object>(node);
        return !object || visit(object);
    });
}

bool TakesSelected(const Object* object, SelectionSetType setType)
{
    if (!object->IsObjectSelected())
        return false;
    if (setType == SelectionSetType::All)
        return true;
    const TreeNode* const parent = object->TreeNode::GetParent();
    return parent && !parent->IsObjectSelected();
}

bool TakesVisible(const Object* object, SelectionSetType setType)
{
    if (!object->IsVisible())
        return false;
    if (setType == SelectionSetType::All)
        return true;
    const Object* const parent = object->GetParent();
    return parent && !parent->IsVisible();
}

// IsA one of the types; an empty list takes every class.
bool OfClasses(const Object* object, const ClassTypeArray& types)
{
    if (types.empty())
        return true;
    for (const std::uint32_t type : types) {
        if (object->IsA(type))
            return true;
    }
    return false;
}

template <class Test>
bool AnyBelow(const TreeNode& top, Test&& test)
{
    bool found = false;
    VisitObjectsBelow(top, [&](Object* object) { return !(found = test(object)); });
    return found;
}

template <class Test>
int CountBelow(const TreeNode& top, Test&& test)
{
    int count = 0;
    VisitObjectsBelow(top, [&](Object* object) {
        count += test(object) ? 1 : 0;
        return true;
    });
    return count;
}

template <class Test>
bool AddBelow(const TreeNode& top, BaseCollection& collection, Test&& test)
{
    VisitObjectsBelow(top, [&](Object* object) {
        if (test(object))
            collection.Add(object);
        return true;
    });
    return true;
}

} // namespace

// ---- Construction and copies

TreeRoot::TreeRoot()
{
    NodeInserted(this, false);
}

// The children leave while the root is still whole, so their LIDs leave the list and the callbacks
// of their deletion events meet a complete root.
TreeRoot::~TreeRoot()
{
    DeleteChildren();
}

void TreeRoot::DeepenShallowCopy()
{
    m_lids.Clear();
    Superclass::DeepenShallowCopy();
    DoNotify(classType, EventCopyComplete, nullptr, nullptr);
}

// ---- Logical identifiers

void TreeRoot::NodeInserted(TreeNode* node, bool recursive)
{
    if (!node)
        return;
    AddObjectLid(node);
    const bool whole = node == this && recursive;
    if (whole)
        m_loadedThrough = 0;
    if (recursive && !(whole && EnterLoadedNumbers())) {
        VisitBelow(*node, [this](TreeNode* below) {
            AddObjectLid(below);
            return true;
        });
    }
    if (whole)
        StopCollecting(LoadNumbering::Idle);
}

void TreeRoot::NodeRemoved(TreeNode* node, bool recursive)
{
    if (!node)
        return;
    // Outside a load a removal leaves the root idle.
    if (m_loadNumbering.Get() != LoadNumbering::Idle)
        StopCollecting(LoadNumbering::Walking);
    m_loadedThrough = 0;
    RemoveObjectLid(node);
    if (recursive) {
        VisitBelow(*node, [this](TreeNode* below) {
            RemoveObjectLid(below);
            return true;
        });
    }
}

void TreeRoot::NodeLoaded(TreeNode* node, const PropertyArchive* stream)
{
    // While collecting, a record ending takes the next place in the chunk; its OID most often
    // continues the run.
    if (std::uint32_t*& cursor = m_loadedCursor.Get(); node && stream && cursor != m_loadedEnd.Get()) [[likely]] {
        if (const std::uint32_t oid = node->GetOID(); oid == m_loadedNextOid.Get()) [[likely]] {
            *cursor++ = node->GetLID();
            m_loadedNextOid = oid + m_loadedStep.Get();
            return;
        }
    }
    TakeLoaded(node, stream);
}

void TreeRoot::TakeLoaded(TreeNode* node, const PropertyArchive* stream)
{
    if (!node)
        return;
    // Collecting starts with a record ending below the root while the root's own record is read; a
    // node joining first leaves the numbering to the pass.
    if (m_loadNumbering.Get() == LoadNumbering::Idle) {
        if (stream && !stream->IsRecordOpen(*this))
            return;
        m_loadNumbering = stream ? LoadNumbering::Collecting : LoadNumbering::Walking;
    }
    if (m_loadNumbering.Get() != LoadNumbering::Collecting)
        return;
    if (stream)
        AppendLoaded(node->GetLID(), node->GetOID());
    else
        m_joined.Get().push_back(node);
}

// A chunk's room is not filled in: only the entries taken are read.
void TreeRoot::AppendLoaded(std::uint32_t lid, std::uint32_t oid)
{
    std::uint32_t*& cursor = m_loadedCursor.Get();
    auto& chunks = m_loadedChunks.Get();
    if (cursor == m_loadedEnd.Get()) {
        chunks.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(LoadedChunkSize));
        cursor = chunks.back().get();
        m_loadedEnd = cursor + LoadedChunkSize;
    }
    auto& runs = m_loadedRuns.Get();
    if (runs.empty() || oid != m_loadedNextOid.Get()) {
        // A run of one entry takes its step from the second; a new run guesses the last run's.
        if (const std::size_t index = LoadedCount(); !runs.empty() && runs.back().start + 1 == index)
            runs.back().step = oid - runs.back().oid;
        else
            runs.push_back({index, oid, m_loadedStep.Get()});
        m_loadedStep = runs.back().step;
    }
    m_loadedNextOid = oid + m_loadedStep.Get();
    *cursor++ = lid;
}

std::size_t TreeRoot::LoadedCount() const
{
    return m_loadedChunks.Get().size() * LoadedChunkSize - static_cast<std::size_t>(m_loadedEnd.Get() - m_loadedCursor.Get());
}

// Reads the collected entries in order, a block at a time, each OID rebuilt from its run.
class TreeRoot::LoadedReader {
public:
    static constexpr std::size_t BlockSize = 512;

    LoadedReader(const TreeRoot& root, std::size_t count) : m_root(root), m_count(count) {}

    // The index of the entry after the last block.
    std::size_t Position() const { return m_next; }

    // The next entries, up to a block and short of `limit`; empty at the end.
    std::span<LoadedNode> Next(std::size_t limit)
    {
        const std::vector<LoadedRun>& runs = m_root.m_loadedRuns.Get();
        limit = std::min(limit, m_count);
        std::size_t filled = 0;
        while (filled < BlockSize && m_next < limit) {
            while (m_run + 1 < runs.size() && runs[m_run + 1].start <= m_next)
                ++m_run;
            const std::size_t runEnd = m_run + 1 < runs.size() ? runs[m_run + 1].start : m_count;
            const std::size_t inChunk = m_next % LoadedChunkSize;
            const std::size_t n = std::min({BlockSize - filled, std::min(runEnd, limit) - m_next, LoadedChunkSize - inChunk});
            const std::uint32_t* const lids = m_root.m_loadedChunks.Get()[m_next / LoadedChunkSize].get() + inChunk;
            const std::uint32_t step = runs[m_run].step;
            std::uint32_t oid = runs[m_run].oid + step * static_cast<std::uint32_t>(m_next - runs[m_run].start);
            LoadedNode* const out = m_block.data() + filled;
            for (std::size_t k = 0; k < n; ++k, oid += step)
                out[k] = {lids[k], oid};
            filled += n;
            m_next += n;
        }
        return {m_block.data(), filled};
    }

private:
    const TreeRoot& m_root;
    std::size_t m_count;
    std::size_t m_next = 0;
    std::size_t m_run = 0;
    std::array<LoadedNode, BlockSize> m_block;
};

// Only loads report this, also before the first record ends below the root: collecting begun after
// it would miss the nodes the change brought into the tree, so the load is left to the pass.
void TreeRoot::LoadedTreeChanged()
{
    StopCollecting(LoadNumbering::Walking);
}

bool TreeRoot::EnterLoadedNumbers()
{
    if (m_loadNumbering.Get() != LoadNumbering::Collecting)
        return false;
    for (const TreeNode* joined : m_joined.Get())
        AppendLoaded(joined->GetLID(), joined->GetOID());
    const std::size_t count = LoadedCount();
    // The pass keeps every number that is free and distinct, numbers the nodes numbered meanwhile
    // (joining a parent whose record had ended) again as their own, and moves the counter past the
    // highest: in any order the same. The last number wraps the counter, so it is left to the pass.
    const std::uint32_t counter = m_lids.GetNextLid();
    // The entries whose number held their OID already: not entered here, so not undone.
    std::vector<std::size_t> held;
    LoadedReader reader(*this, count);
    for (std::span<LoadedNode> block; !(block = reader.Next(count)).empty();) {
        const std::size_t base = reader.Position() - block.size();
        for (std::size_t i = 0; (i += m_lids.AddObjectLidsIfFree(block.subspan(i))) < block.size(); ++i) {
            const LoadedNode& entry = block[i];
            if (entry.lid != 0 && m_lids.GetLogicalObject(entry.lid) == entry.oid) {
                held.push_back(base + i);
                continue;
            }
            LoadedReader undo(*this, count);
            auto next = held.begin();
            for (std::span<LoadedNode> entered; !(entered = undo.Next(base + i)).empty();) {
                const std::size_t at = undo.Position() - entered.size();
                for (std::size_t j = 0; j < entered.size(); ++j) {
                    if (next != held.end() && *next == at + j)
                        ++next;
                    else
                        m_lids.RemoveObjectLid(entered[j].lid, entered[j].oid);
                }
            }
            m_lids.SetNextLid(counter);
            return false;
        }
    }
    m_loadedThrough = held.empty() && LoadedFillRoot(count) ? GetOID() + static_cast<std::uint32_t>(count) : 0;
    return true;
}

// Each OID marks its offset from the root's; a run stepping by one marks its offsets at once.
bool TreeRoot::LoadedFillRoot(std::size_t count) const
{
    const std::uint32_t first = GetOID();
    std::vector<std::uint64_t> seen((count + 63) / 64);
    // Marks the n > 0 offsets from `offset` on; false when one was marked already.
    const auto mark = [&seen](std::size_t offset, std::size_t n) {
        const std::size_t last = offset + n - 1;
        std::size_t word = offset / 64;
        std::uint64_t mask = ~std::uint64_t{0} << (offset % 64);
        for (; word < last / 64; ++word, mask = ~std::uint64_t{0}) {
            if (seen[word] & mask)
                return false;
            seen[word] |= mask;
        }
        mask &= ~std::uint64_t{0} >> (63 - last % 64);
        if (seen[word] & mask)
            return false;
        seen[word] |= mask;
        return true;
    };
    const std::vector<LoadedRun>& runs = m_loadedRuns.Get();
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const LoadedRun& run = runs[r];
        const std::size_t n = (r + 1 < runs.size() ? runs[r + 1].start : count) - run.start;
        const std::uint32_t offset = run.oid - first - 1;
        if (n == 1 || run.step == 1) {
            if (offset >= count || n > count - offset || !mark(offset, n))
                return false;
        } else if (run.step == UINT32_MAX) {
            if (offset >= count || offset + std::size_t{1} < n || !mark(offset + std::size_t{1} - n, n))
                return false;
        } else {
            for (std::size_t k = 0; k < n; ++k) {
                const std::uint32_t at = offset + run.step * static_cast<std::uint32_t>(k);
                if (at >= count || !mark(at, 1))
                    return false;
            }
        }
    }
    return true;
}

bool TreeRoot::HeldEveryObjectIn(std::uint32_t after, std::uint32_t last) const
{
    const std::uint32_t through = m_loadedThrough.Get();
    return through != 0 && after + 1 == GetOID() && last <= through;
}

void TreeRoot::StopCollecting(LoadNumbering next)
{
    m_loadNumbering = next;
    std::vector<std::unique_ptr<std::uint32_t[]>>().swap(m_loadedChunks.Get());
    m_loadedCursor = nullptr;
    m_loadedEnd = nullptr;
    std::vector<LoadedRun>().swap(m_loadedRuns.Get());
    std::vector<TreeNode*>().swap(m_joined.Get());
}

void TreeRoot::AddObjectLid(TreeNode* node)
{
    if (!node)
        return;
    if (node->GetLID() != 0) {
        AddObjectLidCopy(node);
        return;
    }
    std::uint32_t lid = m_lids.AddObjectLid(node->GetOID());
    // A copied root's own number is not in its list: once the counter has wrapped it may come round.
    if (lid != 0 && lid == GetLID() && node != this) [[unlikely]] {
        m_lids.RemoveObjectLid(lid, node->GetOID());
        lid = m_lids.AddObjectLid(node->GetOID());
    }
    if (lid != 0)
        node->SetLID(lid);
}

void TreeRoot::AddObjectLidCopy(TreeNode* node)
{
    if (!node)
        return;
    const std::uint32_t lid = m_lids.AddObjectLidCopy(node->GetLID(), node->GetOID());
    if (lid != node->GetLID())
        node->SetLID(lid);
}

void TreeRoot::RemoveObjectLid(TreeNode* node)
{
    if (!node)
        return;
    m_lids.RemoveObjectLid(node->GetLID(), node->GetOID());
    node->SetLID(0);
}

void TreeRoot::RewindLidCounter()
{
    const std::uint32_t largest = m_lids.GetLargestLid();
    if (largest != 0 && largest != UINT32_MAX && largest + 1 < m_lids.GetNextLid())
        m_lids.SetNextLid(largest + 1);
}

Object* TreeRoot::GetLogicalObject(std::uint32_t lid) const
{
    return Object::GetObjectA(m_lids.GetLogicalObject(lid));
}

// ---- Tree-wide state

void TreeRoot::Select(bool)
{
    const Watch self(this);
    Superclass::Select(true);
    if (self.alive)
        UnSelect(false);
}

void TreeRoot::SetVisible(bool)
{
    const Watch self(this);
    Superclass::SetVisible(true);
    if (self.alive)
        SetInvisible(false);
}

void TreeRoot::Empty()
{
    // The snapshot learns of children that callbacks delete meanwhile: they read as null.
    OrdCollection children;
    for (int i = 0; i < GetNumChildren(); ++i)
        children.Add(GetChild(i));
    for (int i = 0; i < children.GetSize(); ++i) {
        if (Object* const child = children.GetAt(i))
            Discard(child);
    }
}

void TreeRoot::BroadcastChange(int hint)
{
    ProcessEvent(this, classType, EventChangeBroadcast, nullptr, false, &hint);
}

// ---- Named collections

NamedCollection* TreeRoot::CreateNamedCollection(std::string_view name)
{
    const Watch self(this);
    auto* const collection = new NamedCollection(this, name);
    if (self.alive)
        GetSelectionSet(*collection, SelectionSetType::All);
    return collection;
}

NamedCollection* TreeRoot::FindNamedCollection(std::string_view name) const
{
    return DynCast<NamedCollection>(const_cast<TreeRoot*>(this)->FindDescendent(name, NamedCollection::classType));
}

// ---- Objects a command applies to

int TreeRoot::GetApplicableObjects(BaseCollection& collection)
{
    if (IsAnySelected())
        GetSelectionSet(collection, SelectionSetType::All);
    else
        collection.Add(DescendentIterator(this, FilterVisible(false, Filter::Include), false));
    return collection.GetNumItems();
}

int TreeRoot::GetApplicableObjects(BaseCollection& collection, std::uint32_t type)
{
    return GetApplicableObjects(collection, FilterType(type, Filter::Include));
}

int TreeRoot::GetApplicableObjects(BaseCollection& collection, const Filter& filter)
{
    const FilterVisible visible(filter, false, Filter::Include);
    if (IsAnySelected())
        GetSelectionSet(collection, visible, SelectionSetType::All);
    else
        collection.Add(DescendentIterator(this, visible, false));
    return collection.GetNumItems();
}

Object* TreeRoot::GetFirstOneOf(const Filter& filter)
{
    OrdCollection applicable;
    GetApplicableObjects(applicable, filter);
    if (Object* const first = applicable.GetAt(0))
        return first;
    Object* found = nullptr;
    VisitObjectsBelow(*this, [&](Object* object) {
        if (filter(object))
            found = object;
        return !found;
    });
    return found;
}

bool TreeRoot::CheckForObjects(const Filter& filter) const
{
    if (IsAnySelected())
        return IsAnySelected(filter);
    return AnyBelow(*this, [&](Object* object) { return filter(object); });
}

// ---- Selection queries

bool TreeRoot::IsAnySelected() const
{
    return AnyBelow(*this, [](const Object* object) { return TakesSelected(object, SelectionSetType::TopMost); });
}

bool TreeRoot::IsAnySelected(const Filter& filter) const
{
    return AnyBelow(*this, [&](Object* object) { return TakesSelected(object, SelectionSetType::All) && filter(object); });
}

int TreeRoot::GetNumSelected(SelectionSetType setType) const
{
    return CountBelow(*this, [=](const Object* object) { return TakesSelected(object, setType); });
}

int TreeRoot::GetNumSelected(std::uint32_t type, SelectionSetType setType) const
{
    return CountBelow(*this, [=](const Object* object) { return TakesSelected(object, setType) && object->IsA(type); });
}

int TreeRoot::GetNumSelected(const Filter& filter, SelectionSetType setType) const
{
    return CountBelow(*this, [&](Object* object) { return TakesSelected(object, setType) && filter(object); });
}

bool TreeRoot::GetSelectionSet(BaseCollection& collection, SelectionSetType setType) const
{
    return AddBelow(*this, collection, [=](const Object* object) { return TakesSelected(object, setType); });
}

bool TreeRoot::GetSelectionSet(BaseCollection& collection, const ClassTypeArray& classTypes,
                               SelectionSetType setType) const
{
    return AddBelow(*this, collection,
                    [&](const Object* object) { return TakesSelected(object, setType) && OfClasses(object, classTypes); });
}

bool TreeRoot::GetSelectionSet(BaseCollection& collection, std::uint32_t type, SelectionSetType setType) const
{
    return AddBelow(*this, collection,
                    [=](const Object* object) { return TakesSelected(object, setType) && object->IsA(type); });
}

bool TreeRoot::GetSelectionSet(BaseCollection& collection, const Filter& filter, SelectionSetType setType) const
{
    return AddBelow(*this, collection, [&](Object* object) { return TakesSelected(object, setType) && filter(object); });
}

bool TreeRoot::GetUnselectedSet(BaseCollection& collection, const ClassTypeArray& classTypes,
                                SelectionSetType setType) const
{
    return AddBelow(*this, collection,
                    [&](const Object* object) { return !(TakesSelected(object, setType) && OfClasses(object, classTypes)); });
}

void TreeRoot::GetSelectionSetOIDArray(OIDArray& oids) const
{
    oids.clear();
    VisitObjectsBelow(*this, [&](const Object* object) {
        if (object->IsObjectSelected())
            oids.push_back(object->GetOID());
        return true;
    });
}

// ---- Visibility queries

bool TreeRoot::IsAnyVisible() const
{
    return AnyBelow(*this, [](const Object* object) { return object->IsVisible(); });
}

bool TreeRoot::IsAnyVisible(const Filter& filter) const
{
    return AnyBelow(*this, [&](Object* object) { return object->IsVisible() && filter(object); });
}

int TreeRoot::GetNumVisible(SelectionSetType setType) const
{
    return CountBelow(*this, [=](const Object* object) { return TakesVisible(object, setType); });
}

int TreeRoot::GetNumVisible(std::uint32_t type, SelectionSetType setType) const
{
    return CountBelow(*this, [=](const Object* object) { return TakesVisible(object, setType) && object->IsA(type); });
}

int TreeRoot::GetNumVisible(const Filter& filter, SelectionSetType setType) const
{
    return CountBelow(*this, [&](Object* object) { return TakesVisible(object, setType) && filter(object); });
}

bool TreeRoot::GetVisibleSet(BaseCollection& collection, SelectionSetType setType) const
{
    return AddBelow(*this, collection, [=](const Object* object) { return TakesVisible(object, setType); });
}

bool TreeRoot::GetVisibleSet(BaseCollection& collection, std::uint32_t type, SelectionSetType setType) const
{
    return AddBelow(*this, collection,
                    [=](const Object* object) { return TakesVisible(object, setType) && object->IsA(type); });
}

bool TreeRoot::GetVisibleSet(BaseCollection& collection, const Filter& filter, SelectionSetType setType) const
{
    return AddBelow(*this, collection, [&](Object* object) { return TakesVisible(object, setType) && filter(object); });
}

bool TreeRoot::GetInvisibleSet(BaseCollection& collection, const ClassTypeArray& classTypes,
                               SelectionSetType setType) const
{
    return AddBelow(*this, collection,
                    [&](const Object* object) { return !(TakesVisible(object, setType) && OfClasses(object, classTypes)); });
}

void TreeRoot::GetVisibleSetOIDArray(OIDArray& oids) const
{
    oids.clear();
    VisitObjectsBelow(*this, [&](const Object* object) {
        if (object->IsVisible())
            oids.push_back(object->GetOID());
        return true;
    });
}

// ---- Class queries

namespace {

// Collects into output over the descendants of the root (the root first with includeRoot).
template <class Collector, class Output>
void CollectFromTree(const TreeRoot& root, Output& output, const Filter* filter, bool includeRoot)
{
    Collector enumerator(&output, filter);
    DescendentIterator walk(const_cast<TreeRoot*>(&root), includeRoot);
    walk.Enumerate(enumerator);
}

// Collects into output over the selected descendants of the root (those the filter accepts, with one).
template <class Collector, class Output>
void CollectFromSelection(const TreeRoot& root, Output& output, const Filter* filter)
{
    OrdCollection selected;
    if (filter)
        root.GetSelectionSet(selected, *filter, SelectionSetType::All);
    else
        root.GetSelectionSet(selected, SelectionSetType::All);
    Collector enumerator(&output, filter);
    selected.Enumerate(enumerator);
}

} // namespace

void TreeRoot::GetClasses(ClassTypeArray& classes, bool includeRoot) const
{
    CollectFromTree<ClassTypeEnumerator>(*this, classes, nullptr, includeRoot);
}

void TreeRoot::GetClasses(ClassTypeArray& classes, const Filter& filter, bool includeRoot) const
{
    CollectFromTree<ClassTypeEnumerator>(*this, classes, &filter, includeRoot);
}

void TreeRoot::GetClassNames(ClassNameArray& names, bool includeRoot) const
{
    CollectFromTree<ClassNameEnumerator>(*this, names, nullptr, includeRoot);
}

void TreeRoot::GetClassNames(ClassNameArray& names, const Filter& filter, bool includeRoot) const
{
    CollectFromTree<ClassNameEnumerator>(*this, names, &filter, includeRoot);
}

void TreeRoot::GetCommonClassNames(ClassNameArray& names, bool includeRoot) const
{
    CollectFromTree<CommonClassNameEnumerator>(*this, names, nullptr, includeRoot);
}

void TreeRoot::GetCommonClassNames(ClassNameArray& names, const Filter& filter, bool includeRoot) const
{
    CollectFromTree<CommonClassNameEnumerator>(*this, names, &filter, includeRoot);
}

void TreeRoot::GetSelectedClasses(ClassTypeArray& classes) const
{
    CollectFromSelection<ClassTypeEnumerator>(*this, classes, nullptr);
}

void TreeRoot::GetSelectedClasses(ClassTypeArray& classes, const Filter& filter) const
{
    CollectFromSelection<ClassTypeEnumerator>(*this, classes, &filter);
}

void TreeRoot::GetSelectedClassNames(ClassNameArray& names) const
{
    CollectFromSelection<ClassNameEnumerator>(*this, names, nullptr);
}

void TreeRoot::GetSelectedClassNames(ClassNameArray& names, const Filter& filter) const
{
    CollectFromSelection<ClassNameEnumerator>(*this, names, &filter);
}

void TreeRoot::GetSelectedCommonClassNames(ClassNameArray& names) const
{
    CollectFromSelection<CommonClassNameEnumerator>(*this, names, nullptr);
}

void TreeRoot::GetSelectedCommonClassNames(ClassNameArray& names, const Filter& filter) const
{
    CollectFromSelection<CommonClassNameEnumerator>(*this, names, &filter);
}

} // namespace Tavrel
