#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include <tavrel/core/SmallString.h>

using namespace Tavrel;

// Texts on both sides of the in-place limit survive copies, moves and assignment from their own
// bytes, with the terminating zero in place.
TEST(SmallStringTest, TextsAroundTheInPlaceLimitSurviveCopiesMovesAndSelfAssignment)
{
    for (const std::string& text : {std::string(), std::string("C12"), std::string(15, 'x'), std::string(16, 'y'),
                                    std::string(1000, 'z')}) {
        SmallString original(text);
        EXPECT_EQ(original.View(), text);
        EXPECT_EQ(original.c_str()[text.size()], '\0');

        SmallString copy(original);
        SmallString moved(std::move(original));
        EXPECT_EQ(copy, moved);
        EXPECT_EQ(moved.View(), text);
        EXPECT_TRUE(original.Empty());

        copy = copy.View().substr(text.empty() ? 0 : 1);
        EXPECT_EQ(copy.View(), text.empty() ? std::string() : text.substr(1));
        moved = SmallString("short");
        EXPECT_EQ(moved.View(), "short");
        copy = moved;
        EXPECT_EQ(copy.View(), "short");
        // In-place texts replace one another, longer or shorter, from outside or from within.
        for (const std::string_view next : {"C1", "", "fifteen-chars!!", "C12"}) {
            copy = next;
            EXPECT_EQ(copy.View(), next);
            EXPECT_EQ(copy.c_str()[next.size()], '\0');
        }
        copy = copy.View().substr(1, 1);
        EXPECT_EQ(copy.View(), "1");
    }
}

// An in-place text of every length takes each byte where it belongs, from outside and from a part of
// its own bytes (shifted down by one, or its first bytes again).
TEST(SmallStringTest, InPlaceTextsOfEveryLengthKeepTheirBytesInOrder)
{
    const std::string letters = "abcdefghijklmnop";
    for (std::size_t size = 0; size <= SmallString::InPlace; ++size) {
        const std::string text = letters.substr(0, size);
        SmallString string("0123456789");
        string = text;
        EXPECT_EQ(string.View(), text);
        EXPECT_EQ(string.c_str()[size], '\0');

        string = letters.substr(0, SmallString::InPlace);
        string = string.View().substr(1, size == 0 ? 0 : size - 1);
        EXPECT_EQ(string.View(), letters.substr(1, size == 0 ? 0 : size - 1));
        string = string.View().substr(0, size / 2);
        EXPECT_EQ(string.View(), letters.substr(1, size / 2));
    }
}
