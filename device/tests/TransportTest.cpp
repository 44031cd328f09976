// Driver handle and request transport against the rig.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "device/QelDevice.h"
#include "device/Requests.h"
#include "sim/Requests.h"
#include "device/tests/SimFixture.h"

using namespace qel;
using qel::test::SimFixture;

namespace {
constexpr std::uint32_t kCompany = 0x00A0DE;

int count(const std::vector<std::string>& lines, const std::string& needle) {
    int n = 0;
    for (const auto& l : lines) n += l.find(needle) != std::string::npos;
    return n;
}
}  // namespace

class Transport : public SimFixture {};

TEST_F(Transport, DriverVersionBoundaryOnTheControlHandle) {
    CDrv& drv = ctx.drv();
    rig->setVersionAnswer({2, 13});
    EXPECT_EQ(drv.openDriver(fw()), QEL_E_VERSION_MISMATCH);
    EXPECT_FALSE(drv.isOpen());
    EXPECT_EQ(drv.version().minor(), 13);  // the answer is kept even when refused
    rig->setVersionAnswer({3, 20});
    EXPECT_EQ(drv.openDriver(fw()), QEL_E_VERSION_MISMATCH);
    rig->setVersionAnswer({2, 14});
    EXPECT_EQ(drv.openDriver(fw()), QEL_OK);
    EXPECT_TRUE(drv.isOpen());
}

TEST_F(Transport, SecondOpenDriverSendsNothingAndClosedDriverRefusesRequests) {
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.openDriver(fw()), QEL_OK);
    trace();
    EXPECT_EQ(drv.openDriver(fw()), QEL_OK);
    EXPECT_TRUE(trace().empty());
    // Each open has its close: the first close leaves the handle to the other.
    drv.closeDriver();
    EXPECT_TRUE(drv.isOpen());
    std::uint8_t out[12];
    EXPECT_EQ(drv.request(QEL_REQ_GET_SYNC_SETTINGS, nullptr, 0, out, sizeof out), QEL_OK);
    trace();
    drv.closeDriver();
    EXPECT_FALSE(drv.isOpen());
    EXPECT_EQ(drv.request(QEL_REQ_GET_SYNC_SETTINGS, nullptr, 0, out, sizeof out), QEL_E_NOT_OPEN);
    EXPECT_TRUE(trace().empty());
    drv.closeDriver();  // closing more often than opened is harmless
    ASSERT_EQ(drv.openDriver(fw()), QEL_OK);
    drv.closeDriver();
    EXPECT_FALSE(drv.isOpen());
}

TEST_F(Transport, ReopeningAStaleControlHandleKeepsItsOpensCounted) {
    CDrv& drv = ctx.drv();
    ASSERT_EQ(drv.openDriver(fw()), QEL_OK);
    ASSERT_EQ(drv.openDriver(fw()), QEL_OK);
    trace();
    ASSERT_EQ(drv.reopenDriver(fw()), QEL_OK);
    const auto t = trace();
    ASSERT_EQ(t.size(), 1u);  // a new handle: its version request
    EXPECT_EQ(t[0].rfind("fw QEL_REQ_GET_DRIVER_VERSION ok", 0), 0u);
    drv.closeDriver();
    EXPECT_TRUE(drv.isOpen());
    drv.closeDriver();
    EXPECT_FALSE(drv.isOpen());
}

TEST_F(Transport, OpenDriverWithUnknownGuidPassesThePlatformError) {
    const auto other = *os::Guid::parse("{00000000-1111-2222-3333-444444444444}");
    EXPECT_EQ(ctx.drv().openDriver(other), os::kErrorFileNotFound);
    EXPECT_FALSE(ctx.drv().isOpen());
}

TEST_F(Transport, FailedVersionRequestClosesTheHandle) {
    rig->failNext(QEL_REQ_GET_DRIVER_VERSION, 1, os::kErrorGenFailure);
    EXPECT_EQ(ctx.drv().openDriver(fw()), os::kErrorGenFailure);
    EXPECT_FALSE(ctx.drv().isOpen());
}

TEST_F(Transport, DeviceVersionBoundaryOnThePerDeviceHandle) {
    CQelDevice dev(ctx, fw(), kCompany);
    rig->setVersionAnswer({2, 13});
    EXPECT_EQ(dev.openDevice(fw(), 0), QEL_E_VERSION_MISMATCH);
    EXPECT_FALSE(dev.isOpen());
    EXPECT_FALSE(ctx.drv().isOpen());
    rig->setVersionAnswer({2, 14});
    EXPECT_EQ(dev.openDevice(fw(), 0), QEL_OK);
    EXPECT_TRUE(dev.isOpen());
    EXPECT_EQ(dev.capabilityFlag(), 1u);
}

TEST_F(Transport, IdentifierZeroOpensTheFirstInterface) {
    CQelDevice dev(ctx, fw(), kCompany);
    ASSERT_EQ(dev.openDevice(fw(), 0), QEL_OK);
    EXPECT_EQ(dev.deviceId(), 1u);
    EXPECT_EQ(dev.getInterfaceIndex(), 0u);
    EXPECT_TRUE(ctx.drv().isOpen());
    const auto t = trace();
    // version and capabilities on the device, its own properties, then the driver.
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].rfind("fw:1 QEL_REQ_GET_DRIVER_VERSION ok in=- out=020e", 0), 0u) << t[0];
    EXPECT_EQ(t[1], "fw:1 QEL_REQ_GET_DEVICE_CAPABILITIES ok in=- out=08000000");
    EXPECT_EQ(t[2].rfind("fw:1 QEL_REQ_GET_OWN_DEVICE_PROPERTIES ok in=- out=0100000000000000", 0), 0u);
    EXPECT_EQ(t[3].rfind("fw QEL_REQ_GET_DRIVER_VERSION ok", 0), 0u);
}

TEST_F(Transport, SearchByIdentifierWalksTheInterfaces) {
    CQelDevice dev(ctx, fw(), kCompany);
    ASSERT_EQ(dev.openDevice(fw(), 2), QEL_OK);
    EXPECT_EQ(dev.deviceId(), 2u);
    EXPECT_EQ(dev.getInterfaceIndex(), 1u);
    // Already open: refused, and the open handle is left alone.
    EXPECT_EQ(dev.openDevice(fw(), 1), QEL_E_BAD_CALL);
    EXPECT_TRUE(dev.isOpen());
    os::DevInfoSet set = os.getClassDevs(fw());
    const os::Guid guid = fw();
    EXPECT_EQ(dev.open(set, 0, &guid), QEL_E_BAD_CALL);
    os.destroyDevInfoSet(set);
    std::uint32_t id = 0;
    EXPECT_EQ(dev.getDeviceId(id), QEL_OK);
    EXPECT_EQ(id, 2u);
}

TEST_F(Transport, UnknownIdentifierEndsWithEverythingClosed) {
    CQelDevice dev(ctx, fw(), kCompany);
    EXPECT_EQ(dev.openDevice(fw(), 77), QEL_E_NO_MORE_DEVICES);
    EXPECT_FALSE(dev.isOpen());
    EXPECT_FALSE(ctx.drv().isOpen());
    // Every handle and the enumeration set went back: a new search still works.
    EXPECT_EQ(dev.openDevice(fw(), 1), QEL_OK);
}

TEST_F(Transport, NoPresentDevice) {
    rig->unplug(1);
    rig->unplug(2);
    CQelDevice dev(ctx, fw(), kCompany);
    EXPECT_EQ(dev.openDevice(fw(), 0), QEL_E_NO_MORE_DEVICES);
}

TEST_F(Transport, OpenWithoutSetOrGuidIsAnInvalidArgument) {
    CQelDevice dev(ctx, fw(), kCompany);
    EXPECT_EQ(dev.open(nullptr, 0, nullptr), QEL_E_INVALID_ARG);
    os::DevInfoSet set = os.getClassDevs(fw());
    EXPECT_EQ(dev.open(set, 0, nullptr), QEL_E_INVALID_ARG);
    const os::Guid guid = fw();
    EXPECT_EQ(dev.open(set, 5, &guid), QEL_E_NO_MORE_DEVICES);
    os.destroyDevInfoSet(set);
}

TEST_F(Transport, RequestsOnAClosedDeviceHandle) {
    CQelDevice dev(ctx, fw(), kCompany);
    std::uint8_t out[432];
    EXPECT_EQ(dev.sendRequest(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, nullptr, 0, out, sizeof out),
              QEL_E_DEVICE_NOT_OPEN);
    const std::uint8_t in[16] = {};
    std::uint32_t got = 99;
    EXPECT_EQ(dev.asyncReadBlock(in, out, 4, got), QEL_E_DEVICE_NOT_OPEN);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(trace().empty());
}

TEST_F(Transport, WrongBufferSizesAreRefusedByTheDriver) {
    CQelDevice dev(ctx, fw(), kCompany);
    ASSERT_EQ(dev.openDevice(fw(), 1), QEL_OK);
    std::uint8_t out[432] = {};
    EXPECT_EQ(dev.sendRequest(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, nullptr, 0, out, 431), os::kErrorInvalidParameter);
    EXPECT_EQ(ctx.drv().request(QEL_REQ_GET_SYNC_SETTINGS, nullptr, 0, out, 16), os::kErrorInvalidParameter);
    std::uint8_t in[4] = {1, 0, 0, 0};
    EXPECT_EQ(ctx.drv().request(QEL_REQ_GET_DEVICE_PROPERTIES, in, 3, out, 432), os::kErrorInvalidParameter);
}

TEST_F(Transport, UnplugWhilePendingCompletesWithAnError) {
    CQelDevice dev(ctx, fw(), kCompany);
    ASSERT_EQ(dev.openDevice(fw(), 1), QEL_OK);
    rig->setDelay(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, 60000);
    auto pending = std::async(std::launch::async, [&] {
        std::uint32_t id = 0;
        return dev.getDeviceId(id);
    });
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    rig->unplug(1);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(pending.get(), os::kErrorDeviceNotConnected);
    // The stale handle keeps failing, even after the device is back.
    rig->setDelay(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, 0);
    rig->plug(1);
    std::uint32_t id = 0;
    EXPECT_EQ(dev.getDeviceId(id), os::kErrorDeviceNotConnected);
}

// A block read for a device whose firmware answers memory reads slowly.
namespace {
class SlowMemory : public sim::Firmware {
public:
    std::optional<sim::Reply> request(std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) override {
        if (code != sim::req::kAsyncReadBlock || in.size() != 16) return std::nullopt;
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i + os::getLe32(in, 0));
        return sim::Reply{0, static_cast<std::uint32_t>(out.size())};
    }
};
}  // namespace

TEST_F(Transport, AsyncReadBlockRunsBesideAnOrdinaryRequest) {
    rig->withFwDevice(1, [](sim::FwDeviceModel& m) { m.firmware = std::make_shared<SlowMemory>(); });
    CQelDevice dev(ctx, fw(), kCompany);
    ASSERT_EQ(dev.openDevice(fw(), 1), QEL_OK);
    // The ordinary request holds the request lock for a long time...
    rig->setDelay(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, 1500);
    auto slow = std::async(std::launch::async, [&] {
        std::uint32_t id = 0;
        return dev.getDeviceId(id);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // ...while the block read, with its own overlapped block, completes.
    rig->setDelay(QEL_REQ_ASYNC_READ_BLOCK, 20);
    std::uint8_t in[16] = {};
    os::putLe32(in, 0, 0x00100004);
    os::putLe32(in, 4, 0xFFC7);
    std::uint8_t out[8] = {};
    std::uint32_t got = 0;
    EXPECT_EQ(dev.asyncReadBlock(in, out, sizeof out, got), QEL_OK);
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(out[0], 0x04);
    EXPECT_EQ(slow.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_EQ(slow.get(), QEL_OK);
}

TEST_F(Transport, CloseDuringNothingAndReopen) {
    CQelDevice dev(ctx, fw(), kCompany);
    dev.closeDevice();  // never opened: nothing to do
    ASSERT_EQ(dev.openDevice(fw(), 2), QEL_OK);
    dev.closeDevice();
    EXPECT_FALSE(dev.isOpen());
    EXPECT_FALSE(ctx.drv().isOpen());
    EXPECT_EQ(dev.openDevice(fw(), 1), QEL_OK);
    EXPECT_EQ(dev.deviceId(), 1u);
    // Device 2 is found after trying device 1; then device 1 again: three
    // device handles and two driver opens checked the version.
    EXPECT_EQ(count(trace(), "QEL_REQ_GET_DRIVER_VERSION"), 5);
}

// A request the driver does not let be cancelled: close gives it the limit,
// then leaves the handle to it. A request waiting for its turn behind it
// gives up, new ones find the device not open, and the device opens again at
// once. When the driver completes the old request, it gets its answer and
// closes the handle and the event it was left with.
TEST_F(Transport, CloseLeavesARequestThatIgnoresTheCancelToCloseTheHandle) {
    const std::size_t files = rig->fileCount();
    const std::size_t events = rig->kernel().eventCount();
    CQelDevice dev(ctx, fw(), kCompany);
    ASSERT_EQ(dev.openDevice(fw(), 1), QEL_OK);
    rig->setDelay(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, 4000);
    rig->setIgnoresCancel(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, true);
    auto stuck = std::async(std::launch::async, [&] {
        std::uint32_t id = 0;
        const Status s = dev.getDeviceId(id);
        return std::make_pair(s, id);
    });
    while (rig->pendingRequests() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    rig->setDelay(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, 0);
    rig->setIgnoresCancel(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, false);
    auto waiting = std::async(std::launch::async, [&] {
        std::uint8_t caps[4] = {};
        return dev.sendRequest(QEL_REQ_GET_DEVICE_CAPABILITIES, nullptr, 0, caps, sizeof caps);
    });
    // Most likely queued behind the stuck request by now; either way it must
    // not wait for it.
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    dev.close(100);
    EXPECT_EQ(waiting.get(), QEL_E_DEVICE_NOT_OPEN);
    EXPECT_FALSE(dev.isOpen());
    std::uint8_t caps[4] = {};
    EXPECT_EQ(dev.sendRequest(QEL_REQ_GET_DEVICE_CAPABILITIES, nullptr, 0, caps, sizeof caps), QEL_E_DEVICE_NOT_OPEN);
    // Not waited for: its handle is still open.
    EXPECT_EQ(rig->pendingRequests(), 1u);
    EXPECT_EQ(rig->fileCount(), files + 2);  // with the control handle of openDevice
    ctx.drv().closeDriver();
    EXPECT_EQ(dev.openDevice(fw(), 1), QEL_OK);
    EXPECT_EQ(dev.sendRequest(QEL_REQ_GET_DEVICE_CAPABILITIES, nullptr, 0, caps, sizeof caps), QEL_OK);
    dev.closeDevice();

    const auto [status, id] = stuck.get();
    EXPECT_EQ(status, QEL_OK);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(rig->pendingRequests(), 0u);
    EXPECT_EQ(rig->fileCount(), files);
    EXPECT_EQ(rig->kernel().eventCount(), events);
}

// The AV/C thread's requests and the window thread's block reads run while
// another thread closes and reopens the handle (TSan). A request never goes
// to a handle already closed: it finds the device open or not open.
TEST_F(Transport, StressRequestsAndBlockReadsWhileTheHandleClosesAndReopens) {
    rig->setTraceEnabled(false);
    CQelDevice dev(ctx, fw(), kCompany);
    ASSERT_EQ(dev.openDevice(fw(), 1), QEL_OK);
    std::atomic<bool> stop{false};
    std::atomic<int> done{0}, closedHandle{0};
    const auto note = [&](Status s) {
        if (s == os::kErrorInvalidHandle) ++closedHandle;
        ++done;
    };
    std::thread requests([&] {
        while (!stop.load()) {
            std::uint8_t caps[4] = {};
            note(dev.sendRequest(QEL_REQ_GET_DEVICE_CAPABILITIES, nullptr, 0, caps, sizeof caps));
        }
    });
    std::thread reads([&] {
        std::uint8_t in[16] = {};
        os::putLe32(in, 0, 0x00100000);
        os::putLe32(in, 4, 0xFFC7);
        while (!stop.load()) {
            std::uint8_t out[8] = {};
            std::uint32_t got = 0;
            note(dev.asyncReadBlock(in, out, sizeof out, got));
        }
    });
    for (int round = 0; round < 1000; ++round) {
        dev.close();
        ASSERT_EQ(dev.openDevice(fw(), 1), QEL_OK);
        ctx.drv().closeDriver();  // openDevice's own open of the control handle
    }
    stop = true;
    requests.join();
    reads.join();
    EXPECT_GT(done.load(), 0);
    EXPECT_EQ(closedHandle.load(), 0);
}
