#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/conformers/Animation.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"

namespace Tavrel {

// A frame that draws one dot at its position.
class AnimatedMarker : public Geometric3d {
    TAVREL_DECLARE_CLASS(AnimatedMarker, Geometric3d)
public:
    AnimatedMarker(Object* parent, std::string_view label, const Point3d& position) : Geometric3d(parent)
    {
        SetLabel(label);
        SetXYZ(position);
        SetDisplayStyle(1);
    }

protected:
    AnimatedMarker() = default;
    AnimatedMarker(const AnimatedMarker&) = default;
    void FastDisplay(DisplayList3D& list) override { list.Add(DotPrimitive(GetXYZ(), GetColor(), 1.0, GetOID())); }
};
TAVREL_IMPLEMENT_CLASS(AnimatedMarker, ClassKind::Creatable)

// A base object that is no Object, for lists that name one.
class LooseRecord : public Base {
    TAVREL_DECLARE_CLASS(LooseRecord, Base)
protected:
    LooseRecord() = default;
    LooseRecord(const LooseRecord&) = default;
};
TAVREL_IMPLEMENT_CLASS(LooseRecord, ClassKind::Creatable)

// Writes an animation's record whose frame list names what the test puts in it.
class ForgedAnimation : public Object {
public:
    using Superclass = Object;
    explicit ForgedAnimation(Object* parent) : Object(parent) {}
    // A record of its own, so the stream describes this class apart from Object.
    const RuntimeClass* GetRuntimeClass() const override
    {
        static const RuntimeClass record{"XXForgedAnimation", 0, nullptr, &Object::GetThisClass()};
        return &record;
    }
    const char* GetClassHierarchyName() const override { return "Animation"; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override
    {
        Object::BuildClassHierarchy(hierarchy);
        hierarchy.AddClass("Animation");
    }
    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Array<Storage::StorageObject>("Frame List", listed);
    }

    std::vector<Base*> listed;
};

} // namespace Tavrel

using namespace Tavrel;

namespace {

bool Shown(const Object* frame)
{
    return frame->HasHint(1);
}

std::string ShownLabels(const std::vector<Object*>& frames)
{
    std::string labels;
    for (const Object* frame : frames)
        labels += Shown(frame) ? frame->GetLabel() : "-";
    return labels;
}

class AnimationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<AnimatedMarker>();
        ClassRegistry::Register<LooseRecord>();
    }

    AnimationTest()
    {
        for (const char* label : {"A", "B", "C"})
            frames.push_back(new AnimatedMarker(&root, label, Point3d(static_cast<double>(frames.size()), 0.0, 0.0)));
    }

    Animation* Animate(Object* parent)
    {
        OrdCollection list;
        for (Object* frame : frames)
            list.Add(frame);
        return new Animation(parent, list);
    }

    Object root{nullptr};
    std::vector<Object*> frames;
};

} // namespace

TEST_F(AnimationTest, StepsForwardAndBackwardShowingOneFrameAtATime)
{
    Animation* animation = Animate(&root);
    EXPECT_EQ(animation->GetDisplayStyle(), 1);
    EXPECT_EQ(animation->GetFrameCount(), 3);
    EXPECT_EQ(ShownLabels(frames), "A--");

    EXPECT_TRUE(animation->ActivateNextFrame());
    EXPECT_EQ(ShownLabels(frames), "-B-");
    EXPECT_TRUE(animation->ActivateNextFrame());
    EXPECT_EQ(ShownLabels(frames), "--C");
    EXPECT_FALSE(animation->ActivateNextFrame());
    EXPECT_EQ(ShownLabels(frames), "---");
    EXPECT_TRUE(animation->ActivateNextFrame());
    EXPECT_EQ(ShownLabels(frames), "A--");

    EXPECT_FALSE(animation->ActivatePreviousFrame());
    EXPECT_EQ(ShownLabels(frames), "---");
    EXPECT_TRUE(animation->ActivatePreviousFrame());
    EXPECT_EQ(ShownLabels(frames), "--C");
    EXPECT_TRUE(animation->ActivateFirstFrame());
    EXPECT_EQ(ShownLabels(frames), "A--");
    EXPECT_TRUE(animation->ActivateLastFrame());
    EXPECT_EQ(ShownLabels(frames), "--C");
    animation->ResetFrame();
    EXPECT_EQ(ShownLabels(frames), "---");

    // Without a current frame, a step back starts at the last one.
    auto* fresh = new Animation(&root);
    EXPECT_FALSE(fresh->ActivateNextFrame());
    for (Object* frame : frames)
        EXPECT_TRUE(fresh->AddFrame(frame));
    EXPECT_TRUE(fresh->ActivatePreviousFrame());
    EXPECT_EQ(ShownLabels(frames), "--C");
}

TEST_F(AnimationTest, RefusesNullRepeatedAndForeignFrames)
{
    auto* animation = new Animation(&root);
    Object elsewhere(nullptr);
    auto* foreign = new AnimatedMarker(&elsewhere, "F", Point3d());
    EXPECT_FALSE(animation->AddFrame(nullptr));
    EXPECT_FALSE(animation->AddFrame(foreign));
    EXPECT_TRUE(animation->AddFrame(frames[0]));
    EXPECT_FALSE(animation->AddFrame(frames[0]));
    EXPECT_EQ(animation->GetFrames(), std::vector<Object*>{frames[0]});
    EXPECT_TRUE(Shown(foreign));
    EXPECT_FALSE(Shown(frames[0]));
}

TEST_F(AnimationTest, RemovingAndDeletingFramesKeepsTheRestPlaying)
{
    Animation* animation = Animate(&root);
    animation->ActivateNextFrame();
    // A frame that is not the current one goes, shown again; B stays current.
    animation->RemoveFrame(frames[0]);
    EXPECT_EQ(ShownLabels(frames), "AB-");
    EXPECT_EQ(animation->GetFrameCount(), 2);
    // Deleting the current frame moves on to the next, shown.
    delete frames[1];
    frames.erase(frames.begin() + 1);
    EXPECT_EQ(ShownLabels(frames), "AC");
    EXPECT_EQ(animation->GetFrameCount(), 1);
    EXPECT_FALSE(animation->ActivateNextFrame());

    // Destroying the animation shows every former frame again.
    Animation* second = Animate(&root);
    EXPECT_EQ(ShownLabels(frames), "A-");
    delete second;
    EXPECT_EQ(ShownLabels(frames), "AC");
    animation->ReplaceFrameList(OrdCollection());
    EXPECT_EQ(animation->GetFrameCount(), 0);
    EXPECT_FALSE(animation->ActivateFirstFrame());
    EXPECT_FALSE(animation->ActivateLastFrame());

    // A frame holding its animation: the animation goes while the frame is being destroyed.
    auto* holder = new AnimatedMarker(&root, "H", Point3d());
    auto* held = new Animation(holder);
    EXPECT_TRUE(held->AddFrame(frames[0]));
    EXPECT_TRUE(held->AddFrame(holder));
    delete holder;
    EXPECT_TRUE(Shown(frames[0]));
}

TEST_F(AnimationTest, SelectedFramesAreShownBesideTheCurrentOne)
{
    Animation* animation = Animate(&root);
    // The current frame is not selected: selecting another one shows that one alone.
    frames[2]->Select(false);
    EXPECT_EQ(ShownLabels(frames), "--C");
    // With no frame selected any more, the current frame is back.
    frames[2]->UnSelect(false);
    EXPECT_EQ(ShownLabels(frames), "A--");
    // With the current frame selected, both are shown.
    frames[0]->Select(false);
    frames[1]->Select(false);
    EXPECT_EQ(ShownLabels(frames), "AB-");
    // A step hides every frame before showing the new current one.
    EXPECT_TRUE(animation->ActivateNextFrame());
    EXPECT_EQ(ShownLabels(frames), "-B-");
}

TEST_F(AnimationTest, DrawsTheCornersOfAllItsFramesAndFollowsTheirMoves)
{
    Animation* animation = Animate(&root);
    static_cast<Geometric*>(frames[2])->SetXYZ(Point3d(4.0, -1.0, 2.0));
    DisplayList3D list(DisplayList3D::fastMode);
    animation->DisplayExtents(list);
    const std::vector<const DotPrimitive*> dots = list.GetAll<DotPrimitive>();
    ASSERT_EQ(dots.size(), 2u);
    EXPECT_EQ(dots[0]->GetPosition(), Point3d(4.0, 0.0, 2.0));
    EXPECT_EQ(dots[1]->GetPosition(), Point3d(0.0, -1.0, 0.0));
    EXPECT_EQ(dots[0]->GetOID(), animation->GetOID());
    // Measuring leaves the hidden frames hidden.
    EXPECT_EQ(ShownLabels(frames), "A--");

    static_cast<Geometric*>(frames[1])->SetXYZ(Point3d(-3.0, 0.0, 0.0));
    list.Clear();
    animation->DisplayExtents(list);
    EXPECT_EQ(list.GetAll<DotPrimitive>()[1]->GetPosition(), Point3d(-3.0, -1.0, 0.0));

    animation->SetDisplayStyle(0);
    list.Clear();
    animation->DisplayExtents(list);
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(AnimationTest, SurvivesThePropertyStreamWithItsFramesWatched)
{
    Animation* animation = Animate(&root);
    animation->ActivateNextFrame();
    animation->SetLabel("Movie");

    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(root));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetNumChildren(), 4);
    auto* back = DynCast<Animation>(loaded->GetChild(3));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetLabel(), "Movie");
    const std::vector<Object*> loadedFrames{loaded->GetChild(0), loaded->GetChild(1), loaded->GetChild(2)};
    EXPECT_EQ(back->GetFrames(), loadedFrames);
    EXPECT_EQ(ShownLabels(loadedFrames), "-B-");
    EXPECT_TRUE(back->ActivateNextFrame());
    EXPECT_EQ(ShownLabels(loadedFrames), "--C");
    // The loaded frames are watched: deleting one drops it.
    delete loadedFrames[0];
    EXPECT_EQ(back->GetFrameCount(), 2);
}

TEST_F(AnimationTest, ALoadedFrameListKeepsOnlyObjectsOnce)
{
    auto* forged = new ForgedAnimation(&root);
    auto* loose = ClassAccess::New<LooseRecord>();
    forged->listed = {frames[0], loose, nullptr, frames[2], frames[0]};

    const std::unique_ptr<Object> loaded = RecordStream::LoadAs<Object>(RecordStream::Save(root));
    delete loose;
    ASSERT_NE(loaded, nullptr);
    auto* back = DynCast<Animation>(loaded->GetChild(3));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetFrames(), (std::vector<Object*>{loaded->GetChild(0), loaded->GetChild(2)}));
    // With no current frame stored, the first is shown.
    EXPECT_EQ(ShownLabels(back->GetFrames()), "A-");
    EXPECT_TRUE(Shown(loaded->GetChild(1)));
}

TEST_F(AnimationTest, SurvivesTheFrameworkArchive)
{
    Animation* animation = Animate(&root);
    animation->ActivateLastFrame();

    Archive out;
    out.WriteObject(&root);
    Archive in(out.GetBuffer());
    const std::unique_ptr<Object> loaded(static_cast<Object*>(in.ReadObject()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(in.GetRemaining(), 0u);
    ASSERT_EQ(loaded->GetNumChildren(), 4);
    auto* back = DynCast<Animation>(loaded->GetChild(3));
    ASSERT_NE(back, nullptr);
    const std::vector<Object*> loadedFrames{loaded->GetChild(0), loaded->GetChild(1), loaded->GetChild(2)};
    EXPECT_EQ(back->GetFrames(), loadedFrames);
    // Loading starts at the first frame.
    EXPECT_EQ(ShownLabels(loadedFrames), "A--");
}

TEST_F(AnimationTest, ACopyPlaysTheCopiesOfTheFramesInsideTheCopiedSubtree)
{
    auto* subtree = new Object(&root);
    frames[0]->SetParent(subtree);
    frames[1]->SetParent(subtree);
    Animation* animation = Animate(subtree);
    animation->ActivateNextFrame();

    const std::uint32_t lastBefore = Base::GetLastOID();
    const std::unique_ptr<Object> copy(subtree->TreeCopy());
    ASSERT_NE(copy, nullptr);
    // The subtree, its two frames and the animation: nothing outside the subtree is copied.
    EXPECT_EQ(Base::GetLastOID() - lastBefore, 4u);
    ASSERT_EQ(copy->GetNumChildren(), 3);
    auto* copied = DynCast<Animation>(copy->GetChild(2));
    ASSERT_NE(copied, nullptr);
    const std::vector<Object*> copiedFrames{copy->GetChild(0), copy->GetChild(1)};
    EXPECT_EQ(copied->GetFrames(), copiedFrames);
    EXPECT_EQ(ShownLabels(copiedFrames), "-B");
    EXPECT_FALSE(copied->ActivateNextFrame());
    // The source and its frame outside the subtree are left alone.
    EXPECT_EQ(animation->GetFrameCount(), 3);
    EXPECT_EQ(ShownLabels(frames), "-B-");

    // Copying the whole tree takes every frame.
    const std::unique_ptr<Object> whole(root.TreeCopy());
    auto* wholeAnimation = DynCast<Animation>(whole->GetChild(1)->GetChild(2));
    ASSERT_NE(wholeAnimation, nullptr);
    EXPECT_EQ(wholeAnimation->GetFrameCount(), 3);
}
