// Reads arbitrary bytes as a compressed and as a plain property stream of object records. A tree of
// library classes that was read must write and read back as the same tree; nothing the reads made may
// outlive what they handed out.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "FuzzClasses.h"
#include "Oracle.h"
#include "UnownedReferences.h"
#include "support/TreeDescription.h"
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"
#include "support/StreamValues.h"

using namespace Tavrel;

namespace {

// The objects the test classes took while reading, with their OIDs: a record that holds one may be
// deleted by the reader when a later value fails, leaving the object to this target.
std::vector<std::pair<Base*, std::uint32_t>> g_taken;

void Take(Base* object)
{
    if (object)
        g_taken.emplace_back(object, object->GetOID());
}

// The objects this input made (those after lastOIDBefore that are alive).
std::unordered_set<const Base*> MadeSince(std::uint32_t lastOIDBefore)
{
    std::unordered_set<const Base*> made;
    for (std::uint32_t oid = lastOIDBefore + 1; oid <= Base::GetLastOID(); ++oid) {
        if (const Base* const object = Base::GetObjectA(oid))
            made.insert(object);
    }
    return made;
}

// The top of each tree that the objects given reach, once: a node reaches its subtree, and the
// references held by the test classes, collections, monitors, bonds, animations and trajectories that
// no tree adopted reach further. References are followed only to objects this input made that are
// still alive, since a record keeps plain pointers.
template <class VisitTop>
void ReachTops(std::vector<Base*> pending, const std::unordered_set<const Base*>& made, VisitTop&& visitTop)
{
    std::unordered_set<const Base*> seen;
    const auto follow = [&](Base* object) {
        if (made.contains(object))
            pending.push_back(object);
    };
    while (!pending.empty()) {
        Base* const object = pending.back();
        pending.pop_back();
        if (!made.contains(object))
            continue;
        TreeNode* node = DynCast<TreeNode>(object);
        while (node && node->GetParent())
            node = node->GetParent();
        Base* const top = node ? node : object;
        if (!seen.insert(top).second)
            continue;
        visitTop(top);
        std::vector<Base*> walk{top};
        while (!walk.empty()) {
            Base* const current = walk.back();
            walk.pop_back();
            if (auto* const tree = DynCast<TreeNode>(current)) {
                for (int i = 0; i < tree->GetNumChildren(); ++i)
                    walk.push_back(tree->GetChild(i));
            }
            VisitUnownedReferences(*current, follow);
            if (const auto* const fuzzTree = DynCast<FuzzTree>(current))
                follow(fuzzTree->extra);
            if (const auto* const values = DynCast<StreamValues>(current)) {
                for (Base* reference : {values->object, values->first, values->second})
                    follow(reference);
                for (Base* reference : values->objects)
                    follow(reference);
            }
        }
    }
}

// Deletes what the records handed out and everything reachable from it, and what the test classes
// took.
using Taken = std::vector<std::pair<Base*, std::uint32_t>>;

void Release(const std::vector<Base*>& records, const Taken& taken, std::uint32_t lastOIDBefore)
{
    std::vector<Base*> pending(records);
    for (const auto& [object, oid] : taken) {
        if (Base::GetObjectA(oid) == object)
            pending.push_back(object);
    }
    std::vector<std::pair<Base*, std::uint32_t>> roots;
    ReachTops(std::move(pending), MadeSince(lastOIDBefore),
              [&roots](Base* top) { roots.emplace_back(top, top->GetOID()); });
    for (const auto& [root, oid] : roots) {
        if (Base::GetObjectA(oid) == root)
            delete root;
    }
}

// True when the subtree holds a test class, whose plain pointers may dangle after a hostile read.
bool HoldsTestClass(TreeNode& top)
{
    std::vector<TreeNode*> walk{&top};
    while (!walk.empty()) {
        TreeNode* const node = walk.back();
        walk.pop_back();
        if (IsA<FuzzTree>(node))
            return true;
        for (int i = 0; i < node->GetNumChildren(); ++i)
            walk.push_back(node->GetChild(i));
    }
    return false;
}

// Writes a tree and reads it back as a tree node; a refusal or any other result fails, naming the tree's
// top and the form.
TreeNode* Reread(TreeNode& top, RecordStream::Form form)
{
    const RecordStream::Bytes saved = RecordStream::Save(top, form);
    const char* failure = "a tree reads back as no tree node";
    try {
        if (auto* const copy = DynCast<TreeNode>(RecordStream::Load(saved, form)))
            return copy;
    } catch (const ArchiveException&) {
        failure = "a saved tree is refused when read back";
    }
    std::fprintf(stderr, "tree of %s, %zu bytes in the %s form\n", top.GetClassNameA(), saved.size(),
                 form == RecordStream::Form::Compressed ? "compressed" : "plain");
    Check(false, failure);
    return nullptr;
}

// Each parentless tree of library classes the reads returned writes and reads back as the same tree,
// and so does that copy, user properties included.
void RoundTrip(const std::vector<Base*>& records, RecordStream::Form form)
{
    for (Base* record : records) {
        auto* const top = DynCast<TreeNode>(record);
        if (!top || top->GetParent() || HoldsTestClass(*top))
            continue;
        const std::uint32_t lastOIDBefore = Base::GetLastOID();
        TreeNode* const first = Reread(*top, form);
        CheckSameTree(DescribeTree(*top, false), DescribeTree(*first, false), "a read tree saved and read back differs");
        TreeNode* const second = Reread(*first, form);
        CheckSameTree(DescribeTree(*first, true), DescribeTree(*second, true), "a reread tree saved and read again differs");
        Release({first, second}, std::exchange(g_taken, {}), lastOIDBefore);
    }
}

void ReadAll(const std::uint8_t* data, std::size_t size, RecordStream::Form form)
{
    const std::uint32_t lastOIDBefore = Base::GetLastOID();
    std::vector<Base*> records;
    std::vector<std::uint32_t> oids;
    {
        Archive archive(data, size);
        const std::unique_ptr<PropertyArchive> stream = RecordStream::Open(archive, form);
        try {
            for (int i = 0; i < 16 && archive.GetRemaining() > 0; ++i) {
                if (Base* const record = Catalog::ReadProperties(*stream)) {
                    records.push_back(record);
                    oids.push_back(record->GetOID());
                }
            }
        } catch (const ArchiveException&) {
        }
        // What the records reach before the stream's finishing pass is theirs: the pass may delete
        // what alone reached it (a bond without two ends, the only holder of its end).
        ReachTops(records, MadeSince(lastOIDBefore), &Take);
    }
    const Taken taken = std::exchange(g_taken, {});
    // A record may have been deleted by a later one that failed: only live ones are written.
    std::vector<Base*> live;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (Base::GetObjectA(oids[i]) == records[i])
            live.push_back(records[i]);
    }
    RoundTrip(live, form);
    Release(records, taken, lastOIDBefore);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (AttachDataModelDLL(), ClassRegistry::Register<StreamValues>(),
                               ClassRegistry::Register<FuzzTree>(), StreamValues::onTake = &Take,
                               FuzzTree::onTake = &Take, true);
    static_cast<void>(ready);
    const std::size_t live = CountLiveObjectsForTests();
    const std::uint32_t lastOIDBefore = Base::GetLastOID();
    ReadAll(data, size, RecordStream::Form::Compressed);
    ReadAll(data, size, RecordStream::Form::Plain);
    // Whatever is still alive was made by the reads and is reachable from nothing they handed out.
    CheckNothingOutlives(live, lastOIDBefore, "objects the reads made outlive them");
    return 0;
}
