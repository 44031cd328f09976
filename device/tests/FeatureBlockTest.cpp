// CQelDevice against the rig's firmware: feature blocks through the cache,
// vendor commands, NOTIFY arming and final responses, malformed answers.
#include <gtest/gtest.h>

#include <functional>

#include "device/QelDevice.h"
#include "device/Requests.h"
#include "device/tests/SimFixture.h"
#include "sim/FwFirmware.h"

using namespace qel;
using qel::test::SimFixture;

namespace {
const std::string kAvc = "fw:1 QEL_REQ_AVC_TRANSACTION ok in=";

// The trace line of a transaction whose response is the command with code `rc`.
std::string echoed(const std::string& frame, const std::string& rc) {
    return kAvc + frame + " out=" + rc + frame.substr(2);
}
}  // namespace

class FeatureBlocks : public SimFixture {
protected:
    void SetUp() override {
        ASSERT_EQ(dev.openDevice(fw(), 1), QEL_OK);
        trace();
    }
    // Runs `fn` on device 1's firmware under the rig lock.
    void firmware(const std::function<void(sim::FwFirmware&)>& fn, std::uint32_t id = 1) {
        ASSERT_TRUE(rig->withFwDevice(id, [&](sim::FwDeviceModel& m) { fn(*sim::FwFirmware::of(m)); }));
    }
    std::int16_t volumeOnDevice(std::uint8_t block, std::uint8_t ch) {
        std::int16_t v = 0;
        firmware([&](sim::FwFirmware& f) { v = f.channel(block, ch)->volume; });
        return v;
    }

    CQelDevice dev{ctx, fw(), QEL_KAVRO_COMPANY_ID};
};

TEST_F(FeatureBlocks, VolumeIsClampedAndSentOnlyWhenItChanges) {
    EXPECT_EQ(dev.setVolume(1, 1, -70), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{echoed("0008b881011002010202c100", "09")});
    EXPECT_EQ(volumeOnDevice(1, 1), -63 * 256);
    // The same value again: the cache answers, nothing is sent.
    EXPECT_EQ(dev.setVolume(1, 1, -63), QEL_OK);
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(dev.setVolume(1, 1, 3), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{echoed("0008b881011002010202" "0000", "09")});
    // Another channel of the same block has its own cache slot.
    EXPECT_EQ(dev.setVolume(1, 2, 3), QEL_OK);
    EXPECT_EQ(trace().size(), 1u);
}

TEST_F(FeatureBlocks, EncodingFFFFIsAValueNotUnknown) {
    // -1/256 dB encodes as 0xFFFF; a fresh block must still send it.
    EXPECT_EQ(dev.setVolume(2, 0, -1.0 / 256), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{echoed("0008b88102100200" "0202ffff", "09")});
    EXPECT_EQ(dev.featureBlock(2)->volume[0], 0xFFFF);
}

TEST_F(FeatureBlocks, MasterVolumeAndBalanceUseThePlainRule) {
    EXPECT_EQ(dev.setMasterVolume(3, -200), QEL_OK);
    EXPECT_EQ(dev.setBalance(3, 2, -0.5), QEL_OK);
    EXPECT_EQ(trace(), (std::vector<std::string>{echoed("0008b88103100200" "02028000", "09"),
                                                 echoed("0008b88103100202" "0302ff80", "09")}));
    EXPECT_EQ(dev.setMasterVolume(3, -200), QEL_OK);  // cached
    EXPECT_TRUE(trace().empty());
}

TEST_F(FeatureBlocks, ReadsFillTheCacheSoTheSameWriteIsSkipped) {
    firmware([](sim::FwFirmware& f) { f.knob(4, 0, -12); });
    double db = 0;
    EXPECT_EQ(dev.getVolume(4, 0, db), QEL_OK);
    EXPECT_EQ(db, -12.0);
    EXPECT_EQ(trace(), std::vector<std::string>{kAvc + "0108b88104100200" "0202ffff out=0c08b88104100200" "0202f400"});
    EXPECT_EQ(dev.setMasterVolume(4, -12), QEL_OK);
    EXPECT_TRUE(trace().empty());
}

TEST_F(FeatureBlocks, BalanceReadTruncatesTowardZero) {
    ASSERT_EQ(dev.setBalance(1, 1, -1.5), QEL_OK);  // -384 on the device
    std::int32_t value = 0;
    EXPECT_EQ(dev.getBalance(1, 1, value), QEL_OK);
    EXPECT_EQ(value, -1);
    trace();
    ASSERT_EQ(dev.setBalance(1, 1, 127), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{echoed("0008b88101100201" "03027f00", "09")});
}

TEST_F(FeatureBlocks, MuteStateTwoThenOne) {
    EXPECT_EQ(dev.setMute(1, 0, 2), QEL_OK);
    EXPECT_EQ(dev.featureBlock(1)->mute[0], 2);
    EXPECT_EQ(dev.setMute(1, 0, 1), QEL_OK);  // 1 differs from the cached 2: sent again
    EXPECT_EQ(dev.setMute(1, 0, 1), QEL_OK);
    EXPECT_EQ(dev.setMute(1, 0, 0), QEL_OK);
    EXPECT_EQ(trace(), (std::vector<std::string>{echoed("0008b881011002000101" "70", "09"),
                                                 echoed("0008b881011002000101" "70", "09"),
                                                 echoed("0008b881011002000101" "60", "09")}));
    std::uint8_t state = 9;
    firmware([](sim::FwFirmware& f) { f.answerNext({0x0C, 0x08, 0xB8, 0x81, 1, 0x10, 2, 0, 1, 1, 0x70}); });
    EXPECT_EQ(dev.getMute(1, 0, state), QEL_OK);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(dev.featureBlock(1)->mute[0], 1);
}

// The mute state is unknown until read or written: a first "off" reaches the
// device (it may be muted by its own panel or by an earlier session).
TEST_F(FeatureBlocks, AFirstMuteOffIsSent) {
    EXPECT_EQ(dev.setMute(1, 0, 0), QEL_OK);
    EXPECT_EQ(dev.setMute(1, 0, 0), QEL_OK);  // known now: skipped
    EXPECT_EQ(trace(), std::vector<std::string>{echoed("0008b881011002000101" "60", "09")});
}

TEST_F(FeatureBlocks, MuteStatusOtherThan70Or60IsAFailure) {
    std::uint8_t state = 7;
    firmware([](sim::FwFirmware& f) { f.answerNext({0x0C, 0x08, 0xB8, 0x81, 1, 0x10, 2, 0, 1, 1, 0x61}); });
    EXPECT_EQ(dev.getMute(1, 0, state), QEL_E_FAILED);
    EXPECT_EQ(state, 7);
    EXPECT_EQ(dev.featureBlock(1), nullptr);  // nothing cached
}

TEST_F(FeatureBlocks, RefusedOrFailedWritesLeaveTheCacheAlone) {
    firmware([](sim::FwFirmware& f) { f.replyNext(0x0A); });  // REJECTED
    EXPECT_EQ(dev.setVolume(1, 0, -10), QEL_E_FAILED);
    rig->failNext(QEL_REQ_AVC_TRANSACTION, 1, os::kErrorGenFailure);
    EXPECT_EQ(dev.setVolume(1, 0, -10), os::kErrorGenFailure);
    EXPECT_EQ(dev.setVolume(1, 0, -10), QEL_OK);  // still unknown: sent
    EXPECT_EQ(trace().size(), 3u);
    EXPECT_EQ(volumeOnDevice(1, 0), -2560);
    // A block the device does not have is answered NOT IMPLEMENTED.
    EXPECT_EQ(dev.setVolume(99, 0, -10), QEL_E_FAILED);
}

TEST_F(FeatureBlocks, ShortAndMalformedResponses) {
    double db = 5;
    // STABLE, but cut before the value bytes: never taken from zeroed memory.
    firmware([](sim::FwFirmware& f) { f.answerNext({0x0C, 0x08, 0xB8, 0x81, 1, 0x10, 2, 0, 2, 2, 0xF4}); });
    EXPECT_EQ(dev.getVolume(1, 0, db), QEL_E_FAILED);
    firmware([](sim::FwFirmware& f) { f.answerNext({}); });
    EXPECT_EQ(dev.setVolume(1, 0, -1), QEL_E_FAILED);
    // A length word larger than the frame buffer.
    std::vector<std::uint8_t> raw(516, 0x0C);
    os::putLe32(raw, 0, 600);
    rig->answerNext(QEL_REQ_AVC_TRANSACTION, raw);
    EXPECT_EQ(dev.getVolume(1, 0, db), QEL_E_BAD_LENGTH);
    // A length word larger than what the driver returned.
    rig->answerNext(QEL_REQ_AVC_TRANSACTION, {12, 0, 0, 0, 0x0C, 0x08});
    EXPECT_EQ(dev.getVolume(1, 0, db), QEL_E_BAD_LENGTH);
    EXPECT_EQ(db, 5.0);
    EXPECT_EQ(dev.featureBlock(1)->volume[0], -1);
}

TEST_F(FeatureBlocks, ChannelsBeyondTwoFailWithoutARequest) {
    double db = 0;
    std::int32_t bal = 0;
    std::uint8_t mute = 0;
    EXPECT_EQ(dev.setVolume(1, 3, -1), QEL_E_FAILED);
    EXPECT_EQ(dev.getVolume(1, 3, db), QEL_E_FAILED);
    EXPECT_EQ(dev.setBalance(1, 200, 1), QEL_E_FAILED);
    EXPECT_EQ(dev.getBalance(1, 3, bal), QEL_E_FAILED);
    EXPECT_EQ(dev.setMute(1, 3, 1), QEL_E_FAILED);
    EXPECT_EQ(dev.getMute(1, 3, mute), QEL_E_FAILED);
    EXPECT_TRUE(trace().empty());
}

TEST_F(FeatureBlocks, CacheEntriesAreCreatedAndReset) {
    ASSERT_EQ(dev.setVolume(4, 0, -3), QEL_OK);
    ASSERT_EQ(dev.setMute(4, 1, 1), QEL_OK);
    dev.resetFeatureBlocks(5);
    for (std::uint8_t id = 0; id <= 5; ++id) {
        ASSERT_NE(dev.featureBlock(id), nullptr);
        EXPECT_EQ(dev.featureBlock(id)->volume[0], -1);
        EXPECT_EQ(dev.featureBlock(id)->mute[1], -1);
    }
    EXPECT_EQ(dev.featureBlock(6), nullptr);
    dev.resetFeatureBlocks(100000);  // bounded by the 8-bit identifier
    EXPECT_NE(dev.featureBlock(255), nullptr);
    trace();
    EXPECT_EQ(dev.setVolume(4, 0, -3), QEL_OK);  // unknown again: sent
    EXPECT_EQ(trace().size(), 1u);
}

TEST_F(FeatureBlocks, VendorCommandsOneOperand) {
    AvcCommands& avc = ctx.avc();
    EXPECT_EQ(dev.sendVendorControl(avc.deviceMode, 2), QEL_OK);
    std::uint32_t value = 0x100;  // only the low byte goes out
    EXPECT_EQ(dev.readVendorStatus(avc.deviceMode, value), QEL_OK);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(trace(), (std::vector<std::string>{echoed("00ff0000c0de0002", "09"),
                                                 kAvc + "01ff0000c0de0000 out=0cff0000c0de0002"}));
    // The firmware refuses mode 4; the answer byte is not stored on failure.
    EXPECT_EQ(dev.sendVendorControl(avc.deviceMode, 4), QEL_E_FAILED);
    firmware([](sim::FwFirmware& f) { f.answerNext({0x0C, 0xFF, 0x00, 0x00, 0xC0, 0xDE, 0x00}); });
    value = 0;
    EXPECT_EQ(dev.readVendorStatus(avc.flag3, value), QEL_E_FAILED);  // 7 bytes: no answer byte
}

TEST_F(FeatureBlocks, VendorTwoOperandsAndLongForm) {
    const AVCVendorSpecCMD cmd(9, 1);
    EXPECT_EQ(dev.sendVendorControl2(cmd, 1, 2), QEL_E_FAILED);  // command 9: not implemented
    firmware([](sim::FwFirmware& f) { f.replyNext(0x09); });
    EXPECT_EQ(dev.sendVendorControlLong(cmd, 0xA1, 0xB2C3, 0x00D4E5F6, 0x0718), QEL_OK);
    firmware([](sim::FwFirmware& f) { f.answerNext({0x0C, 0xFF, 0x00, 0x00, 0xC0, 0xDE, 9, 1, 0x42}); });
    std::uint32_t b = 0x77;
    EXPECT_EQ(dev.readVendorStatus2(cmd, 1, b), QEL_OK);
    EXPECT_EQ(b, 0x42u);
    EXPECT_EQ(trace(), (std::vector<std::string>{echoed("00ff0000c0de09" "0102", "08"),
                                                 echoed("00ff0000c0de09" "a1b2c3d4e5f60718", "09"),
                                                 kAvc + "01ff0000c0de09" "0177 out=0cff0000c0de09" "0142"}));
}

TEST_F(FeatureBlocks, OtherCompanyIdIsNotImplemented) {
    CQelDevice other(ctx, fw(), 0x123456);
    ctx.drv().closeDriver();
    dev.closeDevice();
    ASSERT_EQ(other.openDevice(fw(), 1), QEL_OK);
    trace();
    EXPECT_EQ(other.sendVendorControl(ctx.avc().flag3, 1), QEL_E_FAILED);
    EXPECT_EQ(trace(), std::vector<std::string>{echoed("00ff0012345603" "01", "08")});
}

TEST_F(FeatureBlocks, RigIsStrictAboutTheTransactionRequest) {
    std::array<std::uint8_t, 520> in = encodeTransaction(muteStatus(1, 0));
    std::array<std::uint8_t, 516> out{};
    EXPECT_EQ(dev.sendRequest(QEL_REQ_AVC_TRANSACTION, in.data(), 519, out.data(), 516), os::kErrorInvalidParameter);
    EXPECT_EQ(dev.sendRequest(QEL_REQ_AVC_TRANSACTION, in.data(), 520, out.data(), 512), os::kErrorInvalidParameter);
    os::putLe32(in, 0, 999);
    EXPECT_EQ(dev.sendRequest(QEL_REQ_AVC_TRANSACTION, in.data(), 520, out.data(), 516), os::kErrorInvalidParameter);
    os::putLe32(in, 0, 1000);
    os::putLe32(in, 4, 513);
    EXPECT_EQ(dev.sendRequest(QEL_REQ_AVC_TRANSACTION, in.data(), 520, out.data(), 516), os::kErrorInvalidParameter);
    EXPECT_EQ(dev.sendRequest(QEL_REQ_GET_NOTIFY_RESPONSE, nullptr, 0, out.data(), 515), os::kErrorInvalidParameter);
    EXPECT_EQ(dev.sendRequest(QEL_REQ_CANCEL_NOTIFY, in.data(), 4, nullptr, 0), os::kErrorInvalidParameter);
}

// ---------------------------------------------------------------- NOTIFY

class Notify : public FeatureBlocks {
protected:
    void SetUp() override {
        FeatureBlocks::SetUp();
        event = os.createEvent(false, false);
        std::uint8_t in[4];
        os::putLe32(in, 0, os.eventValue(event));
        ASSERT_EQ(dev.sendRequest(QEL_REQ_REGISTER_NOTIFY_EVENT, in, 4, nullptr, 0), QEL_OK);
        trace();
    }
    void TearDown() override { os.closeHandle(event); }
    bool signalled() { return os.waitForOne(event, 0) == os::kWaitObject0; }

    os::Handle event = nullptr;
};

TEST_F(Notify, KnobCompletesTheArmedBlockNotifyAndItIsArmedAgain) {
    AVCSUFeatureBlockNotifyCMD block2(2);
    AVCVendorSpecCMD& message = ctx.avc().deviceMessage;
    AVC_NotifyCMD* watched[] = {&message, &block2};
    ASSERT_EQ(dev.armNotify(block2), QEL_OK);
    EXPECT_EQ(trace(), std::vector<std::string>{kAvc + "0308b88102100200" "0202ffff out=0f08b88102100200" "02020000"});
    EXPECT_FALSE(signalled());
    firmware([](sim::FwFirmware& f) { f.knob(2, 0, -6); });
    EXPECT_TRUE(signalled());
    NotifyResult r;
    ASSERT_EQ(dev.GetNotifyResponse(watched, r), QEL_OK);
    EXPECT_EQ(r.match.command, &block2);
    EXPECT_TRUE(r.updated);
    EXPECT_EQ(r.rearm, QEL_OK);
    EXPECT_EQ(os::getBe16(block2.data(), 0), 0xFA00);
    const auto t = trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "fw:1 QEL_REQ_GET_NOTIFY_RESPONSE ok in=- out=0d08b88102100200" "0202fa00");
    EXPECT_EQ(t[1].rfind(kAvc + "0308b88102100200" "0202ffff out=0f", 0), 0u);
    // The queue is empty now.
    EXPECT_EQ(dev.GetNotifyResponse(watched, r), os::kErrorNoMoreItems);
}

TEST_F(Notify, OwnWritesCompleteTheNotifyButUnwatchedBlocksAreIgnored) {
    AVCSUFeatureBlockNotifyCMD block4(4);
    AVCSUFeatureBlockNotifyCMD block3(3);
    ASSERT_EQ(dev.armNotify(block3), QEL_OK);
    ASSERT_EQ(dev.setMasterVolume(3, -20), QEL_OK);
    AVC_NotifyCMD* onlyBlock4[] = {&block4};
    NotifyResult r;
    ASSERT_EQ(dev.GetNotifyResponse(onlyBlock4, r), QEL_OK);
    EXPECT_EQ(r.match.command, nullptr);
    EXPECT_EQ(r.response.at(4), 3);
    EXPECT_EQ(os::getBe16(block4.data(), 0), 0);
}

TEST_F(Notify, EveryDeviceMessageCompletesEvenTheSameOneTwice) {
    AVCVendorSpecCMD& message = ctx.avc().deviceMessage;
    AVC_NotifyCMD* watched[] = {&message};
    ASSERT_EQ(dev.armNotify(message), QEL_OK);
    for (int i = 0; i < 2; ++i) {
        firmware([](sim::FwFirmware& f) { f.deviceMessage(6); });
        NotifyResult r;
        ASSERT_EQ(dev.GetNotifyResponse(watched, r), QEL_OK) << i;
        EXPECT_TRUE(r.updated);
        EXPECT_EQ(message.data()[0], 6);
    }
    EXPECT_EQ(trace()[0], kAvc + "03ff0000c0de07ff out=0fff0000c0de0700");
}

TEST_F(Notify, CancelDropsArmedAndQueuedResponses) {
    AVCDigitalInDetectionCMD& coax = ctx.avc().coaxialInput;
    ASSERT_EQ(dev.armNotify(coax), QEL_OK);
    firmware([](sim::FwFirmware& f) { f.setDigitalInput(1, true, 4); });
    ASSERT_EQ(dev.armNotify(coax), QEL_OK);
    EXPECT_EQ(dev.sendRequest(QEL_REQ_CANCEL_NOTIFY, nullptr, 0, nullptr, 0), QEL_OK);
    firmware([](sim::FwFirmware& f) {
        f.setDigitalInput(1, false, 15);
        EXPECT_EQ(f.armedCount(), 0u);
    });
    AvcFrame response;
    EXPECT_EQ(dev.fetchNotifyResponse(response), os::kErrorNoMoreItems);
}

TEST_F(Notify, ClosingTheHandleForgetsItsNotifies) {
    ASSERT_EQ(dev.armNotify(ctx.avc().opticalInput), QEL_OK);
    dev.closeDevice();
    firmware([](sim::FwFirmware& f) { EXPECT_EQ(f.armedCount(), 0u); });
}

TEST_F(Notify, ShortOrMalformedNotifyResponses) {
    AVCVendorSpecCMD& message = ctx.avc().deviceMessage;
    AVC_NotifyCMD* watched[] = {&message};
    NotifyResult r;
    rig->answerNext(QEL_REQ_GET_NOTIFY_RESPONSE, {6, 0, 0, 0, 0x0D, 0xFF, 0x00, 0x00, 0xC0, 0xDE});
    EXPECT_EQ(dev.GetNotifyResponse(watched, r), QEL_E_BAD_LENGTH);
    EXPECT_EQ(r.response.length, 6u);
    EXPECT_EQ(r.match.command, nullptr);
    std::vector<std::uint8_t> huge(516, 0);
    os::putLe32(huge, 0, 0x10000);
    rig->answerNext(QEL_REQ_GET_NOTIFY_RESPONSE, huge);
    EXPECT_EQ(dev.GetNotifyResponse(watched, r), QEL_E_BAD_LENGTH);
    // Seven bytes: matched by its code, but no data byte came. Nothing is
    // copied; the command is armed again.
    message.data()[0] = 0x33;
    rig->answerNext(QEL_REQ_GET_NOTIFY_RESPONSE, {7, 0, 0, 0, 0x0D, 0xFF, 0x00, 0x00, 0xC0, 0xDE, 0x07});
    trace();
    EXPECT_EQ(dev.GetNotifyResponse(watched, r), QEL_OK);
    EXPECT_EQ(r.match.command, &message);
    EXPECT_FALSE(r.updated);
    EXPECT_EQ(message.data()[0], 0x33);
    EXPECT_EQ(trace().size(), 2u);
}

// A device object on which AV/C event delivery runs.
class DeliveringDevice : public CQelDevice {
public:
    using CQelDevice::CQelDevice;
    bool avcEventsStarted() const override { return true; }
};

TEST_F(FeatureBlocks, DigitalInputDetection) {
    AVCDigitalInDetectionCMD& optical = ctx.avc().opticalInput;
    bool detected = true;
    std::uint8_t rate = 0;
    firmware([](sim::FwFirmware& f) { f.setDigitalInput(2, true, 10); });
    // Without AV/C event delivery nothing is asked.
    dev.readDigitalInDetection(optical, detected, rate);
    EXPECT_FALSE(detected);
    EXPECT_EQ(rate, 15);
    EXPECT_TRUE(trace().empty());
    dev.closeDevice();
    DeliveringDevice live(ctx, fw(), QEL_KAVRO_COMPANY_ID);
    ASSERT_EQ(live.openDevice(fw(), 1), QEL_OK);
    trace();
    live.readDigitalInDetection(optical, detected, rate);
    EXPECT_TRUE(detected);
    EXPECT_EQ(rate, 10);
    EXPECT_EQ(trace(), std::vector<std::string>{kAvc + "01ff0000c0de02ffff out=0cff0000c0de02010a"});
    firmware([](sim::FwFirmware& f) { f.replyNext(0x0A); });
    live.readDigitalInDetection(optical, detected, rate);
    EXPECT_FALSE(detected);
    EXPECT_EQ(rate, 15);
}
