// The USB path on the rig's USB model: driver object, device transport,
// feature units and vendor requests (exact control-transfer bytes in the
// trace), descriptors, re-open with and without waiting, plug-and-play
// notification, and the Device adapter's USB branch.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cmath>
#include <thread>

#include "device/Device.h"
#include "device/PnPNotificator.h"
#include "device/QelUsbDevice.h"
#include "device/tests/SimFixture.h"
#include "sim/Requests.h"
#include "sim/UsbDevice.h"

using namespace qel;
using qel::test::SimFixture;

namespace {
constexpr std::uint32_t kUsbId = 0x10;
const std::string kCt = "usb:16 QEL_USB_REQ_CONTROL_TRANSFER ";
// Header of a control transfer: direction, type, recipient, code, value, index, length.
std::string classSet(const std::string& valueIndexLengthData) { return kCt + "ok in=00010000000100000001" + valueIndexLengthData + " out=-"; }
std::string vendorSet(const std::string& valueIndexLengthData) { return kCt + "ok in=00020000000000000082" + valueIndexLengthData + " out=-"; }

std::vector<std::string> names(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.substr(0, l.find(' ', l.find(' ') + 1)));
    return out;
}

class CountingHandler : public CPnPNotifyHandler {
public:
    void onDeviceChange(std::uint32_t, std::uint32_t, std::span<const std::uint8_t>) override { ++calls; }
    std::atomic<int> calls{0};
};
}  // namespace

class Usb : public SimFixture {
protected:
    os::Guid usb() const { return sim::usbGuid(); }
    // The device opened from an enumeration set, trace emptied.
    std::unique_ptr<CQelUsbDevice> openDevice() {
        auto d = std::make_unique<CQelUsbDevice>(os, usb());
        DEVICE_PROPS props;
        props.interfaceGuid = usb();
        os::DevInfoSet set = os.getClassDevs(usb());
        EXPECT_EQ(d->openUsbDevice(0, set, &props), QEL_OK);
        os.destroyDevInfoSet(set);
        trace();
        return d;
    }
    std::unique_ptr<Device> adapter() {
        CUsbDriver& drv = ctx.usbDrv();
        EXPECT_EQ(drv.openDriver(usb()), QEL_OK);
        EXPECT_EQ(drv.refreshDeviceProperties(), QEL_OK);
        EXPECT_EQ(drv.deviceProperties().size(), 1u);
        DEVICE_PROPS props = usbDeviceProps(drv.deviceProperties().at(0), usb(), os);
        drv.closeDriver();
        trace();
        return std::make_unique<Device>(ctx, props, std::make_unique<CQelUsbDevice>(os, usb()));
    }
    sim::UsbDeviceModel model() {
        sim::UsbDeviceModel copy;
        rig->withUsbDevice(kUsbId, [&](sim::UsbDeviceModel& m) { copy = m; });
        return copy;
    }
};

// ---------------------------------------------------------------- driver object

TEST_F(Usb, DriverVersionIgnoresByteOneButNeedsMajorTwo) {
    rig->setVersionAnswer({2, 13});
    EXPECT_EQ(ctx.usbDrv().openDriver(usb()), QEL_OK);
    EXPECT_EQ(ctx.drv().openDriver(fw()), QEL_E_VERSION_MISMATCH);
    ctx.usbDrv().closeDriver();
    rig->setVersionAnswer({3, 14});
    EXPECT_EQ(ctx.usbDrv().openDriver(usb()), QEL_E_VERSION_MISMATCH);
    EXPECT_FALSE(ctx.usbDrv().isOpen());
    EXPECT_EQ(trace(), (std::vector<std::string>{
                           "usb QEL_REQ_GET_DRIVER_VERSION ok in=- out=020d00000000000000000000",
                           "fw QEL_REQ_GET_DRIVER_VERSION ok in=- out=020d00000000000000000000",
                           "usb QEL_REQ_GET_DRIVER_VERSION ok in=- out=030e00000000000000000000"}));
}

TEST_F(Usb, RefreshReportsEmptyListAndTheLastItemsStatus) {
    CUsbDriver& drv = ctx.usbDrv();
    ASSERT_EQ(drv.openDriver(usb()), QEL_OK);
    sim::UsbDeviceModel second = model();
    second.id = 0x11;
    second.displayName = "Second";
    rig->addUsbDevice(second);
    // The first item fails, the last succeeds: the USB rule reports success.
    rig->failNext(sim::usbCode(sim::req::kGetDeviceProperties), 1, 31);
    EXPECT_EQ(drv.refreshDeviceProperties(), QEL_OK);
    ASSERT_EQ(drv.deviceProperties().size(), 1u);
    EXPECT_EQ(drv.deviceProperties()[0].deviceId(), 0x11u);
    // The last item fails: its status.
    rig->failNext(sim::usbCode(sim::req::kGetDeviceProperties), 1, 31, 1);
    EXPECT_EQ(drv.refreshDeviceProperties(), 31u);
    EXPECT_EQ(drv.deviceProperties().size(), 1u);
    rig->usbRemove(0x10);
    rig->usbRemove(0x11);
    EXPECT_EQ(drv.refreshDeviceProperties(), QEL_E_NO_DEVICES);
    EXPECT_TRUE(drv.deviceProperties().empty());
}

TEST_F(Usb, PropertyRecordFillsTheDescription) {
    auto d = adapter();
    const DEVICE_PROPS& p = d->props();
    EXPECT_EQ(p.busKind, 0u);
    EXPECT_EQ(p.deviceId, kUsbId);
    EXPECT_EQ(p.word2, 0x3C5Au);
    EXPECT_EQ(p.vendorName, "Kavro");
    EXPECT_EQ(p.modelName, "Kavro U410");
    EXPECT_EQ(p.displayName, "Desk U410");
    EXPECT_EQ(p.lookupName, "KU410-000815");
    EXPECT_EQ(p.fullName, "USB 2.0 High Speed");
    EXPECT_EQ(p.furtherText, "FW 1.07");
}

// ---------------------------------------------------------------- open and transport

TEST_F(Usb, OpenRulesAndTransport) {
    CQelUsbDevice d(os, usb());
    std::uint8_t desc[18];
    EXPECT_EQ(d.checkDeviceDescriptor(desc), QEL_E_NOT_OPEN);
    os::DevInfoSet set = os.getClassDevs(usb());
    EXPECT_EQ(d.openUsbDevice(0, set, nullptr), QEL_E_BAD_CALL);
    DEVICE_PROPS props;
    props.interfaceGuid = usb();
    EXPECT_EQ(d.openUsbDevice(1, set, &props), QEL_E_NO_MORE_INTERFACES);
    EXPECT_EQ(d.devicePath(), "");
    ASSERT_EQ(d.openUsbDevice(0, set, &props), QEL_OK);
    EXPECT_EQ(d.devicePath(), sim::Rig::usbDevicePath(kUsbId));
    // A second open keeps the first handle.
    EXPECT_EQ(d.openUsbDevice(0, set, &props), QEL_E_ALREADY_OPEN);
    os.destroyDevInfoSet(set);
    EXPECT_EQ(d.checkDeviceDescriptor(desc), QEL_OK);
    EXPECT_EQ(desc[0], 18);
    EXPECT_EQ(d.sendRequest806(), QEL_OK);
    EXPECT_EQ(trace(), (std::vector<std::string>{
                           "usb:16 QEL_USB_REQ_GET_DESCRIPTOR ok in=0000000001000000 out=12010002ef020140" "5a3c100407010102" "0301",
                           "usb:16 QEL_USB_REQ_806 ok in=- out=-"}));
    d.closeUsbDevice();
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(d.devicePath(), "");
    EXPECT_EQ(d.sendRequest806(), QEL_E_NOT_OPEN);
    EXPECT_TRUE(trace().empty());

    // Without a set: the lower-case GUID path, which the driver serves.
    ASSERT_EQ(d.openUsbDevice(0, nullptr, nullptr), QEL_OK);
    EXPECT_EQ(d.devicePath(), "\\\\.\\" + usb().lowerText());
    EXPECT_EQ(d.checkDeviceDescriptor(desc), QEL_OK);
    EXPECT_EQ(names(trace()), std::vector<std::string>{"usb QEL_USB_REQ_GET_DESCRIPTOR"});
}

TEST_F(Usb, OpenOfAnAbsentPathIsDeviceNotFound) {
    os::DevInfoSet set = os.getClassDevs(usb());
    rig->usbRemove(kUsbId);
    CQelUsbDevice d(os, usb());
    DEVICE_PROPS props;
    EXPECT_EQ(d.openUsbDevice(0, set, &props), QEL_E_DEVICE_NOT_FOUND);
    EXPECT_EQ(d.devicePath(), "");
    os.destroyDevInfoSet(set);
}

TEST_F(Usb, DescriptorsOfWrongLengthAreRefused) {
    auto d = openDevice();
    std::uint8_t desc[18];
    rig->withUsbDevice(kUsbId, [](sim::UsbDeviceModel& m) { m.nextDescriptor = std::vector<std::uint8_t>(9, 1); });
    EXPECT_EQ(d->checkDeviceDescriptor(desc), QEL_E_BAD_LENGTH);
    std::string text;
    ASSERT_EQ(d->readString(2, 0x0409, text), QEL_OK);
    EXPECT_EQ(text, "Kavro U410");
    // Odd length, a length byte beyond the answer, another descriptor type.
    for (const auto& bad : {std::vector<std::uint8_t>{5, 3, 'K', 0, 'a'}, std::vector<std::uint8_t>{40, 3, 'K', 0},
                            std::vector<std::uint8_t>{4, 2, 'K', 0}}) {
        rig->withUsbDevice(kUsbId, [&](sim::UsbDeviceModel& m) { m.nextDescriptor = bad; });
        text = "unchanged";
        EXPECT_EQ(d->readString(2, 0x0409, text), QEL_E_BAD_LENGTH);
        EXPECT_EQ(text, "unchanged");
    }
    EXPECT_EQ(d->readString(9, 0x0409, text), 31u);  // no such string: the device stalls
    std::uint8_t config[64];
    std::uint32_t bytes = 0;
    EXPECT_EQ(d->getConfigurationDescriptor(config, sizeof config, bytes, 0), QEL_OK);
    EXPECT_EQ(bytes, 18u);
}

TEST_F(Usb, RigChecksControlTransferSizes) {
    auto d = openDevice();
    const auto get = QEL_USB_CONTROL_TRANSFER::make(1, 2, 0, 0x82, 7, 0, 1);
    std::uint8_t out[2] = {};
    std::uint32_t bytes = 0;
    EXPECT_EQ(d->sendControlTransfer(get.data(), 2063, out, 1, bytes), os::kErrorInvalidParameter);
    EXPECT_EQ(d->sendControlTransfer(get.data(), get.size(), out, 2, bytes), os::kErrorInvalidParameter);
    EXPECT_EQ(d->sendControlTransfer(get.data(), get.size(), out, 1, bytes), QEL_OK);
    EXPECT_EQ(bytes, 1u);
}

// ---------------------------------------------------------------- feature units

TEST_F(Usb, VolumeIsSentInWholeDecibelsAndCached) {
    auto d = openDevice();
    EXPECT_EQ(d->setVolume(3, 0, -12.7), QEL_OK);
    EXPECT_EQ(d->setVolume(3, 0, -12.2), QEL_OK);  // same encoding: not sent
    EXPECT_EQ(d->setVolume(3, 1, 6.9), QEL_OK);
    EXPECT_EQ(d->setVolume(3, 2, -300), QEL_OK);  // limited, not wrapped to +44
    EXPECT_EQ(trace(), (std::vector<std::string>{classSet("0002" "0003" "0200" "00f4"),
                                                 classSet("0102" "0003" "0200" "0006"),
                                                 classSet("0202" "0003" "0200" "0080")}));
    double db = 0;
    ASSERT_EQ(d->getVolume(3, 0, db), QEL_OK);
    EXPECT_EQ(db, -12.0);
    EXPECT_EQ(d->featureUnit(3)->volume[0], 0xF400);
    EXPECT_EQ(d->setVolume(3, 3, -1), QEL_E_FAILED);
    EXPECT_EQ(d->setVolume(3, 0, std::nan("")), QEL_E_FAILED);
    // A unit the device does not have: the request fails, the cache keeps unknown.
    EXPECT_EQ(d->setVolume(9, 0, -3), QEL_E_FAILED);
    EXPECT_EQ(d->featureUnit(9)->volume[0], -1);
}

TEST_F(Usb, MuteReadsBackAndSkipsTheCachedState) {
    auto d = openDevice();
    EXPECT_EQ(d->setMute(1, 1, 0), QEL_OK);  // the state is unknown at first: sent
    EXPECT_EQ(d->setMute(1, 1, 0), QEL_OK);  // known now: skipped
    EXPECT_EQ(d->setMute(1, 1, 1), QEL_OK);
    std::uint8_t state = 0;
    ASSERT_EQ(d->getMute(1, 1, state), QEL_OK);
    EXPECT_EQ(state, 1);
    const auto t = trace();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0], classSet("0101" "0001" "0100" "00"));
    EXPECT_EQ(t[1], classSet("0101" "0001" "0100" "01"));
    EXPECT_EQ(t[2], kCt + "ok in=01010000000100000001010100010100 out=01");
}

TEST_F(Usb, BalanceGoesThroughVendorRequestOnValueFiveAndSix) {
    auto d = openDevice();
    EXPECT_EQ(d->setBalance(-10.6, 3, 1), QEL_OK);
    EXPECT_EQ(d->setBalance(127, 3, 2), QEL_OK);
    EXPECT_EQ(d->setBalance(5, 3, 3), QEL_E_FAILED);
    EXPECT_EQ(d->setBalance(5, 3, 0), QEL_E_FAILED);
    EXPECT_EQ(trace(), (std::vector<std::string>{vendorSet("0500" "0300" "0200" "00f6"),
                                                 vendorSet("0600" "0300" "0200" "007f")}));
    std::int32_t v = 0;
    ASSERT_EQ(d->getBalance(3, 1, v), QEL_OK);
    EXPECT_EQ(v, -10);
    ASSERT_EQ(d->getBalance(3, 2, v), QEL_OK);
    EXPECT_EQ(v, 127);
}

// ---------------------------------------------------------------- vendor requests

TEST_F(Usb, LevelsMessagesInputsAndMode) {
    auto d = openDevice();
    std::vector<double> levels;
    ASSERT_EQ(d->readLevels(8, levels), QEL_OK);
    ASSERT_EQ(levels.size(), 8u);
    EXPECT_NEAR(levels[0], 50.0, 1e-6);
    EXPECT_EQ(levels[4], 0.0);
    EXPECT_EQ(levels[6], 100.0);
    EXPECT_EQ(trace()[0], kCt + "ok in=01020000000000000081000000002000 out=" + std::string(
        "00000040000000200000001000000008" "0000000000000000ffffff7fffffff7f"));
    // A short answer: a status, the old levels stay.
    rig->answerNext(sim::req::kUsbControlTransfer, std::vector<std::uint8_t>(12, 0xFF));
    EXPECT_EQ(d->readLevels(8, levels), QEL_E_BAD_LENGTH);
    EXPECT_NEAR(levels[0], 50.0, 1e-6);
    EXPECT_EQ(d->readLevels(0, levels), QEL_E_BAD_CALL);
    EXPECT_EQ(d->readLevels(100000, levels), QEL_E_BAD_CALL);

    EXPECT_EQ(d->readDeviceMessage(), 0);
    rig->withUsbDevice(kUsbId, [](sim::UsbDeviceModel& m) { m.messages = {6, 3}; });
    rig->failNext(sim::req::kUsbControlTransfer, 1, 31);
    EXPECT_EQ(d->readDeviceMessage(), 0);  // failed poll
    EXPECT_EQ(d->readDeviceMessage(), 6);
    EXPECT_EQ(d->readDeviceMessage(), 3);

    bool locked = false;
    std::uint8_t rate = 0;
    ASSERT_EQ(d->readInputState(1, locked, rate), QEL_OK);
    EXPECT_TRUE(locked);
    EXPECT_EQ(rate, 4);
    ASSERT_EQ(d->readInputState(2, locked, rate), QEL_OK);
    EXPECT_FALSE(locked);
    EXPECT_EQ(d->readInputState(3, locked, rate), QEL_E_FAILED);

    EXPECT_EQ(d->readMode(), 1u);
    trace();
    EXPECT_EQ(d->setMode(3), QEL_OK);
    EXPECT_EQ(d->setMode(4), QEL_E_FAILED);
    EXPECT_EQ(trace(), std::vector<std::string>{vendorSet("0000" "0300" "0000")});
    EXPECT_EQ(d->readMode(), 3u);
    rig->withUsbDevice(kUsbId, [](sim::UsbDeviceModel& m) { m.mode = 7; });
    EXPECT_EQ(d->readMode(), 0u);
}

// ---------------------------------------------------------------- re-open and plug and play

TEST_F(Usb, ReopenWithoutWaitingRetriesUntilTheLimit) {
    auto d = openDevice();
    EXPECT_EQ(d->reopenUsbDevice(false, 0), QEL_OK);
    EXPECT_EQ(d->sendRequest806(), QEL_OK);
    rig->usbRemove(kUsbId);
    EXPECT_EQ(d->sendRequest806(), os::kErrorDeviceNotConnected);
    EXPECT_EQ(d->reopenUsbDevice(false, 150), QEL_E_TIMEOUT);
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(d->reopenUsbDevice(false, 150), QEL_E_NOT_OPEN);
}

TEST_F(Usb, ReopenWithWaitingNeedsTheNotificator) {
    auto d = openDevice();
    EXPECT_EQ(d->reopenUsbDevice(true, 100), QEL_E_NO_PNP_EVENTS);
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(d->devicePath(), "");
}

TEST_F(Usb, ReopenWithWaitingFollowsAReenumeration) {
    auto d = openDevice();
    ASSERT_EQ(d->startPnPNotification(), QEL_OK);
    EXPECT_TRUE(d->notificator().isRunning());
    ASSERT_TRUE(rig->reenumerate(kUsbId, 50, /*wait=*/false));
    EXPECT_EQ(d->reopenUsbDevice(true, 2000), QEL_OK);
    rig->joinUsbArrivals();
    EXPECT_EQ(d->sendRequest806(), QEL_OK);
    d->closeUsbDevice();
    EXPECT_FALSE(d->notificator().isRunning());
    EXPECT_EQ(d->notificator().registrationCount(), 0u);
}

TEST_F(Usb, ReopenWithWaitingTimesOutWhenTheDeviceStaysAway) {
    auto d = openDevice();
    ASSERT_EQ(d->startPnPNotification(), QEL_OK);
    rig->usbRemove(kUsbId);
    EXPECT_EQ(d->reopenUsbDevice(true, 100), QEL_E_TIMEOUT);
    EXPECT_FALSE(d->isOpen());
    EXPECT_FALSE(d->notificator().isRunning());
}

TEST_F(Usb, BroadcastsForAnotherPathLeaveTheEventsAlone) {
    auto d = openDevice();
    ASSERT_EQ(d->startPnPNotification(), QEL_OK);
    const std::string other = sim::Rig::usbDevicePath(0x99);
    d->onDeviceChange(QEL_WM_DEVICECHANGE, os::kDeviceRemoveComplete, makeDeviceInterfaceRecord(usb(), other));
    d->onDeviceChange(QEL_WM_DEVICECHANGE, os::kDeviceArrival, makeDeviceInterfaceRecord(usb(), other));
    EXPECT_EQ(d->reopenUsbDevice(true, 50), QEL_E_TIMEOUT);

    // The own path in other letter case is a match.
    d = openDevice();
    ASSERT_EQ(d->startPnPNotification(), QEL_OK);
    std::string upper = d->devicePath();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    d->onDeviceChange(QEL_WM_DEVICECHANGE, os::kDeviceRemoveComplete, makeDeviceInterfaceRecord(usb(), upper));
    d->onDeviceChange(QEL_WM_DEVICECHANGE, os::kDeviceArrival, makeDeviceInterfaceRecord(usb(), upper));
    EXPECT_EQ(d->reopenUsbDevice(true, 50), QEL_OK);
}

TEST_F(Usb, OverlongBroadcastNamesAreComparedWhole) {
    auto d = openDevice();
    ASSERT_EQ(d->startPnPNotification(), QEL_OK);
    // The own path followed by 1000 more characters: longer than any name
    // buffer, and no match.
    const std::string longer = d->devicePath() + std::string(1000, 'x');
    d->onDeviceChange(QEL_WM_DEVICECHANGE, os::kDeviceRemoveComplete, makeDeviceInterfaceRecord(usb(), longer));
    d->onDeviceChange(QEL_WM_DEVICECHANGE, os::kDeviceArrival, makeDeviceInterfaceRecord(usb(), longer));
    EXPECT_EQ(d->reopenUsbDevice(true, 50), QEL_E_TIMEOUT);
}

TEST_F(Usb, NotificatorRegistrations) {
    CountingHandler h;  // outlives the notificator's thread
    CPnPNotificator n(os);
    EXPECT_TRUE(n.stopNotificator());  // never ran
    EXPECT_FALSE(n.registerInterface(usb()));
    ASSERT_TRUE(n.startNotificator(&h));
    EXPECT_FALSE(n.startNotificator(&h));
    ASSERT_TRUE(n.registerInterface(usb()));
    ASSERT_TRUE(n.registerInterface(fw()));
    EXPECT_TRUE(n.unregisterInterface(*os::Guid::parse("{00000000-0000-0000-0000-000000000001}")));
    EXPECT_EQ(n.registrationCount(), 2u);
    EXPECT_TRUE(n.unregisterInterface(fw()));
    EXPECT_EQ(n.registrationCount(), 1u);
    rig->usbRemove(kUsbId);
    rig->unplug(1);  // FireWire: no longer registered
    EXPECT_EQ(h.calls, 1);
    EXPECT_TRUE(n.stopNotificator());
    EXPECT_EQ(n.registrationCount(), 0u);
    rig->usbArrive(kUsbId);
    EXPECT_EQ(h.calls, 1);
}

TEST_F(Usb, DeviceInterfaceRecordsAreReadWithinBounds) {
    std::vector<std::uint8_t> r = makeDeviceInterfaceRecord(usb(), "\\\\?\\usb#x");
    EXPECT_EQ(deviceInterfaceName(r), "\\\\?\\usb#x");
    // Size word beyond the bytes, or cut before the terminating zero.
    std::vector<std::uint8_t> cut(r.begin(), r.end() - 2);
    EXPECT_EQ(deviceInterfaceName(cut), "");
    os::putLe32(r, 0, 30);
    EXPECT_EQ(deviceInterfaceName(r), "");
    os::putLe32(r, 0, static_cast<std::uint32_t>(r.size()));
    os::putLe32(r, 4, 2);  // a volume, not an interface
    EXPECT_EQ(deviceInterfaceName(r), "");
    EXPECT_EQ(deviceInterfaceName(std::vector<std::uint8_t>(10, 0)), "");
}

// ---------------------------------------------------------------- the adapter

// The adapter opens the USB device of its look-up name, not whichever
// interface comes first; with no such device nothing is opened.
TEST_F(Usb, AdapterWithoutItsDeviceByNameOpensNothing) {
    auto d = adapter();
    rig->withUsbDevice(kUsbId, [](sim::UsbDeviceModel& m) { m.lookupName = "someone else"; });
    EXPECT_EQ(d->openMixerDevice(), QEL_E_FAILED);
    EXPECT_FALSE(d->usb()->isOpen());
    for (const std::string& line : trace()) EXPECT_EQ(line.rfind("usb:", 0), std::string::npos) << line;
    // Under its name again, it opens.
    rig->withUsbDevice(kUsbId, [&](sim::UsbDeviceModel& m) { m.lookupName = d->props().lookupName; });
    EXPECT_EQ(d->openMixerDevice(), QEL_OK);
    EXPECT_TRUE(d->usb()->isOpen());
}

TEST_F(Usb, AdapterOpensAndReadsTheSyncSource) {
    auto d = adapter();
    ASSERT_EQ(d->openMixerDevice(), QEL_OK);
    EXPECT_EQ(names(trace()),
              (std::vector<std::string>{"usb QEL_REQ_GET_DRIVER_VERSION", "usb QEL_REQ_GET_DEVICE_LIST",
                                        "usb QEL_REQ_GET_DEVICE_PROPERTIES", "usb QEL_REQ_GET_DEVICE_LIST",
                                        "usb QEL_REQ_GET_SYNC_MODE_INFO"}));
    EXPECT_EQ(d->syncKind(), 0u);
    for (const auto& [index, kind] : std::vector<std::pair<std::size_t, std::uint32_t>>{{1, 1}, {2, 2}, {3, 3}, {4, 0}}) {
        rig->withUsbDevice(kUsbId, [&](sim::UsbDeviceModel& m) { m.currentSyncMode = index; });
        ASSERT_EQ(d->ReadSyncSource(), QEL_OK);
        EXPECT_EQ(d->syncKind(), kind) << index;
    }
    EXPECT_TRUE(d->RegisterBlockNotify(5, nullptr));
}

TEST_F(Usb, AdapterOpenFailsWithoutDevicesAndReconnectsInTwoSteps) {
    auto d = adapter();
    rig->usbRemove(kUsbId);
    // The driver opens but lists nothing: reported, not taken for success.
    EXPECT_EQ(d->openMixerDevice(), QEL_E_NO_DEVICES);
    EXPECT_FALSE(d->usb()->isOpen());
    ctx.usbDrv().closeDriver();
    rig->setVersionAnswer({1, 0});
    EXPECT_EQ(d->openMixerDevice(), QEL_E_VERSION_MISMATCH);
    rig->setVersionAnswer({2, 0});
    rig->usbArrive(kUsbId);
    ASSERT_EQ(d->openMixerDevice(), QEL_OK);
    ASSERT_TRUE(d->usb()->isOpen());
    rig->reenumerate(kUsbId, 0, /*wait=*/true);
    std::vector<double> levels;
    EXPECT_NE(d->readLevels(8, levels), QEL_OK);
    // The stale handle: the re-open cannot wait without notification and closes.
    EXPECT_EQ(d->openMixerDevice(), QEL_E_FAILED);
    EXPECT_FALSE(d->usb()->isOpen());
    ASSERT_EQ(d->openMixerDevice(), QEL_OK);
    EXPECT_EQ(d->readLevels(8, levels), QEL_OK);
}

TEST_F(Usb, AdapterPanWritesChannelTwoFirst) {
    auto d = adapter();
    ASSERT_EQ(d->openMixerDevice(), QEL_OK);
    trace();
    ASSERT_EQ(d->setPan(127, 3), QEL_OK);
    EXPECT_EQ(trace(), (std::vector<std::string>{
                           kCt + "ok in=01010000000100000001000200030200 out=00f6",
                           classSet("0202" "0003" "0200" "00f6"), classSet("0102" "0003" "0200" "00c1")}));
    ASSERT_EQ(d->setPan(-127, 3), QEL_OK);  // channel 2 to -63, channel 1 back to the master
    const auto t = trace();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1], classSet("0202" "0003" "0200" "00c1"));
    EXPECT_EQ(t[2], classSet("0102" "0003" "0200" "00f6"));
}

TEST_F(Usb, AdapterPanReportsEitherFailedWrite) {
    auto d = adapter();
    ASSERT_EQ(d->openMixerDevice(), QEL_OK);
    // The channel 1 write (the third transfer) fails.
    rig->failNext(sim::req::kUsbControlTransfer, 1, 31, 2);
    EXPECT_EQ(d->setPan(64, 3), QEL_E_FAILED);
    // The master read fails: its status, nothing written.
    trace();
    rig->failNext(sim::req::kUsbControlTransfer, 1, 31);
    EXPECT_EQ(d->setPan(10, 4), QEL_E_FAILED);
    EXPECT_EQ(trace().size(), 1u);
}

TEST_F(Usb, AdapterMixerOperations) {
    auto d = adapter();
    ASSERT_EQ(d->openMixerDevice(), QEL_OK);
    trace();
    EXPECT_EQ(d->setChannelBalance(1, 2, 127), QEL_OK);
    EXPECT_EQ(d->setChannelBalance(3, 2, 1), QEL_E_FAILED);
    EXPECT_EQ(d->setVolume(5, -20), QEL_OK);
    EXPECT_EQ(trace(), (std::vector<std::string>{vendorSet("0500" "0200" "0200" "0081"),
                                                 classSet("0002" "0005" "0200" "00ec")}));
    EXPECT_EQ(d->setDeviceMode(2), QEL_OK);
    EXPECT_EQ(model().mode, 2);
    EXPECT_EQ(d->setDeviceMode(4), QEL_E_FAILED);
    std::uint32_t value = 0;
    EXPECT_EQ(d->ReadVendorValue(ctx.avc().deviceMode, value), QEL_OK);
    EXPECT_EQ(value, 2u);
    std::uint32_t detected = 0, code = 0;
    ASSERT_EQ(d->ReadDigitalInput(1, detected, code), QEL_OK);
    EXPECT_EQ(detected, 1u);
    EXPECT_EQ(code, 4u);
    EXPECT_EQ(d->ReadDigitalInput(5, detected, code), QEL_E_FAILED);
    EXPECT_EQ(code, 15u);
}

TEST_F(Usb, AdapterClockOperations) {
    auto d = adapter();
    ASSERT_EQ(d->openMixerDevice(), QEL_OK);
    trace();
    std::uint32_t hz = 0;
    ASSERT_EQ(d->GetCurrentRate(hz), QEL_OK);
    EXPECT_EQ(hz, 48000u);
    ASSERT_EQ(d->SetSampleRate(96000), QEL_OK);
    ASSERT_EQ(d->GetCurrentRate(hz), QEL_OK);  // asked anew
    EXPECT_EQ(hz, 96000u);
    EXPECT_EQ(names(trace()), (std::vector<std::string>{"usb QEL_REQ_GET_SAMPLE_RATE_INFO",
                                                        "usb QEL_REQ_SET_SAMPLE_RATE",
                                                        "usb QEL_REQ_GET_SAMPLE_RATE_INFO"}));
    ASSERT_EQ(d->ReadSampleRateInfo(), QEL_OK);
    EXPECT_EQ(d->possibleRates(), (std::vector<std::uint32_t>{44100, 48000, 88200, 96000}));
    trace();

    ASSERT_EQ(d->SetSyncSource(2), QEL_OK);
    EXPECT_EQ(model().currentSyncMode, 2u);
    const std::string mode = "usb QEL_REQ_SET_SYNC_MODE ok in=1000000005000000d6000000 out=-";
    EXPECT_EQ(trace(), (std::vector<std::string>{
                           mode, mode, "usb QEL_REQ_SET_SYNC_SETTINGS ok in=000000000000000000000000 out=-",
                           "usb QEL_REQ_SET_SYNC_PARAMETER ok in=0000000000000000 out=-", mode,
                           "usb QEL_REQ_END_SYNC_CHANGE ok in=- out=-"}));
    ASSERT_EQ(d->ReadSyncSource(), QEL_OK);
    EXPECT_EQ(d->syncKind(), 2u);
    ASSERT_EQ(d->SetSyncSource(7), QEL_OK);  // any other index: the device's clock
    EXPECT_EQ(model().currentSyncMode, 0u);
    rig->withUsbDevice(kUsbId, [](sim::UsbDeviceModel& m) { m.syncModes.pop_back(); });
    ctx.usbDrv().refreshSyncModes();
    EXPECT_EQ(d->SetSyncSource(4), QEL_E_FAILED);
    // The first write-back failing is returned.
    rig->failNext(sim::usbCode(sim::req::kSetSyncMode), 1, 87);
    EXPECT_EQ(d->SetSyncSource(1), 87u);
}

TEST_F(Usb, AdapterWithoutDeviceFails) {
    Device d(ctx, DEVICE_PROPS{}, std::unique_ptr<CQelUsbDevice>());
    EXPECT_EQ(d.openMixerDevice(), QEL_E_FAILED);
    std::vector<double> levels;
    EXPECT_EQ(d.readLevels(2, levels), QEL_E_FAILED);
    EXPECT_EQ(d.readDeviceMessage(), 0);
}
