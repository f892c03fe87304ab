#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/graphics/Surface.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

// A surface kind this build cannot create, as one stored by a newer build would be.
class FutureSurface : public Surface {
    TAVREL_DECLARE_CLASS(FutureSurface, Surface)
public:
    static FutureSurface* Make() { return ClassAccess::New<FutureSurface>(); }

protected:
    FutureSurface() = default;
    FutureSurface(const FutureSurface&) = default;
};
TAVREL_IMPLEMENT_CLASS(FutureSurface, ClassKind::DynamicOnly)

class GraphicsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        AttachDataModelDLL();
        ClassRegistry::Register<FutureSurface>();
    }
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

TEST_F(GraphicsTest, SurfacesAreNeverCreatedByNameAndLoadAsTheirNearestCreatableBase)
{
    EXPECT_NE(Surface::classType, 0u);
    EXPECT_EQ(Base::FindClassType("surface"), Surface::classType);
    EXPECT_EQ(RuntimeMap::CreateObject("Surface"), nullptr);
    EXPECT_FALSE(Surface::GetThisClass().IsSerializable());

    std::unique_ptr<FutureSurface> surface(FutureSurface::Make());
    surface->SetXYZ(Point3d(1.0, 2.0, 3.0));
    surface->SetLabel("mesh");
    const std::unique_ptr<Geometric3d> loaded = RecordStream::LoadAs<Geometric3d>(RecordStream::Save(*surface));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetClassType(), Geometric3d::classType);
    EXPECT_EQ(loaded->GetXYZ(), Point3d(1.0, 2.0, 3.0));
    EXPECT_EQ(loaded->GetLabel(), "mesh");

    Archive out;
    try {
        out.WriteObject(surface.get());
        FAIL() << "a surface was written to the framework archive";
    } catch (const ArchiveException& error) {
        EXPECT_EQ(error.GetCause(), ArchiveException::badClass);
    }
}
