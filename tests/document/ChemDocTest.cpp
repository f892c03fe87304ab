#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/ObjectPool.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/CSchemaException.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/document/Command.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/document/UpdateDecorator.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/platform/Archive.h>
#include "support/DocumentFile.h"

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A positioned object that draws one dot at its position.
class DocPoint : public Geometric3d {
    TAVREL_DECLARE_CLASS(DocPoint, Geometric3d)
public:
    DocPoint(Object* parent, const Point3d& position) : Geometric3d(parent)
    {
        SetXYZ(position);
        SetDisplayStyle(1);
    }

protected:
    DocPoint() = default;
    DocPoint(const DocPoint&) = default;
    void NormalDisplay(DisplayList3D& list) override { list.Add(DotPrimitive(GetXYZ(), GetColor(), 1.0, GetOID())); }
};
TAVREL_IMPLEMENT_CLASS(DocPoint, ClassKind::Creatable)

// A command whose Do succeeds or fails as told, with a chosen hint.
class HintCommand : public Command {
public:
    HintCommand(bool succeed, int hint) : m_succeed(succeed), m_hint(hint) {}
    std::unique_ptr<Command> Copy() const override { return std::make_unique<HintCommand>(*this); }
    bool Do(ChemDoc*) override { return m_succeed; }
    std::string GetName() const override { return "Hint"; }
    int GetUpdateHint() const override { return m_hint; }

private:
    bool m_succeed;
    int m_hint;
};

class ChemDocTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<DocPoint>();
    }

    void TearDown() override { ChemDoc::SetConvertConformations(false); }

    static Bytes Save(ChemDoc& document) { return DocumentFile::Save(document); }
    static void Load(ChemDoc& document, const Bytes& bytes) { DocumentFile::Load(document, bytes); }

    // The header as the document writes it, then the version.
    static void WriteHead(Archive& archive, std::uint32_t version)
    {
        archive << ChemDoc::GetHeader() << version;
    }

    static void WriteView(Archive& archive, float size, std::int32_t projection, std::int32_t quality,
                          std::uint32_t color, bool depthCue)
    {
        archive << size << projection << quality << color << depthCue;
    }

    static void WriteRecord(Archive& archive, Object& root)
    {
        CompressedPropertyArchive stream(archive);
        stream.AddOIDMapEntry(root.GetOID(), root.GetOID());
        root.WriteProperties(stream, root.GetOID());
    }

    static std::uint32_t U32At(const Bytes& bytes, std::size_t offset)
    {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    }

    static void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value)
    {
        std::memcpy(bytes.data() + offset, &value, sizeof value);
    }

    static Matrix4x4 Turn()
    {
        Matrix4x4 matrix(Point3d(0.0, 0.0, 1.0), 90.0);
        matrix(3, 0) = 2.0;
        return matrix;
    }
};

// A node of a tree written in the framework-archive form of older files.
struct OldNode {
    std::string className;
    std::string label;
    std::uint32_t color;
    std::vector<OldNode> children;
};

// Writes old-form records byte by byte: each node is its class tag, the back-reference to its parent,
// its children as an object-array record (null without children), three flag bytes and the object's
// fields; classes and objects share one index sequence from 1.
struct OldRecords {
    explicit OldRecords(Archive& target) : archive(target) {}

    void Write(const OldNode& root) { Write(root, 0); }

    Archive& archive;
    std::uint16_t next = 1;
    std::vector<std::pair<std::string, std::uint16_t>> classes;
    std::vector<std::size_t> arrayTags;  // offsets of the array records' class tags

private:
    void Class(const std::string& name, std::uint16_t schema)
    {
        for (const auto& [known, index] : classes) {
            if (known == name) {
                archive << static_cast<std::uint16_t>(0x8000u | index);
                return;
            }
        }
        archive << std::uint16_t{0xFFFF} << schema << static_cast<std::uint16_t>(name.size());
        archive.Write(name.data(), name.size());
        classes.emplace_back(name, next++);
    }

    void Write(const OldNode& node, std::uint16_t parent)
    {
        Class(node.className, 13);
        const std::uint16_t self = next++;
        archive << parent;
        if (node.children.empty()) {
            archive << std::uint16_t{0};
        } else {
            arrayTags.push_back(archive.GetBuffer().size());
            Class("CObArray", 0);
            ++next;
            archive << static_cast<std::uint16_t>(node.children.size());
            for (const OldNode& child : node.children)
                Write(child, self);
        }
        archive << std::uint8_t{0} << std::uint8_t{1} << std::uint8_t{0};
        archive << std::int32_t{0} << node.color << node.label << std::int32_t{0} << std::uint8_t{0} << std::uint8_t{0};
    }
};

TreeNode* g_heardByOID = nullptr;

void RecordByOID(Event& event)
{
    g_heardByOID = event.GetTreeNode(true);
}

// With OID validation off: an object user property finds its object, a group and the LIDs survive a
// save and a load, ApplyMatrix moves the objects, events find their node by OID, and every refused
// load frees what it built (LeakSanitizer checks the child process at its exit).
bool EveryLookupWorksWithValidationOff()
{
    Base::EnableOIDValidation(false);
    ChemDoc source;
    TreeRoot* const root = source.GetTreeRoot();
    auto* const a = new DocPoint(root, Point3d(1.0, 0.0, 0.0));
    auto* const b = new DocPoint(root, Point3d(0.0, 2.0, 0.0));
    NamedCollection* const pair = root->CreateNamedCollection("pair");
    pair->Add(a);
    pair->Add(b);
    a->SetProperty("partner", b, 0);
    Base* partner = nullptr;
    bool ok = a->GetProperty("partner", partner) && partner == b;
    Archive out;
    source.Serialize(out);
    const std::vector<std::uint8_t> bytes = out.GetBuffer();

    ChemDoc loaded;
    Archive in(bytes);
    loaded.Serialize(in);
    TreeRoot* const back = loaded.GetTreeRoot();
    const NamedCollection* const group = back->FindNamedCollection("pair");
    Object* const first = back->GetChild(0);
    Object* const second = back->GetChild(1);
    ok = ok && group && group->GetNumItems() == 2 && back->GetLogicalObject(second->GetLID()) == second;

    first->RegisterEvent(TreeNode::classType, TreeNode::EventDisplayChanged, RecordByOID, false, nullptr, nullptr);
    first->SetClipped(true);
    ok = ok && g_heardByOID == first;

    Matrix4x4 turn(Point3d(0.0, 0.0, 1.0), 90.0);
    loaded.SetMatrix(turn);
    loaded.ApplyMatrix();
    const Point3d moved = static_cast<Geometric*>(first)->GetXYZ();
    ok = ok && std::abs(moved.x) < 1e-9 && std::abs(std::abs(moved.y) - 1.0) < 1e-9;

    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const std::uint32_t before = Base::GetLastOID();
        ChemDoc document;
        Archive cut(bytes.data(), length);
        try {
            document.Serialize(cut);
            ok = false;
        } catch (const ArchiveException&) {
        }
        for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid) {
            const Base* const left = Base::GetObjectA(oid);
            ok = ok && (!left || left == document.GetTreeRoot());
        }
    }
    return ok;
}

constexpr std::size_t headerEnd = 24;  // the length byte and the 23 header characters
constexpr std::size_t viewTail = 4 + 4 + 4 + 4 + 1 + 1 + 16 * 8;

} // namespace

// ---- The file layout

TEST_F(ChemDocTest, SavedFileStartsWithTheHeaderVersionAndSchemaBytes)
{
    ChemDoc document;
    const Bytes bytes = Save(document);
    ASSERT_GT(bytes.size(), 32u + viewTail);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 7), (Bytes{0x17, 0x48, 0x61, 0x6C, 0x76, 0x65, 0x78}));
    EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + headerEnd), "Halvex Viewer Version: ");
    EXPECT_EQ(Bytes(bytes.begin() + headerEnd, bytes.begin() + 32), (Bytes{0x01, 0x00, 0x04, 0x00, 0x0D, 0x00, 0x00, 0x00}));
    EXPECT_EQ(ChemDoc::GetVersion(), 0x40001u);
}

TEST_F(ChemDocTest, ViewBlockAndMatrixCloseTheFile)
{
    ChemDoc document;
    document.SetViewSize(12.5);
    document.SetProjection(1);
    document.SetGraphQuality(3);
    document.SetBkColor(Color(1, 2, 3, 200));
    document.SetDepthCue(true);
    document.SetStereo(false);
    document.SetMatrix(Turn());
    const Bytes bytes = Save(document);
    const std::size_t view = bytes.size() - viewTail;
    float size = 0.0f;
    std::memcpy(&size, bytes.data() + view, sizeof size);
    EXPECT_EQ(size, 12.5f);
    EXPECT_EQ(U32At(bytes, view + 4), 1u);
    EXPECT_EQ(U32At(bytes, view + 8), 3u);
    EXPECT_EQ(U32At(bytes, view + 12), 0x00030201u);  // the alpha byte is cleared
    EXPECT_EQ(bytes[view + 16], 1);
    EXPECT_EQ(bytes[view + 17], 0);
    double m30 = 0.0;
    std::memcpy(&m30, bytes.data() + view + 18 + 12 * 8, sizeof m30);
    EXPECT_EQ(m30, 2.0);
}

// ---- Finding the header

TEST_F(ChemDocTest, JunkBeforeTheHeaderIsSkipped)
{
    ChemDoc source;
    source.GetTreeRoot()->SetLabel("found");
    const Bytes saved = Save(source);
    const std::string junk = "xxHalvex Viewer HHalvex";
    Bytes bytes(junk.begin(), junk.end());
    bytes.insert(bytes.end(), saved.begin(), saved.end());

    Archive scan(bytes);
    EXPECT_EQ(ChemDoc::FindAndReadHeader(scan), static_cast<std::int32_t>(junk.size()) + 1);
    EXPECT_EQ(scan.GetPosition(), junk.size() + headerEnd);

    ChemDoc loaded;
    Load(loaded, bytes);
    EXPECT_EQ(loaded.GetTreeRoot()->GetLabel(), "found");
}

TEST_F(ChemDocTest, DataWithoutTheHeaderIsRefusedAsBadSchema)
{
    const std::string text = "Halvex Viewer Version";
    Archive scan(text.data(), text.size());
    EXPECT_EQ(ChemDoc::FindAndReadHeader(scan), -1);

    ChemDoc document;
    TreeRoot* const root = document.GetTreeRoot();
    try {
        Load(document, Bytes(text.begin(), text.end()));
        FAIL() << "no exception";
    } catch (const ArchiveException& error) {
        EXPECT_EQ(error.GetCause(), ArchiveException::badSchema);
    }
    EXPECT_EQ(document.GetTreeRoot(), root);
}

// ---- Versions

TEST_F(ChemDocTest, NewerVersionIsRefusedWithTheFixedMessage)
{
    ChemDoc source;
    Bytes bytes = Save(source);
    PutU32(bytes, headerEnd, 0x40002);

    ChemDoc document;
    document.GetTreeRoot()->SetLabel("kept");
    document.SetViewSize(7.0);
    try {
        Load(document, bytes);
        FAIL() << "no exception";
    } catch (const CSchemaException& error) {
        EXPECT_EQ(error.GetCause(), ArchiveException::badSchema);
        EXPECT_STREQ(error.what(), "Unable to read this file saved from a newer version of the Brenmor Halvex Viewer!");
        char buffer[100];
        EXPECT_TRUE(error.GetErrorMessage(buffer, sizeof buffer));
        EXPECT_STREQ(buffer, error.what());
        char small[7];
        EXPECT_TRUE(error.GetErrorMessage(small, sizeof small));
        EXPECT_STREQ(small, "Unable");
        EXPECT_FALSE(error.GetErrorMessage(nullptr, 10));
        EXPECT_FALSE(error.GetErrorMessage(buffer, 0));
    }
    EXPECT_EQ(document.GetTreeRoot()->GetLabel(), "kept");
    EXPECT_EQ(document.GetViewSize(), 7.0);
}

TEST_F(ChemDocTest, VersionWithoutSchemaFieldIsRead)
{
    ChemDoc source;
    source.GetTreeRoot()->SetLabel("v40000");
    (new Object(source.GetTreeRoot()))->SetLabel("child");
    source.SetGraphQuality(2);
    Bytes bytes = Save(source);
    PutU32(bytes, headerEnd, 0x40000);
    bytes.erase(bytes.begin() + 28, bytes.begin() + 32);

    ChemDoc loaded;
    Load(loaded, bytes);
    EXPECT_EQ(loaded.GetTreeRoot()->GetLabel(), "v40000");
    ASSERT_EQ(loaded.GetTreeRoot()->GetNumChildren(), 1);
    EXPECT_EQ(loaded.GetTreeRoot()->GetChild(0)->GetLabel(), "child");
    EXPECT_EQ(loaded.GetGraphQuality(), 2);
}

TEST_F(ChemDocTest, FrameworkObjectRootsOfOlderVersionsAreRead)
{
    const OldNode tree{"XXTreeRoot", "old", 0,
                       {{"XXObject", "child", Color::Red().GetValue(), {{"XXObject", "grandchild", 0, {}}}},
                        {"XXObject", "second", 0, {{"XXObject", "a", 0, {}}, {"XXObject", "b", 0, {}}}}}};
    for (const bool withStereo : {true, false}) {
        Archive archive;
        WriteHead(archive, withStereo ? 0x30000u : 0x10000u);
        if (!withStereo)
            archive << Turn();
        OldRecords(archive).Write(tree);
        WriteView(archive, 25.0f, 1, 2, 0x00112233u, true);
        if (withStereo)
            archive << true << Turn();

        ChemDoc loaded;
        loaded.SetStereo(false);
        Load(loaded, archive.GetBuffer());
        TreeRoot* const back = loaded.GetTreeRoot();
        EXPECT_EQ(back->GetLabel(), "old");
        ASSERT_EQ(back->GetNumChildren(), 2);
        Object* const loadedChild = back->GetChild(0);
        EXPECT_EQ(loadedChild->GetColor(), Color::Red());
        ASSERT_EQ(loadedChild->GetNumChildren(), 1);
        EXPECT_EQ(loadedChild->GetChild(0)->GetLabel(), "grandchild");
        EXPECT_EQ(loadedChild->GetChild(0)->GetParent(), loadedChild);
        Object* const second = back->GetChild(1);
        EXPECT_EQ(second->GetLabel(), "second");
        ASSERT_EQ(second->GetNumChildren(), 2);
        EXPECT_EQ(second->GetChild(0)->GetLabel(), "a");
        EXPECT_EQ(second->GetChild(1)->GetLabel(), "b");
        EXPECT_EQ(second->GetChild(1)->GetParent(), second);
        EXPECT_EQ(back->GetLogicalObject(loadedChild->GetChild(0)->GetLID()), loadedChild->GetChild(0));
        EXPECT_FALSE(back->IsModified());
        EXPECT_EQ(loaded.GetViewSize(), 25.0);
        EXPECT_EQ(loaded.GetProjection(), 1);
        EXPECT_EQ(loaded.GetGraphQuality(), 2);
        EXPECT_EQ(loaded.GetBkColor(), Color(0x00112233u));
        EXPECT_TRUE(loaded.GetDepthCue());
        EXPECT_EQ(loaded.GetStereo(), withStereo);
        EXPECT_EQ(*loaded.GetMatrix(), Turn());

        // The library's own writer of the form gives the same bytes back.
        Archive rewritten;
        rewritten.WriteObject(back);
        Archive handMade;
        OldRecords(handMade).Write(tree);
        EXPECT_EQ(rewritten.GetBuffer(), handMade.GetBuffer());
    }
}

TEST_F(ChemDocTest, OldChildArraysOfTheWrongClassAreRefused)
{
    // The second array names the object class instead of the array class, then an object
    // reference points at the first array: both are archive errors, and nothing is left behind.
    const OldNode tree{"XXTreeRoot", "old", 0, {{"XXObject", "child", 0, {{"XXObject", "grandchild", 0, {}}}}}};
    Archive archive;
    WriteHead(archive, 0x30000u);
    OldRecords records(archive);
    records.Write(tree);
    const Bytes good = archive.GetBuffer();
    const std::size_t secondArray = records.arrayTags.at(1);
    ASSERT_EQ(good[secondArray], 0x03);  // the array class, index 3
    ASSERT_EQ(good[secondArray + 1], 0x80);
    for (const std::uint8_t tag : {std::uint8_t{0x05}, std::uint8_t{0x04}}) {
        Bytes bad = good;
        bad[secondArray] = tag;
        bad[secondArray + 1] = tag == 0x05 ? 0x80 : 0x00;  // the object class; the first array object
        ChemDoc document;
        const std::uint32_t before = Base::GetLastOID();
        EXPECT_THROW(Load(document, bad), ArchiveException);
        EXPECT_EQ(document.GetTreeRoot()->GetNumChildren(), 0);
        for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid)
            EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
    }
}

TEST_F(ChemDocTest, TruncatedOldFileLeavesNoObjectBehind)
{
    // A collection's record holds its member's record before the tree adopts the member, so a cut
    // between the two leaves the member with no owner unless the load cleans up.
    TreeRoot root;
    auto* const group = new OrdCollection();
    group->SetParent(&root);
    auto* const member = new Object(&root);
    member->SetLabel("member");
    group->Add(member);
    Archive archive;
    WriteHead(archive, 0x30000u);
    archive.WriteObject(&root);
    const Bytes full = archive.GetBuffer();

    for (std::size_t length = 0; length < full.size(); ++length) {
        ChemDoc document;
        TreeRoot* const kept = document.GetTreeRoot();
        const std::uint32_t before = Base::GetLastOID();
        EXPECT_THROW(Load(document, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length))),
                     ArchiveException);
        EXPECT_EQ(document.GetTreeRoot(), kept);
        for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid)
            EXPECT_EQ(Base::GetObjectA(oid), nullptr) << "cut at " << length << ", object " << oid;
    }
}

TEST_F(ChemDocTest, CollectionMembersThatNoNodeHoldsAreFreedByTheLoad)
{
    // An ordered collection, a plain set and a group list an object that is not in the tree; a user
    // property of a node in the tree refers to it too.
    TreeRoot root;
    auto* const ordered = new OrdCollection();
    ordered->SetParent(&root);
    ordered->SetLabel("ordered");
    auto* const inside = new Object(&root);
    inside->SetLabel("inside");
    const auto outside = std::make_unique<Object>(nullptr);
    outside->SetLabel("outside");
    (new Object(outside.get()))->SetLabel("outside child");
    ordered->Add(outside.get());
    ordered->Add(inside);
    NamedCollection* const group = root.CreateNamedCollection("group");
    group->Add(outside.get());
    group->Add(inside);
    auto* const set = new SetCollection();
    set->SetParent(&root);
    set->Add(outside.get());
    set->Add(inside);
    inside->SetProperty("twin", outside.get(), DataStorage::FlagReadable);

    for (const std::uint32_t version : {0x30000u, ChemDoc::GetVersion()}) {
        Archive archive;
        WriteHead(archive, version);
        if (version == ChemDoc::GetVersion()) {
            archive << std::uint32_t{13};
            archive.SetObjectSchema(13);
            WriteRecord(archive, root);
        } else {
            archive.WriteObject(&root);
        }
        WriteView(archive, 10.0f, 0, 1, 0, false);
        archive << false << Matrix4x4();

        const std::uint32_t before = Base::GetLastOID();
        {
            ChemDoc loaded;
            Load(loaded, archive.GetBuffer());
            TreeRoot* const back = loaded.GetTreeRoot();
            ASSERT_EQ(back->GetNumChildren(), 4) << std::hex << version;
            auto* const loadedOrdered = DynCast<OrdCollection>(back->GetChild(0));
            Object* const loadedInside = back->GetChild(1);
            auto* const loadedGroup = DynCast<NamedCollection>(back->FindNamedCollection("group"));
            auto* const loadedSet = DynCast<SetCollection>(back->GetChild(3));
            ASSERT_TRUE(loadedOrdered && loadedGroup && loadedSet);
            // The freed member is gone from the sets, as from the group, and leaves a null entry in
            // the ordered collection, whose other entries keep their indices.
            ASSERT_EQ(loadedOrdered->GetSize(), 2);
            EXPECT_EQ(loadedOrdered->GetAt(0), nullptr);
            EXPECT_EQ(loadedOrdered->GetAt(1), loadedInside);
            EXPECT_EQ(loadedGroup->GetMembers(), std::vector<Object*>{loadedInside});
            EXPECT_EQ(loadedSet->GetMembers(), std::vector<Object*>{loadedInside});
            EXPECT_EQ(loadedSet->GetNumItems(), 1);
            // Saved and loaded again, the collections hold what they held.
            {
                ChemDoc again;
                Load(again, Save(loaded));
                TreeRoot* const reloaded = again.GetTreeRoot();
                ASSERT_EQ(reloaded->GetNumChildren(), 4);
                auto* const reloadedOrdered = DynCast<OrdCollection>(reloaded->GetChild(0));
                ASSERT_EQ(reloadedOrdered->GetSize(), 2);
                EXPECT_EQ(reloadedOrdered->GetAt(0), nullptr);
                EXPECT_EQ(reloadedOrdered->GetAt(1), reloaded->GetChild(1));
                EXPECT_EQ(DynCast<SetCollection>(reloaded->GetChild(3))->GetNumItems(), 1);
            }
            // Every object the load made is in the tree, or owned by the user property that holds it.
            std::uint32_t owned = 0;
            Base* twin = nullptr;
            if (version == ChemDoc::GetVersion()) {
                ASSERT_TRUE(loadedInside->GetProperty("twin", twin));
                auto* const copy = DynCast<Object>(twin);
                ASSERT_NE(copy, nullptr);
                EXPECT_EQ(copy->GetLabel(), "outside");
                EXPECT_EQ(copy->GetParent(), nullptr);
                owned = copy->GetOID();
            }
            for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid) {
                const auto* object = DynCast<Object>(Base::GetObjectA(oid));
                if (object && object != back && object->GetRoot()->GetOID() != owned) {
                    EXPECT_TRUE(object->HasAncestor(back)) << object->GetLabel() << std::hex << " in " << version;
                }
            }
        }
        for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid)
            EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
    }
}

TEST_F(ChemDocTest, ObjectValuedUserPropertiesSurviveTheSaveAsCopiesTheCellOwns)
{
    ChemDoc source;
    auto* const molecule = new Object(source.GetTreeRoot());
    molecule->SetLabel("molecule");
    auto* const site = new DocPoint(molecule, Point3d(1.0, 2.0, 3.0));
    site->SetLabel("site");
    (new Object(site))->SetLabel("site child");
    molecule->SetProperty("site", site, DataStorage::FlagReadable);
    const Bytes bytes = Save(source);

    const std::uint32_t before = Base::GetLastOID();
    {
        ChemDoc loaded;
        Load(loaded, bytes);
        Object* const m = loaded.GetTreeRoot()->GetChild(0);
        ASSERT_EQ(m->GetNumChildren(), 1);
        Base* object = nullptr;
        ASSERT_TRUE(m->GetProperty("site", object));
        auto* const copy = DynCast<DocPoint>(object);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, m->GetChild(0));
        EXPECT_EQ(copy->GetLabel(), "site");
        EXPECT_EQ(copy->GetXYZ(), Point3d(1.0, 2.0, 3.0));
        EXPECT_EQ(copy->GetParent(), nullptr);
        ASSERT_EQ(copy->GetNumChildren(), 1);
        EXPECT_EQ(copy->GetChild(0)->GetLabel(), "site child");
        EXPECT_EQ(Save(loaded).size(), bytes.size());
    }
    for (std::uint32_t oid = before + 1; oid <= Base::GetLastOID(); ++oid)
        EXPECT_EQ(Base::GetObjectA(oid), nullptr) << oid;
}

// ---- Round trip and bad input

// Switching OID validation off is one-way and process-wide, so it runs in a child process.
TEST(ChemDocDeathTest, LookupsByOIDAndRefusedLoadsHoldWithoutOIDValidation)
{
    EXPECT_EXIT(
        {
            AttachDataModelDLL();
            if (DocPoint::classType == 0)
                ClassRegistry::Register<DocPoint>();
            std::exit(EveryLookupWorksWithValidationOff() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ChemDocTest, RoundTripKeepsTheWholeTreeAndTheViewSettings)
{
    ChemDoc source;
    TreeRoot* const root = source.GetTreeRoot();
    auto* const molecule = new Object(root);
    molecule->SetLabel("molecule");
    molecule->SetColor(Color(10, 20, 30, 40));
    molecule->SetDisplayStyle(3);
    molecule->SetID(-5);
    molecule->SetProperty("Charge", 1.5f, DataStorage::FlagReadable | DataStorage::FlagWritable);
    molecule->SetProperty("Note", "kept", DataStorage::FlagReadable);
    auto* const a = new DocPoint(molecule, Point3d(1.0, 2.0, 3.0));
    a->SetLabel("a");
    a->Select(false);
    auto* const b = new DocPoint(molecule, Point3d(-1.0, 0.5, 0.0));
    b->SetLabel("b");
    b->SetInvisible(false);
    NamedCollection* const group = root->CreateNamedCollection("selection");
    source.SetViewSize(30.0);
    source.SetStereo(true);
    source.SetProjection(1);
    source.SetGraphQuality(3);
    source.SetBkColor(Color(0x00203040u));
    source.SetDepthCue(true);
    source.SetMatrix(Turn());
    const Bytes bytes = Save(source);

    ChemDoc loaded;
    loaded.SetLineWidth(4.0);
    Load(loaded, bytes);
    TreeRoot* const back = loaded.GetTreeRoot();
    ASSERT_EQ(back->GetNumChildren(), 2);
    Object* const m = back->GetChild(0);
    EXPECT_EQ(m->GetLabel(), "molecule");
    EXPECT_EQ(m->GetColor(), Color(10, 20, 30, 40));
    EXPECT_EQ(m->GetDisplayStyle(), 3);
    EXPECT_EQ(m->GetID(), -5);
    EXPECT_EQ(m->GetPropertyAsString("Charge"), "1.500000");
    EXPECT_EQ(m->GetPropertyAsString("Note"), "kept");
    ASSERT_EQ(m->GetNumChildren(), 2);
    auto* const loadedA = DynCast<DocPoint>(m->GetChild(0));
    auto* const loadedB = DynCast<DocPoint>(m->GetChild(1));
    ASSERT_NE(loadedA, nullptr);
    ASSERT_NE(loadedB, nullptr);
    EXPECT_EQ(loadedA->GetXYZ(), Point3d(1.0, 2.0, 3.0));
    EXPECT_TRUE(loadedA->IsObjectSelected());
    EXPECT_FALSE(loadedB->IsVisible());
    for (const Object* object : {static_cast<const Object*>(molecule), static_cast<const Object*>(a),
                                 static_cast<const Object*>(b), static_cast<const Object*>(group)}) {
        Object* const twin = back->GetLogicalObject(object->GetLID());
        ASSERT_NE(twin, nullptr) << object->GetLabel();
        EXPECT_EQ(twin->GetLabel(), object->GetLabel());
    }
    auto* const loadedGroup = DynCast<NamedCollection>(back->FindNamedCollection("selection"));
    ASSERT_NE(loadedGroup, nullptr);
    EXPECT_EQ(loadedGroup->GetSize(), 1);
    EXPECT_TRUE(loadedGroup->IsMember(loadedA));
    EXPECT_EQ(loaded.GetViewSize(), 30.0);
    EXPECT_TRUE(loaded.GetStereo());
    EXPECT_EQ(loaded.GetProjection(), 1);
    EXPECT_EQ(loaded.GetGraphQuality(), 3);
    EXPECT_EQ(loaded.GetBkColor(), Color(0x00203040u));
    EXPECT_TRUE(loaded.GetDepthCue());
    EXPECT_EQ(*loaded.GetMatrix(), Turn());
    EXPECT_EQ(loaded.GetLineWidth(), 4.0);  // options outside the view block keep their values
    EXPECT_EQ(Save(loaded).size(), bytes.size());
}

// Runs the work on a thread with a stack of the given size.
void RunOnStack(std::size_t stackBytes, const std::function<void()>& work)
{
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackBytes), 0);
    pthread_t thread;
    const auto run = [](void* job) -> void* {
        (*static_cast<const std::function<void()>*>(job))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// A chain of objects "L0", "L1", ... below the root, each with a leaf "S<level>" after its chain child.
void BuildComb(TreeRoot& root, int depth)
{
    Object* parent = &root;
    for (int level = 0; level < depth; ++level) {
        auto* const link = new Object(parent);
        link->SetLabel("L" + std::to_string(level));
        if (level > 0)
            (new Object(parent))->SetLabel("S" + std::to_string(level - 1));
        parent = link;
    }
}

void ExpectComb(TreeRoot& root, int depth)
{
    Object* parent = &root;
    for (int level = 0; level < depth; ++level) {
        const int expected = level + 1 < depth ? 2 : 0;
        ASSERT_EQ(parent->GetNumChildren(), level == 0 ? 1 : 2) << level;
        Object* const link = parent->GetChild(0);
        ASSERT_EQ(link->GetLabel(), "L" + std::to_string(level));
        ASSERT_EQ(link->GetParent(), parent);
        if (level > 0) {
            ASSERT_EQ(parent->GetChild(1)->GetLabel(), "S" + std::to_string(level - 1));
        }
        ASSERT_EQ(link->GetNumChildren(), expected) << level;
        parent = link;
    }
}

TEST_F(ChemDocTest, ReferencesGoingBackAndForthBetweenDistantObjectsKeepEveryBond)
{
    // The atoms first, then the bonds: a bond's OID lies thousands away from its ends', so the
    // writer's references go back and forth between far apart objects at every bond.
    constexpr int Count = 3000;
    ChemDoc source;
    auto* const molecule = new Molecule(source.GetTreeRoot());
    std::vector<Atom3d*> atoms;
    for (int i = 0; i < Count; ++i) {
        atoms.push_back(new Atom3d(molecule, "C"));
        atoms.back()->SetXYZ(Point3d(i, 0.0, 0.0));
    }
    for (int i = 0; i + 1 < Count; ++i)
        atoms[i]->MakeBond(molecule, atoms[i + 1], Bond::Single);
    for (int i = 0; i < Count / 2; i += 100)
        atoms[i]->MakeBond(molecule, atoms[i + Count / 2], Bond::Double);

    ChemDoc loaded;
    DocumentFile::Load(loaded, DocumentFile::Save(source));
    TreeNode* const back = loaded.GetTreeRoot()->GetChild(0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetNumDescendents(Atom3d::classType), Count);
    EXPECT_EQ(back->GetNumDescendents(Bond::classType), Count - 1 + Count / 200);
    int singles = 0;
    int doubles = 0;
    for (int i = 0; i < back->GetNumChildren(); ++i) {
        const auto* const bond = DynCast<Bond>(back->GetChild(i));
        if (!bond)
            continue;
        const auto* const one = DynCast<Atom3d>(bond->GetAtom1());
        const auto* const two = DynCast<Atom3d>(bond->GetAtom2());
        ASSERT_TRUE(one && two);
        const double apart = std::abs(two->GetXYZ().x - one->GetXYZ().x);
        singles += apart == 1.0 ? 1 : 0;
        doubles += apart == Count / 2 ? 1 : 0;
    }
    EXPECT_EQ(singles, Count - 1);
    EXPECT_EQ(doubles, Count / 200);
}

TEST_F(ChemDocTest, DeepTreesOfOldFilesLoadOnASmallStackAndSurviveASave)
{
    constexpr int depth = 998;
    TreeRoot root;
    BuildComb(root, depth);
    Archive old;
    WriteHead(old, 0x30000u);
    old.WriteObject(&root);
    WriteView(old, 25.0f, 1, 2, 0x00112233u, true);
    old << true << Turn();

    ChemDoc loaded;
    bool read = false;
    RunOnStack(256 * 1024, [&] {
        try {
            Load(loaded, old.GetBuffer());
            read = true;
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    });
    ASSERT_TRUE(read);
    ExpectComb(*loaded.GetTreeRoot(), depth);

    // Saving writes records deeper than the writer keeps recordings for: the outer ones are made
    // again, and the side leaves after each chain child still follow it.
    ChemDoc again;
    Load(again, Save(loaded));
    ExpectComb(*again.GetTreeRoot(), depth);
}

TEST_F(ChemDocTest, EveryTruncationIsRefusedAndLeavesTheDocumentAsItWas)
{
    ChemDoc source;
    auto* const parent = new Object(source.GetTreeRoot());
    parent->SetLabel("parent");
    new DocPoint(parent, Point3d(1.0, 1.0, 1.0));
    source.GetTreeRoot()->CreateNamedCollection("all");
    const Bytes bytes = Save(source);

    ChemDoc document;
    document.GetTreeRoot()->SetLabel("before");
    TreeRoot* const root = document.GetTreeRoot();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_THROW(Load(document, Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size))),
                     ArchiveException);
        ASSERT_EQ(document.GetTreeRoot(), root) << "after a truncation to " << size << " bytes";
    }
    EXPECT_EQ(root->GetLabel(), "before");
    EXPECT_EQ(root->GetNumChildren(), 0);
    EXPECT_EQ(*document.GetMatrix(), Matrix4x4());
}

TEST_F(ChemDocTest, EveryRefusalOfACorruptFileSaysWhatWasWrongAndWhereInPrintableText)
{
    ChemDoc source;
    auto* const molecule = new Object(source.GetTreeRoot());
    molecule->SetLabel("molecule");
    molecule->SetProperty("Charge", 1.5f, DataStorage::FlagReadable);
    molecule->SetProperty("Note", "kept", DataStorage::FlagReadable);
    auto* const point = new DocPoint(molecule, Point3d(1.0, 2.0, 3.0));
    source.GetTreeRoot()->CreateNamedCollection("group")->Add(point);
    Archive old;
    WriteHead(old, 0x30000u);
    old.WriteObject(source.GetTreeRoot());
    WriteView(old, 25.0f, 1, 2, 0, true);
    old << true << Turn();

    int refusals = 0;
    const auto expectDescribed = [&refusals](const Bytes& bytes, const std::string& change) {
        ChemDoc document;
        try {
            Load(document, bytes);
        } catch (const CSchemaException&) {
            // A version above the current one: the fixed message.
        } catch (const ArchiveException& error) {
            ++refusals;
            const std::string text = error.what();
            const std::string lead = std::string(ArchiveException::Describe(error.GetCause())) + " at offset ";
            ASSERT_EQ(text.rfind(lead, 0), 0u) << change << ": " << text;
            const std::size_t colon = text.find(": ", lead.size());
            ASSERT_NE(colon, std::string::npos) << change << ": " << text;
            EXPECT_GT(text.size(), colon + 2) << change << ": " << text;
            for (const char character : text)
                ASSERT_TRUE(character >= 0x20 && character <= 0x7E) << change << ": " << text;
        }
    };
    for (const Bytes& file : {Save(source), old.GetBuffer()}) {
        for (std::size_t at = 0; at < file.size(); ++at) {
            expectDescribed(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at)),
                            "cut to " + std::to_string(at));
            Bytes changed = file;
            changed[at] ^= 0xFF;
            expectDescribed(changed, "byte " + std::to_string(at) + " inverted");
        }
    }
    EXPECT_GT(refusals, 500);
}

TEST_F(ChemDocTest, RootRecordThatIsNotATreeRootIsABadClass)
{
    Object impostor(nullptr);
    (new Object(&impostor))->SetLabel("inside");
    Archive archive;
    WriteHead(archive, 0x40001);
    archive << std::uint32_t{13};
    WriteRecord(archive, impostor);
    WriteView(archive, 18.0f, 0, 1, 0, false);
    archive << false << Matrix4x4();

    ChemDoc document;
    TreeRoot* const root = document.GetTreeRoot();
    try {
        Load(document, archive.GetBuffer());
        FAIL() << "no exception";
    } catch (const ArchiveException& error) {
        EXPECT_EQ(error.GetCause(), ArchiveException::badClass);
    }
    EXPECT_EQ(document.GetTreeRoot(), root);

    Archive framework;
    WriteHead(framework, 0x30000);
    framework.WriteObject(&impostor);
    try {
        Load(document, framework.GetBuffer());
        FAIL() << "no exception";
    } catch (const ArchiveException& error) {
        EXPECT_EQ(error.GetCause(), ArchiveException::badClass);
    }
    EXPECT_EQ(document.GetTreeRoot(), root);
}

// ---- After loading

TEST_F(ChemDocTest, OldSchemaScalesEveryDecoratedAnnotationByTheViewSize)
{
    ChemDoc source;
    source.SetViewSize(10.0);
    auto* const shown = new DecoratedAnnotation(source.GetTreeRoot());
    shown->SetXY(Point2d(0.5, -0.25));
    shown->Select(false);
    auto* const hidden = new DecoratedAnnotation(new Object(source.GetTreeRoot()));
    hidden->SetXY(Point2d(1.0, 2.0));
    hidden->SetInvisible(false);
    Bytes bytes = Save(source);

    ChemDoc current;
    Load(current, bytes);
    auto* const kept = DynCast<DecoratedAnnotation>(current.GetTreeRoot()->GetChild(0));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->GetXY(), Point2d(0.5, -0.25));

    PutU32(bytes, 28, 7);
    ChemDoc old;
    Load(old, bytes);
    auto* const scaled = DynCast<DecoratedAnnotation>(old.GetTreeRoot()->GetChild(0));
    auto* const scaledHidden = DynCast<DecoratedAnnotation>(old.GetTreeRoot()->GetChild(1)->GetChild(0));
    ASSERT_NE(scaled, nullptr);
    ASSERT_NE(scaledHidden, nullptr);
    EXPECT_EQ(scaled->GetXY(), Point2d(5.0, -2.5));
    EXPECT_EQ(scaledHidden->GetXY(), Point2d(10.0, 20.0));
}

TEST_F(ChemDocTest, NonFiniteViewValuesLoadAsTheDefaultsAndScaleNothingToNaN)
{
    ChemDoc source;
    source.SetMatrix(Turn());
    auto* const note = new DecoratedAnnotation(source.GetTreeRoot());
    note->SetXY(Point2d(0.5, -0.25));
    Bytes bytes = Save(source);
    PutU32(bytes, 28, 7);
    const std::size_t view = bytes.size() - viewTail;
    const float defaultSize = static_cast<float>(DataModelOptions().GetViewSize());
    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        const auto badSize = static_cast<float>(bad);
        std::memcpy(bytes.data() + view, &badSize, sizeof badSize);
        std::memcpy(bytes.data() + view + 18 + 5 * 8, &bad, sizeof bad);
        ChemDoc loaded;
        Load(loaded, bytes);
        EXPECT_EQ(loaded.GetViewSize(), defaultSize);
        EXPECT_EQ(*loaded.GetMatrix(), Matrix4x4());
        auto* const scaled = DynCast<DecoratedAnnotation>(loaded.GetTreeRoot()->GetChild(0));
        ASSERT_NE(scaled, nullptr);
        EXPECT_EQ(scaled->GetXY(), Point2d(0.5 * defaultSize, -0.25 * defaultSize));
    }
}

TEST_F(ChemDocTest, CellsWithReplicasHaveTheirSymmetryMapSwitchedOn)
{
    ChemDoc source;
    auto* const withReplicas = new Cell3d(source.GetTreeRoot());
    new ReplicateAtom(new Object(withReplicas));
    new Cell3d(source.GetTreeRoot());
    ChemDoc loaded;
    Load(loaded, Save(source));
    auto* const first = DynCast<Cell3d>(loaded.GetTreeRoot()->GetChild(0));
    auto* const second = DynCast<Cell3d>(loaded.GetTreeRoot()->GetChild(1));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(first->IsSymmetryMapEnabled());
    EXPECT_FALSE(second->IsSymmetryMapEnabled());
    // A replica outside any atom cannot be mapped: the map is there, empty.
    ASSERT_NE(first->GetSymmetryMap(), nullptr);
    OIDArray atoms{1};
    first->GetSymmetryMap()->GetAtomOIDs(atoms);
    EXPECT_TRUE(atoms.empty());
    EXPECT_FALSE(withReplicas->IsSymmetryMapEnabled());
}

TEST_F(ChemDocTest, AnOldFileCellHoldingItsAsymmetricUnitAloneIsBuiltOnceTheWholeFileIsRead)
{
    ChemDoc source;
    TreeRoot* const root = source.GetTreeRoot();
    const auto makeCell = [root] {
        auto* const cell = new Cell3d(root);
        cell->GetSymmetry()->LoadSpaceGroup(14, "", 0);
        auto* const molecule = new Molecule(cell);
        (new Atom3d(molecule, "C"))->SetXYZ(Point3d(1.0, 2.0, 3.0));
        return molecule;
    };
    // The second atom repeats the first a cell along: the build deletes it, and with it the bond
    // to an atom outside the cell, whose record follows the cell's.
    Molecule* const unit = makeCell();
    auto* const repeated = new Atom3d(unit, "O");
    repeated->SetXYZ(Point3d(11.0, 2.0, 3.0));
    auto* const outside = new Atom3d(root, "N");
    repeated->MakeBond(outside, Bond::Single);
    auto* const built = static_cast<Cell3d*>(makeCell()->GetParent());
    ASSERT_TRUE(built->Build(built->GetBuildInfo()));
    const int builtAtoms = built->GetNumDescendents(Atom::classType);

    Archive archive;
    WriteHead(archive, 0x30000u);
    archive.WriteObject(root);
    WriteView(archive, 25.0f, 1, 2, 0, true);
    archive << true << Turn();
    ChemDoc loaded;
    Load(loaded, archive.GetBuffer());
    TreeRoot* const back = loaded.GetTreeRoot();
    ASSERT_EQ(back->GetNumChildren(), 3);
    auto* const rebuilt = DynCast<Cell3d>(back->GetChild(0));
    auto* const kept = DynCast<Cell3d>(back->GetChild(2));
    ASSERT_NE(rebuilt, nullptr);
    ASSERT_NE(kept, nullptr);
    EXPECT_FALSE(rebuilt->IsDirty());
    // The symmetry map then turns the built replicas into ordinary atoms in their places.
    EXPECT_EQ(rebuilt->GetNumDescendents(ReplicateAtom::classType), 0);
    // The same build as the cell built before the save.
    EXPECT_EQ(rebuilt->GetNumDescendents(Atom::classType), builtAtoms);
    EXPECT_TRUE(rebuilt->IsSymmetryMapEnabled());
    EXPECT_EQ(back->GetNumDescendents(Bond::classType), 0);
    EXPECT_TRUE(IsA<Atom3d>(back->GetChild(1)));
    // A cell stored with its replicas keeps them as they are.
    EXPECT_FALSE(kept->IsDirty());
    EXPECT_EQ(kept->GetNumDescendents(Atom::classType), builtAtoms);
}

// ---- Commands

TEST_F(ChemDocTest, ApplyCommandBroadcastsTheHintOfASuccessfulCommand)
{
    static std::vector<int> hints;
    hints.clear();
    ChemDoc document;
    document.GetTreeRoot()->RegisterEvent(
        TreeRoot::classType, TreeRoot::EventChangeBroadcast,
        [](Event& event) { hints.push_back(*static_cast<int*>(event.GetExtraData())); }, false, nullptr, nullptr);

    HintCommand works(true, 16);
    EXPECT_TRUE(document.ApplyCommand(works));
    HintCommand fails(false, 4);
    EXPECT_FALSE(document.ApplyCommand(fails));
    EXPECT_EQ(hints, (std::vector<int>{16}));

    hints.clear();
    UpdateDecorator decorated(HintCommand(true, 4));
    EXPECT_TRUE(document.ApplyCommand(decorated));
    EXPECT_EQ(hints, (std::vector<int>{4, 1}));
}

// ---- View and options

TEST_F(ChemDocTest, FitToScreenFramesTheExtentsSeenThroughTheMatrix)
{
    ChemDoc empty;
    empty.FitToScreen(false);
    EXPECT_EQ(empty.GetViewSize(), 10.0);
    EXPECT_EQ(*empty.GetMatrix(), Matrix4x4());

    ChemDoc document;
    new DocPoint(document.GetTreeRoot(), Point3d(2.0, 0.0, 0.0));
    new DocPoint(document.GetTreeRoot(), Point3d(12.0, 4.0, 0.0));
    Point3d minimum;
    Point3d maximum;
    EXPECT_EQ(document.GetBoundingBox(minimum, maximum, false), Point3d(7.0, 2.0, 0.0));
    EXPECT_EQ(minimum, Point3d(2.0, 0.0, 0.0));
    EXPECT_EQ(maximum, Point3d(12.0, 4.0, 0.0));
    document.FitToScreen(false);
    EXPECT_EQ(document.GetViewSize(), 15.0);
    EXPECT_EQ(document.GetCenterOfGeometry(), Point3d::origin);

    document.ApplyMatrix();
    EXPECT_EQ(*document.GetMatrix(), Matrix4x4());
    EXPECT_EQ(DynCast<DocPoint>(document.GetTreeRoot()->GetChild(0))->GetXYZ(), Point3d(-5.0, -2.0, 0.0));
}

// The clean-up after a refused read frees the parentless nodes the read made, but not the tree of a
// document record that read completed: the document still holds it.
TEST_F(ChemDocTest, ARefusedReadAroundADocumentRecordLeavesTheDocumentItsTree)
{
    ChemDoc source;
    new Object(source.GetTreeRoot());
    Archive out;
    out.WriteObject(&source);
    out << std::uint16_t{0x7FFF};
    Archive in(out.GetBuffer());
    const std::uint32_t before = Base::GetLastOID();
    std::unique_ptr<ChemDoc> read(dynamic_cast<ChemDoc*>(in.ReadObject(&ChemDoc::GetThisClass())));
    ASSERT_NE(read, nullptr);
    EXPECT_THROW(in.ReadObject(), ArchiveException);
    TreeNode::DeleteParentlessSince(before, Base::GetLastOID());
    ASSERT_EQ(Base::GetObjectA(read->GetTreeRoot()->GetOID()), read->GetTreeRoot());
    EXPECT_EQ(read->GetTreeRoot()->GetNumChildren(), 1);
}

TEST_F(ChemDocTest, CheckpointsAreIndependentCopies)
{
    ChemDoc document;
    document.GetTreeRoot()->SetLabel("first");
    document.SetMatrix(Turn());
    std::unique_ptr<ChemDoc> checkpoint(document.CreateCheckpoint());
    document.GetTreeRoot()->SetLabel("second");
    document.SetMatrix(Matrix4x4());
    EXPECT_EQ(checkpoint->GetTreeRoot()->GetLabel(), "first");

    EXPECT_TRUE(document.RestoreCheckpoint(nullptr));
    EXPECT_TRUE(document.RestoreCheckpoint(&document));
    EXPECT_EQ(document.GetTreeRoot()->GetLabel(), "second");
    EXPECT_TRUE(document.RestoreCheckpoint(checkpoint.get()));
    EXPECT_EQ(document.GetTreeRoot()->GetLabel(), "first");
    EXPECT_NE(document.GetTreeRoot(), checkpoint->GetTreeRoot());
    EXPECT_EQ(*document.GetMatrix(), Turn());

    EXPECT_FALSE(document.ReplaceChemDoc(nullptr));
    TreeRoot other;
    other.SetLabel("other");
    document.ReplaceTreeRoot(&other);
    EXPECT_EQ(document.GetTreeRoot()->GetLabel(), "other");
    EXPECT_NE(document.GetTreeRoot(), &other);
}

// The pool's blocks a document's objects leave serve what the document makes next, a read of its file
// again above all, and go back to the system with the document, but for those of slabs another
// document's objects still use.
TEST_F(ChemDocTest, PoolBlocksADocumentEmptiesServeItWhileItLivesAndGoBackWithIt)
{
    if (!ObjectPool::ServesObjects)
        GTEST_SKIP() << "objects come from the heap under AddressSanitizer";
    const ObjectPool& pool = ObjectPool::Objects();
    const auto fill = [](ChemDoc& document, int count) {
        for (int i = 0; i < count; ++i)
            new DocPoint(document.GetTreeRoot(), Point3d(i, 0.0, 0.0));
    };
    {
        // What the first save and load make once for the process.
        ChemDoc first;
        fill(first, 10);
        Load(first, Save(first));
    }
    const std::size_t slabsBefore = pool.GetNumSlabs();
    auto document = std::make_unique<ChemDoc>();
    fill(*document, 40'000);
    const Bytes bytes = Save(*document);
    ASSERT_GE(pool.GetNumSlabs(), slabsBefore + 2);

    // A read builds the new tree beside the old one and frees the old one after: from the second on,
    // each is built into the blocks the one before it left, and no slab is mapped or given back.
    Load(*document, bytes);
    const std::size_t slabsOfTwoTrees = pool.GetNumSlabs();
    for (int read = 0; read < 3; ++read) {
        Load(*document, bytes);
        EXPECT_EQ(pool.GetNumSlabs(), slabsOfTwoTrees);
    }

    // Another document's atoms take the lowest spares, in the first one's slabs.
    auto other = std::make_unique<ChemDoc>();
    auto* const molecule = new Molecule(other->GetTreeRoot());
    for (int i = 0; i < 1000; ++i)
        (new Atom3d(molecule, "C"))->SetXYZ(Point3d(i, 1.0, 2.0));
    document.reset();
    EXPECT_LT(pool.GetNumSlabs(), slabsOfTwoTrees);
    int intact = 0;
    for (int i = 0; i < molecule->GetNumChildren(); ++i)
        intact += static_cast<Atom3d*>(molecule->GetChild(i))->GetXYZ() == Point3d(i, 1.0, 2.0) ? 1 : 0;
    EXPECT_EQ(intact, 1000);
    other.reset();
    EXPECT_EQ(pool.GetNumSlabs(), slabsBefore);
}

TEST_F(ChemDocTest, OptionsCarryTheViewMatrixAndTheSharedSynchronisedViews)
{
    ChemDoc first;
    ChemDoc second;
    first.SetSyncronizedViews(true);
    EXPECT_TRUE(second.GetSyncronizedViews());
    first.SetMatrix(Turn());
    DataModelOptions options;
    first.GetOptions(options);
    EXPECT_EQ(options.GetModelMatrix(), Turn());
    EXPECT_TRUE(options.GetSyncronizeViews());

    options.SetSyncronizeViews(false);
    options.SetModelMatrix(Matrix4x4());
    options.SetViewSize(40.0);
    second.SetOptions(options);
    EXPECT_FALSE(first.GetSyncronizedViews());
    EXPECT_EQ(*second.GetMatrix(), Matrix4x4());
    EXPECT_EQ(second.GetViewSize(), 40.0);

    GraphicsAttributes attributes;
    first.GetGraphAttr(attributes);
    EXPECT_EQ(attributes.GetModelMatrix(), Turn());
}
