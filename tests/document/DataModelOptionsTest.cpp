#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include <tavrel/chemistry/Chain.h>
#include <tavrel/core/GraphicsAttributes.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/document/DataModelOptions.h>
#include <tavrel/monitors/Surface.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

using Options = DataModelOptions;

// Every option away from its default.
Options Changed()
{
    Options options;
    options.SetAddAndUpdateHydrogens(true);
    options.SetAutomaticallyCleanMolecules(true);
    options.SetBackgroundColor(Color(10, 20, 30));
    options.SetCleanSelectedAtoms(false);
    options.SetDepthCue(true);
    options.SetFastRenderOnMove(false);
    options.SetFontScale(1.5);
    options.SetGraphicsQuality(2);
    options.SetHideHydrogens(true);
    options.SetIncludeIntermolecularForces(false);
    options.SetLineWidth(2.5);
    Matrix4x4 matrix;
    matrix.SetRotation(Point3d(0.0, 1.0, 0.0), 30.0);
    options.SetModelMatrix(matrix);
    options.SetPerceiveAndUpdateAromaticity(true);
    options.SetPerspectiveAngle(60.0);
    options.SetProjectionMode(1);
    options.SetStereoAngle(-4.0);
    options.SetStereoSeparationFactor(0.25);
    options.SetStereoSkewFactor(0.75);
    options.SetSyncronizeViews(true);
    options.SetUpdateViews(false);
    options.SetUseStereo(true);
    options.SetViewSize(42.0);
    options.SetZFarAdj(3.0f);
    options.SetZNearAdj(1.5f);
    options.SetLightEnabled(2, true);
    options.SetLightingColor(3, Color(1, 2, 3, 4));
    options.SetLightingDirection(1, Point3d(1.0, 0.0, 0.0));
    return options;
}

std::vector<std::uint8_t> Stored(Options options)
{
    Archive ar;
    options.Serialize(ar);
    return ar.GetBuffer();
}

class DataModelOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachDataModelDLL();
        ChemDoc::GetDefaultOptions(m_savedDefaults);
    }
    void TearDown() override
    {
        ChemDoc::SetDefaultOptions(m_savedDefaults);
        Chain::SetDisplayQuality(1);
        Surface::SetDisplayQuality(1);
    }

private:
    Options m_savedDefaults;
};

} // namespace

TEST_F(DataModelOptionsTest, RenderingDefaultsAgreeWithTheCoreAttributes)
{
    const Options options;
    GraphicsAttributes attributes;
    attributes.SetBackgroundColor(Color::White());
    attributes.SetLight(1, LightSource());
    options.GetGraphicsAttributes(attributes);
    EXPECT_EQ(attributes, GraphicsAttributes());
}

TEST_F(DataModelOptionsTest, LightsByIndexGuardTheirRange)
{
    Options options;
    EXPECT_EQ(Options::GetMaximumNumberOfLights(), 4);
    const std::uint32_t greys[] = {0x00FFFFFFu, 0x007F7F7Fu, 0x003F3F3Fu, 0x001F1F1Fu};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(options.GetLightEnabled(i), i == 0);
        EXPECT_EQ(options.GetLightingColor(i).GetValue(), greys[i]);
        EXPECT_EQ(options.GetLightingDirection(i), Point3d(0.0, 0.0, 1.0));
    }
    for (const int outside : {-1, 4}) {
        EXPECT_FALSE(options.GetLightEnabled(outside));
        EXPECT_EQ(options.GetLightingColor(outside).GetValue(), 0u);
        EXPECT_EQ(options.GetLightingDirection(outside), Point3d(0.0, 0.0, 0.0));
        options.SetLightEnabled(outside, true);
        options.SetLightingColor(outside, Color::Red());
        options.SetLightingDirection(outside, Point3d(1.0, 1.0, 1.0));
    }
    EXPECT_EQ(options, Options());

    options.SetLightEnabled(3, true);
    options.SetLightingColor(3, Color::Red());
    options.SetDefaultLights();
    EXPECT_EQ(options, Options());
}

TEST_F(DataModelOptionsTest, LimitsIncludeTheirBoundsAndSettersDoNotClamp)
{
    EXPECT_TRUE(Options::ValidateViewSize(0.001));
    EXPECT_TRUE(Options::ValidateViewSize(1000.0));
    EXPECT_FALSE(Options::ValidateViewSize(0.0009));
    EXPECT_FALSE(Options::ValidateViewSize(1000.001));
    EXPECT_FALSE(Options::ValidatePickingTolerance(0));
    EXPECT_TRUE(Options::ValidatePickingTolerance(20));
    EXPECT_FALSE(Options::ValidatePickingTolerance(21));
    EXPECT_FALSE(Options::ValidatePerspectiveAngle(14.9));
    EXPECT_FALSE(Options::ValidateZNearAdj(-1.0f));
    EXPECT_FALSE(Options::ValidateViewSize(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(Options::ValidateZFarAdj(std::numeric_limits<float>::quiet_NaN()));

    Options options;
    options.SetViewSize(5000.0);
    EXPECT_DOUBLE_EQ(options.GetViewSize(), 5000.0);
}

TEST_F(DataModelOptionsTest, SpecialDefaultsResetOnlyTheViewOptions)
{
    Options options = Changed();
    options.SetSpecialDefaultValues();

    Options expected = Changed();
    expected.SetDefaultLights();
    expected.SetHideHydrogens(false);
    expected.SetModelMatrix(Matrix4x4());
    expected.SetUseStereo(false);
    expected.SetViewSize(18.0);
    expected.SetZFarAdj(0.0f);
    expected.SetZNearAdj(0.0f);
    EXPECT_EQ(options, expected);
    EXPECT_TRUE(options.GetAddAndUpdateHydrogens());
    EXPECT_DOUBLE_EQ(options.GetPerspectiveAngle(), 60.0);
}

TEST_F(DataModelOptionsTest, GraphicsAttributesCarryTheRenderingOptionsAndSetDisplayQualities)
{
    Options source = Changed();
    source.SetGraphicsQuality(3);
    GraphicsAttributes attributes;
    source.GetGraphicsAttributes(attributes);
    EXPECT_EQ(attributes.GetGraphicsQuality(), 3);
    EXPECT_EQ(attributes.GetLight(3).GetColor(), Color(1, 2, 3, 4));
    EXPECT_TRUE(attributes.GetLight(2).IsEnabled());

    Options target;
    target.SetGraphicsAttributes(attributes);
    EXPECT_EQ(Chain::GetDisplayQuality(), 3);
    EXPECT_EQ(Surface::GetDisplayQuality(), 3);

    // The chemistry switches and the symmetry colour are not graphics attributes.
    Options expected = source;
    expected.SetAddAndUpdateHydrogens(false);
    expected.SetAutomaticallyCleanMolecules(false);
    expected.SetCleanSelectedAtoms(true);
    expected.SetHideHydrogens(false);
    expected.SetIncludeIntermolecularForces(true);
    expected.SetPerceiveAndUpdateAromaticity(false);
    expected.SetSyncronizeViews(false);
    expected.SetUpdateViews(true);
    EXPECT_EQ(target, expected);
}

TEST_F(DataModelOptionsTest, ArchiveRoundTripKeepsEveryStoredOption)
{
    Options source = Changed();
    source.SetDefaultSymmetryAtomColor(Options::SymmetryColorType::Cyan);
    const std::vector<std::uint8_t> bytes = Stored(source);
    // Colour, the attributes (249 bytes with four lights), then 183 bytes of the options' own fields.
    ASSERT_EQ(bytes.size(), 4u + 249u + 183u);
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[253], 1);  // add and update hydrogens
    EXPECT_EQ(bytes[255], 0);  // clean selected atoms

    Archive in(bytes);
    Options loaded;
    loaded.Serialize(in);
    EXPECT_EQ(in.GetRemaining(), 0u);
    EXPECT_EQ(loaded.GetDefaultSymmetryAtomColor(), Options::SymmetryColorType::None);
    loaded.SetDefaultSymmetryAtomColor(Options::SymmetryColorType::Cyan);
    EXPECT_EQ(loaded, source);
    EXPECT_EQ(Chain::GetDisplayQuality(), 2);

    // Any non-zero byte reads as true.
    std::vector<std::uint8_t> plain = Stored(Options());
    plain[253] = 0x80;
    Archive flagged(plain);
    loaded.Serialize(flagged);
    EXPECT_TRUE(loaded.GetAddAndUpdateHydrogens());
}

TEST_F(DataModelOptionsTest, TruncatedInputIsRefusedAndChangesNothing)
{
    const std::vector<std::uint8_t> bytes = Stored(Changed());
    Options target;
    target.SetGraphicsQuality(0);
    const Options before = target;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        Archive in(bytes.data(), size);
        EXPECT_THROW(target.Serialize(in), ArchiveException) << size;
        ASSERT_EQ(target, before) << size;
    }
    EXPECT_EQ(Chain::GetDisplayQuality(), 1);
    EXPECT_EQ(Surface::GetDisplayQuality(), 1);
}

TEST_F(DataModelOptionsTest, DocumentsCopyTheProcessDefaultsAndKeepTheirOwn)
{
    Options defaults;
    defaults.SetupDefaultOptions();
    EXPECT_EQ(defaults, Options());

    Options wanted;
    wanted.SetLineWidth(3.0);
    wanted.SetHideHydrogens(true);
    wanted.UpdateDefaultOptions();

    ChemDoc first;
    ChemDoc second;
    Options own;
    own.SetupOptions(first);
    EXPECT_DOUBLE_EQ(own.GetLineWidth(), 3.0);
    EXPECT_TRUE(own.GetHideHydrogens());

    // A change to one document leaves the defaults and the other document alone.
    own.SetLineWidth(7.0);
    Matrix4x4 view;
    view.SetTranslation(Point3d(1.0, 2.0, 3.0));
    own.SetModelMatrix(view);
    own.UpdateOptions(first);
    EXPECT_EQ(*first.GetMatrix(), view);
    Options fromFirst, fromSecond, fromDefaults;
    fromFirst.SetupOptions(first);
    fromSecond.SetupOptions(second);
    fromDefaults.SetupDefaultOptions();
    EXPECT_DOUBLE_EQ(fromFirst.GetLineWidth(), 7.0);
    EXPECT_EQ(fromFirst.GetModelMatrix(), view);
    EXPECT_DOUBLE_EQ(fromSecond.GetLineWidth(), 3.0);
    EXPECT_EQ(fromSecond.GetModelMatrix(), Matrix4x4());
    EXPECT_DOUBLE_EQ(fromDefaults.GetLineWidth(), 3.0);

    // The synchronised-views flag lives in the defaults and is shared by every document.
    own.SetSyncronizeViews(true);
    own.UpdateOptions(first);
    fromSecond.SetupOptions(second);
    fromDefaults.SetupDefaultOptions();
    EXPECT_TRUE(fromSecond.GetSyncronizeViews());
    EXPECT_TRUE(fromDefaults.GetSyncronizeViews());
}
