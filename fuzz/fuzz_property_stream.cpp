// Reads arbitrary bytes as a compressed and as a plain property stream of object records.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/Base.h"
#include "foundation/ClassRegistry.h"
#include "foundation/CompressedPropertyArchive.h"
#include "document/DataModelLibrary.h"
#include "foundation/PropertyArchive.h"
#include "foundation/PropertyPass.h"
#include "foundation/TreeNode.h"
#include "platform/Archive.h"
#include "StreamValues.h"

using namespace Tavrel;

namespace {

// A tree node with an extra reference on top of the tree level.
class FuzzTree : public TreeNode {
    TAVREL_DECLARE_CLASS(FuzzTree, TreeNode)
public:
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Object("Extra", extra);
        if (pass.Is(PropertyArchive::MethodAfter))
            archive.FinishObject(this);
    }

    Base* extra = nullptr;

protected:
    FuzzTree() = default;
    FuzzTree(const FuzzTree&) = default;
};
TAVREL_IMPLEMENT_CLASS(FuzzTree, ClassKind::Creatable)

void ReadAll(const std::uint8_t* data, std::size_t size, bool compressed)
{
    const std::uint32_t before = Base::GetLastOID();
    {
        Archive archive(data, size);
        std::unique_ptr<PropertyArchive> stream;
        if (compressed)
            stream = std::make_unique<CompressedPropertyArchive>(archive);
        else
            stream = std::make_unique<PropertyArchive>(archive);
        try {
            for (int records = 0; records < 16 && archive.GetRemaining() > 0; ++records)
                Catalog::ReadProperties(*stream);
        } catch (const ArchiveException&) {
        }
    }
    // What the reads kept belongs to this harness; a node goes with its parent.
    for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid)
        delete Base::GetObjectA(oid);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = (AttachDataModelDLL(), ClassRegistry::Register<StreamValues>(),
                               ClassRegistry::Register<FuzzTree>(), true);
    static_cast<void>(ready);
    ReadAll(data, size, true);
    ReadAll(data, size, false);
    return 0;
}
