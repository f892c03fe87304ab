#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/conformers/Animation.h>
#include <tavrel/conformers/ObjectFrame.h>
#include <tavrel/conformers/Trajectory.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/TreeRoot.h>
#include "support/RecordStream.h"

namespace Tavrel {

// A frame that notes "object=frame" in a shared log when applied, and may delete a victim then.
class LoggingFrame : public ObjectFrame {
    TAVREL_DECLARE_CLASS(LoggingFrame, ObjectFrame)
public:
    LoggingFrame(Object* parent, std::string_view label)
    {
        SetParent(parent);
        SetLabel(label);
    }

    void Apply(Object* object) override
    {
        log.push_back(object->GetLabel() + "=" + GetLabel());
        delete std::exchange(victim, nullptr);
    }

    static inline std::vector<std::string> log;
    static inline Object* victim = nullptr;

protected:
    LoggingFrame() = default;
    LoggingFrame(const LoggingFrame&) = default;
};
TAVREL_IMPLEMENT_CLASS(LoggingFrame, ClassKind::Creatable)

// Writes a trajectory frame's record whose two lists hold what the test puts in them.
class ForgedTrajectoryFrame : public Object {
public:
    using Superclass = Object;
    using Pairs = std::vector<std::pair<Object*, Object*>>;
    explicit ForgedTrajectoryFrame(Object* parent) : Object(parent) {}
    // A record of its own, so the stream describes this class apart from Object.
    const RuntimeClass* GetRuntimeClass() const override
    {
        static const RuntimeClass record{"XXForgedTrajectoryFrame", 0, nullptr, &Object::GetThisClass()};
        return &record;
    }
    const char* GetClassHierarchyName() const override { return "TrajectoryFrame"; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override
    {
        Object::BuildClassHierarchy(hierarchy);
        hierarchy.AddClass("TrajectoryFrame");
    }
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        static const PropertyTable table(
            nullptr, PropertyList<ForgedTrajectoryFrame>()
                         .Pairs(
                             "Frame List", [](const ForgedTrajectoryFrame& forged) { return forged.frameList; },
                             [](ForgedTrajectoryFrame&, std::size_t, Object*, Object*) {})
                         .Pairs(
                             "Object List", [](const ForgedTrajectoryFrame& forged) { return forged.objectList; },
                             [](ForgedTrajectoryFrame&, std::size_t, Object*, Object*) {}));
        PropertyPass(archive, *this).Table(table);
    }

    Pairs frameList;
    Pairs objectList;
};

// A host's trajectory: frames go in and out by list, each removal noted; removing one may delete another.
class HostTrajectory : public Trajectory {
public:
    using Trajectory::AddFrameList;
    using Trajectory::RemoveAllFrames;
    void RemoveFrame(TrajectoryFrame* frame) override
    {
        removed.push_back(frame->GetLabel());
        Trajectory::RemoveFrame(frame);
        delete std::exchange(victim, nullptr);
    }
    std::vector<std::string> removed;
    Object* victim = nullptr;
};

} // namespace Tavrel

using namespace Tavrel;

namespace {

class TrajectoryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<LoggingFrame>();
    }

    TrajectoryTest() { LoggingFrame::log.clear(); }

    Object* Thing(std::string_view label, Object* parent = nullptr)
    {
        auto* object = new Object(parent ? parent : &root);
        object->SetLabel(label);
        return object;
    }

    // A trajectory frame under the parent pairing each object with a new frame labelled after it.
    TrajectoryFrame* Moment(const std::vector<Object*>& objects, std::string_view suffix, Object* parent = nullptr)
    {
        auto* moment = new TrajectoryFrame();
        moment->SetParent(parent ? parent : &root);
        for (Object* object : objects)
            moment->AddFrame(object,
                             new LoggingFrame(parent ? parent : &root, object->GetLabel() + std::string(suffix)));
        return moment;
    }

    static std::vector<std::string> TakeLog() { return std::exchange(LoggingFrame::log, {}); }

    Object root{nullptr};
};

using Log = std::vector<std::string>;

} // namespace

TEST_F(TrajectoryTest, StepsApplyTheFramesInOrder)
{
    Object* a = Thing("a");
    auto* trajectory = new Trajectory();
    trajectory->SetParent(&root);
    std::vector<TrajectoryFrame*> moments;
    for (const char* suffix : {"1", "2", "3"}) {
        moments.push_back(Moment({a}, suffix));
        trajectory->AddFrame(moments.back());
    }
    trajectory->AddFrame(moments[0]);
    trajectory->AddFrame(nullptr);
    EXPECT_EQ(trajectory->GetFrameCount(), 3);

    EXPECT_TRUE(trajectory->ApplyNextFrame());
    EXPECT_TRUE(trajectory->ApplyNextFrame());
    EXPECT_TRUE(trajectory->ApplyNextFrame());
    EXPECT_FALSE(trajectory->ApplyNextFrame());
    EXPECT_TRUE(trajectory->ApplyNextFrame());
    EXPECT_EQ(TakeLog(), (Log{"a=a1", "a=a2", "a=a3", "a=a1"}));

    trajectory->ResetFrame();
    EXPECT_TRUE(trajectory->ApplyPreviousFrame());
    EXPECT_TRUE(trajectory->ApplyPreviousFrame());
    EXPECT_TRUE(trajectory->ApplyFirstFrame());
    EXPECT_FALSE(trajectory->ApplyPreviousFrame());
    EXPECT_TRUE(trajectory->ApplyLastFrame());
    EXPECT_EQ(TakeLog(), (Log{"a=a3", "a=a2", "a=a1", "a=a3"}));

    // Removing another frame keeps the current one; removing the current one leaves none.
    trajectory->RemoveFrame(moments[0]);
    EXPECT_FALSE(trajectory->ApplyNextFrame());
    EXPECT_TRUE(trajectory->ApplyPreviousFrame());
    trajectory->RemoveFrame(moments[2]);
    EXPECT_TRUE(trajectory->ApplyNextFrame());
    EXPECT_EQ(TakeLog(), (Log{"a=a3", "a=a2"}));
    EXPECT_EQ(trajectory->GetFrames(), std::vector<TrajectoryFrame*>{moments[1]});
}

TEST_F(TrajectoryTest, ADerivedTrajectoryAddsAndRemovesFramesByList)
{
    auto* const trajectory = new HostTrajectory();
    trajectory->SetParent(&root);
    OrdCollection list;
    for (const char* label : {"m1", "m2", "m3"}) {
        list.Add(Moment({}, ""));
        list.GetAt(list.GetSize() - 1)->SetLabel(label);
    }
    list.Add(Thing("not a frame"));
    list.Add(list.GetAt(0));
    trajectory->AddFrameList(list);
    ASSERT_EQ(trajectory->GetFrameCount(), 3);
    EXPECT_EQ(trajectory->GetFrames()[2], list.GetAt(2));
    // Removing the first deletes the second: the walk passes over it.
    trajectory->victim = list.GetAt(1);
    trajectory->RemoveAllFrames();
    EXPECT_EQ(trajectory->removed, (std::vector<std::string>{"m1", "m3"}));
    EXPECT_EQ(trajectory->GetFrameCount(), 0);
}

TEST_F(TrajectoryTest, PairsApplyInTheOrderTheyWereAddedOnceEach)
{
    std::vector<Object*> objects;
    for (int i = 0; i < 40; ++i)
        objects.push_back(Thing("o" + std::to_string(i)));
    // Added in an order unrelated to creation, so no order of addresses or identifiers can stand in.
    std::vector<Object*> order;
    for (int i = 0; i < 40; ++i)
        order.push_back(objects[static_cast<std::size_t>((i * 17) % 40)]);
    TrajectoryFrame* moment = Moment(order, "'");
    Log expected;
    for (const Object* object : order)
        expected.push_back(object->GetLabel() + "=" + object->GetLabel() + "'");

    auto* spare = new LoggingFrame(&root, "spare");
    const ObjectFrame* first = moment->GetPairs()[0].second;
    EXPECT_FALSE(moment->AddFrame(order[0], spare));
    EXPECT_FALSE(moment->AddFrame(Thing("new"), const_cast<ObjectFrame*>(first)));
    EXPECT_FALSE(moment->AddFrame(nullptr, spare));
    EXPECT_FALSE(moment->AddFrame(order[0], nullptr));
    EXPECT_EQ(moment->GetFrameCount(), 40);
    moment->Apply();
    EXPECT_EQ(TakeLog(), expected);

    // Removing by either member drops the pair; the rest keep their order.
    moment->RemoveObject(order[3]);
    moment->RemoveFrame(moment->GetPairs()[0].second);
    moment->RemoveObject(spare);
    expected.erase(expected.begin() + 3);
    expected.erase(expected.begin());
    EXPECT_EQ(moment->GetFrameCount(), 38);
    moment->Apply();
    EXPECT_EQ(TakeLog(), expected);
}

TEST_F(TrajectoryTest, DeletedObjectsFramesAndTrajectoryFramesAreForgotten)
{
    Object* a = Thing("a");
    Object* b = Thing("b");
    TrajectoryFrame* first = Moment({a, b}, "1");
    TrajectoryFrame* second = Moment({a, b}, "2");
    auto* trajectory = new Trajectory();
    trajectory->SetParent(&root);
    auto* other = new Trajectory();
    other->SetParent(&root);
    for (Trajectory* each : {trajectory, other}) {
        each->AddFrame(first);
        each->AddFrame(second);
    }

    delete a;
    EXPECT_EQ(first->GetFrameCount(), 1);
    EXPECT_EQ(second->GetFrameCount(), 1);
    delete second->GetPairs()[0].second;
    EXPECT_EQ(second->GetFrameCount(), 0);

    EXPECT_TRUE(trajectory->ApplyFirstFrame());
    delete first;
    EXPECT_EQ(trajectory->GetFrames(), std::vector<TrajectoryFrame*>{second});
    EXPECT_EQ(other->GetFrames(), std::vector<TrajectoryFrame*>{second});
    // The deleted frame was the current one: the next step starts at the first.
    EXPECT_TRUE(trajectory->ApplyNextFrame());
    EXPECT_FALSE(trajectory->ApplyNextFrame());
    EXPECT_EQ(TakeLog(), (Log{"b=b1"}));

    // A frame holding its object: the pair goes while the frame is being destroyed.
    auto* holder = new LoggingFrame(&root, "holder");
    second->AddFrame(Thing("held", holder), holder);
    delete holder;
    EXPECT_EQ(second->GetFrameCount(), 0);
}

TEST_F(TrajectoryTest, FramesMayDeleteWhatIsStillToBeApplied)
{
    Object* a = Thing("a");
    Object* b = Thing("b");
    Object* c = Thing("c");
    TrajectoryFrame* moment = Moment({a, b, c}, "'");
    LoggingFrame::victim = b;
    moment->Apply();
    EXPECT_EQ(TakeLog(), (Log{"a=a'", "c=c'"}));
    EXPECT_EQ(moment->GetFrameCount(), 2);

    // A frame that deletes the trajectory frame applying it ends the walk.
    auto* trajectory = new Trajectory();
    trajectory->SetParent(&root);
    EXPECT_FALSE(trajectory->ApplyFirstFrame());
    TrajectoryFrame* next = Moment({a, c}, "2");
    trajectory->AddFrame(next);
    LoggingFrame::victim = next;
    EXPECT_TRUE(trajectory->ApplyFirstFrame());
    EXPECT_EQ(TakeLog(), (Log{"a=a2"}));
    EXPECT_EQ(trajectory->GetFrameCount(), 0);
}

TEST_F(TrajectoryTest, SurvivesThePropertyStreamInOrderWithItsMembersWatched)
{
    std::vector<Object*> objects;
    for (const char* label : {"d", "b", "e", "a", "c"})
        objects.push_back(Thing(label));
    auto* trajectory = new Trajectory();
    trajectory->SetParent(&root);
    trajectory->SetLabel("Run");
    std::reverse(objects.begin(), objects.end());
    trajectory->AddFrame(Moment(objects, "1"));
    std::rotate(objects.begin(), objects.begin() + 2, objects.end());
    trajectory->AddFrame(Moment(objects, "2"));
    trajectory->ApplyFirstFrame();
    trajectory->ApplyNextFrame();
    const Log applied = TakeLog();

    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    Trajectory* back = nullptr;
    for (int i = 0; i < loaded->GetNumChildren() && !back; ++i)
        back = DynCast<Trajectory>(loaded->GetChild(i));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetLabel(), "Run");
    ASSERT_EQ(back->GetFrameCount(), 2);
    // The second frame is still the current one.
    EXPECT_FALSE(back->ApplyNextFrame());
    EXPECT_TRUE(back->ApplyNextFrame());
    EXPECT_TRUE(back->ApplyNextFrame());
    EXPECT_EQ(TakeLog(), applied);

    // The loaded members are watched.
    TrajectoryFrame* loadedFirst = back->GetFrames()[0];
    delete loadedFirst->GetPairs()[0].first;
    EXPECT_EQ(loadedFirst->GetFrameCount(), 4);
    delete loadedFirst;
    EXPECT_EQ(back->GetFrameCount(), 1);
}

TEST_F(TrajectoryTest, ALoadedTrajectoryFrameTakesTypedPairsOnceAndDerivesTheInverse)
{
    Object* a = Thing("a");
    Object* b = Thing("b");
    Object* plain = Thing("plain");
    auto* f1 = new LoggingFrame(&root, "f1");
    auto* f2 = new LoggingFrame(&root, "f2");
    auto* forged = new ForgedTrajectoryFrame(&root);
    forged->frameList = {{a, f1}, {b, plain}, {nullptr, f2}, {a, f2}, {plain, f2}};
    // An inverse list that disagrees: it would keep f1 reachable from b.
    forged->objectList = {{f1, b}, {f2, a}};

    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    auto* back = DynCast<TrajectoryFrame>(loaded->GetChild(5));
    ASSERT_NE(back, nullptr);
    const std::vector<std::pair<Object*, ObjectFrame*>> pairs = back->GetPairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].first->GetLabel(), "a");
    EXPECT_EQ(pairs[0].second->GetLabel(), "f1");
    EXPECT_EQ(pairs[1].first->GetLabel(), "plain");
    EXPECT_EQ(pairs[1].second->GetLabel(), "f2");
    // Deleting a loaded frame drops its pair, and no other.
    delete pairs[0].second;
    EXPECT_EQ(back->GetPairs(), (std::vector<std::pair<Object*, ObjectFrame*>>{pairs[1]}));
}

TEST_F(TrajectoryTest, CopiesReferToTheCopiesInsideTheCopiedSubtreeAndKeepTheRest)
{
    auto* subtree = new Object(&root);
    Object* inside = Thing("in", subtree);
    Object* outside = Thing("out");
    auto* insideFrame = new LoggingFrame(subtree, "in'");
    auto* outsideFrame = new LoggingFrame(&root, "out'");
    auto* moment = new TrajectoryFrame();
    moment->SetParent(subtree);
    moment->SetLabel("moment");
    moment->AddFrame(inside, outsideFrame);
    moment->AddFrame(outside, insideFrame);
    TrajectoryFrame* outsideMoment = Moment({outside}, "2");
    auto* trajectory = new Trajectory();
    trajectory->SetParent(subtree);
    trajectory->AddFrame(outsideMoment);
    trajectory->AddFrame(moment);
    trajectory->ApplyLastFrame();
    TakeLog();

    const std::unique_ptr<Object> copy(subtree->TreeCopy());
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->GetNumChildren(), 4);
    Object* insideCopy = copy->GetChild(0);
    auto* momentCopy = DynCast<TrajectoryFrame>(copy->GetChild(2));
    auto* trajectoryCopy = DynCast<Trajectory>(copy->GetChild(3));
    ASSERT_NE(momentCopy, nullptr);
    ASSERT_NE(trajectoryCopy, nullptr);
    EXPECT_EQ(momentCopy->GetLabel(), "moment");
    const std::vector<std::pair<Object*, ObjectFrame*>> expected{{insideCopy, outsideFrame},
                                                                 {outside, DynCast<ObjectFrame>(copy->GetChild(1))}};
    EXPECT_EQ(momentCopy->GetPairs(), expected);
    EXPECT_EQ(trajectoryCopy->GetFrames(), (std::vector<TrajectoryFrame*>{outsideMoment, momentCopy}));
    // The copy of the current frame is current.
    EXPECT_FALSE(trajectoryCopy->ApplyNextFrame());
    EXPECT_TRUE(trajectoryCopy->ApplyPreviousFrame());
    EXPECT_EQ(TakeLog(), (Log{"in=out'", "out=in'"}));
    // The source is unchanged.
    EXPECT_EQ(moment->GetPairs().size(), 2u);
    EXPECT_EQ(moment->GetPairs()[0].first, inside);

    // A copy of a node alone takes none of its children: a trajectory holding its frames keeps them.
    auto* holding = new Trajectory();
    holding->SetParent(&root);
    Moment({inside}, "3", holding);
    holding->AddFrame(DynCast<TrajectoryFrame>(holding->GetChild(0)));
    const std::uint32_t lastBefore = Base::GetLastOID();
    const std::unique_ptr<Object> alone(holding->NodeCopy());
    EXPECT_EQ(Base::GetLastOID() - lastBefore, 1u);
    EXPECT_EQ(DynCast<Trajectory>(alone.get())->GetFrames(), holding->GetFrames());
}

TEST_F(TrajectoryTest, ADocumentKeepsItsAnimationsAndTrajectoriesThroughSaveAndLoad)
{
    ChemDoc document;
    Object* top = document.GetTreeRoot();
    Object* a = Thing("a", top);
    Object* b = Thing("b", top);
    auto* trajectory = new Trajectory();
    trajectory->SetParent(top);
    trajectory->AddFrame(Moment({a, b}, "1", top));
    trajectory->AddFrame(Moment({b, a}, "2", top));
    OrdCollection frames;
    frames.Add(a);
    frames.Add(b);
    auto* animation = new Animation(top, frames);
    animation->ActivateLastFrame();

    Archive out;
    document.Serialize(out);
    ChemDoc loaded;
    Archive in{std::span<const std::uint8_t>(out.GetBuffer())};
    loaded.Serialize(in);

    Object* loadedTop = loaded.GetTreeRoot();
    ASSERT_EQ(loadedTop->GetNumChildren(), top->GetNumChildren());
    Object* loadedA = loadedTop->GetChild(0);
    Object* loadedB = loadedTop->GetChild(1);
    auto* loadedTrajectory = DynCast<Trajectory>(loadedTop->GetChild(2));
    auto* loadedAnimation = DynCast<Animation>(loadedTop->GetChild(9));
    ASSERT_NE(loadedTrajectory, nullptr);
    ASSERT_NE(loadedAnimation, nullptr);
    EXPECT_EQ(loadedAnimation->GetFrames(), (std::vector<Object*>{loadedA, loadedB}));
    EXPECT_FALSE(loadedA->HasHint(1));
    EXPECT_TRUE(loadedB->HasHint(1));
    EXPECT_TRUE(loadedTrajectory->ApplyNextFrame());
    EXPECT_TRUE(loadedTrajectory->ApplyNextFrame());
    EXPECT_EQ(TakeLog(), (Log{"a=a1", "b=b1", "b=b2", "a=a2"}));
    delete loadedA;
    EXPECT_EQ(loadedAnimation->GetFrameCount(), 1);
    EXPECT_EQ(loadedTrajectory->GetFrames()[0]->GetFrameCount(), 1);
}
