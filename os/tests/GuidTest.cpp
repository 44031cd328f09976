#include "os/Guid.h"

#include <gtest/gtest.h>

using qel::os::Guid;

TEST(Guid, RegistryTextRoundTripsAndKeepsMemoryOrder) {
    const auto g = Guid::parse("{A098F460-2CC2-4072-A32A-36CCD74581A4}");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->registryText(), "{A098F460-2CC2-4072-A32A-36CCD74581A4}");
    EXPECT_EQ(g->lowerText(), "{a098f460-2cc2-4072-a32a-36ccd74581a4}");
    const auto b = g->bytes();
    // Data1..Data3 little-endian in memory, Data4 as written.
    EXPECT_EQ(b[0], 0x60);
    EXPECT_EQ(b[3], 0xA0);
    EXPECT_EQ(b[4], 0xC2);
    EXPECT_EQ(b[6], 0x72);
    EXPECT_EQ(b[8], 0xA3);
    EXPECT_EQ(b[15], 0xA4);
    EXPECT_EQ(Guid::fromBytes(b), *g);
    EXPECT_EQ(Guid::parse("{a098f460-2cc2-4072-a32a-36ccd74581a4}"), g);
}

TEST(Guid, RejectsAnythingButTheBracedRegistryForm) {
    for (const char* bad : {"", "A098F460-2CC2-4072-A32A-36CCD74581A4", "{A098F460-2CC2-4072-A32A-36CCD74581A}",
                            "{A098F460-2CC2-4072-A32A36CCD74581A4-}", "{G098F460-2CC2-4072-A32A-36CCD74581A4}",
                            "{A098F460_2CC2-4072-A32A-36CCD74581A4}", "{A098F460-2CC2-4072-A32A-36CCD74581A4}x"})
        EXPECT_FALSE(Guid::parse(bad)) << bad;
    EXPECT_TRUE(Guid{}.isNull());
}
