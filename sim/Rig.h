#pragma once
// The simulated rig: the FireWire (and later USB) kernel driver and the firmware
// of each simulated device, behind the platform calls of os/sim. Requests are
// checked against their exact sizes, records are encoded byte by byte, and every
// request is traced. Faults and physical events are injected through the
// methods under "Injection".
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "os/Bytes.h"
#include "os/Guid.h"
#include "sim/ControlPanelState.h"
#include "sim/Kernel.h"

namespace qel::sim {

struct UsbDeviceModel;
struct UsbState;

enum class Bus { FireWire, Usb };

// The control endpoint's GUID of the simulated FireWire driver.
os::Guid fireWireGuid();
os::Guid usbGuid();

struct SyncModeEntry {
    std::uint32_t mode = 0;
    std::uint32_t code = 0;
    std::string name;
};

// Answer of a request as the substitute driver gives it.
struct Reply {
    std::uint32_t status = 0;
    std::uint32_t bytes = 0;  // bytes written to the output buffer
};

// Device-level requests that the driver passes to the device's firmware (AV/C
// transactions, notify responses, memory reads). Installed per device.
class Firmware {
public:
    virtual ~Firmware() = default;
    // Return nullopt for a request the firmware does not handle.
    virtual std::optional<Reply> request(std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) = 0;

    // ---- AV/C unit (sim/RigAvc.cpp carries the frames to and from it)
    virtual bool hasAvc() const { return false; }
    // The response frame to a command frame sent on the device handle `origin`.
    virtual std::vector<std::uint8_t> avcCommand(std::uint32_t /*origin*/, os::ConstByteSpan /*frame*/) { return {}; }
    struct NotifyResponse {
        std::uint32_t origin = 0;  // the device handle that armed the NOTIFY
        std::vector<std::uint8_t> frame;
    };
    // Final responses of NOTIFYs completed since the last call.
    virtual std::vector<NotifyResponse> takeNotifyResponses() { return {}; }
    // Forgets the NOTIFYs armed from a handle (closed or cancelled).
    virtual void cancelNotifies(std::uint32_t /*origin*/) {}
    // The device left the bus: every NOTIFY ends.
    virtual void busReset() {}
};

struct FwDeviceModel {
    std::uint32_t id = 0;
    std::uint32_t rank = 0;
    std::string deviceName;
    std::string serial;
    std::string vendor;
    std::string model;
    std::string extra;
    std::uint32_t capabilities = 0x8;
    std::vector<SyncModeEntry> syncModes;
    std::size_t currentSyncMode = 0;
    std::shared_ptr<Firmware> firmware;
};

class Rig {
public:
    Rig();
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // The compiled-in rig: the models of the shipped configuration.
    static std::unique_ptr<Rig> makeDefault();

    // ---- Topology
    void addFwDevice(FwDeviceModel model, bool plugged = true);
    bool plug(std::uint32_t deviceId);    // false for an unknown or present device
    bool unplug(std::uint32_t deviceId);  // false for an unknown or absent device
    std::vector<std::uint32_t> presentFwDevices() const;
    std::optional<std::uint32_t> findDevice(const std::string& nameOrId) const;
    // Runs `fn` on a device's model under the rig lock (tests and sim commands).
    bool withFwDevice(std::uint32_t deviceId, const std::function<void(FwDeviceModel&)>& fn);

    // ---- USB devices (sim/UsbDriver.cpp)
    void addUsbDevice(UsbDeviceModel model, bool plugged = true);
    bool withUsbDevice(std::uint32_t deviceId, const std::function<void(UsbDeviceModel&)>& fn);
    std::vector<std::uint32_t> presentUsbDevices() const;
    // By identifier, display name or look-up name.
    std::optional<std::uint32_t> findUsbDevice(const std::string& nameOrId) const;
    // The device leaves the bus (removal notification) or comes back under
    // the same path (arrival notification); false when nothing changes.
    bool usbRemove(std::uint32_t deviceId);
    bool usbArrive(std::uint32_t deviceId);
    // Removal now, arrival after `ms`: at once on this thread when `wait`,
    // else on a rig thread (joined by joinUsbArrivals and the destructor).
    bool reenumerate(std::uint32_t deviceId, std::uint32_t ms, bool wait);
    void joinUsbArrivals();
    std::uint32_t usbCurrentRate() const;
    std::array<std::uint32_t, 3> usbSyncSettings() const;
    static std::string usbDevicePath(std::uint32_t deviceId);

    // ---- Driver-wide state
    struct SampleRates {
        std::uint32_t word0 = 0;
        std::uint32_t current = 48000;
        std::vector<std::uint32_t> possible;
    };
    void setSampleRates(SampleRates rates);
    SampleRates sampleRates() const;
    std::array<std::uint32_t, 3> syncSettings() const;
    std::uint32_t syncParameter() const;
    int syncChangeDepth() const;  // begin minus end requests seen

    // ---- Injection
    void queueDriverEvent(std::uint32_t code);
    // After `skip` more requests with this code (either bus) pass, the next
    // `count` fail with `status`.
    void failNext(std::uint32_t code, std::uint32_t count, std::uint32_t status, std::uint32_t skip = 0);
    // The version request answers with these bytes (cut or zero-padded to 12).
    void setVersionAnswer(const std::vector<std::uint8_t>& bytes);
    // Requests with this code (0: every request) take `ms` before they complete.
    void setDelay(std::uint32_t code, std::uint32_t ms);
    // Delayed requests with this code (0: every request) issued from now on
    // ignore a cancel and the close of their handle, like a driver whose
    // request is not cancelable: each completes only when its delay ends.
    void setIgnoresCancel(std::uint32_t code, bool ignores);
    // Ends every injected request fault (failures, answers, delays, ignored
    // cancels) and firmware fault (a pending AV/C reply code, HSCI faults):
    // the rig answers as the healthy driver and devices do. Requests already
    // pending keep what they were given.
    void clearFaults();
    // Requests not yet completed: overlapped ones (delayed or waiting for a
    // cancel) and synchronous ones still in their delay.
    std::size_t pendingRequests() const;
    // The next request with this code answers with these bytes instead
    // (status 0; cut to the output buffer): short and malformed answers.
    void answerNext(std::uint32_t code, std::vector<std::uint8_t> bytes);
    // A NOTIFY final response of exactly these bytes is queued on every
    // handle of the device that registered a notify event (sim/RigEvents.cpp);
    // the number of handles reached.
    std::size_t injectNotifyResponse(std::uint32_t deviceId, const std::vector<std::uint8_t>& frame);
    // The set-sample-rate request fails with 0xE0000047 while this is set.
    void setWdmInUse(bool inUse);

    // ---- Control panel settings (sim/ControlPanelDriver.cpp)
    // Runs `fn` on the driver's control-panel settings under the rig lock.
    void withControlPanel(const std::function<void(ControlPanelState&)>& fn);

    // ---- Trace
    std::vector<std::string> takeTrace();
    void setTraceEnabled(bool on);
    bool traceEnabled() const;

    // ---- Calls of the simulated platform (os/sim)
    Kernel& kernel() { return kernel_; }
    std::uint32_t openDevInfoSet(const os::Guid& guid);  // 0 when the class is unknown
    bool closeDevInfoSet(std::uint32_t set);
    std::uint32_t enumInterface(std::uint32_t set, std::uint32_t index, std::string& path);
    std::uint32_t openPath(const std::string& path, std::uint32_t& error);
    bool closeFile(std::uint32_t file);
    std::uint32_t ioctl(std::uint32_t file, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out,
                        std::uint32_t* bytesReturned);
    // Overlapped: 997 with `opId` naming the pending request, or its final status
    // with `bytesNow` when it completed at once.
    std::uint32_t ioctlOverlapped(std::uint32_t file, std::uint32_t code, os::ConstByteSpan in,
                                  os::ByteSpan out, std::uint32_t eventId, std::uint64_t& opId,
                                  std::uint32_t& bytesNow);
    std::uint32_t overlappedResult(std::uint64_t opId, std::uint32_t* bytesReturned, bool wait);
    std::uint32_t cancelIo(std::uint32_t file);
    using DeviceChangeCallback = std::function<void(std::uint32_t eventCode, const std::string& path)>;
    std::uint32_t registerNotification(const os::Guid& guid, DeviceChangeCallback cb);
    bool unregisterNotification(std::uint32_t id);
    std::size_t notificationCount() const;  // device-change registrations
    bool isFile(std::uint32_t id) const;
    std::size_t fileCount() const;  // handles open on the drivers

    static std::string fwDevicePath(std::uint32_t deviceId);

private:
    struct FwDevice {
        FwDeviceModel model;
        bool present = false;
        std::uint32_t generation = 0;  // bumped by every plug; stale handles fail
    };
    struct File {
        Bus bus = Bus::FireWire;
        bool control = true;
        std::uint32_t deviceId = 0;
        std::uint32_t generation = 0;
        std::uint32_t registeredEvent = 0;   // QEL_REQ_REGISTER_EVENT
        std::deque<std::uint32_t> events;    // queued driver event codes
        std::uint32_t notifyEvent = 0;       // QEL_REQ_REGISTER_NOTIFY_EVENT
        std::deque<std::vector<std::uint8_t>> notifyResponses;  // NOTIFY final responses
    };
    struct PendingOp {
        std::uint32_t file = 0;
        std::uint32_t code = 0;
        std::vector<std::uint8_t> in;
        os::ByteSpan out;
        std::uint32_t eventId = 0;
        std::chrono::steady_clock::time_point due;
        bool done = false;
        bool ignoresCancel = false;
        Reply reply;
    };

    std::vector<std::string> usbPaths() const;
    bool openUsbPath(const std::string& lowerPath, File& f, std::uint32_t& error);
    Reply usbRequest(File& f, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out);
    Reply dispatch(std::uint32_t fileId, File& f, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out);
    Reply controlRequest(File& f, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out);
    // The control panel's own requests; nullopt for any other code.
    std::optional<Reply> controlPanelRequest(std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out);
    Reply deviceRequest(FwDevice& d, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out);
    // AV/C transactions and NOTIFY delivery on a device handle (sim/RigAvc.cpp).
    static bool isAvcRequest(std::uint32_t code);
    Reply avcRequest(std::uint32_t fileId, File& f, FwDevice& d, std::uint32_t code, os::ConstByteSpan in,
                     os::ByteSpan out);
    // Hands the device's completed NOTIFYs to the handles that armed them.
    void deliverNotifies(std::uint32_t deviceId);
    Reply process(std::uint32_t fileId, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out);
    void trace(const File& f, std::uint32_t code, os::ConstByteSpan in, os::ConstByteSpan out,
               const Reply& r);
    std::uint32_t delayFor(std::uint32_t code) const;
    bool ignoresCancel(std::uint32_t code) const;
    // Ends the pending requests of a handle as aborted, but those that ignore it.
    void abortOps(std::uint32_t file);
    FwDevice* fwDevice(std::uint32_t id);
    const FwDevice* fwDevice(std::uint32_t id) const;
    void encodeProperties(const FwDeviceModel& m, os::ByteSpan out) const;
    void encodeSyncModes(const FwDeviceModel& m, os::ByteSpan out) const;
    void completeOp(PendingOp& op, Reply r);
    void workerLoop();
    void notify(const os::Guid& guid, std::uint32_t code, const std::string& path);

    Kernel kernel_;
    mutable std::mutex mutex_;
    std::condition_variable opsChanged_;
    std::map<std::uint32_t, FwDevice> fw_;
    std::vector<std::uint32_t> fwOrder_;  // the driver's device order
    std::map<std::uint32_t, File> files_;
    std::map<std::uint32_t, std::vector<std::string>> devSets_;
    std::map<std::uint64_t, PendingOp> ops_;
    std::uint64_t nextOp_ = 1;
    struct Notification {
        os::Guid guid;
        DeviceChangeCallback cb;
    };
    std::map<std::uint32_t, Notification> notifications_;

    std::array<std::uint8_t, 12> version_{2, 14, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    std::array<std::uint32_t, 3> syncSettings_{0, 0, 0};
    std::uint32_t syncParameter_ = 1;
    SampleRates rates_;
    int syncChangeDepth_ = 0;
    bool wdmInUse_ = false;
    ControlPanelState cpl_;
    struct Failure {
        std::uint32_t skip = 0;
        std::uint32_t count = 0;
        std::uint32_t status = 0;
    };
    std::map<std::uint32_t, Failure> failures_;  // by function bits
    std::map<std::uint32_t, std::vector<std::uint8_t>> answers_;  // by function bits
    std::map<std::uint32_t, std::uint32_t> delays_;  // by function bits; 0 = all
    std::set<std::uint32_t> ignoresCancel_;          // by function bits; 0 = all
    std::size_t syncDelayed_ = 0;  // synchronous requests in their delay
    bool traceEnabled_ = true;
    std::vector<std::string> trace_;

    std::unique_ptr<UsbState> usb_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace qel::sim
