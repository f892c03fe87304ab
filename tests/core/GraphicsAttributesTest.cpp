#include <gtest/gtest.h>

#include <tavrel/core/GraphicsAttributes.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>

using namespace Tavrel;

TEST(LightSourceTest, ArchiveRoundTripAndLayout)
{
    const LightSource light(Point3d(0, 1, 0), Color(10, 20, 30), true);
    Archive out;
    out << light;
    EXPECT_EQ(out.GetBuffer().size(), 12u + 4u + 1u);
    Archive in(out.GetBuffer());
    LightSource loaded;
    loaded.Serialize(in);
    EXPECT_EQ(loaded, light);

    Archive truncated(std::vector<std::uint8_t>(out.GetBuffer().begin(), out.GetBuffer().end() - 1));
    LightSource untouched;
    EXPECT_THROW(truncated >> untouched, ArchiveException);
    EXPECT_EQ(untouched, LightSource());
}

TEST(GraphicsAttributesTest, DefaultsAndLightAccess)
{
    GraphicsAttributes attributes;
    EXPECT_EQ(attributes.GetBackgroundColor(), Color::Black());
    EXPECT_DOUBLE_EQ(attributes.GetViewSize(), 18.0);
    EXPECT_EQ(attributes.GetLight(1).GetColor(), Color(127, 127, 127, 0));

    const LightSource outside = attributes.GetLight(4);
    EXPECT_FALSE(outside.IsEnabled());
    EXPECT_EQ(outside.GetColor().GetValue(), 0u);
    EXPECT_EQ(outside.GetDirection(), Point3d());
    EXPECT_FALSE(attributes.GetLight(-1).IsEnabled());

    const GraphicsAttributes before = attributes;
    attributes.SetLight(-1, LightSource(Point3d(1, 0, 0), Color::Red(), true));
    attributes.SetLight(4, LightSource(Point3d(1, 0, 0), Color::Red(), true));
    EXPECT_EQ(attributes, before);
}

TEST(GraphicsAttributesTest, ArchiveRoundTripKeepsEveryField)
{
    GraphicsAttributes attributes;
    attributes.SetBackgroundColor(Color(1, 2, 3, 4));
    attributes.SetFastRenderOnMove(false);
    attributes.SetDepthCue(true);
    attributes.SetUseStereo(true);
    attributes.SetFontScale(1.25);
    attributes.SetLineWidth(3.0);
    Matrix4x4 matrix;
    matrix.SetTranslation(Point3d(1, 2, 3));
    attributes.SetModelMatrix(matrix);
    attributes.SetProjectionMode(1);
    attributes.SetGraphicsQuality(3);
    attributes.SetPerspectiveAngle(60.0);
    attributes.SetStereoAngle(-4.0);
    attributes.SetStereoSeparationFactor(0.5);
    attributes.SetStereoSkewFactor(2.0);
    attributes.SetViewSize(5000.0);
    attributes.SetZFarAdj(1.5f);
    attributes.SetZNearAdj(2.5f);
    attributes.SetLight(3, LightSource(Point3d(0, -1, 0), Color::Yellow(), true));

    Archive out;
    attributes.Serialize(out);
    Archive in(out.GetBuffer());
    GraphicsAttributes loaded;
    loaded.Serialize(in);
    EXPECT_EQ(loaded, attributes);
    EXPECT_EQ(in.GetRemaining(), 0u);
}

TEST(GraphicsAttributesTest, BadArchiveLeavesAttributesUnchanged)
{
    GraphicsAttributes attributes;
    attributes.SetViewSize(7.0);
    Archive out;
    attributes.Serialize(out);
    std::vector<std::uint8_t> bytes = out.GetBuffer();

    GraphicsAttributes target;
    Archive truncated(std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 3));
    EXPECT_THROW(target.Serialize(truncated), ArchiveException);
    EXPECT_EQ(target, GraphicsAttributes());

    // The light count sits just before the four 17-byte lights.
    bytes[bytes.size() - 4 * 17 - 2] = 5;
    Archive wrongCount(bytes);
    EXPECT_THROW(target.Serialize(wrongCount), ArchiveException);
    EXPECT_EQ(target, GraphicsAttributes());
}
