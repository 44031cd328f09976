// Record decoding, and what the driver object does with malformed answers.
#include "device/Records.h"

#include <gtest/gtest.h>

#include "device/Requests.h"
#include "device/tests/SimFixture.h"

using namespace qel;

TEST(Records, DecodeTakesExactlyTheRecordSize) {
    std::vector<std::uint8_t> b(QEL_DEVICE_LIST::kSize, 0);
    EXPECT_TRUE(decodeRecord<QEL_DEVICE_LIST>(b));
    b.pop_back();
    EXPECT_FALSE(decodeRecord<QEL_DEVICE_LIST>(b));
    b.resize(QEL_DEVICE_LIST::kSize + 1);
    EXPECT_FALSE(decodeRecord<QEL_DEVICE_LIST>(b));
}

TEST(Records, CountsBeyondTheRecordAreInvalidAndNeverOverread) {
    QEL_DEVICE_LIST list;
    list.setWord(0, 64);
    EXPECT_TRUE(list.valid());
    EXPECT_EQ(list.ids().size(), 64u);
    list.setWord(0, 65);
    EXPECT_FALSE(list.valid());
    EXPECT_EQ(list.ids().size(), 64u);

    QEL_DEVICE_SYNCH_MODE_INFO modes;
    modes.setWord(52, 0xFFFFFFFF);
    EXPECT_FALSE(modes.valid());
    EXPECT_EQ(modes.entries().size(), 16u);
    EXPECT_EQ(modes.entry(16).name, "");

    QEL_SAMPLE_RATE_INFO rates;
    rates.setWord(8, 9);
    EXPECT_FALSE(rates.valid());
    EXPECT_EQ(rates.rates().size(), 8u);
}

TEST(Records, VendorAndModelSplitAtTheFirstAmpersand) {
    QEL_DEVICE_PROPERTIES p;
    p.setText(88, 256, "Kavro&Q&A 8");
    EXPECT_EQ(p.vendor(), "Kavro");
    EXPECT_EQ(p.model(), "Q&A 8");
    p.setText(88, 256, "Lonely Model");
    EXPECT_EQ(p.vendor(), "");
    EXPECT_EQ(p.model(), "Lonely Model");
    p.setText(88, 256, "&X");
    EXPECT_EQ(p.vendor(), "");
    EXPECT_EQ(p.model(), "X");
}

TEST(Records, UnterminatedTextsStopAtTheFieldEnd) {
    QEL_DEVICE_PROPERTIES p;
    p.bytes.fill('A');
    EXPECT_EQ(p.deviceName(), std::string(40, 'A'));
    EXPECT_EQ(p.serial(), std::string(40, 'A'));
    EXPECT_EQ(p.vendorModel(), std::string(256, 'A'));
    EXPECT_EQ(p.extra(), std::string(88, 'A'));
    QEL_DEVICE_SYNCH_MODE_INFO m;
    m.bytes.fill('B');
    m.setWord(52, 16);
    EXPECT_EQ(m.entry(15).name, std::string(40, 'B'));
    EXPECT_EQ(m.current().name, std::string(40, 'B'));
}

class MalformedAnswers : public qel::test::SimFixture {
protected:
    void SetUp() override { ASSERT_EQ(ctx.drv().openDriver(fw()), QEL_OK); }
};

TEST_F(MalformedAnswers, DeviceListCountLargerThanTheRecord) {
    std::vector<std::uint8_t> list(260, 0);
    os::putLe32(list, 0, 65);
    rig->answerNext(QEL_REQ_GET_DEVICE_LIST, list);
    EXPECT_EQ(ctx.drv().refreshDeviceProperties(), QEL_E_BAD_LENGTH);
    EXPECT_TRUE(ctx.drv().deviceProperties().empty());
}

TEST_F(MalformedAnswers, ShortAnswersAreRefused) {
    rig->answerNext(QEL_REQ_GET_DEVICE_LIST, {1, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_EQ(ctx.drv().refreshDeviceProperties(), QEL_E_BAD_LENGTH);
    rig->answerNext(QEL_REQ_GET_DEVICE_PROPERTIES, std::vector<std::uint8_t>(100, 'x'));
    EXPECT_EQ(ctx.drv().refreshDeviceProperties(), QEL_E_BAD_LENGTH);
    ASSERT_EQ(ctx.drv().deviceProperties().size(), 1u);  // the other device still listed
    EXPECT_EQ(ctx.drv().deviceProperties()[0].deviceId(), 2u);
    rig->answerNext(QEL_REQ_GET_SAMPLE_RATE_INFO, {0, 0, 0, 0, 0x80, 0xBB});
    EXPECT_EQ(ctx.drv().readSampleRateInfo(), QEL_E_BAD_LENGTH);
    ctx.drv().closeDriver();
    rig->answerNext(QEL_REQ_GET_DRIVER_VERSION, {2, 14});
    EXPECT_EQ(ctx.drv().openDriver(fw()), QEL_E_BAD_LENGTH);
    EXPECT_FALSE(ctx.drv().isOpen());
}

TEST_F(MalformedAnswers, SyncModeCountAndRateCountBeyondTheRecord) {
    std::vector<std::uint8_t> modes(824, 0);
    os::putLe32(modes, 0, 1);
    os::putLe32(modes, 52, 17);
    rig->answerNext(QEL_REQ_GET_SYNC_MODE_INFO, modes);
    EXPECT_EQ(ctx.drv().refreshSyncModes(), QEL_E_BAD_LENGTH);
    ASSERT_EQ(ctx.drv().syncModes().size(), 1u);
    EXPECT_EQ(ctx.drv().syncModes()[0].deviceId(), 2u);

    ASSERT_EQ(ctx.drv().readSampleRateInfo(), QEL_OK);
    std::vector<std::uint8_t> rates(44, 0);
    os::putLe32(rates, 8, 1000);
    rig->answerNext(QEL_REQ_GET_SAMPLE_RATE_INFO, rates);
    EXPECT_EQ(ctx.drv().readSampleRateInfo(), QEL_E_BAD_LENGTH);
    EXPECT_EQ(ctx.drv().sampleRateInfo().currentRate(), 48000u);  // the kept record is untouched
}
