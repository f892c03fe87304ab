// Reads arbitrary bytes as a sequence of tagged object records through the archive.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_set>

#include "foundation/Base.h"
#include "document/DataModelLibrary.h"
#include "platform/Archive.h"

using namespace Tavrel;

namespace {

// Records read by one input that are not model objects; each is deleted once, whatever referred to it.
// Model objects are swept by OID instead, since a later record may adopt an earlier one as a child.
std::unordered_set<PersistentObject*>* g_read = nullptr;

void Keep(PersistentObject* object)
{
    if (object && !dynamic_cast<Base*>(object))
        g_read->insert(object);
}

// A record holding a number, a string and two nested references, as model classes do.
class FuzzRecord : public PersistentObject {
public:
    static const RuntimeClass& GetThisClass() noexcept
    {
        static const RuntimeClass record{"FuzzRecord", RuntimeClass::VersionableSchema | 13u, &Create,
                                         &PersistentObject::GetThisClass()};
        return record;
    }
    static PersistentObject* Create() { return new FuzzRecord; }
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }

    void Serialize(Archive& archive) override
    {
        std::int32_t value = 0;
        std::string text;
        archive >> value >> text;
        const std::uint32_t count = archive.ReadCount(2);
        for (std::uint32_t i = 0; i < count && i < 2; ++i) {
            Keep(archive.ReadObject());
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (AttachDataModelDLL(), RuntimeClass::Register(FuzzRecord::GetThisClass()), true);
    static_cast<void>(ready);
    std::unordered_set<PersistentObject*> read;
    g_read = &read;
    const std::uint32_t before = Base::GetLastOID();
    Archive archive(data, size);
    try {
        while (archive.GetRemaining() > 0)
            Keep(archive.ReadObject());
    } catch (const ArchiveException&) {
    }
    for (PersistentObject* object : read)
        delete object;
    // Deleting a node takes its children with it, so later OIDs may already be gone.
    for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid)
        delete Base::GetObjectA(oid);
    g_read = nullptr;
    return 0;
}
