#include "controlpanel/driver/StatusText.h"

#include <gtest/gtest.h>

using namespace qel;
using namespace qel::cpl;

TEST(StatusText, KnownCodesGetTheirTextUnknownOnesNone) {
    EXPECT_EQ(statusLine(0xE0000073), "Error code 0xE0000073: Bandwidth allocation failed.");
    EXPECT_EQ(statusLine(0xE0000077), "Error code 0xE0000077: Channel number has changed because of bus reset.");
    // An unknown code: the line ends right after the colon and its blank.
    EXPECT_EQ(statusLine(0xE0000075), "Error code 0xE0000075: ");
    EXPECT_EQ(statusLine(0), "Error code 0x00000000: ");
    EXPECT_STREQ(statusMessage(0xE0000047), "");  // the WDM code is a page message, not a stream text
}

TEST(StatusText, EveryTableCodeHasItsOwnText) {
    const Status codes[] = {0xE0000022, 0xE0000072, 0xE0000073, 0xE0000074, 0xE0000076, 0xE0000077, 0xE0000080};
    std::vector<std::string> texts;
    for (const Status c : codes) {
        const std::string t = statusMessage(c);
        ASSERT_FALSE(t.empty()) << std::hex << c;
        EXPECT_EQ(t.back(), '.');
        EXPECT_EQ(std::count(texts.begin(), texts.end(), t), 0) << t;
        texts.push_back(t);
    }
    EXPECT_EQ(texts[0], "Negative response for an FCP request.");
    EXPECT_EQ(texts[6], "Selected sampling rate not supported.");
}
