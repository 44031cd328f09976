// The Device adapter on a FireWire device of the rig: opening by look-up
// name, mixer operations, device mode and the clock operations, checked as
// the exact request sequences in the trace.
#include <gtest/gtest.h>

#include "device/Device.h"
#include "device/Requests.h"
#include "device/tests/SimFixture.h"
#include "sim/FwFirmware.h"

using namespace qel;
using qel::test::SimFixture;

namespace {
const std::string kAvc = "fw:1 QEL_REQ_AVC_TRANSACTION ok in=";

// "<endpoint> <REQUEST_NAME>" of each line, plus the input of the AV/C and
// sync-mode lines, which carry what was chosen.
std::vector<std::string> shape(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) {
        const auto first = l.find(' '), second = l.find(' ', first + 1);
        std::string s = l.substr(0, second);
        if (l.find("AVC_TRANSACTION") != std::string::npos || l.find("SET_SYNC_MODE") != std::string::npos ||
            l.find("SET_SYNC_SETTINGS") != std::string::npos) {
            const auto in = l.find(" in="), outAt = l.find(" out=");
            s += l.substr(in, outAt - in);
        }
        out.push_back(s);
    }
    return out;
}

const std::vector<std::string> kReadSync = {"fw QEL_REQ_GET_SYNC_SETTINGS", "fw QEL_REQ_GET_DEVICE_LIST",
                                            "fw QEL_REQ_GET_SYNC_MODE_INFO", "fw QEL_REQ_GET_SYNC_MODE_INFO"};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The write-back after a choice: device 1's new current entry, device 2 unchanged.
std::vector<std::string> writeBack(const std::string& device1, const std::string& settings) {
    const std::string mode1 = "fw QEL_REQ_SET_SYNC_MODE in=" + device1;
    const std::string mode2 = "fw QEL_REQ_SET_SYNC_MODE in=020000000400000001000000";
    return {mode1, mode2, "fw QEL_REQ_SET_SYNC_SETTINGS in=" + settings, "fw QEL_REQ_SET_SYNC_PARAMETER",
            mode1, mode2, "fw QEL_REQ_END_SYNC_CHANGE"};
}
}  // namespace

class Adapter : public SimFixture {
protected:
    // The adapter of the rig's device `id`, built from its property record.
    std::unique_ptr<Device> adapter(std::uint32_t id) {
        EXPECT_EQ(ctx.drv().openDriver(fw()), QEL_OK);
        ctx.drv().refreshDeviceProperties();
        for (const auto& p : ctx.drv().deviceProperties())
            if (p.deviceId() == id)
                return std::make_unique<Device>(ctx, DEVICE_PROPS::fromFireWire(p, fw(), os),
                                                std::make_unique<CQelDevice>(ctx, fw(), QEL_KAVRO_COMPANY_ID));
        return nullptr;
    }
    void SetUp() override {
        dev = adapter(1);
        ASSERT_NE(dev, nullptr);
        ASSERT_EQ(dev->openMixerDevice(), QEL_OK);
        trace();
    }
    void setSync(std::uint32_t id, std::vector<sim::SyncModeEntry> modes, std::size_t current) {
        rig->withFwDevice(id, [&](sim::FwDeviceModel& m) {
            m.syncModes = std::move(modes);
            m.currentSyncMode = current;
        });
    }
    std::string currentSyncName(std::uint32_t id) {
        std::string name;
        rig->withFwDevice(id, [&](sim::FwDeviceModel& m) { name = m.syncModes[m.currentSyncMode].name; });
        return name;
    }

    std::unique_ptr<Device> dev;
};

TEST_F(Adapter, OpensTheDeviceItsNameFindsNotTheFirstOne) {
    auto second = adapter(2);
    EXPECT_EQ(second->openMixerDevice(), QEL_OK);
    EXPECT_EQ(second->fireWire()->deviceId(), 2u);
    EXPECT_EQ(second->syncKind(), 0u);  // "Internal", kind 4
    // Opening again closes the old handle first instead of failing.
    EXPECT_EQ(second->openMixerDevice(), QEL_OK);
    EXPECT_TRUE(second->fireWire()->isOpen());
}

TEST_F(Adapter, UnknownNameOrNoDeviceFails) {
    DEVICE_PROPS props = dev->props();
    props.lookupName = "nobody";
    Device lost(ctx, props, std::make_unique<CQelDevice>(ctx, fw(), QEL_KAVRO_COMPANY_ID));
    EXPECT_EQ(lost.openMixerDevice(), QEL_E_FAILED);
    EXPECT_FALSE(lost.fireWire()->isOpen());
    Device none(ctx, props, nullptr);
    std::uint32_t a = 0, b = 0;
    EXPECT_EQ(none.openMixerDevice(), QEL_E_FAILED);
    EXPECT_EQ(none.setPan(1, 1), QEL_E_FAILED);
    EXPECT_EQ(none.setDeviceMode(1), QEL_E_FAILED);
    EXPECT_EQ(none.SetSyncSource(1), QEL_E_FAILED);
    EXPECT_EQ(none.GetCurrentRate(a), QEL_E_FAILED);
    EXPECT_EQ(none.ReadDigitalInput(1, a, b), QEL_E_FAILED);
    EXPECT_FALSE(none.RegisterBlockNotify(1, nullptr));
}

TEST_F(Adapter, PanBalanceAndVolume) {
    EXPECT_EQ(dev->setPan(127, 2), QEL_OK);
    EXPECT_EQ(dev->setChannelBalance(1, 2, 10), QEL_OK);  // negated: -10
    EXPECT_EQ(dev->setVolume(2, -6), QEL_OK);
    EXPECT_EQ(trace(), (std::vector<std::string>{kAvc + "0008b88102100200" "03027f00 out=0908b88102100200" "03027f00",
                                                 kAvc + "0008b88102100201" "0302f600 out=0908b88102100201" "0302f600",
                                                 kAvc + "0008b88102100200" "0202fa00 out=0908b88102100200" "0202fa00"}));
}

TEST_F(Adapter, DeviceModeFourSkipsCommandFourButWritesCommandZero) {
    ASSERT_EQ(ctx.drv().readSampleRateInfo(), QEL_OK);
    trace();
    rig->withFwDevice(1, [](sim::FwDeviceModel& m) { sim::FwFirmware::of(m)->replyNext(0x0C); });
    EXPECT_EQ(dev->setDeviceMode(4), QEL_OK);  // the firmware refuses mode 4; not reported
    EXPECT_EQ(dev->deviceMode(), 4u);
    EXPECT_EQ(dev->avcRateCode(), 4);  // 48000
    EXPECT_EQ(shape(trace()), concat(concat({"fw:1 QEL_REQ_AVC_TRANSACTION in=01ff0000c0de0300",
                                             "fw:1 QEL_REQ_AVC_TRANSACTION in=01ff0000c0de0400"},
                                            kReadSync),
                                     {"fw:1 QEL_REQ_AVC_TRANSACTION in=00ff0000c0de0004"}));
}

TEST_F(Adapter, DeviceModeOneToThreeWritesTheSecondFlagBack) {
    ASSERT_EQ(dev->fireWire()->sendVendorControl(ctx.avc().flag4, 5), QEL_OK);
    rig->withFwDevice(1, [](sim::FwDeviceModel& m) {
        sim::FwFirmware::of(m)->answerNext({0x0C, 0xFF, 0x00, 0x00, 0xC0, 0xDE, 3, 1});
    });
    trace();
    EXPECT_EQ(dev->setDeviceMode(2), QEL_OK);
    EXPECT_TRUE(dev->firstFlag());
    EXPECT_TRUE(dev->secondFlag());
    EXPECT_EQ(shape(trace()), concat(concat({"fw:1 QEL_REQ_AVC_TRANSACTION in=01ff0000c0de0300",
                                             "fw:1 QEL_REQ_AVC_TRANSACTION in=01ff0000c0de0400",
                                             "fw:1 QEL_REQ_AVC_TRANSACTION in=00ff0000c0de0401"},
                                            kReadSync),
                                     {"fw:1 QEL_REQ_AVC_TRANSACTION in=00ff0000c0de0002"}));
    std::uint32_t mode = 0;
    EXPECT_EQ(dev->ReadVendorValue(ctx.avc().deviceMode, mode), QEL_OK);
    EXPECT_EQ(mode, 2u);
}

TEST(SyncIndex, KindAndNameRules) {
    EXPECT_EQ(Device::syncIndexFor(2, "pc"), 4u);
    EXPECT_EQ(Device::syncIndexFor(3, "host"), 4u);
    EXPECT_EQ(Device::syncIndexFor(4, "word clock"), 3u);
    EXPECT_EQ(Device::syncIndexFor(4, "wck in"), 3u);
    EXPECT_EQ(Device::syncIndexFor(4, "ext wclock"), 3u);
    EXPECT_EQ(Device::syncIndexFor(4, "internal"), 0u);
    EXPECT_EQ(Device::syncIndexFor(5, "spdif coax"), 1u);
    EXPECT_EQ(Device::syncIndexFor(5, "tos optical"), 2u);
    EXPECT_EQ(Device::syncIndexFor(5, "opt"), 2u);
    EXPECT_EQ(Device::syncIndexFor(5, "adat"), 2u);
    EXPECT_EQ(Device::syncIndexFor(5, "s-mux"), 2u);
    EXPECT_EQ(Device::syncIndexFor(5, "smux"), 2u);
    EXPECT_EQ(Device::syncIndexFor(5, "aes"), 0u);
    EXPECT_EQ(Device::syncIndexFor(1, "spdif"), 0u);
    EXPECT_EQ(Device::syncIndexFor(6, "word"), 0u);
}

TEST_F(Adapter, ReadSyncSourceComparesTheNameInLowerCase) {
    setSync(1, {{4, 1, "Internal"}, {5, 2, "SPDIF Coax"}, {5, 3, "TOS"}, {4, 4, "Word Clock"}, {2, 5, "PC"}}, 1);
    EXPECT_EQ(dev->ReadSyncSource(), QEL_OK);
    EXPECT_EQ(dev->syncKind(), 1u);
    EXPECT_EQ(shape(trace()), kReadSync);
    for (const auto& [current, index] : std::vector<std::pair<std::size_t, std::uint32_t>>{{0, 0}, {2, 2}, {3, 3}, {4, 4}}) {
        setSync(1, {{4, 1, "Internal"}, {5, 2, "SPDIF Coax"}, {5, 3, "TOS"}, {4, 4, "Word Clock"}, {2, 5, "PC"}},
                current);
        EXPECT_EQ(dev->ReadSyncSource(), QEL_OK);
        EXPECT_EQ(dev->syncKind(), index) << current;
    }
    rig->failNext(QEL_REQ_GET_SYNC_SETTINGS, 1, os::kErrorGenFailure);
    EXPECT_EQ(dev->ReadSyncSource(), os::kErrorGenFailure);
}

TEST_F(Adapter, CoaxSpdifActsThenDoesNothing) {
    EXPECT_EQ(dev->SetSyncSource(1), QEL_OK);
    EXPECT_TRUE(dev->firstFlag());
    EXPECT_EQ(shape(trace()),
              concat(concat(concat(kReadSync, {"fw:1 QEL_REQ_AVC_TRANSACTION in=00ff0000c0de0301",
                                               "fw QEL_REQ_BEGIN_SYNC_CHANGE", "fw QEL_REQ_GET_SYNC_PARAMETER",
                                               "fw QEL_REQ_SET_SYNC_SETTINGS in=000000000100000000000000"}),
                            writeBack("010000000500000002000000", "000000000100000000000000")),
                     {}));
    EXPECT_EQ(currentSyncName(1), "spdif");
    EXPECT_EQ(rig->syncChangeDepth(), 0);
    // Now current: nothing to do, nothing but the reads.
    EXPECT_EQ(dev->SetSyncSource(1), QEL_OK);
    EXPECT_EQ(shape(trace()), kReadSync);
}

TEST_F(Adapter, OpticalNamesFollowTheDigitalMode) {
    auto stage = adapter(2);
    ASSERT_EQ(stage->openMixerDevice(), QEL_OK);
    stage->setModeValue(1);  // ADAT: "mux" first, then "adat"
    trace();
    EXPECT_EQ(stage->SetSyncSource(2), QEL_OK);
    EXPECT_TRUE(stage->secondFlag());
    EXPECT_EQ(currentSyncName(2), "S-MUX");
    const auto t = shape(trace());
    EXPECT_EQ(t[4], "fw:2 QEL_REQ_AVC_TRANSACTION in=00ff0000c0de0401");
    EXPECT_NE(std::find(t.begin(), t.end(), "fw QEL_REQ_SET_SYNC_MODE in=020000000500000005000000"), t.end());
    // Already on an optical source: nothing to do.
    EXPECT_EQ(stage->SetSyncSource(2), QEL_OK);
    EXPECT_EQ(shape(trace()).size(), 4u);
    // Mode 0: "optical" or "tos"; the S-MUX entry does not count.
    stage->setModeValue(0);
    EXPECT_EQ(stage->SetSyncSource(2), QEL_OK);
    EXPECT_EQ(currentSyncName(2), "TOS optical");
}

TEST_F(Adapter, OpticalWithAnUnknownDigitalModeFails) {
    dev->setModeValue(3);
    EXPECT_EQ(dev->SetSyncSource(2), QEL_E_FAILED);
    EXPECT_FALSE(dev->secondFlag());
    EXPECT_EQ(shape(trace()), concat(kReadSync, {"fw:1 QEL_REQ_AVC_TRANSACTION in=00ff0000c0de0400"}));
}

TEST_F(Adapter, WordClockIsToldFromInternalByItsName) {
    // Both are kind 4: from "internal" the word-clock entry is chosen.
    EXPECT_EQ(dev->SetSyncSource(3), QEL_OK);
    EXPECT_EQ(currentSyncName(1), "word clock");
    EXPECT_EQ(shape(trace()),
              concat(concat(kReadSync, {"fw QEL_REQ_BEGIN_SYNC_CHANGE", "fw QEL_REQ_GET_SYNC_PARAMETER",
                                        "fw QEL_REQ_SET_SYNC_SETTINGS in=000000000100000000000000"}),
                     writeBack("010000000400000004000000", "000000000100000000000000")));
    EXPECT_EQ(dev->SetSyncSource(3), QEL_OK);
    EXPECT_EQ(shape(trace()), kReadSync);
    // Without a word-clock entry, kind 4 is all there is to compare.
    setSync(1, {{4, 1, "internal"}, {5, 2, "spdif"}}, 0);
    EXPECT_EQ(dev->SetSyncSource(3), QEL_OK);
    EXPECT_EQ(shape(trace()), kReadSync);
}

TEST_F(Adapter, PcClearsTheFlagsAndMakesTheComputerMaster) {
    ASSERT_EQ(dev->SetSyncSource(1), QEL_OK);  // first flag set, device is master
    trace();
    EXPECT_EQ(dev->SetSyncSource(4), QEL_OK);
    EXPECT_FALSE(dev->firstFlag());
    EXPECT_EQ(currentSyncName(1), "pc");
    EXPECT_EQ(shape(trace()),
              concat(concat(kReadSync, {"fw:1 QEL_REQ_AVC_TRANSACTION in=00ff0000c0de0300",
                                        "fw QEL_REQ_BEGIN_SYNC_CHANGE", "fw QEL_REQ_GET_SYNC_PARAMETER",
                                        "fw QEL_REQ_SET_SYNC_SETTINGS in=000000000000000000000000"}),
                     writeBack("010000000200000005000000", "000000000000000000000000")));
    EXPECT_EQ(rig->syncSettings()[1], 0u);
}

TEST_F(Adapter, DeviceGoesBackToInternalOrToKindOne) {
    ASSERT_EQ(dev->SetSyncSource(1), QEL_OK);
    trace();
    EXPECT_EQ(dev->SetSyncSource(0), QEL_OK);
    EXPECT_EQ(currentSyncName(1), "internal");
    EXPECT_EQ(dev->SetSyncSource(0), QEL_OK);  // current: nothing to do
    trace();
    EXPECT_EQ(dev->SetSyncSource(0), QEL_OK);
    EXPECT_EQ(shape(trace()), kReadSync);
    // No "internal" entry: kind 1, any name.
    setSync(1, {{5, 2, "spdif"}, {1, 9, "clock gen"}}, 0);
    EXPECT_EQ(dev->SetSyncSource(0), QEL_OK);
    EXPECT_EQ(currentSyncName(1), "clock gen");
    setSync(1, {{1, 9, "clock gen"}, {5, 2, "spdif"}}, 0);
    trace();
    EXPECT_EQ(dev->SetSyncSource(0), QEL_OK);
    EXPECT_EQ(shape(trace()), kReadSync);
}

TEST_F(Adapter, FailedBeginEndsTheChange) {
    rig->failNext(QEL_REQ_BEGIN_SYNC_CHANGE, 1, os::kErrorGenFailure);
    EXPECT_EQ(dev->SetSyncSource(3), os::kErrorGenFailure);
    EXPECT_EQ(shape(trace()), concat(kReadSync, {"fw QEL_REQ_BEGIN_SYNC_CHANGE"}));
    EXPECT_EQ(currentSyncName(1), "internal");
    EXPECT_EQ(dev->SetSyncSource(5), QEL_E_FAILED);
    EXPECT_TRUE(trace().empty());
}

TEST_F(Adapter, SampleRates) {
    EXPECT_EQ(dev->ReadSampleRateInfo(), QEL_OK);
    EXPECT_EQ(dev->rateWord(), 1u);
    EXPECT_EQ(dev->currentRate(), 48000u);
    EXPECT_EQ(dev->possibleRates().size(), 6u);
    EXPECT_EQ(dev->SetSampleRate(96000), QEL_OK);
    trace();
    std::uint32_t hz = 0;
    EXPECT_EQ(dev->GetCurrentRate(hz), QEL_OK);
    EXPECT_EQ(hz, 96000u);
    EXPECT_TRUE(trace().empty());  // from the kept record
    EXPECT_EQ(rig->sampleRates().current, 96000u);
    EXPECT_STREQ(Device::RateName(8), "Invalid SR");
    EXPECT_STREQ(Device::RateName(10), "88.2kHz");
    EXPECT_EQ(Device::rateCode(88200), 10);
    EXPECT_EQ(Device::rateCode(12345), 15);
}

TEST_F(Adapter, DigitalInputBeforeEventDeliveryAndBlockNotify) {
    std::uint32_t detected = 9, code = 0;
    EXPECT_EQ(dev->ReadDigitalInput(1, detected, code), QEL_OK);
    EXPECT_EQ(detected, 0u);
    EXPECT_EQ(code, 15u);
    EXPECT_EQ(dev->ReadDigitalInput(3, detected, code), QEL_E_FAILED);
    EXPECT_TRUE(trace().empty());
    // the first watched block starts AV/C event delivery and is armed
    EXPECT_TRUE(dev->RegisterBlockNotify(3, nullptr));
    ASSERT_EQ(dev->watchedBlocks().size(), 1u);
    EXPECT_EQ(dev->watchedBlocks()[0]->functionBlock(), 3);
    const auto t = trace();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), "fw:1 QEL_REQ_AVC_TRANSACTION ok in=0308b881031002000202ffff out=0f08b8810310020002020000");
}

TEST_F(Adapter, AClockChangeKeepsTheDriversRateMode) {
    // The driver follows the clock master's rate (1); the mixer never set it.
    ASSERT_EQ(rig->syncParameter(), 1u);
    EXPECT_EQ(dev->SetSyncSource(1), QEL_OK);
    EXPECT_EQ(rig->syncParameter(), 1u);
    // A manual setting made elsewhere survives as well.
    ASSERT_EQ(ctx.drv().openDriver(fw()), QEL_OK);
    ctx.drv().setSyncParameter(0);
    ASSERT_EQ(ctx.drv().writeSyncParameter(), QEL_OK);
    ctx.drv().setSyncParameter(1);  // a stale kept value
    EXPECT_EQ(dev->SetSyncSource(4), QEL_OK);
    EXPECT_EQ(rig->syncParameter(), 0u);
}
