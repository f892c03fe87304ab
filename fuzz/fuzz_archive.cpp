// Reads arbitrary bytes as a sequence of tagged object records through the archive, and as an array of
// object references.
#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

#include "FuzzClasses.h"
#include "Oracle.h"
#include "UnownedReferences.h"
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/InternalBase.h>
#include <tavrel/foundation/OIV.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

// Everything one input handed out: top-level records and the references nested in FuzzRecords. A
// model object is kept with its OID: a later record may take it as a child and delete it on failure.
struct Handed {
    PersistentObject* object;
    std::uint32_t oid;
};
std::vector<Handed>* g_read = nullptr;

// A record the archive deleted is no longer the reader's to free.
void Forget(const PersistentObject* record)
{
    if (g_read)
        std::erase_if(*g_read, [record](const Handed& handed) { return handed.oid == 0 && handed.object == record; });
}

void Keep(PersistentObject* object)
{
    if (object) {
        const auto* const base = dynamic_cast<const Base*>(object);
        g_read->push_back({object, base ? base->GetOID() : 0});
    }
}

// Deletes what the reads handed out. Framework records go once each. Model objects belong to their
// tree: each parentless node goes with its subtree, and so do the parentless objects that collections,
// animations and trajectories anywhere in those trees refer to (a record may name one no tree adopted);
// an object another one holds goes with that one.
void Release(const std::vector<Handed>& read)
{
    std::unordered_set<PersistentObject*> records;
    std::vector<std::pair<Base*, std::uint32_t>> roots;
    std::unordered_set<const Base*> seen;
    std::vector<Base*> pending;
    for (const Handed& handed : read) {
        if (handed.oid == 0)
            records.insert(handed.object);
        else if (Base* const live = Base::GetObjectA(handed.oid); live == handed.object)
            pending.push_back(live);
    }
    while (!pending.empty()) {
        Base* const object = pending.back();
        pending.pop_back();
        TreeNode* node = DynCast<TreeNode>(object);
        // An object held by another one (a space group's operator) goes with its holder.
        if (!node && object->HasOwner())
            continue;
        while (node && node->GetParent())
            node = node->GetParent();
        Base* const top = node ? node : object;
        if (!seen.insert(top).second)
            continue;
        roots.emplace_back(top, top->GetOID());
        if (!node)
            continue;
        std::vector<TreeNode*> walk{node};
        while (!walk.empty()) {
            TreeNode* const current = walk.back();
            walk.pop_back();
            for (int i = 0; i < current->GetNumChildren(); ++i)
                walk.push_back(current->GetChild(i));
            VisitUnownedReferences(*current, [&pending](Base* reference) { pending.push_back(reference); });
        }
    }
    for (PersistentObject* record : records)
        delete record;
    // A deleted tree may notify others; delete each root only while it is still the object it was.
    for (const auto& [root, oid] : roots) {
        if (Base::GetObjectA(oid) == root)
            delete root;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (AttachDataModelDLL(), RuntimeClass::Register(FuzzRecord::GetThisClass()),
                               FuzzRecord::onRead = &Keep, FuzzRecord::onDelete = &Forget, true);
    static_cast<void>(ready);
    const std::size_t live = CountLiveObjectsForTests();
    const std::uint32_t lastOIDAtStart = Base::GetLastOID();
    std::vector<Handed> read;
    g_read = &read;
    {
        Archive archive(data, size);
        try {
            while (archive.GetRemaining() > 0)
                Keep(archive.ReadObject());
        } catch (const ArchiveException&) {
            // A refused read has freed what it made and nothing took.
        }
    }
    g_read = nullptr;
    Release(read);
    {
        Archive archive(data, size);
        OIV::Array references;
        try {
            references.Serialize(archive);
        } catch (const ArchiveException&) {
            // Refused: the array keeps what it had.
        }
    }
    // Whatever is still alive was made by the reads and is reachable from nothing they handed out.
    CheckNothingOutlives(live, lastOIDAtStart, "objects the reads made outlive them");
    return 0;
}
