#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class GraphicsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(GraphicsTest, LabelNamesTheAnnotationClass)
{
    EXPECT_EQ(Base::FindClassType("label"), Annotation::classType);
    EXPECT_EQ(Base::FindClassType("XXAnnotation"), Annotation::classType);
    EXPECT_EQ(Base::GetCommonName("Annotation"), "Label");
}

TEST_F(GraphicsTest, AnnotationPositionSurvivesCopyRecordAndFrameworkArchive)
{
    std::unique_ptr<PersistentObject> created(RuntimeMap::CreateObject("DecoratedAnnotation"));
    auto* const annotation = DynCast<DecoratedAnnotation>(static_cast<Base*>(created.get()));
    ASSERT_NE(annotation, nullptr);
    EXPECT_EQ(annotation->GetXY(), Point2d());
    annotation->SetXY(Point2d(0.5, -0.25));
    annotation->SetLabel("note");

    const std::unique_ptr<Base> copy(annotation->Copy());
    ASSERT_TRUE(IsA<DecoratedAnnotation>(copy.get()));
    EXPECT_EQ(static_cast<DecoratedAnnotation*>(copy.get())->GetXY(), Point2d(0.5, -0.25));

    const std::unique_ptr<DecoratedAnnotation> loaded =
        RecordStream::LoadAs<DecoratedAnnotation>(RecordStream::Save(*annotation));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetXY(), Point2d(0.5, -0.25));
    EXPECT_EQ(loaded->GetLabel(), "note");

    Archive out;
    out.WriteObject(annotation);
    const RecordStream::Bytes bytes = out.GetBuffer();
    Archive in(bytes);
    std::unique_ptr<PersistentObject> read(in.ReadObject(&Geometric2d::GetThisClass()));
    const auto* const back = DynCast<DecoratedAnnotation>(static_cast<Base*>(read.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetXY(), Point2d(0.5, -0.25));
    EXPECT_EQ(back->GetLabel(), "note");
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        Archive truncated(RecordStream::Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_THROW(std::unique_ptr<PersistentObject>(truncated.ReadObject()), ArchiveException) << size;
    }
}

TEST_F(GraphicsTest, APropertyLabelShowsItsParentsTextAndFollowsItUnlessMovable)
{
    TreeRoot root;
    auto* const atom = new Atom3d(&root, "C");
    atom->SetXYZ(Point3d(1, 2, 3));
    atom->SetLabel("CA");
    EXPECT_EQ(AnnotationProperty::Create(nullptr, "Name", Color::Red(), Point3d(), true), nullptr);
    AnnotationProperty* const label = AnnotationProperty::Create(atom, "Name", Color::Red(), Point3d(0, 0, 9), false);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(AnnotationProperty::Create(atom, "ID", Color::Blue(), Point3d(), true), label);
    EXPECT_EQ(label->GetParent(), atom);
    EXPECT_EQ(label->GetLabel(), "CA");
    EXPECT_EQ(label->GetColor(), Color::Red());
    EXPECT_EQ(label->GetXYZ(), Point3d(0, 0, 9));
    EXPECT_EQ(label->GetPropertyAsString("Movable"), "true");
    EXPECT_TRUE(IsA<Annotation>(label));

    // Following: each display moves it to the parent and takes the text again, raising no label event.
    EXPECT_TRUE(label->SetPropertyFromString("Movable", "false"));
    EXPECT_FALSE(label->SetPropertyFromString("Movable", "perhaps"));
    EXPECT_TRUE(label->GetUpdatePosition());
    int labelEvents = 0;
    label->RegisterEvent(Object::classType, Object::EventLabelSet, [](Event& event) { ++*static_cast<int*>(event.GetData()); },
                         false, &labelEvents, nullptr);
    atom->SetLabel("CB");
    DisplayList3D list;
    root.DisplayAll(list, false);
    const auto texts = list.GetAll<Text3DPrimitive>();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->GetText(), "CB");
    EXPECT_EQ(texts[0]->GetPosition(), Point3d(1, 2, 3));
    EXPECT_EQ(labelEvents, 0);

    // Movable: it stays where it is put.
    label->SetPropertyFromString("Movable", "TRUE");
    label->SetXYZ(Point3d(5, 5, 5));
    DisplayList3D again;
    root.DisplayAll(again, false);
    EXPECT_EQ(again.GetAll<Text3DPrimitive>()[0]->GetPosition(), Point3d(5, 5, 5));

    // Both record forms keep the property's name and the flag.
    std::unique_ptr<AnnotationProperty> loaded = RecordStream::LoadAs<AnnotationProperty>(RecordStream::Save(*label));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetPropertyName(), "Name");
    EXPECT_FALSE(loaded->GetUpdatePosition());
    EXPECT_EQ(loaded->GetLabel(), "CB");
    // Each record form brings the label's parents along: they go with it.
    const auto freeTree = [](auto& owned) {
        TreeNode* const top = static_cast<TreeNode*>(static_cast<Base*>(owned.get()))->GetRoot();
        if (top != static_cast<Base*>(owned.get())) {
            owned.release();
            delete top;
        }
    };
    freeTree(loaded);
    Archive out;
    label->SetUpdatePosition(true);
    out.WriteObject(label);
    Archive in(out.GetBuffer());
    std::unique_ptr<PersistentObject> read(in.ReadObject(&AnnotationProperty::GetThisClass()));
    const auto* const back = DynCast<AnnotationProperty>(static_cast<Base*>(read.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetPropertyName(), "Name");
    EXPECT_TRUE(back->GetUpdatePosition());
    EXPECT_EQ(back->GetXYZ(), Point3d(5, 5, 5));
    EXPECT_EQ(back->GetDisplayStyle(), 1);
    freeTree(read);
}
