// Reads arbitrary bytes as a compressed and as a plain property stream of object records. A tree of
// library classes that was read must write and read back as the same tree; nothing the reads made may
// outlive what they handed out.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "FuzzClasses.h"
#include "TreeDescription.h"
#include "document/DataModelLibrary.h"
#include "foundation/Base.h"
#include "foundation/BaseCollection.h"
#include "foundation/InternalBase.h"
#include "foundation/TreeNode.h"
#include "platform/Archive.h"
#include "support/RecordStream.h"
#include "support/StreamValues.h"

using namespace Tavrel;

namespace {

// Deletes what the records handed out and everything reachable from it: a node goes with its
// subtree, and references held by the test classes and collection members that no tree adopted go
// too. References are followed only to objects made by this input that are still alive, since a
// record keeps plain pointers.
void Release(const std::vector<Base*>& records, std::uint32_t lastOIDBefore)
{
    std::unordered_set<const Base*> made;
    for (std::uint32_t oid = lastOIDBefore + 1; oid <= Base::GetLastOID(); ++oid) {
        if (const Base* const object = Base::GetObjectA(oid))
            made.insert(object);
    }
    std::vector<std::pair<Base*, std::uint32_t>> roots;
    std::unordered_set<const Base*> seen;
    std::vector<Base*> pending(records);
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
        roots.emplace_back(top, top->GetOID());
        std::vector<Base*> walk{top};
        while (!walk.empty()) {
            Base* const current = walk.back();
            walk.pop_back();
            if (auto* const tree = DynCast<TreeNode>(current)) {
                for (int i = 0; i < tree->GetNumChildren(); ++i)
                    walk.push_back(tree->GetChild(i));
            }
            if (const auto* const collection = DynCast<BaseCollection>(current)) {
                POSITION position = collection->GetStartPosition();
                while (position)
                    follow(collection->GetNext(position));
            }
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
    for (const auto& [root, oid] : roots) {
        if (Base::GetObjectA(oid) == root)
            delete root;
    }
}

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
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

// Writes each parentless tree of library classes the reads returned and reads it back.
void RoundTrip(const std::vector<Base*>& records, RecordStream::Form form)
{
    for (Base* record : records) {
        auto* const top = DynCast<TreeNode>(record);
        if (!top || top->GetParent())
            continue;
        if (HoldsTestClass(*top))
            continue;
        const std::vector<std::string> shape = DescribeTree(*top);
        const RecordStream::Bytes saved = RecordStream::Save(*top, form);
        const std::uint32_t lastOIDBefore = Base::GetLastOID();
        Base* back = nullptr;
        try {
            back = RecordStream::Load(saved, form);
        } catch (const ArchiveException&) {
            Check(false);
        }
        auto* const backTop = DynCast<TreeNode>(back);
        Check(backTop && DescribeTree(*backTop) == shape);
        Release({back}, lastOIDBefore);
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
    }
    // A record may have been deleted by a later one that failed: only live ones are written.
    std::vector<Base*> live;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (Base::GetObjectA(oids[i]) == records[i])
            live.push_back(records[i]);
    }
    RoundTrip(live, form);
    Release(records, lastOIDBefore);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (AttachDataModelDLL(), ClassRegistry::Register<StreamValues>(),
                               ClassRegistry::Register<FuzzTree>(), true);
    static_cast<void>(ready);
    const std::size_t live = CountLiveObjectsForTests();
    ReadAll(data, size, RecordStream::Form::Compressed);
    ReadAll(data, size, RecordStream::Form::Plain);
    // Whatever is still alive was made by the reads and is reachable from nothing they handed out.
    Check(CountLiveObjectsForTests() == live);
    return 0;
}
