#include "os/Bytes.h"

#include <gtest/gtest.h>

#include <array>

using namespace qel::os;

TEST(Bytes, EndiannessAtOffsets) {
    std::array<std::uint8_t, 8> b{};
    putLe32(b, 1, 0x11223344);
    EXPECT_EQ(b[1], 0x44);
    EXPECT_EQ(b[4], 0x11);
    EXPECT_EQ(getLe32(b, 1), 0x11223344u);
    putBe16(b, 6, 0xC100);
    EXPECT_EQ(b[6], 0xC1);
    EXPECT_EQ(getBe16(b, 6), 0xC100);
    putBe32(b, 0, 0x01020304);
    EXPECT_EQ(getLe16(b, 0), 0x0201);
}

TEST(Bytes, AccessPastTheEndNeitherReadsNorWrites) {
    std::array<std::uint8_t, 6> b{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(getLe32(b, 3), 0u);
    EXPECT_EQ(getBe32(b, 100), 0u);
    EXPECT_EQ(getLe16(b, 5), 0u);
    putLe32(b, 4, 0xFFFFFFFF);
    putBe16(b, static_cast<std::size_t>(-1), 0xFFFF);
    EXPECT_EQ(b, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));
}

TEST(Bytes, TextFieldsAreBoundedByTheirWidth) {
    std::array<std::uint8_t, 10> b{};
    putText(b, 2, 5, "abcdefgh");
    EXPECT_EQ(getText(b, 2, 5), "abcd");  // cut so that the zero fits
    EXPECT_EQ(b[6], 0);
    // A field without its terminating zero ends at the field's width.
    b.fill('x');
    EXPECT_EQ(getText(b, 2, 5), "xxxxx");
    EXPECT_EQ(getText(b, 8, 5), "xx");  // and at the end of the buffer
    EXPECT_EQ(getText(b, 10, 5), "");
    EXPECT_EQ(hexText(std::span<const std::uint8_t>{}), "-");
    const std::uint8_t h[] = {0x00, 0xAB, 0x7f};
    EXPECT_EQ(hexText(h), "00ab7f");
}
