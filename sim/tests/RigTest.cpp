// The simulated platform itself: events and waits, overlapped requests,
// device-change notifications and the driver's strictness.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "os/sim/SimOs.h"
#include "sim/Requests.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"

using namespace qel;

class RigTest : public ::testing::Test {
protected:
    RigTest() : rig(sim::Rig::makeDefault()), os(*rig) {}
    os::Handle openDevice(std::uint32_t id) {
        std::uint32_t err = 0;
        return os.openPath(sim::Rig::fwDevicePath(id), true, err);
    }
    std::unique_ptr<sim::Rig> rig;
    os::SimOs os;
};

TEST_F(RigTest, AutoResetEventsReleaseOneWaitAndManualOnesStay) {
    os::Handle a = os.createEvent(false, false);
    os::Handle m = os.createEvent(true, true);
    const os::Handle both[] = {a, m};
    EXPECT_EQ(os.waitForOne(a, 0), os::kWaitTimeout);
    os.setEvent(a);
    EXPECT_EQ(os.waitForAny(both, 2, 0), os::kWaitObject0);      // a first, and it resets
    EXPECT_EQ(os.waitForAny(both, 2, 0), os::kWaitObject0 + 1);  // m stays signalled
    EXPECT_EQ(os.waitForAny(both, 2, 0), os::kWaitObject0 + 1);
    os.resetEvent(m);
    EXPECT_EQ(os.waitForAny(both, 2, 10), os::kWaitTimeout);
    os.closeHandle(a);
    EXPECT_EQ(os.waitForOne(a, 0), os::kWaitFailed);
    EXPECT_EQ(os.waitForAny(both, 0, 0), os::kWaitFailed);
    os.closeHandle(m);
}

TEST_F(RigTest, AWaitEndsWhenAnotherThreadSignals) {
    os::Handle e = os.createEvent(false, false);
    auto waiter = std::async(std::launch::async, [&] { return os.waitForOne(e, os::kInfinite); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    os.setEvent(e);
    EXPECT_EQ(waiter.get(), os::kWaitObject0);
    os.closeHandle(e);
}

// A set wakes the waits that include the event, each with its own index,
// and leaves the others waiting.
TEST_F(RigTest, ASetEndsEveryWaitOnThatEventAndNoOther) {
    os::Handle a = os.createEvent(false, false);
    os::Handle b = os.createEvent(false, false);
    os::Handle c = os.createEvent(/*manualReset=*/true, false);
    const os::Handle bc[] = {b, c};
    auto onA = std::async(std::launch::async, [&] { return os.waitForOne(a, os::kInfinite); });
    auto onBc = std::async(std::launch::async, [&] { return os.waitForAny(bc, 2, os::kInfinite); });
    auto onC = std::async(std::launch::async, [&] { return os.waitForOne(c, 10000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    os.setEvent(c);
    EXPECT_EQ(onBc.get(), os::kWaitObject0 + 1);
    EXPECT_EQ(onC.get(), os::kWaitObject0);
    EXPECT_EQ(onA.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    os.setEvent(a);
    EXPECT_EQ(onA.get(), os::kWaitObject0);
    for (os::Handle h : {a, b, c}) os.closeHandle(h);
}

TEST_F(RigTest, PendingRequestsCompleteSignalAndCanBeCancelled) {
    os::Handle dev = openDevice(1);
    ASSERT_NE(dev, nullptr);
    os::Overlapped ov;
    ov.event = os.createEvent(false, false);
    std::uint8_t caps[4] = {};
    rig->setDelay(sim::req::kGetDeviceCapabilities, 30);
    ASSERT_EQ(os.ioctlOverlapped(dev, sim::req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), os::kErrorIoPending);
    std::uint32_t got = 0;
    EXPECT_EQ(os.getOverlappedResult(dev, ov, &got, false), os::kErrorIoIncomplete);
    EXPECT_EQ(os.waitForOne(ov.event, 5000), os::kWaitObject0);
    EXPECT_EQ(os.getOverlappedResult(dev, ov, &got, false), 0u);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(caps[0], 8);

    rig->setDelay(sim::req::kGetDeviceCapabilities, 60000);
    ASSERT_EQ(os.ioctlOverlapped(dev, sim::req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), os::kErrorIoPending);
    EXPECT_EQ(os.cancelIo(dev), 0u);
    EXPECT_EQ(os.getOverlappedResult(dev, ov, &got, true), os::kErrorOperationAborted);
    // Closing a handle with a request in flight ends it too.
    ASSERT_EQ(os.ioctlOverlapped(dev, sim::req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), os::kErrorIoPending);
    os.closeHandle(dev);
    EXPECT_EQ(os.waitForOne(ov.event, 5000), os::kWaitObject0);
    os.closeHandle(ov.event);
}

// A request that ignores its cancel ends only with its delay; clearing the
// faults gives the healthy answers again, pending requests keep theirs.
TEST_F(RigTest, IgnoredCancelsAndClearedFaults) {
    os::Handle dev = openDevice(1);
    ASSERT_NE(dev, nullptr);
    os::Overlapped ov;
    ov.event = os.createEvent(false, false);
    std::uint8_t caps[4] = {};
    std::uint32_t got = 0;
    rig->setDelay(sim::req::kGetDeviceCapabilities, 150);
    rig->setIgnoresCancel(sim::req::kGetDeviceCapabilities, true);
    ASSERT_EQ(os.ioctlOverlapped(dev, sim::req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), os::kErrorIoPending);
    EXPECT_EQ(os.cancelIo(dev), 0u);
    EXPECT_EQ(os.getOverlappedResult(dev, ov, &got, false), os::kErrorIoIncomplete);
    EXPECT_EQ(rig->pendingRequests(), 1u);
    rig->clearFaults();
    EXPECT_EQ(os.getOverlappedResult(dev, ov, &got, true), 0u);  // its delay ran out
    EXPECT_EQ(rig->pendingRequests(), 0u);

    rig->failNext(sim::req::kGetDeviceCapabilities, 5, 0xE0000001);
    rig->answerNext(sim::req::kGetDeviceCapabilities, {9});
    rig->setDelay(0, 60000);
    rig->withFwDevice(1, [](sim::FwDeviceModel& m) {
        sim::FwFirmware::of(m)->memory().setFault(sim::FwMemory::Fault::Endless);
        sim::FwFirmware::of(m)->replyNext(0x0A);
    });
    rig->clearFaults();
    EXPECT_EQ(os.ioctlOverlapped(dev, sim::req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), 0u);
    EXPECT_EQ(caps[0], 8);
    rig->withFwDevice(1, [](sim::FwDeviceModel& m) {
        EXPECT_EQ(sim::FwFirmware::of(m)->memory().fault(), sim::FwMemory::Fault::None);
    });
    os.closeHandle(dev);
    os.closeHandle(ov.event);
}

TEST_F(RigTest, DeviceChangeNotificationsFollowPlugAndUnplug) {
    std::vector<std::pair<std::uint32_t, std::string>> seen;
    os::Handle reg = os.registerDeviceNotification(sim::fireWireGuid(), [&](std::uint32_t code, const std::string& p) {
        seen.emplace_back(code, p);
    });
    ASSERT_NE(reg, nullptr);
    EXPECT_TRUE(rig->unplug(2));
    EXPECT_FALSE(rig->unplug(2));
    EXPECT_TRUE(rig->plug(2));
    EXPECT_FALSE(rig->plug(99));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(os::kDeviceRemoveComplete, sim::Rig::fwDevicePath(2)));
    EXPECT_EQ(seen[1].first, os::kDeviceArrival);
    EXPECT_TRUE(os.unregisterDeviceNotification(reg));
    EXPECT_FALSE(os.unregisterDeviceNotification(reg));
    rig->unplug(1);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(RigTest, EnumerationSeesOnlyPresentDevicesAndOpenChecksThePath) {
    rig->unplug(1);
    os::DevInfoSet set = os.getClassDevs(sim::fireWireGuid());
    std::string path;
    ASSERT_EQ(os.enumInterface(set, sim::fireWireGuid(), 0, path), 0u);
    EXPECT_EQ(path, sim::Rig::fwDevicePath(2));
    EXPECT_EQ(os.enumInterface(set, sim::fireWireGuid(), 1, path), os::kErrorNoMoreItems);
    os.destroyDevInfoSet(set);
    EXPECT_EQ(os.enumInterface(set, sim::fireWireGuid(), 0, path), os::kErrorInvalidHandle);

    std::uint32_t err = 0;
    EXPECT_EQ(os.openPath(sim::Rig::fwDevicePath(1), true, err), nullptr);  // absent
    EXPECT_EQ(err, os::kErrorFileNotFound);
    EXPECT_EQ(os.openPath("\\\\?\\1394#kavro&qel#zz#nothing", true, err), nullptr);
    EXPECT_EQ(os.openPath("", true, err), nullptr);
    os::Handle control = os.openPath("\\\\.\\" + sim::fireWireGuid().lowerText(), false, err);
    EXPECT_NE(control, nullptr);  // the platform compares paths without case
    os.closeHandle(control);
}

TEST_F(RigTest, DriverEventsQueuePerControlHandleAndSignalTheRegisteredEvent) {
    std::uint32_t err = 0;
    const std::string path = "\\\\.\\" + sim::fireWireGuid().registryText();
    os::Handle listener = os.openPath(path, false, err);
    os::Handle other = os.openPath(path, false, err);
    os::Handle e = os.createEvent(false, false);
    std::uint8_t value[4];
    os::putLe32(value, 0, os.eventValue(e));
    ASSERT_EQ(os.ioctl(listener, sim::req::kRegisterEvent, value, 4, nullptr, 0, nullptr), 0u);
    std::uint8_t bogus[4] = {1, 2, 3, 4};
    EXPECT_EQ(os.ioctl(other, sim::req::kRegisterEvent, bogus, 4, nullptr, 0, nullptr), os::kErrorInvalidParameter);

    rig->queueDriverEvent(3);
    rig->queueDriverEvent(1);
    EXPECT_EQ(os.waitForOne(e, 1000), os::kWaitObject0);
    std::uint8_t record[12];
    std::uint32_t got = 0;
    for (const std::uint32_t expected : {3u, 1u}) {
        ASSERT_EQ(os.ioctl(listener, sim::req::kGetEvent, nullptr, 0, record, 12, &got), 0u);
        EXPECT_EQ(got, 12u);
        EXPECT_EQ(os::getLe32(record, 0), expected);
    }
    EXPECT_EQ(os.ioctl(listener, sim::req::kGetEvent, nullptr, 0, record, 12, &got), os::kErrorNoMoreItems);
    // The other handle has its own copy of the queue.
    EXPECT_EQ(os.ioctl(other, sim::req::kGetEvent, nullptr, 0, record, 12, &got), 0u);
    EXPECT_EQ(os::getLe32(record, 0), 3u);
    os.closeHandle(listener);
    os.closeHandle(other);
    os.closeHandle(e);
}

// A change of the device set is a driver event too: 3 (configuration
// changed) on every control handle, signalled where an event is registered.
TEST_F(RigTest, PlugAndUnplugQueueConfigurationChangedOnEveryControlHandle) {
    std::uint32_t err = 0;
    const std::string path = "\\\\.\\" + sim::fireWireGuid().registryText();
    os::Handle listener = os.openPath(path, false, err);
    os::Handle e = os.createEvent(false, false);
    std::uint8_t value[4];
    os::putLe32(value, 0, os.eventValue(e));
    ASSERT_EQ(os.ioctl(listener, sim::req::kRegisterEvent, value, 4, nullptr, 0, nullptr), 0u);
    std::uint8_t record[12];
    std::uint32_t got = 0;
    const auto events = [&](os::Handle h) {
        std::vector<std::uint32_t> codes;
        while (os.ioctl(h, sim::req::kGetEvent, nullptr, 0, record, 12, &got) == 0) codes.push_back(os::getLe32(record, 0));
        return codes;
    };

    ASSERT_TRUE(rig->unplug(2));
    EXPECT_EQ(os.waitForOne(e, 1000), os::kWaitObject0);
    EXPECT_EQ(events(listener), std::vector<std::uint32_t>{3});
    ASSERT_TRUE(rig->plug(2));
    EXPECT_EQ(os.waitForOne(e, 1000), os::kWaitObject0);
    EXPECT_EQ(events(listener), std::vector<std::uint32_t>{3});
    // A refused plug changes nothing and reports nothing.
    EXPECT_FALSE(rig->plug(2));
    EXPECT_FALSE(rig->unplug(99));
    EXPECT_EQ(os.waitForOne(e, 0), os::kWaitTimeout);
    EXPECT_TRUE(events(listener).empty());
    // The USB driver has no events; its device set (the U410, 0x10) leaves the
    // FireWire queue alone.
    ASSERT_TRUE(rig->usbRemove(0x10));
    EXPECT_TRUE(events(listener).empty());
    os.closeHandle(listener);
    os.closeHandle(e);
}

TEST_F(RigTest, EveryRequestIsTracedOnceWithItsEndpoint) {
    std::uint32_t err = 0;
    os::Handle control = os.openPath("\\\\.\\" + sim::fireWireGuid().registryText(), false, err);
    std::uint8_t in[4] = {2, 0, 0, 0};
    std::uint8_t out[432];
    EXPECT_EQ(os.ioctl(control, sim::req::kGetDeviceProperties, in, 4, out, 431, nullptr), os::kErrorInvalidParameter);
    EXPECT_EQ(os.ioctl(control, 0x80880000, nullptr, 0, nullptr, 0, nullptr), 1u);
    const auto t = rig->takeTrace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "fw QEL_REQ_GET_DEVICE_PROPERTIES 0x00000057 in=02000000 out=-");
    EXPECT_EQ(t[1], "fw 0x80880000 0x00000001 in=- out=-");
    EXPECT_TRUE(rig->takeTrace().empty());
    os.closeHandle(control);
}
