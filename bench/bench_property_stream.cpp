// Writing and reading a compressed property stream of 10^6 object records; reports bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

// A record shaped like a small model object: a few values and two references.
class BenchRecord : public Base {
    TAVREL_DECLARE_CLASS(BenchRecord, Base)
public:
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Value<Storage::StorageString>("Label", label);
        pass.Value<Storage::StorageInt>("Bench Index", index);
        pass.Value<Storage::StorageFloat>("Bench Weight", weight);
        pass.Value<Storage::StorageBool>("Selected", selected);
        pass.Object("Parent", parent);
        pass.Array<Storage::StorageObject>("Children", children);
    }

    std::string label;
    std::int32_t index = 0;
    float weight = 0.0f;
    bool selected = false;
    BenchRecord* parent = nullptr;
    std::vector<BenchRecord*> children;

protected:
    BenchRecord() = default;
    BenchRecord(const BenchRecord&) = default;
};
TAVREL_IMPLEMENT_CLASS(BenchRecord, ClassKind::Creatable)

constexpr int RecordCount = 1'000'000;

// A root with 10^6 children, each written inline in the root's "Children" array.
struct Tree {
    Tree()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<BenchRecord>();
        root.reset(ClassAccess::New<BenchRecord>());
        root->label = "root";
        nodes.reserve(RecordCount - 1);
        for (int i = 1; i < RecordCount; ++i) {
            nodes.emplace_back(ClassAccess::New<BenchRecord>());
            BenchRecord* node = nodes.back().get();
            node->label = "Atom" + std::to_string(i % 1000);
            node->index = i;
            node->weight = static_cast<float>(i) * 0.5f;
            node->selected = (i & 1) != 0;
            node->parent = root.get();
            root->children.push_back(node);
        }
    }

    std::vector<std::uint8_t> Write() const
    {
        Archive archive;
        {
            CompressedPropertyArchive stream(archive);
            stream.AddOIDMapEntry(root->GetOID(), root->GetOID());
            root->WriteProperties(stream, root->GetOID());
        }
        return archive.GetBuffer();
    }

    std::unique_ptr<BenchRecord> root;
    std::vector<std::unique_ptr<BenchRecord>> nodes;
};

Tree& GetTree()
{
    static Tree tree;
    return tree;
}

void WriteCompressedStream(benchmark::State& state)
{
    const Tree& tree = GetTree();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> stream = tree.Write();
        bytes = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["records"] = RecordCount;
    state.counters["stream_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(WriteCompressedStream)->Unit(benchmark::kMillisecond);

void ReadCompressedStream(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes = GetTree().Write();
    for (auto _ : state) {
        auto* root = static_cast<BenchRecord*>(nullptr);
        {
            Archive archive(bytes);
            CompressedPropertyArchive stream(archive);
            root = static_cast<BenchRecord*>(Catalog::ReadProperties(stream));
        }
        state.PauseTiming();
        for (BenchRecord* child : root->children)
            delete child;
        delete root;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["records"] = RecordCount;
}
BENCHMARK(ReadCompressedStream)->Unit(benchmark::kMillisecond);

} // namespace
