#include <gtest/gtest.h>

#include <algorithm>

#include "device/HsciCommunicationManager.h"
#include "device/QelDevice.h"
#include "device/tests/Recorders.h"
#include "device/tests/SimFixture.h"
#include "sim/FwFirmware.h"

namespace qel::test {
namespace {

using Block = sim::FwMemory::Block;
using Fault = sim::FwMemory::Fault;
constexpr std::uint64_t kData = HSCICommunicationManager::kDataBase;

class HsciTest : public SimFixture {
protected:
    HsciTest() : device(ctx, fw(), QEL_KAVRO_COMPANY_ID) { ctx.setMessageBox(&boxes); }
    ~HsciTest() override { device.closeDevice(); }

    void memory(const std::function<void(sim::FwMemory&)>& fn) {
        rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { fn(sim::FwFirmware::of(m)->memory()); });
    }
    std::uint32_t headerReads() {
        std::uint32_t n = 0;
        memory([&](sim::FwMemory& m) { n = m.headerReads(); });
        return n;
    }
    void open() { ASSERT_EQ(device.openDevice(fw(), 1), QEL_OK); }

    MessageBoxRecorder boxes;
    CQelDevice device;
};

TEST_F(HsciTest, DefaultChainSortsBlocksIntoListsAndLocatesMeters) {
    open();
    ASSERT_TRUE(device.initHsci());
    const HSCICommunicationManager& h = *device.hsci();
    EXPECT_EQ(h.chainVersion(), 2);
    // configuration, 8 meters, trailing kind 2; the kind-3 blocks by selector
    EXPECT_EQ(h.firstList().size(), 10u);
    ASSERT_EQ(h.secondList().size(), 1u);
    ASSERT_EQ(h.thirdList().size(), 1u);
    EXPECT_EQ(h.secondList()[0].header->listSelector(), 0);
    EXPECT_NE(h.thirdList()[0].header->listSelector(), 0);
    EXPECT_EQ(h.meterCount(), 8u);
    EXPECT_EQ(h.meterAddress(), kData + 16);
    EXPECT_EQ(h.meterBufferSize(), 32u);
    // data addresses accumulate the data lengths of the blocks before
    EXPECT_EQ(h.secondList()[0].address, kData + 16 + 32);
    EXPECT_EQ(h.thirdList()[0].address, kData + 16 + 32 + 8);
}

TEST_F(HsciTest, VersionOneChainKeepsEveryBlockInTheFirstList) {
    memory([](sim::FwMemory& m) { m.setVersion(1); });
    open();
    ASSERT_TRUE(device.initHsci());
    const HSCICommunicationManager& h = *device.hsci();
    EXPECT_EQ(h.chainVersion(), 1);
    EXPECT_EQ(h.firstList().size(), 12u);
    EXPECT_TRUE(h.secondList().empty());
    EXPECT_TRUE(h.thirdList().empty());
    EXPECT_EQ(h.firstList()[3].header->listSelector(), 255);
    EXPECT_EQ(h.meterCount(), 8u);
}

TEST_F(HsciTest, UnknownVersionFailsWithoutReadingAHeader) {
    memory([](sim::FwMemory& m) { m.setVersion(3); });
    open();
    const std::uint32_t before = headerReads();
    EXPECT_FALSE(device.initHsci());
    EXPECT_EQ(headerReads() - before, 1u);  // the version word only
    EXPECT_TRUE(boxes.texts().empty());
    std::vector<double> meters;
    EXPECT_FALSE(device.readHsciMeters(meters));
}

TEST_F(HsciTest, FirstHeaderWithoutDataEndsTheChainAtOnce) {
    memory([](sim::FwMemory& m) { m.setBlocks({Block{0, 0, 0}, Block{0, 4, 0}}); });
    open();
    EXPECT_TRUE(device.initHsci());
    EXPECT_TRUE(device.hsci()->firstList().empty());
    EXPECT_EQ(device.hsci()->meterCount(), 0u);
    EXPECT_EQ(device.hsci()->meterBufferSize(), 0u);
    std::vector<double> meters;
    EXPECT_FALSE(device.readHsciMeters(meters));
}

TEST_F(HsciTest, MeterWordsArePercentagesOfThePositiveFullScale) {
    memory([](sim::FwMemory& m) {
        m.setBlocks({Block{0, 4, 0}, Block{0, 4, 0}, Block{0, 4, 0}});
        m.setRawMeter(0, 0x00000000);
        m.setRawMeter(1, 0x7FFFFFFF);
        m.setRawMeter(2, 0xFFFFFFFF);
    });
    open();
    ASSERT_TRUE(device.initHsci());
    std::vector<double> meters;
    ASSERT_TRUE(device.readHsciMeters(meters));
    ASSERT_EQ(meters.size(), 3u);
    EXPECT_DOUBLE_EQ(meters[0], 0.0);
    EXPECT_DOUBLE_EQ(meters[1], 100.0);
    EXPECT_NEAR(meters[2], 200.0, 1e-6);
    // a longer array keeps its length; the rest is left alone
    std::vector<double> longer(5, -1.0);
    ASSERT_TRUE(device.readHsciMeters(longer));
    EXPECT_EQ(longer.size(), 5u);
    EXPECT_DOUBLE_EQ(longer[1], 100.0);
    EXPECT_DOUBLE_EQ(longer[4], -1.0);
}

TEST_F(HsciTest, MeterBlockIsTheFirstRunOfKindZero) {
    memory([](sim::FwMemory& m) {
        m.setBlocks({Block{1, 8, 0}, Block{0, 4, 0}, Block{0, 4, 0}, Block{2, 4, 0}, Block{0, 4, 0}});
        m.setRawMeter(0, 0x7FFFFFFF);
        m.setRawMeter(2, 0x7FFFFFFF);
    });
    open();
    ASSERT_TRUE(device.initHsci());
    EXPECT_EQ(device.hsci()->meterCount(), 2u);
    EXPECT_EQ(device.hsci()->meterAddress(), kData + 8);
    std::vector<double> meters;
    ASSERT_TRUE(device.readHsciMeters(meters));
    ASSERT_EQ(meters.size(), 2u);
    EXPECT_DOUBLE_EQ(meters[0], 100.0);
    EXPECT_DOUBLE_EQ(meters[1], 0.0);
}

TEST_F(HsciTest, FailedOrShortHeaderReadShowsTheMessageAndLocatesNothing) {
    for (const Fault fault : {Fault::ReadFails, Fault::ReadShort}) {
        SCOPED_TRACE(static_cast<int>(fault));
        memory([&](sim::FwMemory& m) { m.setFault(fault, 2); });
        open();
        EXPECT_FALSE(device.initHsci());
        std::vector<double> meters;
        EXPECT_FALSE(device.readHsciMeters(meters));
        device.closeDevice();
    }
    const std::string text = "ERROR: asyncReadBlock of 16 bytes failed\r\n       addr=0xFFC700100020";
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{text, text}));
}

TEST_F(HsciTest, ZeroStepEndsTheChain) {
    memory([](sim::FwMemory& m) { m.setFault(Fault::ZeroStep, 3); });
    open();
    ASSERT_TRUE(device.initHsci());
    EXPECT_EQ(device.hsci()->firstList().size(), 3u);
    EXPECT_EQ(device.hsci()->meterCount(), 2u);
}

TEST_F(HsciTest, EndlessChainIsCutAtTheHeaderLimit) {
    memory([](sim::FwMemory& m) { m.setFault(Fault::Endless); });
    open();
    ASSERT_TRUE(device.initHsci());
    EXPECT_EQ(device.hsci()->firstList().size() + device.hsci()->secondList().size() +
                  device.hsci()->thirdList().size(),
              HSCICommunicationManager::kMaxHeaders);
    EXPECT_EQ(device.hsci()->meterCount(), 8u);
}

TEST_F(HsciTest, RepeatedInitialisationDoesNotCountMetersTwice) {
    open();
    ASSERT_TRUE(device.initHsci());
    ASSERT_TRUE(device.initHsci());
    EXPECT_EQ(device.hsci()->firstList().size(), 10u);
    EXPECT_EQ(device.hsci()->meterCount(), 8u);
    EXPECT_EQ(device.hsci()->meterBufferSize(), 32u);
}

TEST_F(HsciTest, MeterBlockBeyondTheDataAreaIsRefused) {
    memory([](sim::FwMemory& m) { m.setBlocks(std::vector<Block>(20, Block{0, 0xFFFF, 0})); });
    open();
    EXPECT_FALSE(device.initHsci());
    EXPECT_EQ(device.hsci()->meterCount(), 0u);
    std::vector<double> meters;
    EXPECT_FALSE(device.readHsciMeters(meters));
}

TEST_F(HsciTest, MeterBlocksShorterThanAWordHoldFewerMeters) {
    memory([](sim::FwMemory& m) { m.setBlocks({Block{0, 2, 0}, Block{0, 2, 0}, Block{0, 2, 0}}); });
    open();
    ASSERT_TRUE(device.initHsci());
    EXPECT_EQ(device.hsci()->meterBufferSize(), 6u);
    EXPECT_EQ(device.hsci()->meterCount(), 1u);
    std::vector<double> meters;
    EXPECT_TRUE(device.readHsciMeters(meters));
    EXPECT_EQ(meters.size(), 1u);
}

TEST_F(HsciTest, WithoutInitialisationOrWhenTheBlockReadFailsNothingIsRead) {
    std::vector<double> meters;
    EXPECT_FALSE(device.readHsciMeters(meters));
    open();
    ASSERT_TRUE(device.initHsci());
    rig->failNext(QEL_REQ_ASYNC_READ_BLOCK, 1, 31);
    EXPECT_FALSE(device.readHsciMeters(meters));
    EXPECT_TRUE(meters.empty());
    EXPECT_TRUE(device.readHsciMeters(meters));
    device.closeDevice();
    EXPECT_FALSE(device.readHsciMeters(meters));
}

TEST_F(HsciTest, SignalsMoveBetweenReadings) {
    memory([](sim::FwMemory& m) {
        m.setSignal(0, sim::FwMemory::Signal::Silence);
        m.setSignal(1, sim::FwMemory::Signal::Constant, 50);
        m.setSignal(2, sim::FwMemory::Signal::Sine, 80);
        m.setSignal(3, sim::FwMemory::Signal::Noise, 60);
    });
    open();
    ASSERT_TRUE(device.initHsci());
    std::vector<double> a, b;
    ASSERT_TRUE(device.readHsciMeters(a));
    ASSERT_TRUE(device.readHsciMeters(b));
    EXPECT_DOUBLE_EQ(a[0], 0.0);
    EXPECT_NEAR(a[1], 50.0, 1e-6);
    EXPECT_NE(a[2], b[2]);
    EXPECT_NE(a[3], b[3]);
    for (const double v : {a[2], b[2]}) EXPECT_LE(v, 80.0 + 1e-6);
    for (const double v : {a[3], b[3]}) EXPECT_LE(v, 60.0 + 1e-6);
}

TEST(HsciDecode, HeadersDecodeBigEndianFieldsAndValidity) {
    const std::uint8_t v2[16] = {0x01, 0x02, 0x00, 0x10, 3, 5, 6, 2, 8, 9, 10, 11, 1, 0, 0, 0};
    HSCI_Header_V2 h(v2);
    EXPECT_EQ(h.step(), 0x0102);
    EXPECT_EQ(h.dataLength(), 0x10);
    EXPECT_EQ(h.kind(), 3);
    EXPECT_EQ(h.byte5(), 5);
    EXPECT_EQ(h.byte6(), 6);
    EXPECT_EQ(h.byte8(), 8);
    EXPECT_EQ(h.byte11(), 11);
    EXPECT_EQ(h.listSelector(), 1);
    EXPECT_TRUE(h.isValid());
    const auto copy = h.clone();
    EXPECT_EQ(copy->listSelector(), 1);  // copied as a version 2 header
    EXPECT_FALSE(HSCI_Header_V1(v2).isValid());  // version byte 2
    // a short buffer reads as zeros: never valid
    const std::uint8_t shortBytes[3] = {0, 10, 0};
    EXPECT_FALSE(HSCI_Header_V1(shortBytes).isValid());
    EXPECT_EQ(decodeHsciHeader(3, v2), nullptr);
}

TEST(HsciDecode, MetersStayInsideTheBlock) {
    const std::uint8_t block[6] = {0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF};
    std::vector<double> meters(4, -1.0);
    HSCICommunicationManager::decodeMeters(block, 4, meters);
    EXPECT_DOUBLE_EQ(meters[0], 100.0);
    EXPECT_DOUBLE_EQ(meters[1], -1.0);
    EXPECT_EQ(HSCICommunicationManager::readFailureText(12, 0xFFC700100000ull),
              "ERROR: asyncReadBlock of 12 bytes failed\r\n       addr=0xFFC700100000");
}

}  // namespace
}  // namespace qel::test
