#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/RuntimeMap.h>
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
