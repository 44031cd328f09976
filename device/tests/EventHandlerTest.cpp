#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "device/EventMessages.h"
#include "device/Qel1394DriverEventHandler.h"
#include "device/QelAvcEventHandler.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "device/tests/Recorders.h"
#include "device/tests/SimFixture.h"
#include "sim/FwFirmware.h"

namespace qel::test {
namespace {

constexpr std::uint32_t kMsg = QEL_MSG_DRIVER_EVENT;

bool has(const std::vector<Posted>& p, std::uint32_t message, std::uintptr_t wParam) {
    return std::any_of(p.begin(), p.end(), [&](const Posted& x) { return x.message == message && x.wParam == wParam; });
}

class EventTest : public SimFixture {
protected:
    EventTest() : device(ctx, fw(), QEL_KAVRO_COMPANY_ID) {
        ctx.setMessageBox(&boxes);
        for (RecordingWindow* w : {&w1, &w2, &w3})
            w->snapshot = [this](std::uint32_t message, std::uintptr_t wParam) {
                // Read the way a window reads it: under the command-data lock.
                std::lock_guard lock(ctx.commandDataLock());
                return snapshotCommand(message, wParam);
            };
    }
    ~EventTest() override { device.closeDevice(); }

    // The command's data as it was when the message was posted.
    static std::vector<std::uint8_t> snapshotCommand(std::uint32_t message, std::uintptr_t wParam) {
        if (message == kMsg || message == QEL_MSG_DEVICE_CHANGE || wParam == QEL_EVENT_UNREGISTERED) return {};
        const auto* cmd = reinterpret_cast<const AVC_NotifyCMD*>(wParam);
        return {cmd->data().begin(), cmd->data().end()};
    }
    void open(std::uint32_t id = 1) { ASSERT_EQ(device.openDevice(fw(), id), QEL_OK); }
    sim::FwFirmware& firmware(sim::FwDeviceModel& m) { return *sim::FwFirmware::of(m); }
    std::size_t armed() {
        std::size_t n = 0;
        rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { n = firmware(m).armedCount(); });
        return n;
    }
    bool traced(const std::string& needle) {
        const auto t = trace();
        return std::any_of(t.begin(), t.end(), [&](const std::string& l) { return l.find(needle) != std::string::npos; });
    }

    MessageBoxRecorder boxes;
    RecordingWindow w1, w2, w3;
    // Commands registered with the device's AV/C thread. They are the
    // fixture's, not the tests': the thread may still be matching a response
    // to one of them when a test body ends, and it stops only when the
    // fixture closes the device.
    AVCSUFeatureBlockNotifyCMD block4{4};
    AVCSUFeatureBlockNotifyCMD unknownBlock{99};  // the firmware has no block 99
    AVCVendorSpecCMD message{7, 1}, sameCode{7, 1};
    CQelDevice device;
};

// ---------------------------------------------------------------- driver events

TEST_F(EventTest, EachEventGoesToTheFirstMatchingRegistrationOnly) {
    open();
    ASSERT_TRUE(device.registerForDriverEvents(5, &w1, kMsg));
    ASSERT_TRUE(device.registerForDriverEvents(0, &w2, kMsg));
    rig->queueDriverEvent(9);  // only key 0 takes it
    rig->queueDriverEvent(5);
    rig->queueDriverEvent(7);
    ASSERT_TRUE(w2.waitFor([](const auto& p) { return has(p, kMsg, 7); }));
    EXPECT_EQ(w1.count(kMsg, 5), 1u);
    EXPECT_EQ(w1.posted().size(), 1u);
    EXPECT_EQ(w2.count(kMsg, 5), 0u);
    EXPECT_EQ(w2.count(kMsg, 9), 1u);
    const auto regs = device.getDriverEventHandler()->registrations();
    ASSERT_EQ(regs.size(), 2u);
    EXPECT_EQ(regs[0].wParam, 5u);
    EXPECT_EQ(regs[1].wParam, 7u);
}

TEST_F(EventTest, DuplicateKeyIsRefusedAndUnmatchedEventsAreDropped) {
    open();
    ASSERT_TRUE(device.registerForDriverEvents(5, &w1, kMsg));
    EXPECT_FALSE(device.registerForDriverEvents(5, &w2, kMsg));
    EXPECT_EQ(device.getDriverEventHandler()->registrations().size(), 1u);
    rig->queueDriverEvent(9);  // no key 9, no key 0: dropped
    rig->queueDriverEvent(5);
    ASSERT_TRUE(w1.waitForCount(1));
    EXPECT_EQ(w1.posted()[0].wParam, 5u);
    EXPECT_TRUE(w2.posted().empty());
}

TEST_F(EventTest, ClosingPostsTheLastMessageToEveryRegistration) {
    open();
    ASSERT_TRUE(device.registerForDriverEvents(1, &w1, kMsg));
    ASSERT_TRUE(device.registerForDriverEvents(2, &w2, kMsg));
    ASSERT_TRUE(device.registerForDriverEvents(3, &w3, kMsg + 1));
    device.closeDevice();
    EXPECT_EQ(w1.count(kMsg, QEL_EVENT_UNREGISTERED), 1u);
    EXPECT_EQ(w2.count(kMsg, QEL_EVENT_UNREGISTERED), 1u);
    EXPECT_EQ(w3.count(kMsg + 1, QEL_EVENT_UNREGISTERED), 1u);
    EXPECT_EQ(device.getDriverEventHandler(), nullptr);
    // reopened, the device starts a fresh handler
    open();
    ASSERT_TRUE(device.registerForDriverEvents(1, &w1, kMsg));
    rig->queueDriverEvent(1);
    ASSERT_TRUE(w1.waitFor([](const auto& p) { return has(p, kMsg, 1); }));
}

TEST_F(EventTest, UnregisteringAKeyPostsTheLastMessageToItsWindowOnly) {
    open();
    ASSERT_TRUE(device.registerForDriverEvents(1, &w1, kMsg));
    ASSERT_TRUE(device.registerForDriverEvents(2, &w2, kMsg));
    EXPECT_TRUE(device.unregisterDriverEvents(7));  // unknown: ignored
    EXPECT_TRUE(device.unregisterDriverEvents(1));
    EXPECT_EQ(w1.count(kMsg, QEL_EVENT_UNREGISTERED), 1u);
    EXPECT_TRUE(w2.posted().empty());
    device.closeDevice();
    EXPECT_EQ(w1.count(kMsg, QEL_EVENT_UNREGISTERED), 1u);
    EXPECT_EQ(w2.count(kMsg, QEL_EVENT_UNREGISTERED), 1u);
}

TEST_F(EventTest, DeviceChangesReachTheFirstWindowUntilTheDeviceCloses) {
    open();
    ASSERT_TRUE(device.registerForDriverEvents(1, &w1, kMsg));
    ASSERT_TRUE(device.registerForDriverEvents(2, &w2, kMsg));
    rig->unplug(2);
    rig->plug(2);
    EXPECT_EQ(w1.count(QEL_MSG_DEVICE_CHANGE, 0x8004), 1u);
    EXPECT_EQ(w1.count(QEL_MSG_DEVICE_CHANGE, 0x8000), 1u);
    EXPECT_TRUE(w2.posted().empty());
    device.closeDevice();
    const std::size_t before = w1.posted().size();
    rig->unplug(2);
    EXPECT_EQ(w1.posted().size(), before);
}

TEST_F(EventTest, FailedStartRegistersNothing) {
    open();
    rig->failNext(QEL_REQ_REGISTER_EVENT, 1, 31);
    EXPECT_FALSE(device.registerForDriverEvents(0, &w1, kMsg));
    EXPECT_EQ(device.getDriverEventHandler(), nullptr);
    EXPECT_TRUE(device.registerForDriverEvents(0, &w1, kMsg));
}

// ---------------------------------------------------------------- AV/C events

TEST_F(EventTest, KnobTurnPostsTheNewValueAndArmsTheBlockAgain) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    EXPECT_TRUE(device.avcEventsStarted());
    EXPECT_EQ(armed(), 1u);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -6.0); });
    ASSERT_TRUE(w1.waitForCount(1));
    const Posted p = w1.posted()[0];
    EXPECT_EQ(p.message, 0x8005u);
    EXPECT_EQ(p.wParam, reinterpret_cast<std::uintptr_t>(&block4));
    EXPECT_EQ(p.data, (std::vector<std::uint8_t>{0xFA, 0x00}));
    // armed again: a second turn arrives too
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -1.0); });
    ASSERT_TRUE(w1.waitForCount(2));
    EXPECT_EQ(w1.posted()[1].data, (std::vector<std::uint8_t>{0xFF, 0x00}));
}

// The re-arm after a change meets a failing bus, then a rejection: the
// thread arms the command again until the device takes it, and the next
// turn still arrives.
TEST_F(EventTest, AFailedReArmIsTriedAgainUntilTheDeviceTakesIt) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    rig->failNext(QEL_REQ_AVC_TRANSACTION, 2, 0xE0000001);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -6.0); });
    ASSERT_TRUE(w1.waitForCount(1));
    for (int i = 0; i < 200 && armed() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(armed(), 1u);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).replyNext(0x0A); });
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -2.0); });
    ASSERT_TRUE(w1.waitForCount(2));
    for (int i = 0; i < 200 && armed() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(armed(), 1u);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -1.0); });
    ASSERT_TRUE(w1.waitForCount(3));
    EXPECT_EQ(w1.posted()[2].data, (std::vector<std::uint8_t>{0xFF, 0x00}));
}

// A turn while the command was not armed shows in the INTERIM answer of the
// arm that follows, and is delivered as a change.
TEST_F(EventTest, AChangeWhileNotArmedIsDeliveredByTheNextArm) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    rig->failNext(QEL_REQ_AVC_TRANSACTION, 1, 0xE0000001);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -6.0); });
    ASSERT_TRUE(w1.waitForCount(1));
    EXPECT_EQ(w1.posted()[0].data, (std::vector<std::uint8_t>{0xFA, 0x00}));
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -3.0); });
    ASSERT_TRUE(w1.waitForCount(2));
    EXPECT_EQ(w1.posted()[1].data, (std::vector<std::uint8_t>{0xFD, 0x00}));
    EXPECT_EQ(armed(), 1u);
}

// A registration whose first arm fails (as after a reconnect on a bad bus)
// reports false, and the thread arms it later: turns still arrive.
TEST_F(EventTest, ARegistrationWhoseArmFailedIsArmedLater) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&message, &w2, 0x8004));  // the thread runs
    rig->failNext(QEL_REQ_AVC_TRANSACTION, 1, 0xE0000001);
    EXPECT_FALSE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    for (int i = 0; i < 200 && armed() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(armed(), 2u);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -6.0); });
    ASSERT_TRUE(w1.waitForCount(1));
    EXPECT_EQ(w1.posted()[0].data, (std::vector<std::uint8_t>{0xFA, 0x00}));
}

TEST_F(EventTest, DigitalInputsAndDeviceMessagesArriveTogether) {
    open();
    AvcCommands& avc = ctx.avc();
    ASSERT_TRUE(device.registerForAVCEvents(&avc.coaxialInput, &w1, QEL_MSG_DIGITAL_INPUT));
    ASSERT_TRUE(device.registerForAVCEvents(&avc.opticalInput, &w1, QEL_MSG_DIGITAL_INPUT));
    ASSERT_TRUE(device.registerForAVCEvents(&avc.deviceMessage, &w2, QEL_MSG_DEVICE_MESSAGE));
    // three NOTIFYs complete at once; the driver signals the event once
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) {
        firmware(m).setDigitalInput(1, true, 4);
        firmware(m).setDigitalInput(2, true, 5);
        firmware(m).deviceMessage(0x42);
    });
    ASSERT_TRUE(w1.waitForCount(2));
    ASSERT_TRUE(w2.waitForCount(1));
    EXPECT_EQ(w1.count(QEL_MSG_DIGITAL_INPUT, reinterpret_cast<std::uintptr_t>(&avc.coaxialInput)), 1u);
    EXPECT_EQ(w1.count(QEL_MSG_DIGITAL_INPUT, reinterpret_cast<std::uintptr_t>(&avc.opticalInput)), 1u);
    EXPECT_EQ(w2.posted()[0].data, (std::vector<std::uint8_t>{0x42}));
    bool detected = false;
    std::uint8_t rate = 0;
    device.readDigitalInDetection(avc.opticalInput, detected, rate);
    EXPECT_TRUE(detected);
    EXPECT_EQ(rate, 5);
}

TEST_F(EventTest, ResponseForAnUnwatchedBlockIsIgnoredAndTheThreadKeepsWaiting) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    ASSERT_EQ(rig->injectNotifyResponse(1, {0x0D, 0x08, 0xB8, 0x81, 0x03, 0x10, 0x02, 0x00, 0x02, 0x02, 0x12, 0x34}), 1u);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -2.0); });
    ASSERT_TRUE(w1.waitForCount(1));
    EXPECT_EQ(w1.posted().size(), 1u);
    EXPECT_EQ(w1.posted()[0].data, (std::vector<std::uint8_t>{0xFE, 0x00}));
    EXPECT_TRUE(device.avcEventsStarted());
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(EventTest, ShortResponseCancelsTheNotifiesAndEndsTheThread) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    trace();
    rig->injectNotifyResponse(1, {0x0D, 0x08, 0xB8, 0x81, 0x04, 0x10});
    ASSERT_TRUE(boxes.waitForCount(1));
    EXPECT_EQ(boxes.texts()[0], "GetNotifyResponse failed, command length to short expected 7 receved 6\n");
    QelAvcEventHandler* h = device.avcEventHandler();
    ASSERT_NE(h, nullptr);
    // the thread ends right after posting the box and cancelling
    for (int i = 0; i < 2000 && h->running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(h->running());
    EXPECT_EQ(h->threadResult(), QEL_E_FAILED);
    EXPECT_TRUE(traced("QEL_REQ_CANCEL_NOTIFY ok"));
    EXPECT_EQ(armed(), 0u);
    EXPECT_TRUE(w1.posted().empty());
    // the registration stays, but nothing is delivered any more
    EXPECT_EQ(h->registrations().size(), 1u);
}

TEST_F(EventTest, FailedFetchShowsTheStatusAndEndsTheThread) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    rig->failNext(QEL_REQ_GET_NOTIFY_RESPONSE, 1, 31);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -3.0); });
    ASSERT_TRUE(boxes.waitForCount(1));
    EXPECT_EQ(boxes.texts()[0], "GetNotifyResponse failed, ErrorCode=0x0000001F\n");
    EXPECT_TRUE(w1.posted().empty());
}

// A driver need not answer a fetch from an emptied queue the way this rig
// does: after a successful fetch any failure just ends that drain.
TEST_F(EventTest, FailureAfterASuccessfulFetchEndsTheDrainSilently) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    for (const double db : {-6.0, -2.0}) {
        // The fetch after the one that delivers answers 31, not "no more items".
        rig->failNext(QEL_REQ_GET_NOTIFY_RESPONSE, 1, 31, /*skip=*/1);
        rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, db); });
        ASSERT_TRUE(w1.waitFor([&](const auto& p) {
            return std::any_of(p.begin(), p.end(), [&](const Posted& x) {
                return x.data == std::vector<std::uint8_t>{static_cast<std::uint8_t>(static_cast<int>(db)), 0x00};
            });
        })) << db;
    }
    EXPECT_TRUE(device.avcEventsStarted());
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(EventTest, UnregisteringRemovesTheFirstCommandWithThatCodeSilently) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&message, &w1, QEL_MSG_DEVICE_MESSAGE));
    ASSERT_TRUE(device.registerForAVCEvents(&sameCode, &w2, QEL_MSG_DEVICE_MESSAGE));
    EXPECT_TRUE(device.unregisterAVCEvents(&sameCode));  // same code: the first one goes
    const auto regs = device.avcEventHandler()->registrations();
    ASSERT_EQ(regs.size(), 1u);
    EXPECT_EQ(regs[0].command, &sameCode);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).deviceMessage(9); });
    ASSERT_TRUE(w2.waitForCount(1));
    EXPECT_TRUE(w1.posted().empty());
}

TEST_F(EventTest, RegistrationWithoutInterimStaysButReportsFalse) {
    open();
    EXPECT_FALSE(device.registerForAVCEvents(&unknownBlock, &w1, 0x8005));
    EXPECT_EQ(device.avcEventHandler()->registrations().size(), 1u);
}

TEST_F(EventTest, ClosingCancelsTheNotifiesAndForgetsTheRegistrations) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    trace();
    device.closeDevice();
    EXPECT_TRUE(traced("QEL_REQ_CANCEL_NOTIFY ok"));
    EXPECT_EQ(armed(), 0u);
    EXPECT_EQ(device.avcEventHandler(), nullptr);
    EXPECT_FALSE(device.avcEventsStarted());
    EXPECT_TRUE(w1.posted().empty());
    bool detected = true;
    std::uint8_t rate = 0;
    device.readDigitalInDetection(ctx.avc().coaxialInput, detected, rate);
    EXPECT_FALSE(detected);
    EXPECT_EQ(rate, 15);
}

// ---------------------------------------------------------------- close limits

// The AV/C thread waits in a fetch the driver does not complete (within a
// minute, far past the stop limit). Closing cancels it rather than queueing
// behind it, and the thread ends without a message box.
TEST_F(EventTest, CloseReturnsWithinTheStopLimitWhileARequestStaysPending) {
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    rig->setDelay(QEL_REQ_GET_NOTIFY_RESPONSE, 60000);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -6.0); });
    for (int i = 0; i < 500 && rig->pendingRequests() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(rig->pendingRequests(), 1u);
    const auto before = std::chrono::steady_clock::now();
    device.closeDevice();
    EXPECT_LT(std::chrono::steady_clock::now() - before,
              std::chrono::milliseconds(QEL_EVENT_THREAD_STOP_MS) + std::chrono::seconds(2));
    EXPECT_EQ(rig->pendingRequests(), 0u);
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.avcEventHandler(), nullptr);
    EXPECT_TRUE(boxes.texts().empty());
    // Reopened, the device delivers again.
    rig->setDelay(QEL_REQ_GET_NOTIFY_RESPONSE, 0);
    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -2.0); });
    ASSERT_TRUE(w1.waitFor([&](const auto& p) {
        return std::any_of(p.begin(), p.end(), [](const Posted& x) { return x.data == std::vector<std::uint8_t>{0xFE, 0x00}; });
    }));
}

// A driver whose fetch cannot be cancelled: the AV/C thread waits in it past
// the stop limit. Closing goes on without the thread, shows and posts
// nothing, and the device opens again at once and delivers while the old
// fetch is still pending. When the driver completes it at last, the thread
// ends by itself: it delivers and arms nothing, and closes the handle and
// the events it was left with.
TEST_F(EventTest, CloseLeavesAFetchThatIgnoresTheCancelToItsThread) {
    const std::size_t events = rig->kernel().eventCount();
    const std::size_t files = rig->fileCount();
    device.setStopLimit(200);
    open();
    trace();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    std::uint32_t notifyEvent = 0;
    for (const std::string& line : trace()) {
        const std::string head = "fw:1 QEL_REQ_REGISTER_NOTIFY_EVENT ok in=";
        if (line.rfind(head, 0) != 0) continue;
        for (int i = 3; i >= 0; --i)
            notifyEvent = notifyEvent << 8 | std::stoul(line.substr(head.size() + 2 * i, 2), nullptr, 16);
    }
    ASSERT_TRUE(rig->kernel().isEvent(notifyEvent));
    rig->setDelay(QEL_REQ_GET_NOTIFY_RESPONSE, 5000);
    rig->setIgnoresCancel(QEL_REQ_GET_NOTIFY_RESPONSE, true);
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -6.0); });
    for (int i = 0; i < 500 && rig->pendingRequests() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(rig->pendingRequests(), 1u);
    // Only the fetch under way is stuck.
    rig->setDelay(QEL_REQ_GET_NOTIFY_RESPONSE, 0);
    rig->setIgnoresCancel(QEL_REQ_GET_NOTIFY_RESPONSE, false);

    const auto before = std::chrono::steady_clock::now();
    device.closeDevice();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
    std::printf("closeDevice with a stuck fetch, stop limit 200 ms: %lld ms\n", static_cast<long long>(took.count()));
    // It did not wait for the fetch; the thread still has its event.
    EXPECT_EQ(rig->pendingRequests(), 1u);
    EXPECT_TRUE(rig->kernel().isEvent(notifyEvent));
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.avcEventHandler(), nullptr);
    EXPECT_FALSE(ctx.drv().isOpen());

    open();
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w2, 0x8005));
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -2.0); });
    ASSERT_TRUE(w2.waitFor([&](const auto& p) {
        return std::any_of(p.begin(), p.end(), [](const Posted& x) { return x.data == std::vector<std::uint8_t>{0xFE, 0x00}; });
    }));
    EXPECT_EQ(rig->pendingRequests(), 1u);
    device.closeDevice();
    trace();

    for (int i = 0; i < 1000 && (rig->kernel().eventCount() != events || rig->fileCount() != files); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(rig->pendingRequests(), 0u);
    EXPECT_FALSE(rig->kernel().isEvent(notifyEvent));
    EXPECT_EQ(rig->kernel().eventCount(), events);
    EXPECT_EQ(rig->fileCount(), files);
    // The response fetched late went nowhere and armed nothing.
    const std::vector<std::string> late = trace();
    const auto lateHas = [&](const std::string& needle) {
        return std::any_of(late.begin(), late.end(), [&](const std::string& l) { return l.find(needle) != std::string::npos; });
    };
    EXPECT_TRUE(lateHas("QEL_REQ_GET_NOTIFY_RESPONSE ok"));
    EXPECT_FALSE(lateHas("QEL_REQ_AVC_TRANSACTION"));
    EXPECT_TRUE(w1.posted().empty());
    EXPECT_EQ(armed(), 0u);
    EXPECT_TRUE(boxes.texts().empty());
}

// A driver-event thread waits in a request the driver takes seconds to
// complete (a synchronous one: nothing cancels it). Stopped with a short
// limit, the handler goes on without it: the registrations get their last
// message at once and the device closes; the thread keeps the events and
// the handle it uses and closes them itself when it ends.
TEST_F(EventTest, DriverEventThreadStuckPastTheLimitIsLeftToEndByItself) {
    open();
    trace();
    ASSERT_TRUE(device.registerForDriverEvents(0, &w1, kMsg));
    std::uint32_t event = 0;
    for (const std::string& line : trace()) {
        const std::string head = "fw QEL_REQ_REGISTER_EVENT ok in=";
        if (line.rfind(head, 0) != 0) continue;
        for (int i = 3; i >= 0; --i) event = event << 8 | std::stoul(line.substr(head.size() + 2 * i, 2), nullptr, 16);
    }
    ASSERT_TRUE(rig->kernel().isEvent(event));
    rig->setDelay(QEL_REQ_GET_EVENT, 3000);
    rig->queueDriverEvent(2);
    for (int i = 0; i < 500 && rig->pendingRequests() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(rig->pendingRequests(), 1u);

    EXPECT_EQ(device.getDriverEventHandler()->stop(100), QEL_E_FAILED);
    EXPECT_EQ(w1.count(kMsg, QEL_EVENT_UNREGISTERED), 1u);
    device.closeDevice();
    EXPECT_EQ(device.getDriverEventHandler(), nullptr);
    EXPECT_FALSE(ctx.drv().isOpen());
    // Neither waited for the request, and the thread's event is still there.
    EXPECT_EQ(rig->pendingRequests(), 1u);
    EXPECT_TRUE(rig->kernel().isEvent(event));

    rig->setDelay(QEL_REQ_GET_EVENT, 0);
    for (int i = 0; i < 2000 && rig->kernel().isEvent(event); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(rig->kernel().isEvent(event));
    // The event it fetched late went to no one.
    EXPECT_EQ(w1.count(kMsg, 2), 0u);
    EXPECT_EQ(w1.posted().size(), 1u);
}

// ---------------------------------------------------------------- two devices

// Both devices share the process-wide control handle. One going away (an
// unplug, then its close) leaves the other's requests, knob notifications
// and handle alone: no control handle is opened again for it.
TEST_F(EventTest, TwoDevicesKeepWorkingWhenOneIsUnpluggedAndReplugged) {
    CQelDevice second(ctx, fw(), QEL_KAVRO_COMPANY_ID);
    AVCSUFeatureBlockNotifyCMD secondBlock4(4);
    open(1);
    ASSERT_EQ(second.openDevice(fw(), 2), QEL_OK);
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    ASSERT_TRUE(second.registerForAVCEvents(&secondBlock4, &w2, 0x8005));
    const auto controlOpens = [](const std::vector<std::string>& t) {
        return std::count_if(t.begin(), t.end(),
                             [](const std::string& l) { return l.rfind("fw QEL_REQ_GET_DRIVER_VERSION ", 0) == 0; });
    };
    trace();

    ASSERT_TRUE(rig->unplug(1));
    device.closeDevice();
    EXPECT_TRUE(ctx.drv().isOpen());
    EXPECT_EQ(second.refreshDevices(), QEL_OK);
    EXPECT_EQ(second.readSyncParameter(), QEL_OK);
    EXPECT_EQ(second.setVolume(2, 1, -7.0), QEL_OK);
    rig->withFwDevice(2, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -6.0); });
    ASSERT_TRUE(w2.waitForCount(1));
    EXPECT_EQ(w2.posted()[0].data, (std::vector<std::uint8_t>{0xFA, 0x00}));
    EXPECT_TRUE(second.avcEventsStarted());
    EXPECT_EQ(controlOpens(trace()), 0);

    ASSERT_TRUE(rig->plug(1));
    open(1);
    ASSERT_TRUE(device.registerForAVCEvents(&block4, &w1, 0x8005));
    rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -2.0); });
    rig->withFwDevice(2, [&](sim::FwDeviceModel& m) { firmware(m).knob(4, 0, -1.0); });
    ASSERT_TRUE(w1.waitForCount(1));
    ASSERT_TRUE(w2.waitForCount(2));
    EXPECT_EQ(second.refreshDevices(), QEL_OK);
    EXPECT_EQ(ctx.drv().deviceProperties().size(), 2u);
    EXPECT_EQ(controlOpens(trace()), 0);  // the handle stayed open throughout

    // The last close really closes it.
    second.closeDevice();
    EXPECT_TRUE(ctx.drv().isOpen());
    device.closeDevice();
    EXPECT_FALSE(ctx.drv().isOpen());
}

// The digital-input commands are the context's, one set for every device:
// both devices' AV/C threads write them while the window thread reads the
// detections (TSan).
TEST_F(EventTest, StressSharedCommandsWrittenByTwoThreadsAndReadByTheWindow) {
    rig->setTraceEnabled(false);
    CQelDevice second(ctx, fw(), QEL_KAVRO_COMPANY_ID);
    AvcCommands& avc = ctx.avc();
    open(1);
    ASSERT_EQ(second.openDevice(fw(), 2), QEL_OK);
    ASSERT_TRUE(device.registerForAVCEvents(&avc.coaxialInput, &w1, QEL_MSG_DIGITAL_INPUT));
    ASSERT_TRUE(second.registerForAVCEvents(&avc.coaxialInput, &w2, QEL_MSG_DIGITAL_INPUT));
    std::atomic<bool> stop{false};
    std::thread firing([&] {
        for (std::uint32_t n = 0; !stop.load() && n < 200000; ++n)
            for (const std::uint32_t id : {1u, 2u})
                rig->withFwDevice(id, [&](sim::FwDeviceModel& m) { firmware(m).setDigitalInput(1, n % 2 == 0, 1 + n % 5); });
    });
    bool detected = false;
    std::uint8_t rate = 0;
    for (int i = 0; i < 300; ++i) {
        device.readDigitalInDetection(avc.coaxialInput, detected, rate);
        second.readDigitalInDetection(avc.coaxialInput, detected, rate);
        EXPECT_LE(rate, 15);
    }
    ASSERT_TRUE(w1.waitForCount(1));
    ASSERT_TRUE(w2.waitForCount(1));
    stop = true;
    firing.join();
    second.closeDevice();
    device.closeDevice();
    EXPECT_TRUE(boxes.texts().empty());
}

// ---------------------------------------------------------------- stress

// The rig fires driver events, value changes and device messages as fast as
// it can while this thread registers, unregisters, sends requests and closes
// and reopens the device. Every registration must get its last message.
TEST_F(EventTest, StressRegisterAndCloseWhileTheRigFires) {
    rig->setTraceEnabled(false);
    std::atomic<bool> stop{false};
    std::thread firing([&] {
        for (std::uint32_t n = 0; !stop.load() && n < 2000000; ++n) {
            rig->queueDriverEvent(1 + n % 3);
            rig->withFwDevice(1, [&](sim::FwDeviceModel& m) {
                firmware(m).knob(4, 0, -static_cast<double>(n % 60));
                if (n % 3 == 0) firmware(m).deviceMessage(static_cast<std::uint8_t>(n));
            });
        }
    });
    constexpr int kRounds = 25;
    int registered = 0;
    for (int round = 0; round < kRounds; ++round) {
        open();
        if (device.registerForDriverEvents(0, &w1, kMsg)) ++registered;
        if (device.registerForDriverEvents(3, &w2, kMsg)) ++registered;
        device.registerForAVCEvents(&block4, &w3, 0x8005);
        device.registerForAVCEvents(&ctx.avc().deviceMessage, &w3, QEL_MSG_DEVICE_MESSAGE);
        device.setVolume(2, 1, -static_cast<double>(round));
        if (round % 2 == 0) {
            device.unregisterDriverEvents(3);
            device.unregisterAVCEvents(&block4);
        }
        device.closeDevice();
    }
    stop = true;
    firing.join();
    EXPECT_EQ(registered, 2 * kRounds);
    EXPECT_EQ(w1.count(kMsg, QEL_EVENT_UNREGISTERED) + w2.count(kMsg, QEL_EVENT_UNREGISTERED),
              static_cast<std::size_t>(registered));
    EXPECT_EQ(w1.count(kMsg, QEL_EVENT_UNREGISTERED), static_cast<std::size_t>(kRounds));
    EXPECT_TRUE(boxes.texts().empty());
}

}  // namespace
}  // namespace qel::test
