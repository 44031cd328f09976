#include "os/CodePage.h"

#include <gtest/gtest.h>

using qel::os::windows1252ToUtf8;

TEST(CodePage, AsciiPassesAndTheHighHalfBecomesUtf8) {
    EXPECT_EQ(windows1252ToUtf8("Studio 610"), "Studio 610");
    // 0x80 is the euro sign (3 bytes), 0xE9 is e-acute (2 bytes), 0x99 the trade mark.
    EXPECT_EQ(windows1252ToUtf8("\x80 caf\xE9 \x99"), "\xE2\x82\xAC caf\xC3\xA9 \xE2\x84\xA2");
    // Unassigned positions become the replacement character.
    EXPECT_EQ(windows1252ToUtf8("\x81"), "\xEF\xBF\xBD");
    // An embedded zero byte is kept as text, not an end.
    EXPECT_EQ(windows1252ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(windows1252ToUtf8(""), "");
}
