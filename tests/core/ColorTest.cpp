#include <gtest/gtest.h>

#include <cmath>

#include <tavrel/core/Color.h>
#include <tavrel/core/ColorMap.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

TEST(ColorTest, PacksRedLowAndAlphaHigh)
{
    const Color c(0x11, 0x22, 0x33, 0x44);
    EXPECT_EQ(c.GetValue(), 0x44332211u);
    EXPECT_EQ(Color(0x44332211u), c);
    EXPECT_EQ(Color::Red().GetValue(), 0x000000FFu);
    EXPECT_EQ(Color::Blue().GetValue(), 0x00FF0000u);
    EXPECT_EQ(Color(300, -5, 128, 0), Color(255, 0, 128, 0));
    EXPECT_NE(Color(0, 255, 0, 127), Color::Green());  // alpha takes part in comparison
}

TEST(ColorTest, TextRoundTrips)
{
    Color c;
    EXPECT_EQ(Color(255, 128, 0).GetRGBString(), "255 128 0");
    EXPECT_TRUE(c.SetRGB(" 255 128 0 "));
    EXPECT_EQ(c, Color(255, 128, 0, 0));

    const Color translucent(1, 2, 3, 127);
    EXPECT_EQ(translucent.GetRGBString(), "1 2 3 127");
    EXPECT_TRUE(c.SetRGB(translucent.GetRGBString()));
    EXPECT_EQ(c, translucent);

    EXPECT_TRUE(c.SetRGB("10,20, 30"));
    EXPECT_EQ(c, Color(10, 20, 30));
}

TEST(ColorTest, BadTextChangesNothing)
{
    Color c = Color::Cyan();
    for (const char* bad : {"", "   ", "1 2", "1 2 3 4 5", "256 0 0", "-1 0 0", "1.5 0 0", "1 2 3x", "red",
                            "1,,2,3", "1 2 3,", "+1 2 3", "99999999999 0 0"}) {
        EXPECT_FALSE(c.SetRGB(std::string_view(bad))) << bad;
        EXPECT_EQ(c, Color::Cyan()) << bad;
    }
}

TEST(ColorTest, FloatComponentsTruncateAndClamp)
{
    Color c;
    c.SetRGBFloat(1.0, 0.5, 0.0);
    EXPECT_EQ(c, Color(255, 127, 0));
    c.SetRGBFloat(2.0, -1.0, std::nan(""), 1.0);
    EXPECT_EQ(c, Color(255, 0, 0, 255));
    EXPECT_FLOAT_EQ(Color::White().GetRedFloat(), 1.0f);
}

TEST(ColorTest, ArchivesAsOneWord)
{
    Archive out;
    out << Color(1, 2, 3, 4);
    ASSERT_EQ(out.GetBuffer(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    Archive in(out.GetBuffer());
    Color c;
    in >> c;
    EXPECT_EQ(c, Color(1, 2, 3, 4));
}

TEST(ColorMapTest, RampPutsMiddleColourAtCentreAndClampsEnds)
{
    ColorMap map(13);
    map.SetBeginEnd(-4.5, 4.5);
    map.Ramp(Color::Red(), Color::White(), Color::Blue(), true);
    EXPECT_EQ(map.ColorAtValue(-4.5), Color::Red());
    EXPECT_EQ(map.ColorAtValue(0.0), Color::White());
    EXPECT_EQ(map.ColorAtValue(4.5), Color::Blue());
    EXPECT_EQ(map.ColorAtValue(-100.0), Color::Red());
    EXPECT_EQ(map.ColorAtValue(100.0), Color::Blue());
    EXPECT_EQ(map.ColorAtValue(std::nan("")), Color::Red());

    const Color quarter = map.ColorAtValue(-2.25);
    EXPECT_EQ(quarter.GetRed(), 255);
    EXPECT_NEAR(quarter.GetGreen(), 128, 1);
    EXPECT_EQ(quarter.GetBlue(), quarter.GetGreen());
}

TEST(ColorMapTest, BandsPickNearestEntry)
{
    ColorMap map(3);
    map.SetBeginEnd(0.0, 14.0);
    map.Ramp(Color::Blue(), Color::White(), Color::Red(), false);
    EXPECT_EQ(map.ColorAtValue(3.4), Color::Blue());
    EXPECT_EQ(map.ColorAtValue(3.6), Color::White());
    EXPECT_EQ(map.ColorAtValue(10.6), Color::Red());
}

TEST(ColorMapTest, DegenerateMapsDoNotFail)
{
    ColorMap single(0);
    EXPECT_EQ(single.GetSize(), 1);
    single.Ramp(Color::Red(), Color::Green(), Color::Blue(), true);
    EXPECT_EQ(single.ColorAtValue(0.3), Color::Green());

    ColorMap flat(5);
    flat.Ramp(Color::Red(), Color::Green(), Color::Blue(), true);
    flat.SetBeginEnd(2.0, 2.0);
    EXPECT_EQ(flat.ColorAtValue(2.0), Color::Red());
    EXPECT_EQ(flat.GetEntry(7), Color());

    ColorMap reversed(2);
    reversed.Ramp(Color::Black(), Color::Grey(), Color::White(), true);
    reversed.SetBeginEnd(10.0, 0.0);
    EXPECT_EQ(reversed.ColorAtValue(10.0), Color::Black());
    EXPECT_EQ(reversed.ColorAtValue(0.0), Color::White());
}
