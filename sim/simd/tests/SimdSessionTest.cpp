// Programs on the rig process: the device layer over the socket gives what
// it gives on an in-process rig, two programs share one rig, and the rig
// process going away and coming back is lived through.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <iostream>
#include <mutex>
#include <thread>

#include "controlpanel/driver/ControlPanelRecords.h"
#include "controlpanel/driver/Drv.h"
#include "device/AvcFrames.h"
#include "device/EventMessages.h"
#include "device/QelContext.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "device/tests/Recorders.h"
#include "os/Bytes.h"
#include "os/sim/SimOs.h"
#include "sim/Requests.h"
#include "sim/host/PlatformHost.h"
#include "sim/simd/tests/ServedRig.h"

namespace qel::sim::test {
namespace {

const os::Guid kFw = fireWireGuid();

// What a program sees of the rig through the device layer: the device list
// and a volume written and read back.
struct Seen {
    Status open = 0, refresh = 0, deviceOpen = 0, set = 0, get = 0;
    std::vector<std::string> devices;
    double volume = 0;
    bool operator==(const Seen&) const = default;
};

Seen exercise(os::IOs& os) {
    Seen s;
    QelContext ctx(os);
    s.open = ctx.drv().openDriver(kFw);
    s.refresh = ctx.drv().refreshDeviceProperties();
    for (const auto& p : ctx.drv().deviceProperties())
        s.devices.push_back(std::to_string(p.deviceId()) + " " + p.deviceName() + " " + p.serial());
    CQelDevice dev(ctx, kFw, QEL_KAVRO_COMPANY_ID);
    s.deviceOpen = dev.openDevice(kFw, 2);
    s.set = dev.setVolume(5, 2, -6.5);
    s.get = dev.getVolume(5, 2, s.volume);
    dev.closeDevice();
    ctx.drv().closeDriver();
    return s;
}

using SimdSession = ServedRig;

TEST_F(SimdSession, DeviceLayerSeesWhatItSeesInProcess) {
    auto own = Rig::makeDefault();
    os::SimOs local(*own);
    own->takeTrace();
    const Seen inProcess = exercise(local);
    ASSERT_EQ(inProcess.get, QEL_OK);
    ASSERT_EQ(inProcess.devices.size(), 2u);
    EXPECT_EQ(inProcess.volume, -6.5);

    rig->takeTrace();
    auto remote = client();
    ASSERT_TRUE(remote->connected());
    const Seen served = exercise(*remote);
    EXPECT_EQ(served, inProcess);
    // Byte for byte the same requests reached the rig, with the same answers.
    EXPECT_EQ(rig->takeTrace(), own->takeTrace());
}

TEST_F(SimdSession, TwoProgramsShareOneRig) {
    auto a = client();
    auto b = client();
    // The control panel renames a device ...
    cpl::CDrv panel(*a);
    ASSERT_EQ(panel.openDriver(), QEL_OK);
    ASSERT_EQ(panel.refreshDeviceProperties(), QEL_OK);
    QEL_DEVICE_PROPERTIES record = panel.deviceProperties().at(1);
    setDeviceName(record, "Desk Unit");
    ASSERT_EQ(panel.setDeviceProperties(record), QEL_OK);
    // ... and the mixer panel, another program, reads the new name.
    QelContext mixer(*b);
    ASSERT_EQ(mixer.drv().openDriver(kFw), QEL_OK);
    ASSERT_EQ(mixer.drv().refreshDeviceProperties(), QEL_OK);
    ASSERT_EQ(mixer.drv().deviceProperties().size(), 2u);
    EXPECT_EQ(mixer.drv().deviceProperties()[1].deviceName(), "Desk Unit");
    EXPECT_EQ(mixer.drv().deviceProperties()[0].deviceName(), "Studio 610");

    // A knob turned by a rig command from the first program moves the
    // volume the second one reads.
    CQelDevice dev(mixer, kFw, QEL_KAVRO_COMPANY_ID);
    ASSERT_EQ(dev.openDevice(kFw, 1), QEL_OK);
    std::string out, err;
    ASSERT_EQ(a->rigCommand({"knob", "1", "3", "1", "-20"}, out, err), 0) << err;
    double db = 0;
    ASSERT_EQ(dev.getVolume(3, 1, db), QEL_OK);
    EXPECT_EQ(db, -20);
    // A failing rig command reports its error text.
    EXPECT_EQ(a->rigCommand({"knob", "nowhere", "1", "1", "0"}, out, err), 1);
    EXPECT_NE(err.find("sim"), std::string::npos) << err;
    dev.closeDevice();

    // A driver event raised in the rig reaches the event registered by the
    // second program, through the value it handed to the driver.
    os::Handle control = nullptr;
    std::uint32_t error = 0;
    control = b->openPath("\\\\.\\" + kFw.registryText(), true, error);
    ASSERT_NE(control, nullptr);
    os::Handle event = b->createEvent(false, false);
    std::uint8_t in[4];
    os::putLe32(in, 0, b->eventValue(event));
    ASSERT_EQ(b->ioctl(control, QEL_REQ_REGISTER_EVENT, in, 4, nullptr, 0, nullptr), 0u);
    ASSERT_EQ(a->rigCommand({"event", "0x1234"}, out, err), 0) << err;
    EXPECT_EQ(b->waitForOne(event, 2000), os::kWaitObject0);
    std::uint8_t record12[12] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(b->ioctl(control, QEL_REQ_GET_EVENT, nullptr, 0, record12, 12, &got), 0u);
    EXPECT_EQ(os::getLe32(record12, 0), 0x1234u);
    b->closeHandle(event);
    b->closeHandle(control);
}

TEST_F(SimdSession, DeviceChangesReachRegisteredPrograms) {
    auto a = client();
    std::mutex m;
    std::vector<std::string> seen;
    std::promise<void> twoSeen;
    os::Handle reg = a->registerDeviceNotification(kFw, [&](std::uint32_t code, const std::string& path) {
        std::lock_guard lock(m);
        seen.push_back((code == os::kDeviceArrival ? "arrival " : "removal ") + path);
        if (seen.size() == 2) twoSeen.set_value();
    });
    ASSERT_NE(reg, nullptr);
    auto done = twoSeen.get_future();
    std::string out, err;
    ASSERT_EQ(a->rigCommand({"unplug", "2"}, out, err), 0) << err;
    ASSERT_EQ(a->rigCommand({"plug", "2"}, out, err), 0) << err;
    ASSERT_EQ(done.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    {
        std::lock_guard lock(m);
        EXPECT_EQ(seen, (std::vector<std::string>{"removal " + Rig::fwDevicePath(2), "arrival " + Rig::fwDevicePath(2)}));
    }
    EXPECT_TRUE(a->unregisterDeviceNotification(reg));
    EXPECT_FALSE(a->unregisterDeviceNotification(reg));
    ASSERT_EQ(a->rigCommand({"unplug", "2"}, out, err), 0);
    // A request after the unplug has passed the rig, so a push would be here.
    EXPECT_NE(a->getClassDevs(kFw), nullptr);
    std::lock_guard lock(m);
    EXPECT_EQ(seen.size(), 2u);
}

// The rig process stops while a request is in flight and a thread waits on
// a driver event: both return, everything fails as a gone device, the
// devices leave; a new rig process is taken up again.
TEST_F(SimdSession, RigGoingAwayFailsEverythingAndComesBack) {
    auto a = client();
    const std::string controlPath = "\\\\.\\" + kFw.registryText();
    std::uint32_t error = 0;
    os::Handle control = a->openPath(controlPath, true, error);
    ASSERT_NE(control, nullptr);
    os::Handle device = a->openPath(Rig::fwDevicePath(1), true, error);
    ASSERT_NE(device, nullptr);

    std::mutex m;
    std::vector<std::string> changes;
    a->registerDeviceNotification(kFw, [&](std::uint32_t code, const std::string& path) {
        std::lock_guard lock(m);
        changes.push_back((code == os::kDeviceArrival ? "arrival " : "removal ") + path);
    });

    // A driver event waited on ...
    os::Handle driverEvent = a->createEvent(false, false);
    std::uint8_t in[4];
    os::putLe32(in, 0, a->eventValue(driverEvent));
    ASSERT_EQ(a->ioctl(control, QEL_REQ_REGISTER_EVENT, in, 4, nullptr, 0, nullptr), 0u);
    auto waited = std::async(std::launch::async, [&] { return a->waitForOne(driverEvent, 2000); });
    // ... and a request that would run for a minute.
    rig->setDelay(req::kGetDeviceCapabilities, 60000);
    os::Overlapped ov;
    ov.event = a->createEvent(true, false);
    std::uint8_t caps[4] = {};
    ASSERT_EQ(a->ioctlOverlapped(device, req::kGetDeviceCapabilities, nullptr, 0, caps, 4, ov), os::kErrorIoPending);
    auto result = std::async(std::launch::async, [&] {
        std::uint32_t bytes = 0;
        return a->getOverlappedResult(device, ov, &bytes, /*wait=*/true);
    });
    // Other threads' requests pass while that one is in flight.
    std::uint8_t version[12];
    EXPECT_EQ(a->ioctl(control, QEL_REQ_GET_DRIVER_VERSION, nullptr, 0, version, 12, nullptr), 0u);

    const auto stopped = std::chrono::steady_clock::now();
    stop();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    const auto latency = std::chrono::steady_clock::now() - stopped;
    EXPECT_EQ(result.get(), os::kErrorDeviceNotConnected);
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(waited.get(), os::kWaitObject0);  // woken to look, and looking fails:
    EXPECT_EQ(a->ioctl(control, QEL_REQ_GET_EVENT, nullptr, 0, version, 12, nullptr), os::kErrorDeviceNotConnected);
    EXPECT_EQ(a->waitForOne(ov.event, 0), os::kWaitObject0);
    std::cout << "[ measured ] pending request failed "
              << std::chrono::duration_cast<std::chrono::microseconds>(latency).count() << " us after the stop\n";
    EXPECT_EQ(a->openPath(controlPath, true, error), nullptr);
    EXPECT_EQ(error, os::kErrorDeviceNotConnected);
    EXPECT_EQ(a->getClassDevs(kFw), nullptr);
    std::string out, err;
    EXPECT_EQ(a->rigCommand({"knob", "1", "1", "1", "0"}, out, err), -1);
    {
        std::lock_guard lock(m);
        EXPECT_EQ(changes, (std::vector<std::string>{"removal " + Rig::fwDevicePath(1), "removal " + Rig::fwDevicePath(2)}));
        changes.clear();
    }

    start();
    ASSERT_TRUE(a->waitConnected(2000));
    EXPECT_EQ(a->sessions(), 2u);
    // Handles of the old rig stay stale; new ones work.
    EXPECT_EQ(a->ioctl(control, QEL_REQ_GET_DRIVER_VERSION, nullptr, 0, version, 12, nullptr),
              os::kErrorDeviceNotConnected);
    a->closeHandle(control);
    a->closeHandle(device);
    control = a->openPath(controlPath, true, error);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(a->ioctl(control, QEL_REQ_GET_DRIVER_VERSION, nullptr, 0, version, 12, nullptr), 0u);
    // Events live on in the program; the registration moved to the new rig.
    os::putLe32(in, 0, a->eventValue(driverEvent));
    ASSERT_EQ(a->ioctl(control, QEL_REQ_REGISTER_EVENT, in, 4, nullptr, 0, nullptr), 0u);
    ASSERT_EQ(a->rigCommand({"event", "7"}, out, err), 0) << err;
    EXPECT_EQ(a->waitForOne(driverEvent, 2000), os::kWaitObject0);
    // The registration moved with it: the devices arrived.
    EXPECT_NE(a->getClassDevs(kFw), nullptr);
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard lock(m);
            if (changes.size() >= 2) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard lock(m);
    EXPECT_EQ(changes, (std::vector<std::string>{"arrival " + Rig::fwDevicePath(1), "arrival " + Rig::fwDevicePath(2)}));
    a->closeHandle(control);
    a->closeHandle(ov.event);
    a->closeHandle(driverEvent);
}

// A device open in a program while the rig process goes away: its requests
// fail as a gone device, closing it does not hang, and it opens again on the
// next rig process.
TEST_F(SimdSession, DeviceLayerLivesThroughTheRigGoingAway) {
    auto a = client();
    QelContext ctx(*a);
    CQelDevice device(ctx, kFw, QEL_KAVRO_COMPANY_ID);
    ASSERT_EQ(device.openDevice(kFw, 1), QEL_OK);
    qel::test::RecordingWindow window;
    ASSERT_TRUE(device.registerForDriverEvents(0, &window, QEL_MSG_DRIVER_EVENT));
    std::string out, err;
    ASSERT_EQ(a->rigCommand({"event", "5"}, out, err), 0) << err;
    EXPECT_TRUE(window.waitFor([](const auto& p) { return !p.empty() && p.back().wParam == 5; },
                               std::chrono::seconds(2)));

    stop();
    double db = 0;
    EXPECT_EQ(device.getVolume(3, 1, db), os::kErrorDeviceNotConnected);
    auto closed = std::async(std::launch::async, [&] { device.closeDevice(); });
    ASSERT_EQ(closed.wait_for(std::chrono::seconds(5)), std::future_status::ready);

    start();
    ASSERT_TRUE(a->waitConnected(2000));
    ASSERT_EQ(device.openDevice(kFw, 1), QEL_OK);
    EXPECT_EQ(device.setVolume(3, 1, -12), QEL_OK);
    EXPECT_EQ(device.getVolume(3, 1, db), QEL_OK);
    EXPECT_EQ(db, -12);
    device.closeDevice();
}

TEST_F(SimdSession, PlatformHostTakesTheRigProcessWhenItIsThere) {
    ::setenv("QEL_SIM_SOCKET", path.c_str(), 1);
    {
        CPlatformHost host;
        EXPECT_TRUE(host.usesRigProcess());
        EXPECT_EQ(host.rig(), nullptr);
        const Seen seen = exercise(host.platform());
        EXPECT_EQ(seen.get, QEL_OK);
        EXPECT_EQ(seen.volume, -6.5);
        std::string out, err;
        EXPECT_EQ(host.rigCommand({"knob", "1", "3", "1", "-3"}, out, err), 0) << err;
    }
    ::setenv("QEL_SIM_SOCKET", (dir + "/nobody.sock").c_str(), 1);
    {
        CPlatformHost host;
        EXPECT_FALSE(host.usesRigProcess());
        ASSERT_NE(host.rig(), nullptr);
        EXPECT_EQ(exercise(host.platform()).volume, -6.5);
        std::string out, err;
        EXPECT_EQ(host.rigCommand({"knob", "1", "3", "1", "-3"}, out, err), -1);
    }
    ::unsetenv("QEL_SIM_SOCKET");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(CPlatformHost::socketPath(), "/tmp/qel-simd-" + std::to_string(::getuid()) + ".sock");
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    EXPECT_EQ(CPlatformHost::socketPath(), dir + "/qel-simd.sock");
}

}  // namespace
}  // namespace qel::sim::test
