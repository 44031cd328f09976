// AV/C frames, decibel encodings, response decoding and NOTIFY matching.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "device/AvcFrames.h"
#include "device/AvcNotifyCmd.h"

using namespace qel;

namespace {
std::string hex(const AvcFrame& f) { return os::hexText(f.view()); }

AvcFrame frameOf(std::initializer_list<int> bytes) {
    AvcFrame f;
    for (const int b : bytes) f.push(static_cast<std::uint8_t>(b));
    return f;
}

// A 516-byte answer with this length word and frame.
std::array<std::uint8_t, kAvcTransactionOut> answer(std::uint32_t lengthWord, std::initializer_list<int> frame) {
    std::array<std::uint8_t, kAvcTransactionOut> a{};
    os::putLe32(a, 0, lengthWord);
    std::size_t i = 4;
    for (const int b : frame) a[i++] = static_cast<std::uint8_t>(b);
    return a;
}
}  // namespace

TEST(AvcFrames, FeatureBlockFramesByteForByte) {
    EXPECT_EQ(hex(featureValueControl(3, 1, AVC_SELECTOR_VOLUME, -256)), "0008b88103100201" "02" "02ff00");
    EXPECT_EQ(hex(featureValueQuery(AVC_CTYPE_STATUS, 3, 2, AVC_SELECTOR_BALANCE)), "0108b88103100202" "0302ffff");
    EXPECT_EQ(hex(featureValueQuery(AVC_CTYPE_NOTIFY, 7, 0, AVC_SELECTOR_VOLUME)), "0308b88107100200" "0202ffff");
    EXPECT_EQ(hex(muteControl(4, 0, true)), "0008b881041002000101" "70");
    EXPECT_EQ(hex(muteControl(4, 0, false)), "0008b881041002000101" "60");
    EXPECT_EQ(hex(muteStatus(4, 2)), "0108b881041002020101" "ff");
    EXPECT_EQ(featureValueControl(1, 0, 2, 0).length, 12u);
    EXPECT_EQ(muteStatus(1, 0).length, 11u);
}

TEST(AvcFrames, VendorFramesCarryTheCompanyIdMostSignificantFirst) {
    const std::uint8_t one[1] = {5};
    const std::uint8_t two[2] = {1, 2};
    EXPECT_EQ(hex(vendorFrame(AVC_CTYPE_CONTROL, 0x123456, 3, one)), "00ff0012345603" "05");
    EXPECT_EQ(hex(vendorFrame(AVC_CTYPE_STATUS, 0x123456, 9, two)), "01ff0012345609" "0102");
    const AVCVendorSpecCMD message(7, 1);
    EXPECT_EQ(hex(message.notifyFrame(0xABCDEF)), "03ff00abcdef07ff");
    const AVCDigitalInDetectionCMD optical(2);
    EXPECT_EQ(hex(optical.statusFrame(0xABCDEF)), "01ff00abcdef02ffff");
    const AVCSUFeatureBlockNotifyCMD fb(9);
    EXPECT_EQ(fb.code(), 6u);
    EXPECT_EQ(fb.dataLength(), 2u);
    EXPECT_EQ(hex(fb.notifyFrame(0xABCDEF)), "0308b88109100200" "0202ffff");
}

TEST(AvcFrames, TransactionInputLayout) {
    const auto in = encodeTransaction(muteStatus(1, 0));
    EXPECT_EQ(os::getLe32(in, 0), 1000u);
    EXPECT_EQ(os::getLe32(in, 4), 11u);
    EXPECT_EQ(in[8], 0x01);
    EXPECT_EQ(in[18], 0xFF);
    EXPECT_EQ(in[19], 0x00);  // unused bytes stay zero
}

TEST(AvcFrames, ClampedRule) {
    EXPECT_EQ(static_cast<std::uint16_t>(dbToClamped(-70)), 0xC100);
    EXPECT_EQ(static_cast<std::uint16_t>(dbToClamped(-63)), 0xC100);
    EXPECT_EQ(dbToClamped(0), 0);
    EXPECT_EQ(dbToClamped(3), 0);
    EXPECT_EQ(dbToClamped(-6.5), -1664);  // -1664.5 truncated toward zero
    EXPECT_EQ(static_cast<std::uint16_t>(dbToClamped(std::nan(""))), 0x8000);
}

TEST(AvcFrames, PlainRule) {
    EXPECT_EQ(static_cast<std::uint16_t>(dbToPlain(-0.5)), 0xFF80);
    EXPECT_EQ(dbToPlain(0.5), 0x0080);
    EXPECT_EQ(static_cast<std::uint16_t>(dbToPlain(-200)), 0x8000);
    EXPECT_EQ(dbToPlain(127), 0x7F00);
    EXPECT_EQ(dbToPlain(0), 0);
    // Beyond the encoding: saturated, never wrapped.
    EXPECT_EQ(dbToPlain(200), 0x7FFF);
    EXPECT_EQ(dbToPlain(std::numeric_limits<double>::infinity()), 0x7FFF);
    EXPECT_EQ(valueToDb(-384), -1.5);
}

TEST(AvcFrames, ResponseDecodingNeverReadsPastTheAnswer) {
    AvcFrame r;
    EXPECT_EQ(decodeResponse(answer(3, {0x0C, 0xFF, 0x00}), 516, r), QEL_OK);
    EXPECT_EQ(r.length, 3u);
    EXPECT_EQ(r.at(0), 0x0C);
    EXPECT_EQ(r.at(3), 0);  // past the frame
    // A length word beyond the 512-byte frame, or beyond what the driver returned.
    EXPECT_EQ(decodeResponse(answer(513, {0x0C}), 516, r), QEL_E_BAD_LENGTH);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(decodeResponse(answer(0xFFFFFFFF, {0x0C}), 516, r), QEL_E_BAD_LENGTH);
    EXPECT_EQ(decodeResponse(answer(12, {0x0C}), 10, r), QEL_E_BAD_LENGTH);
    EXPECT_EQ(decodeResponse(answer(6, {0x0C}), 10, r), QEL_OK);
    EXPECT_EQ(decodeResponse(answer(0, {}), 3, r), QEL_E_BAD_LENGTH);  // not even the length word
    const std::uint8_t tiny[2] = {1, 0};
    EXPECT_EQ(decodeResponse(tiny, 516, r), QEL_E_BAD_LENGTH);
}

TEST(AvcFrames, ResponseCheckWantsTheCodeAndTheBytesItReads) {
    const AvcFrame stable = frameOf({0x0C, 0x08, 0xB8, 0x81, 1, 0x10, 2, 0, 2, 2, 0xFF, 0x00});
    EXPECT_EQ(checkResponse(stable, AVC_RESPONSE_STABLE, 12), QEL_OK);
    EXPECT_EQ(checkResponse(stable, AVC_RESPONSE_ACCEPTED, 1), QEL_E_FAILED);
    EXPECT_EQ(checkResponse(stable, AVC_RESPONSE_STABLE, 13), QEL_E_FAILED);
    EXPECT_EQ(checkResponse(AvcFrame{}, 0x00, 0), QEL_E_FAILED);  // empty: no response code at all
}

class NotifyMatching : public ::testing::Test {
protected:
    AVCVendorSpecCMD message{7, 1};
    AVCDigitalInDetectionCMD coax{1};
    AVCSUFeatureBlockNotifyCMD block4{4};
    AVCSUFeatureBlockNotifyCMD block3{3};
    AVCVendorSpecCMD messageAgain{7, 1};
};

TEST_F(NotifyMatching, FunctionBlockResponseByBlockAndSelector) {
    AVC_NotifyCMD* watched[] = {&message, &block4, &block3};
    const AvcFrame r = frameOf({0x0D, 0x08, 0xB8, 0x81, 3, 0x10, 2, 0, 2, 2, 0xFF, 0x80});
    const NotifyMatch m = matchNotifyResponse(r, watched);
    ASSERT_EQ(m.command, &block3);
    EXPECT_EQ(m.index, 2u);
    EXPECT_EQ(m.dataOffset, 10u);
    ASSERT_TRUE(applyNotifyResponse(r, m));
    EXPECT_EQ(block3.data()[0], 0xFF);
    EXPECT_EQ(block3.data()[1], 0x80);
    EXPECT_EQ(block4.data()[0], 0x00);
    // Same block, other selector (balance): ignored.
    const AvcFrame balance = frameOf({0x0D, 0x08, 0xB8, 0x81, 3, 0x10, 2, 0, 3, 2, 0x01, 0x00});
    EXPECT_EQ(matchNotifyResponse(balance, watched).command, nullptr);
    // Block 5 when only 3 and 4 are watched: ignored.
    const AvcFrame other = frameOf({0x0D, 0x08, 0xB8, 0x81, 5, 0x10, 2, 0, 2, 2, 0x01, 0x00});
    EXPECT_EQ(matchNotifyResponse(other, watched).command, nullptr);
}

TEST_F(NotifyMatching, VendorResponseUpdatesOnlyTheFirstWithThatCode) {
    AVC_NotifyCMD* watched[] = {&coax, &message, &messageAgain};
    const AvcFrame r = frameOf({0x0D, 0xFF, 0x00, 0x00, 0xC0, 0xDE, 7, 6});
    const NotifyMatch m = matchNotifyResponse(r, watched);
    ASSERT_EQ(m.command, &message);
    ASSERT_TRUE(applyNotifyResponse(r, m));
    EXPECT_EQ(message.data()[0], 6);
    EXPECT_EQ(messageAgain.data()[0], 0);
    const AvcFrame detection = frameOf({0x0D, 0xFF, 0x00, 0x00, 0xC0, 0xDE, 1, 1, 4});
    ASSERT_TRUE(applyNotifyResponse(detection, matchNotifyResponse(detection, watched)));
    EXPECT_TRUE(coax.detected());
    EXPECT_EQ(coax.rateCode(), 4);
}

TEST_F(NotifyMatching, OtherOpcodesAndShortResponsesAreIgnored) {
    AVC_NotifyCMD* watched[] = {&message, &block4};
    EXPECT_EQ(matchNotifyResponse(frameOf({0x0D, 0xFF, 0x02, 0, 0, 0, 7, 1}), watched).command, nullptr);
    // Cut before the selector byte, or before the command code: nothing is read past the end.
    EXPECT_EQ(matchNotifyResponse(frameOf({0x0D, 0x08, 0xB8, 0x81, 4, 0x10, 2, 0}), watched).command, nullptr);
    EXPECT_EQ(matchNotifyResponse(frameOf({0x0D, 0xFF, 0x00, 0, 0, 0}), watched).command, nullptr);
    EXPECT_EQ(matchNotifyResponse(AvcFrame{}, watched).command, nullptr);
}

TEST_F(NotifyMatching, DataRunningPastTheResponseAreNotCopied) {
    AVC_NotifyCMD* watched[] = {&coax, &block4};
    block4.data()[0] = 0x11;
    // Function block 4 matches, but only one of its two data bytes came.
    const AvcFrame cut = frameOf({0x0D, 0x08, 0xB8, 0x81, 4, 0x10, 2, 0, 2, 2, 0xAA});
    const NotifyMatch m = matchNotifyResponse(cut, watched);
    EXPECT_EQ(m.command, &block4);
    EXPECT_FALSE(m.complete);
    EXPECT_FALSE(applyNotifyResponse(cut, m));
    EXPECT_EQ(block4.data()[0], 0x11);
    // A vendor response of exactly 7 bytes matches but has no data for a two-byte command.
    const AvcFrame seven = frameOf({0x0D, 0xFF, 0x00, 0, 0, 0, 1});
    EXPECT_FALSE(applyNotifyResponse(seven, matchNotifyResponse(seven, watched)));
    EXPECT_FALSE(coax.detected());
}
