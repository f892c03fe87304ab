// Saving and loading documents of 10^4, 10^5 and 10^6 positioned objects with labels, colours and
// positions, beside a plain hand-written writer and reader of the same bytes: objects per second, ns
// and heap allocations per object. Run each benchmark in a process of its own (--benchmark_filter),
// so that none starts on memory another one freed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "BenchSupport.h"
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

namespace {
std::atomic<std::size_t> g_allocations{0};
} // namespace

// Every heap allocation of the process is counted.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

using namespace Tavrel;

namespace {

constexpr int AtomsPerGroup = 1000;

// A root with groups of 1000 atoms, each with a label, a colour and a position; count atoms in all.
struct Document {
    explicit Document(int count) : groups(count / AtomsPerGroup), objects(groups * (AtomsPerGroup + 1.0) + 1.0)
    {
        document = bench::BuildAtomDocument(groups, AtomsPerGroup);
    }

    std::vector<std::uint8_t> Save() const
    {
        Archive archive;
        document->Serialize(archive);
        return archive.GetBuffer();
    }

    int groups;
    double objects;
    std::unique_ptr<ChemDoc> document;
};

Document& GetDocument(int count)
{
    static std::map<int, std::unique_ptr<Document>> documents;
    std::unique_ptr<Document>& document = documents[count];
    if (!document)
        document = std::make_unique<Document>(count);
    return *document;
}

// ---- The hand-written writer and reader of the same bytes

// Appends little-endian values to a byte vector; Reserve makes room for one object's values.
class Bytes {
public:
    void Reserve(std::size_t size)
    {
        if (data.size() - used < size)
            data.resize(std::max(data.size() * 2, used + size));
    }
    void U8(std::uint8_t value) { data[used++] = value; }
    template <class T>
    void Raw(T value)
    {
        std::memcpy(data.data() + used, &value, sizeof value);
        used += sizeof value;
    }
    // The stream's variable-length integer (both forms).
    void Compressed(std::uint32_t value)
    {
        if (value < 0xFF) {
            U8(static_cast<std::uint8_t>(value));
        } else {
            U8(0xFF);
            Raw(value);
        }
    }
    void String(std::string_view text)
    {
        if (text.size() >= 0xFF)
            throw std::length_error("long strings are not written by this writer");
        Reserve(text.size() + 1);
        U8(static_cast<std::uint8_t>(text.size()));
        std::memcpy(data.data() + used, text.data(), text.size());
        used += text.size();
    }
    void Append(const std::vector<std::uint8_t>& bytes)
    {
        Reserve(bytes.size());
        std::memcpy(data.data() + used, bytes.data(), bytes.size());
        used += bytes.size();
    }
    std::vector<std::uint8_t> Take()
    {
        data.resize(used);
        return std::move(data);
    }

    std::vector<std::uint8_t> data;
    std::size_t used = 0;
};

// What the stream has said of a class.
struct PlainClass {
    std::int32_t index = 0;
    bool described = false;
    bool childrenCode = false;
};

struct PlainProperty {
    const char* name;
    std::int32_t code;
};
// The tree level's, then the object level's, then the position's.
constexpr PlainProperty PlainProperties[] = {
    {"Selected", 13}, {"Visible", 13}, {"Clip", 13}, {"Inactive", 7}, {"Parent", 0}, {"Children", 0},
    {"Hints", 4}, {"Logical Id", 10}, {"Expanded", 13}, {"Property", 2}, {"Color", 2}, {"Label", 1},
    {"LocalID", 8}, {"UserEventMask", 4}, {"DisplayStyle", 4}, {"XYZ", 2},
};
constexpr std::int32_t ChildrenIndex = 5;
constexpr std::int32_t ObjectCount = 15;

class PlainWriter {
public:
    void Record(const Object& object, std::int32_t count)
    {
        PlainClass& form = FindClass(object);
        const bool first = !form.described;
        out.Reserve(256);
        out.Compressed(object.GetOID());
        if (first) {
            form.index = ++m_nextIndex;
            out.U8(0);
            out.Compressed(static_cast<std::uint32_t>(form.index));
            ClassHierarchy hierarchy;
            object.BuildClassHierarchy(hierarchy);
            out.Raw(static_cast<std::int32_t>(hierarchy.GetNames().size()));
            for (const std::string& name : hierarchy.GetNames())
                out.String(name);
            out.Compressed(static_cast<std::uint32_t>(count));
            form.described = true;
        } else {
            out.Compressed(static_cast<std::uint32_t>(form.index));
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const PlainProperty& property = PlainProperties[i];
            if (first) {
                out.String(property.name);
                out.U8(i == ChildrenIndex ? 1 : 0);
                if (i != ChildrenIndex)
                    out.Compressed(static_cast<std::uint32_t>(property.code));
            }
            Value(object, form, i);
        }
    }

    Bytes out;

private:
    void Value(const Object& object, PlainClass& form, std::int32_t i)
    {
        switch (i) {
        case 0: out.U8(object.IsSelected() ? 1 : 0); break;
        case 1: out.U8(object.IsVisible() ? 1 : 0); break;
        case 2: out.U8(object.IsClipped() ? 1 : 0); break;
        case 3: out.U8(0); break;
        case 4:
            if (const TreeNode* parent = object.TreeNode::GetParent()) {
                out.U8(0);
                out.Compressed(parent->GetOID());
            } else {
                out.U8(1);
            }
            break;
        case 5: {
            const int children = object.GetNumChildren();
            out.Compressed(static_cast<std::uint32_t>(children));
            for (int c = 0; c < children; ++c) {
                if (!form.childrenCode) {
                    out.U8(0);
                    form.childrenCode = true;
                }
                out.U8(0);
                out.U8(0);
                const auto* child = static_cast<const Object*>(object.GetChild(c));
                Record(*child, IsA<BenchAtom>(child) ? ObjectCount + 1 : ObjectCount);
            }
            break;
        }
        case 6: out.U8(0xFF); break;
        case 7: out.Raw(object.GetLID()); break;
        case 8: out.U8(object.IsExpanded() ? 1 : 0); break;
        case 9:
            out.Raw(std::int32_t{4});
            out.Raw(std::int32_t{0});
            break;
        case 10:
            out.Raw(std::int32_t{4});
            out.Raw(object.GetColor().GetValue());
            break;
        case 11: out.String(object.GetLabel()); break;
        case 12: out.Compressed(static_cast<std::uint32_t>(object.GetID())); break;
        case 13: out.U8(0); break;
        case 14: out.U8(static_cast<std::uint8_t>(object.GetDisplayStyle())); break;
        case 15: {
            const Point3d p = static_cast<const Geometric3d&>(object).GetXYZ();
            out.Raw(std::int32_t{12});
            out.Raw(p.x);
            out.Raw(p.y);
            out.Raw(p.z);
            break;
        }
        default: break;
        }
    }

    PlainClass& FindClass(const Object& object)
    {
        const RuntimeClass* runtimeClass = object.GetRuntimeClass();
        for (auto& [known, form] : m_classes) {
            if (known == runtimeClass)
                return form;
        }
        return m_classes.emplace_back(runtimeClass, PlainClass{}).second;
    }

    std::deque<std::pair<const RuntimeClass*, PlainClass>> m_classes;
    std::int32_t m_nextIndex = 0;
};

// The head of the document file, before its property stream.
std::vector<std::uint8_t> FileHead()
{
    Archive head;
    head << ChemDoc::GetHeader() << ChemDoc::currentVersion << ChemDoc::objectSchema;
    return head.GetBuffer();
}

// The hand-written file: the head, the tree's records, then the file's tail (view and matrix) as
// saved.
[[gnu::noinline]] std::vector<std::uint8_t> PlainSave(const Document& document, const std::vector<std::uint8_t>& tail)
{
    PlainWriter writer;
    writer.out.Append(FileHead());
    const TreeRoot& root = *document.document->GetTreeRoot();
    writer.Record(root, ObjectCount);
    writer.out.Append(tail);
    return writer.out.Take();
}

// A loaded object: the fields the stream carries, its links, and the size of the class it stands for.
struct PlainObjectFields {
    PlainObjectFields* parent = nullptr;
    std::vector<PlainObjectFields*> children;
    std::string label;
    std::uint32_t oid = 0;
    std::uint32_t lid = 0;
    std::uint32_t color = 0;
    std::int32_t id = 0;
    float xyz[3] = {};
    std::uint8_t flags = 0;
    std::uint8_t style = 0;
};
template <std::size_t Size>
struct PlainObject : PlainObjectFields {
    std::byte rest[Size > sizeof(PlainObjectFields) ? Size - sizeof(PlainObjectFields) : 1];
};

void DeleteTree(PlainObjectFields* top)
{
    std::vector<PlainObjectFields*> stack{top};
    while (!stack.empty()) {
        PlainObjectFields* node = stack.back();
        stack.pop_back();
        stack.insert(stack.end(), node->children.begin(), node->children.end());
        delete node;
    }
}

// Reads the bytes PlainSave writes, every read checked against the end of the input.
class PlainReader {
public:
    PlainReader(const std::uint8_t* data, std::size_t size) : m_at(data), m_end(data + size) {}

    PlainObjectFields* Record(PlainObjectFields* parent)
    {
        const std::uint32_t oid = Compressed();
        PlainClass* form = nullptr;
        std::int32_t count = 0;
        if (const std::uint32_t index = Compressed()) {
            if (index >= m_classes.size())
                throw std::runtime_error("undefined class");
            form = &m_classes[index];
            count = m_counts[index];
        } else {
            const std::uint32_t defined = Compressed();
            const auto names = Raw<std::int32_t>();
            for (std::int32_t n = 0; n < names; ++n)
                String();
            count = static_cast<std::int32_t>(Compressed());
            if (defined != m_classes.size() || count < ObjectCount || count > ObjectCount + 1)
                throw std::runtime_error("bad class");
            m_classes.emplace_back();
            m_counts.push_back(count);
            form = &m_classes.back();
        }
        const bool first = !form->described;
        form->described = true;
        PlainObjectFields* object = count > ObjectCount ? static_cast<PlainObjectFields*>(new PlainObject<sizeof(BenchAtom)>())
                                                        : new PlainObject<sizeof(Object)>();
        object->oid = oid;
        if (parent) {
            object->parent = parent;
            parent->children.push_back(object);
        }
        for (std::int32_t i = 0; i < count; ++i) {
            if (first) {
                String();
                Compressed();
                if (i != ChildrenIndex)
                    Compressed();
            }
            Value(*object, *form, i);
        }
        return object;
    }

private:
    void Value(PlainObjectFields& object, PlainClass& form, std::int32_t i)
    {
        switch (i) {
        case 0: case 1: case 2: case 8: object.flags = static_cast<std::uint8_t>(object.flags << 1 | Raw<std::uint8_t>()); break;
        case 3: Compressed(); break;
        case 4:
            if (Raw<std::uint8_t>() == 0)
                Compressed();
            break;
        case 5: {
            const std::uint32_t children = Compressed();
            if (children > static_cast<std::size_t>(m_end - m_at))
                throw std::runtime_error("bad count");
            object.children.reserve(children);
            for (std::uint32_t c = 0; c < children; ++c) {
                if (!form.childrenCode) {
                    Compressed();
                    form.childrenCode = true;
                }
                Raw<std::uint8_t>();
                Compressed();
                Record(&object);
            }
            break;
        }
        case 6: case 13: Raw<std::uint8_t>(); break;
        case 7: object.lid = Raw<std::uint32_t>(); break;
        case 9:
            Block(4);
            Raw<std::int32_t>();
            break;
        case 10:
            Block(4);
            object.color = Raw<std::uint32_t>();
            break;
        case 11: object.label = String(); break;
        case 12: object.id = static_cast<std::int32_t>(Compressed()); break;
        case 14: object.style = Raw<std::uint8_t>(); break;
        case 15:
            Block(12);
            for (float& c : object.xyz)
                c = Raw<float>();
            break;
        default: break;
        }
    }

    void Need(std::size_t size) const
    {
        if (size > static_cast<std::size_t>(m_end - m_at))
            throw std::runtime_error("end of input");
    }
    template <class T>
    T Raw()
    {
        Need(sizeof(T));
        T value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    std::uint32_t Compressed()
    {
        const auto byte = Raw<std::uint8_t>();
        return byte == 0xFF ? Raw<std::uint32_t>() : byte;
    }
    std::string String()
    {
        const auto length = Raw<std::uint8_t>();
        Need(length);
        std::string text(reinterpret_cast<const char*>(m_at), length);
        m_at += length;
        return text;
    }
    void Block(std::int32_t length)
    {
        if (Raw<std::int32_t>() != length)
            throw std::runtime_error("bad block");
    }

    const std::uint8_t* m_at;
    const std::uint8_t* m_end;
    std::deque<PlainClass> m_classes{PlainClass{}};
    std::vector<std::int32_t> m_counts{0};
};

// The objects of a hand-written file, read after its head.
[[gnu::noinline]] PlainObjectFields* PlainLoad(const std::vector<std::uint8_t>& file, std::size_t head)
{
    PlainReader reader(file.data() + head, file.size() - head);
    return reader.Record(nullptr);
}

// ---- Benchmarks

void Report(benchmark::State& state, const Document& document, std::size_t bytes, std::size_t allocations)
{
    const double objects = document.objects * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["objects_per_s"] = benchmark::Counter(objects, benchmark::Counter::kIsRate);
    state.counters["ns_per_object"] =
        benchmark::Counter(objects, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs_per_object"] = static_cast<double>(allocations) / objects;
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

void SaveDocument(benchmark::State& state)
{
    const Document& document = GetDocument(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = g_allocations.load();
        Archive archive;
        document.document->Serialize(archive);
        allocations += g_allocations.load() - before;
        bytes = archive.GetBuffer().size();
        benchmark::DoNotOptimize(archive.GetBuffer().data());
    }
    Report(state, document, bytes, allocations);
}
BENCHMARK(SaveDocument)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void LoadDocument(benchmark::State& state)
{
    const Document& document = GetDocument(static_cast<int>(state.range(0)));
    const std::vector<std::uint8_t> file = document.Save();
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = g_allocations.load();
        auto loaded = std::make_unique<ChemDoc>();
        Archive archive{std::span<const std::uint8_t>(file)};
        loaded->Serialize(archive);
        allocations += g_allocations.load() - before;
        state.PauseTiming();
        loaded.reset();
        state.ResumeTiming();
    }
    Report(state, document, file.size(), allocations);
}
BENCHMARK(LoadDocument)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The tail of the saved file, after the tree's records; the hand-written file must be the saved one.
std::vector<std::uint8_t> CheckedTail(benchmark::State& state, const Document& document)
{
    const std::vector<std::uint8_t> file = document.Save();
    PlainWriter writer;
    writer.Record(*document.document->GetTreeRoot(), ObjectCount);
    const std::size_t streamEnd = FileHead().size() + writer.out.used;
    std::vector<std::uint8_t> tail(file.begin() + static_cast<std::ptrdiff_t>(std::min(streamEnd, file.size())), file.end());
    if (PlainSave(document, tail) != file)
        state.SkipWithError("the hand-written writer does not give the saved bytes");
    return tail;
}

void PlainSaveDocument(benchmark::State& state)
{
    const Document& document = GetDocument(static_cast<int>(state.range(0)));
    const std::vector<std::uint8_t> tail = CheckedTail(state, document);
    std::size_t bytes = 0;
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = g_allocations.load();
        const std::vector<std::uint8_t> file = PlainSave(document, tail);
        allocations += g_allocations.load() - before;
        bytes = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    Report(state, document, bytes, allocations);
}
BENCHMARK(PlainSaveDocument)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void PlainLoadDocument(benchmark::State& state)
{
    const Document& document = GetDocument(static_cast<int>(state.range(0)));
    const std::vector<std::uint8_t> file = PlainSave(document, CheckedTail(state, document));
    const std::size_t head = FileHead().size();
    std::size_t allocations = 0;
    for (auto _ : state) {
        const std::size_t before = g_allocations.load();
        PlainObjectFields* root = PlainLoad(file, head);
        allocations += g_allocations.load() - before;
        state.PauseTiming();
        DeleteTree(root);
        state.ResumeTiming();
    }
    Report(state, document, file.size(), allocations);
}
BENCHMARK(PlainLoadDocument)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace
