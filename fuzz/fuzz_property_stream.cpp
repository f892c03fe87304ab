// Reads arbitrary bytes as a compressed and as a plain property stream of object records.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Point3d.h"
#include "foundation/Base.h"
#include "foundation/ClassRegistry.h"
#include "foundation/CompressedPropertyArchive.h"
#include "foundation/DataModelLibrary.h"
#include "foundation/PropertyArchive.h"
#include "foundation/PropertyPass.h"
#include "foundation/TreeNode.h"
#include "platform/Archive.h"

using namespace Tavrel;

namespace {

// A record with a value of every storage type and references that it does not own.
class FuzzRecord : public Base {
    TAVREL_DECLARE_CLASS(FuzzRecord, Base)
public:
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        static PropertyLevel level;
        PropertyPass pass(archive, level, *this);
        if (!pass)
            return;
        pass.Value<Storage::StorageChar>("Char", c);
        pass.Value<Storage::StorageUnsignedChar>("UChar", uc);
        pass.Value<Storage::StorageShort>("Short", s);
        pass.Value<Storage::StorageUnsignedShort>("UShort", us);
        pass.Value<Storage::StorageInt>("Int", i);
        pass.Value<Storage::StorageUnsignedInt>("UInt", ui);
        pass.Value<Storage::StorageLong>("Long", l);
        pass.Value<Storage::StorageUnsignedLong>("ULong", ul);
        pass.Value<Storage::StorageFloat>("Float", f);
        pass.Value<Storage::StorageDouble>("Double", d);
        pass.Value<Storage::StorageBool>("Bool", b);
        pass.Value<Storage::StorageString>("Text", text);
        pass.Archived("Point", point);
        pass.Object("Next", next);
        pass.Pair("Pair", first, second);
        pass.Array<Storage::StorageObject>("Items", items);
        pass.Array<Storage::StorageInt>("Ints", ints);
        pass.Array<Storage::StorageString>("Texts", texts);
        pass.Array<Storage::StorageArchive>("Points", points);
    }

    std::int8_t c = 0;
    std::uint8_t uc = 0;
    std::int16_t s = 0;
    std::uint16_t us = 0;
    std::int32_t i = 0;
    std::uint32_t ui = 0;
    std::int32_t l = 0;
    std::uint32_t ul = 0;
    float f = 0.0f;
    double d = 0.0;
    bool b = false;
    std::string text;
    Point3d point;
    Base* next = nullptr;
    Base* first = nullptr;
    Base* second = nullptr;
    std::vector<Base*> items;
    std::vector<std::int32_t> ints;
    std::vector<std::string> texts;
    std::vector<Point3d> points;

protected:
    FuzzRecord() = default;
    FuzzRecord(const FuzzRecord&) = default;
};
TAVREL_IMPLEMENT_CLASS(FuzzRecord, ClassKind::Creatable)

// A tree node with an extra reference on top of the tree level.
class FuzzTree : public TreeNode {
    TAVREL_DECLARE_CLASS(FuzzTree, TreeNode)
public:
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        static PropertyLevel level;
        PropertyPass pass(archive, level, *this);
        if (!pass)
            return;
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
    static const bool ready = (AttachDataModelDLL(), ClassRegistry::Register<FuzzRecord>(),
                               ClassRegistry::Register<FuzzTree>(), true);
    static_cast<void>(ready);
    ReadAll(data, size, true);
    ReadAll(data, size, false);
    return 0;
}
