#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/UniqueString.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

struct Heard {
    std::uint16_t code;
    std::string attribute;
};
std::vector<Heard> g_heard;

void Record(Event& event)
{
    g_heard.push_back({event.GetEventType(), event.GetAttribute() ? event.GetAttribute() : ""});
}

std::vector<std::uint16_t> Codes()
{
    std::vector<std::uint16_t> codes;
    for (const Heard& heard : g_heard)
        codes.push_back(heard.code);
    return codes;
}

// Listens to every Object event of the node.
void Listen(Object& node)
{
    for (std::uint16_t code = 1; code <= 128; code = static_cast<std::uint16_t>(code * 2))
        node.RegisterEvent(Object::classType, code, Record, false, nullptr, nullptr);
    g_heard.clear();
}

// Draws a dot tagged with its pick identifier on the normal path and a line on the fast path.
class Marker : public Object {
public:
    explicit Marker(TreeNode* parent, std::int32_t style = 1) : Object(parent) { SetDisplayStyle(style); }
    int displayAllCalls = 0;

    void DisplayAll(DisplayList3D& list, bool selectedOnly) override
    {
        ++displayAllCalls;
        Object::DisplayAll(list, selectedOnly);
    }

protected:
    void NormalDisplay(DisplayList3D& list) override
    {
        list.Add(DotPrimitive(Point3d(GetID(), 0.0, 0.0), GetColor(), 1.0, GetDisplayOID()));
    }
    void FastDisplay(DisplayList3D& list) override
    {
        list.Add(LinePrimitive(Point3d(), Point3d(GetID(), 0.0, 0.0), GetColor(), 1.0, GetDisplayOID()));
    }
};

std::vector<std::uint32_t> DrawnOIDs(const DisplayList3D& list)
{
    std::vector<std::uint32_t> oids;
    for (std::size_t i = 0; i < list.GetSize(); ++i)
        oids.push_back(list.GetPrimitive(i)->GetOID());
    return oids;
}

class ObjectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override { g_heard.clear(); }
};

} // namespace

TEST_F(ObjectTest, IdTextTakesTheLeadingIntegerAndRefusesTextWithoutOneWithoutEvents)
{
    Object node(nullptr);
    Listen(node);
    const struct {
        const char* text;
        std::int32_t id;
    } taken[] = {{" 12abc", 12}, {"7abc", 7}, {"1.5.5", 1}, {"1e39", 1}, {"3 4", 3}, {"-12abc", -12}};
    for (const auto& t : taken) {
        EXPECT_TRUE(node.SetPropertyFromString("id", t.text)) << t.text;
        EXPECT_EQ(node.GetID(), t.id) << t.text;
    }
    g_heard.clear();
    for (const std::string& bad :
         std::vector<std::string>{"abc", "", " ", "99999999999", "+", std::string(1, '\0') + "1"})
        EXPECT_FALSE(node.SetPropertyFromString("ID", bad)) << bad;
    EXPECT_EQ(node.GetPropertyAsString("Id"), "-12");
    EXPECT_TRUE(Codes().empty());
}

TEST_F(ObjectTest, UnknownNamesBecomeTextUserPropertiesAnnouncedOnce)
{
    Object root(nullptr);
    Object* child = new Object(&root);
    Listen(*child);
    for (const char* name : {"LID", "Index", "oiv", "Remark"})
        EXPECT_TRUE(child->SetPropertyFromString(name, "7"));
    EXPECT_TRUE(child->SetPropertyFromString("Remark", "second"));
    EXPECT_EQ(Codes(), std::vector<std::uint16_t>(4, Object::EventPropertyCreated));
    // The tree is untouched; the recognised readers still answer from the tree.
    EXPECT_EQ(child->GetPropertyAsString("Index"), "0");
    EXPECT_EQ(child->GetPropertyAsString("oiv"), "/0/");
    EXPECT_EQ(child->GetPropertyAsString("Remark"), "second");
    ObjectProperty::Array users;
    EXPECT_EQ(child->GetUserProperties(users), 4);
    EXPECT_EQ(users[3].GetName(), "Remark");
    EXPECT_TRUE(users[3].IsWritable());
    EXPECT_EQ(child->GetPropertyAsObjectProperty("remark").GetStringValue(), "second");
}

TEST_F(ObjectTest, TextThatCannotBeTakenChangesNothing)
{
    Object root(nullptr);
    Object* node = new Object(&root);
    node->SetColor(Color(10, 20, 30));
    node->SetProperty("Count", std::int32_t{5}, 0);
    Listen(*node);

    EXPECT_FALSE(node->SetPropertyFromString("", "x"));
    EXPECT_FALSE(node->SetPropertyFromString("Color", "red"));
    EXPECT_FALSE(node->SetPropertyFromString("Color", "1 2"));
    EXPECT_EQ(node->GetColor(), Color(10, 20, 30));
    EXPECT_FALSE(node->SetPropertyFromString("Selected", "maybe"));
    EXPECT_FALSE(node->SetPropertyFromString("Visible", "yes"));
    EXPECT_FALSE(node->SetPropertyFromString("Style", "Fancy"));
    EXPECT_FALSE(node->SetPropertyFromString("Parent", "root"));
    // A long user property refuses letters and keeps both its value and its (private) flags.
    EXPECT_FALSE(node->SetPropertyFromString("Count", "many"));
    std::int32_t count = 0;
    EXPECT_TRUE(node->GetProperty("Count", count));
    EXPECT_EQ(count, 5);
    ObjectProperty::Array users;
    EXPECT_EQ(node->GetUserProperties(users), 0);
    EXPECT_FALSE(node->IsObjectSelected());
    EXPECT_TRUE(node->IsVisible());
    EXPECT_EQ(node->GetDisplayStyle(), 0);
    EXPECT_TRUE(g_heard.empty());

    EXPECT_TRUE(node->SetPropertyFromString("COLOR", "255 128 0"));
    EXPECT_EQ(node->GetPropertyAsString("color"), "255 128 0");
}

TEST_F(ObjectTest, WordsAreTakenInAnyCase)
{
    Object root(nullptr);
    Object* child = new Object(&root);
    Object* grandchild = new Object(child);
    EXPECT_TRUE(child->SetPropertyFromString("Selected", "ALL"));
    EXPECT_TRUE(grandchild->IsSelected());
    EXPECT_EQ(grandchild->GetPropertyAsString("selection"), "true");
    EXPECT_TRUE(child->SetPropertyFromString("SELECT", "None"));
    EXPECT_FALSE(grandchild->IsSelected());
    EXPECT_TRUE(child->SetPropertyFromString("visible", "OFF"));
    EXPECT_FALSE(grandchild->IsVisible());
    EXPECT_TRUE(child->SetPropertyFromString("style", "default"));
    EXPECT_EQ(child->GetDisplayStyle(), 1);
    EXPECT_TRUE(child->SetPropertyFromString("name", "chain A"));
    EXPECT_EQ(grandchild->GetPropertyAsString("Parent"), "chain A");
}

TEST_F(ObjectTest, DescriptorsNameTheLabelNameAndListTheParentOnlyWithOne)
{
    Object root(nullptr);
    root.SetLabel("top");
    Object* child = new Object(&root);
    EXPECT_EQ(child->GetPropertyAsObjectProperty("Label").GetName(), "Name");
    EXPECT_FALSE(root.GetPropertyAsObjectProperty("Parent").HasValue());
    ObjectProperty::Array properties;
    EXPECT_EQ(root.GetProperties(properties), 3);
    EXPECT_EQ(child->GetProperties(properties), 7);
    EXPECT_EQ(properties[6].GetName(), "Parent");
    EXPECT_EQ(properties[6].GetAccess(), ObjectProperty::AccessReadable);
    EXPECT_EQ(properties[6].GetStringValue(), "top");
    EXPECT_EQ(properties[5].GetPropertyType(), 3);
}

TEST_F(ObjectTest, ClassNamesAnswerTheNearestAncestorOfThatClass)
{
    Object root(nullptr);
    Object* child = new Object(&root);
    Object* grandchild = new Object(new Object(child));
    EXPECT_EQ(grandchild->GetPropertyAsString("Object"), "/0/0/");
    EXPECT_EQ(root.GetPropertyAsString("xxobject"), "/");
    EXPECT_EQ(child->GetPropertyAsString("Geometric"), "");
    EXPECT_EQ(Object::FindClassTypeCommon("object"), Object::classType);
    EXPECT_EQ(Object::FindClassTypeCommon("NoSuchClass"), 0u);
    grandchild->SetProperty("Object", "mine", DataStorage::FlagReadable);
    EXPECT_EQ(grandchild->GetPropertyAsString("Object"), "mine");
}

TEST_F(ObjectTest, EventsFollowCallsNotChanges)
{
    Object node(nullptr);
    Listen(node);
    node.SetID(0);
    node.SetID(0);
    node.RemoveProperty("absent");
    node.SetDisplayStyle(3);
    node.SetDisplayStyle(3);
    node.SetProperty("Weight", 2.5f, DataStorage::FlagReadable);
    node.SetColor(Color::Red());
    node.SetDefaultColor();
    node.SetTempData(&node, true);
    node.ExpandNode(false);
    node.ExpandNode(false);
    node.CollapseNode(true);
    EXPECT_EQ(Codes(), (std::vector<std::uint16_t>{1, 1, 32, 64, 16, 128, 128}));

    // Property events carry the name, so listeners can follow one property.
    Object other(nullptr);
    other.RegisterEvent(Object::classType, Object::EventPropertySet, Record, false, nullptr, "Weight");
    g_heard.clear();
    other.SetProperty("Height", std::int32_t{1}, 0);
    other.SetProperty("Weight", std::int32_t{2}, 0);
    ASSERT_EQ(g_heard.size(), 1u);
    EXPECT_EQ(g_heard[0].attribute, "Weight");
}

// A name interned once sets the same cell as its text does, announced under the name alike.
TEST_F(ObjectTest, AnInternedNameSetsTheCellItsTextNames)
{
    static const UniqueString weight("Weight");
    Object node(nullptr);
    node.SetProperty("Weight", 1.5f, DataStorage::FlagReadable);
    node.SetProperty("Height", std::int32_t{1}, 0);
    // Unheard, the value still lands and the object is marked modified.
    node.ClearModified();
    node.SetProperty(weight, 3, 0);
    EXPECT_TRUE(node.IsModified());
    std::int32_t unheard = 0;
    ASSERT_TRUE(node.GetProperty("Weight", unheard));
    EXPECT_EQ(unheard, 3);
    // A tree registration above hears it.
    Object parent(nullptr);
    auto* const child = new Object(&parent);
    parent.RegisterEvent(Object::classType, Object::EventPropertySet, Record, true, nullptr, nullptr);
    g_heard.clear();
    child->SetProperty(weight, 4, 0);
    EXPECT_EQ(Codes(), (std::vector<std::uint16_t>{Object::EventPropertySet}));
    node.RegisterEvent(Object::classType, Object::EventPropertySet, Record, false, nullptr, "Weight");
    g_heard.clear();
    node.SetProperty(weight, 7, DataStorage::FlagWritable);
    ASSERT_EQ(g_heard.size(), 1u);
    EXPECT_EQ(g_heard[0].attribute, "Weight");
    std::int32_t value = 0;
    ASSERT_TRUE(node.GetProperty("Weight", value));
    EXPECT_EQ(value, 7);
    float old = 0;
    EXPECT_FALSE(node.GetProperty("Weight", old));  // the cell was replaced, not added
    node.SetProperty("Weight", std::int32_t{8}, 0);
    ASSERT_TRUE(node.GetProperty("Weight", value));
    EXPECT_EQ(value, 8);
    ASSERT_TRUE(node.GetProperty("Height", value));
    EXPECT_EQ(value, 1);
}

// Two interned names at once: as two SetProperty calls, on a new table, on one holding the second
// name already, for one name twice, and where heard.
TEST_F(ObjectTest, TwoInternedNamesAreSetAsTwoCallsWould)
{
    static const UniqueString site("Site");
    static const UniqueString rank("Rank");
    constexpr std::uint32_t readable = DataStorage::FlagReadable;
    const auto cells = [](const Object& object) {
        ObjectProperty::Array listed;
        object.GetUserProperties(listed);
        std::string found;
        for (const ObjectProperty& property : listed)
            found += property.GetName() + "=" + object.GetPropertyAsString(property.GetName()) + " ";
        return found;
    };
    Object fresh(nullptr);
    fresh.ClearModified();
    fresh.SetProperties(site, 3, rank, -4, readable);
    EXPECT_TRUE(fresh.IsModified());
    EXPECT_EQ(cells(fresh), "Site=3 Rank=-4 ");
    Object held(nullptr);
    held.SetProperty("Rank", 1.5f, readable);
    held.SetProperties(site, 1, rank, 2, readable);
    EXPECT_EQ(cells(held), "Rank=2 Site=1 ");
    Object twice(nullptr);
    twice.SetProperties(site, 1, site, 2, readable);
    EXPECT_EQ(cells(twice), "Site=2 ");

    Object parent(nullptr);
    auto* const child = new Object(&parent);
    parent.RegisterEvent(Object::classType, Object::EventPropertySet, Record, true, nullptr, "Rank");
    parent.RegisterEvent(Object::classType, Object::EventPropertySet, Record, true, nullptr, "Site");
    g_heard.clear();
    child->SetProperties(site, 7, rank, 8, readable);
    ASSERT_EQ(g_heard.size(), 2u);
    EXPECT_EQ(g_heard[0].attribute + g_heard[1].attribute, "SiteRank");
    EXPECT_EQ(cells(*child), "Site=7 Rank=8 ");
}

// The rare members share one block whichever came first: registrations, properties and temp data
// added in any order all work, and dropping the registrations keeps the properties.
TEST_F(ObjectTest, PropertiesRegistrationsAndTempDataComeInAnyOrder)
{
    Object propertiesFirst(nullptr);
    propertiesFirst.SetProperty("Charge", std::int32_t{-1}, DataStorage::FlagReadable);
    propertiesFirst.SetTempData(&propertiesFirst, false);
    Listen(propertiesFirst);
    propertiesFirst.SetProperty("Site", "A12", DataStorage::FlagReadable);
    EXPECT_EQ(Codes(), (std::vector<std::uint16_t>{Object::EventPropertySet}));
    propertiesFirst.UnregisterAllEvents();
    propertiesFirst.SetProperty("Charge", std::int32_t{2}, DataStorage::FlagReadable);
    EXPECT_EQ(g_heard.size(), 1u);
    EXPECT_EQ(propertiesFirst.GetTempData(), &propertiesFirst);

    Object registrationsFirst(nullptr);
    registrationsFirst.SetTempData(&registrationsFirst, false);
    Listen(registrationsFirst);
    registrationsFirst.SetProperty("Charge", std::int32_t{2}, DataStorage::FlagReadable);
    registrationsFirst.SetProperty("Site", "A12", DataStorage::FlagReadable);
    EXPECT_EQ(g_heard.size(), 2u);
    EXPECT_EQ(registrationsFirst.GetTempData(), &registrationsFirst);

    for (Object* node : {&propertiesFirst, &registrationsFirst}) {
        std::int32_t charge = 0;
        EXPECT_TRUE(node->GetProperty("Charge", charge));
        EXPECT_EQ(charge, 2);
        EXPECT_EQ(node->GetPropertyAsString("Site"), "A12");
        node->RemoveProperty("Charge");
        EXPECT_FALSE(node->HasProperty("Charge"));
        EXPECT_TRUE(node->HasProperty("Site"));
    }
}

TEST_F(ObjectTest, ColorIndexSchemeCyclesThroughEightColoursAndCoversTheRoot)
{
    Object root(nullptr);
    std::vector<Object*> containers;
    for (int i = 0; i < 9; ++i)
        containers.push_back(new Object(&root));
    Object* leaf = new Object(new Object(containers[2]));
    leaf->SetColorScheme("Object");
    EXPECT_EQ(leaf->GetColor(), Color::White());  // the leaf itself is an Object: its own index 0
    containers[8]->SetColor(Color::Red());
    containers[8]->SetColorScheme("Object");
    EXPECT_EQ(containers[8]->GetColor(), Color::White());
    containers[2]->SetColorScheme("OBJECT");
    EXPECT_EQ(containers[2]->GetColor(), Color(255, 128, 0));
    root.SetColorScheme("Object");
    EXPECT_EQ(root.GetColor().GetValue(), 0u);
    containers[7]->SetColorScheme("Color Index");
    containers[7]->SetColorScheme("");
    EXPECT_EQ(containers[7]->GetColor(), Color::White());

    std::vector<std::string> schemes;
    EXPECT_EQ(containers[0]->GetParentColorSchemes(schemes), 0);
    EXPECT_EQ(leaf->GetParentColorSchemes(schemes), 2);
    EXPECT_EQ(schemes, (std::vector<std::string>{"Object", "Object"}));
    EXPECT_EQ(leaf->GetColorSchemes(schemes), 3);
}

TEST_F(ObjectTest, DisplayAllSkipsHiddenSubtreesButDescendsThroughUndrawnNodes)
{
    Object root(nullptr);
    Object* group = new Object(&root);  // style 0: draws nothing itself
    Marker* a = new Marker(group);
    Marker* hiddenParent = new Marker(group);
    Marker* b = new Marker(hiddenParent);
    Marker* invisible = new Marker(&root);
    Marker* c = new Marker(invisible);
    invisible->SetInvisible(false);
    a->DisableSelection(false);

    DisplayList3D list;
    root.DisplayAll(list, false);
    EXPECT_EQ(DrawnOIDs(list), (std::vector<std::uint32_t>{0, hiddenParent->GetOID(), b->GetOID(), c->GetOID()}));
    EXPECT_EQ(list.GetAll<DotPrimitive>().size(), 4u);
    EXPECT_EQ(b->displayAllCalls, 1);

    hiddenParent->ClearHint(1);
    list.Clear();
    root.DisplayAll(list, false);
    EXPECT_EQ(DrawnOIDs(list), (std::vector<std::uint32_t>{0, c->GetOID()}));
    list.Clear();
    b->DisplayAll(list, false);
    EXPECT_TRUE(list.IsEmpty());
    root.DisplayAllExtents(list, false);
    EXPECT_EQ(list.GetSize(), 4u);

    DisplayList3D fast(DisplayList3D::fastMode);
    a->Display(fast);
    EXPECT_EQ(fast.GetAll<LinePrimitive>().size(), 1u);
    DisplayList3D other(3);
    root.DisplayAllExtents(other, false);
    EXPECT_TRUE(other.IsEmpty());

    group->Deactivate();
    c->Select(false);
    hiddenParent->SetHint(1);
    list.Clear();
    root.DisplayAll(list, true);
    EXPECT_EQ(DrawnOIDs(list), std::vector<std::uint32_t>{c->GetOID()});
    EXPECT_FALSE(Object::CheckDisplayed(b));
    EXPECT_TRUE(Object::CheckDisplayed(c));
    EXPECT_FALSE(Object::CheckDisplayed(nullptr));
}

TEST_F(ObjectTest, RecursiveStyleReachesMatchingDescendantsThroughOthers)
{
    Object root(nullptr);
    Object* plain = new Object(&root);
    Marker* marker = new Marker(plain, 2);
    Marker* selected = new Marker(plain, 2);
    selected->Select(false);
    root.SetDisplayStyle(5, Object::classType, true, true);
    EXPECT_EQ(selected->GetDisplayStyle(), 5);
    EXPECT_EQ(marker->GetDisplayStyle(), 2);
    root.SetDisplayStyle(4, Object::classType, false, false);
    EXPECT_EQ(root.GetDisplayStyle(), 4);
    EXPECT_EQ(plain->GetDisplayStyle(), 0);
    root.SetDisplayStyle(256 + 7, Object::classType, true, false);
    EXPECT_EQ(marker->GetDisplayStyle(), 7);
}

TEST_F(ObjectTest, StyleListenerMayDeleteTheNodeBeingStyled)
{
    Object root(nullptr);
    Object* first = new Object(&root);
    Object* doomed = new Object(first);
    new Object(doomed);
    Object* cousin = new Object(&root);
    static Object* s_doomed = nullptr;
    s_doomed = doomed;
    doomed->RegisterEvent(Object::classType, Object::EventDisplayStyleChanged,
                          [](Event&) { delete std::exchange(s_doomed, nullptr); }, false, nullptr, nullptr);
    root.SetDisplayStyle(3, Object::classType, true, false);
    EXPECT_EQ(first->GetNumChildren(), 0);
    EXPECT_EQ(cousin->GetDisplayStyle(), 3);
}

TEST_F(ObjectTest, DeepChainsAreWalkedWithoutRecursion)
{
    constexpr int depth = 100000;
    // Built from the leaf up, as attaching below a deep node costs its depth.
    Object* node = new Object(nullptr);
    std::unique_ptr<Object> root(node);
    for (int i = 0; i < depth; ++i) {
        auto* above = new Object(nullptr);
        root.release()->SetParent(above);
        root.reset(above);
    }
    node->SetDisplayStyle(1);
    root->SetTempData(root.get(), true);
    EXPECT_EQ(node->GetTempData(), root.get());
    root->SetDisplayStyle(2, Object::classType, true, false);
    EXPECT_EQ(node->GetDisplayStyle(), 2);
    DisplayList3D list;
    root->DisplayAll(list, true);
    root->DisplayAllExtents(list, false);
    EXPECT_TRUE(list.IsEmpty());  // Object draws nothing of its own
    std::vector<std::string> schemes;
    EXPECT_EQ(node->GetParentColorSchemes(schemes), depth - 1);
}

TEST_F(ObjectTest, CopiesCarryLookAndPropertiesButNotScratchData)
{
    Object root(nullptr);
    root.SetLabel("r");
    root.SetID(4);
    root.SetColor(Color::Blue());
    root.SetDisplayStyle(3);
    root.SetProperty("Note", "kept", DataStorage::FlagReadable);
    root.SetTempData(&root, false);
    Object* child = new Object(&root);
    child->SetLabel("c");
    std::unique_ptr<Object> copy(root.TreeCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetLabel(), "r");
    EXPECT_EQ(copy->GetID(), 4);
    EXPECT_EQ(copy->GetColor(), Color::Blue());
    EXPECT_EQ(copy->GetDisplayStyle(), 3);
    EXPECT_EQ(copy->GetPropertyAsString("Note"), "kept");
    EXPECT_EQ(copy->GetTempData(), nullptr);
    ASSERT_NE(copy->GetChild(0), nullptr);
    EXPECT_EQ(copy->GetChild(0)->GetLabel(), "c");

    Object other(nullptr);
    other.CopyProperties(&root);
    other.CopyProperties(nullptr);
    EXPECT_TRUE(other.HasProperty("Note"));
}

TEST_F(ObjectTest, SubtreeSurvivesTheCompressedPropertyStream)
{
    Object root(nullptr);
    root.SetLabel("root");
    Object* child = new Object(&root);
    child->SetLabel("child");
    child->SetID(-7);
    child->SetColor(Color(1, 2, 3, 4));
    child->SetDisplayStyle(9);
    child->SetProperty("Weight", 2.5f, DataStorage::FlagReadable | DataStorage::FlagWritable);
    child->SetProperty("Scratch", std::int32_t{1}, DataStorage::FlagTemporary);
    Object* sibling = new Object(&root);
    sibling->SetLabel("sibling past the in-place limit");

    Archive out;
    {
        CompressedPropertyArchive stream(out);
        stream.AddOIDMapEntry(root.GetOID(), root.GetOID());
        root.WriteProperties(stream, root.GetOID());
    }
    Archive in(out.GetBuffer());
    CompressedPropertyArchive stream(in);
    std::unique_ptr<Object> loaded(DynCast<Object>(Catalog::ReadProperties(stream)));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetLabel(), "root");
    ASSERT_EQ(loaded->GetNumChildren(), 2);
    const Object* back = loaded->GetChild(0);
    EXPECT_EQ(back->GetLabel(), "child");
    EXPECT_EQ(back->GetID(), -7);
    EXPECT_EQ(back->GetColor(), Color(1, 2, 3, 4));
    EXPECT_EQ(back->GetDisplayStyle(), 9);
    EXPECT_EQ(back->GetPropertyAsString("Weight"), "2.500000");
    EXPECT_FALSE(back->HasProperty("Scratch"));
    EXPECT_EQ(loaded->GetChild(1)->GetLabel(), "sibling past the in-place limit");
}

// An object that never had a user property stores the same block as one whose table is empty or holds
// only scratch values, in the class's first record and in the planned records after it.
TEST_F(ObjectTest, NoUserPropertiesStoreTheEmptyTableForm)
{
    Object root(nullptr);
    Object* const child = new Object(&root);
    const auto save = [&root] {
        Archive out;
        {
            CompressedPropertyArchive stream(out);
            stream.AddOIDMapEntry(root.GetOID(), root.GetOID());
            root.WriteProperties(stream, root.GetOID());
        }
        return out.GetBuffer();
    };
    const std::vector<std::uint8_t> without = save();
    root.SetProperty("Scratch", std::int32_t{1}, DataStorage::FlagTemporary);
    child->SetProperty("Gone", 1.0f, DataStorage::FlagReadable);
    child->RemoveProperty("Gone");
    EXPECT_EQ(save(), without);

    child->SetProperty("Kept", std::int32_t{3}, DataStorage::FlagReadable);
    Archive in(save());
    CompressedPropertyArchive stream(in);
    std::unique_ptr<Object> loaded(DynCast<Object>(Catalog::ReadProperties(stream)));
    ASSERT_NE(loaded, nullptr);
    EXPECT_FALSE(loaded->HasProperty("Scratch"));
    ASSERT_EQ(loaded->GetNumChildren(), 1);
    EXPECT_EQ(loaded->GetChild(0)->GetPropertyAsString("Kept"), "3");
}

TEST_F(ObjectTest, FrameworkArchiveFormKeepsTheFields)
{
    Object node(nullptr);
    node.SetLabel("n");
    node.SetID(42);
    node.SetColor(Color::Cyan());
    node.SetDisplayStyle(2);
    node.SetProperty("Tag", "t", DataStorage::FlagReadable);
    Object* slots[2] = {&node, nullptr};
    Archive out;
    Object::SerializeObjects(out, slots, 2);

    Archive in(out.GetBuffer());
    Object* read[2] = {nullptr, &node};
    SerializeElements(in, read, 2);
    std::unique_ptr<Object> loaded(read[0]);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(read[1], nullptr);
    EXPECT_EQ(loaded->GetLabel(), "n");
    EXPECT_EQ(loaded->GetID(), 42);
    EXPECT_EQ(loaded->GetColor(), Color::Cyan());
    EXPECT_EQ(loaded->GetDisplayStyle(), 2);
    EXPECT_EQ(loaded->GetPropertyAsString("Tag"), "t");

    const std::vector<std::uint8_t>& bytes = out.GetBuffer();
    for (std::size_t size = 0; size + 2 < bytes.size(); ++size) {  // the last two bytes: the null slot
        Archive cut(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
        Object* slot = nullptr;
        EXPECT_THROW(Object::SerializeObjects(cut, &slot, 1), ArchiveException) << size;
    }
}
