#pragma once
// One connected USB audio interface: the device handle with its overlapped
// requests under the request lock, USB Audio class feature-unit requests
// (volume, mute) with a cache of the last known values, the vendor requests of
// the firmware (balance, levels, device messages, input state, mode),
// descriptor reads, and a re-open that can wait for the device to come back
// after a re-enumeration.
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "device/DeviceProps.h"
#include "device/PnPNotificator.h"
#include "device/QelDevice.h"
#include "device/Status.h"
#include "device/UsbDriver.h"
#include "os/Os.h"

namespace qel {

// The control-transfer record of QEL_USB_REQ_CONTROL_TRANSFER.
struct QEL_USB_CONTROL_TRANSFER : QelRecord<2064> {
    static constexpr std::size_t kDataOffset = 16, kMaxData = 2048;
    static constexpr std::uint8_t kSet = 0, kGet = 1;
    static constexpr std::uint32_t kClass = 1, kVendor = 2;
    static constexpr std::uint32_t kDevice = 0, kInterface = 1;

    std::uint8_t direction() const { return bytes[0]; }
    std::uint32_t requestType() const { return word(1); }
    std::uint32_t recipient() const { return word(5); }
    std::uint8_t request() const { return bytes[9]; }
    std::uint16_t value() const { return os::getLe16(bytes, 10); }
    std::uint16_t index() const { return os::getLe16(bytes, 12); }
    std::uint16_t length() const { return os::getLe16(bytes, 14); }
    bool valid() const { return true; }

    // A get carries no data; a set carries `data` (at most 2048 bytes).
    static QEL_USB_CONTROL_TRANSFER make(std::uint8_t direction, std::uint32_t type, std::uint32_t recipient,
                                         std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                         std::uint16_t length, std::span<const std::uint8_t> data = {});
};

// The description of a USB device from its property record (bus kind 0).
DEVICE_PROPS usbDeviceProps(const QEL_USB_DEVICE_PROPERTIES& p, const os::Guid& guid, os::IOs& os);

// USB vendor requests of the firmware.
inline constexpr std::uint8_t QEL_USB_VENDOR_LEVELS = 0x81;
inline constexpr std::uint8_t QEL_USB_VENDOR_STATE = 0x82;
// Audio channels a level read can carry.
inline constexpr std::uint32_t QEL_USB_MAX_LEVEL_CHANNELS = 512;

class CQelUsbDevice : public CPnPNotifyHandler {
public:
    CQelUsbDevice(os::IOs& os, const os::Guid& interfaceGuid);
    ~CQelUsbDevice() override;
    CQelUsbDevice(const CQelUsbDevice&) = delete;
    CQelUsbDevice& operator=(const CQelUsbDevice&) = delete;

    // Sets the removal or arrival event for a broadcast naming this device's
    // path (compared ignoring case); only while both events exist.
    void onDeviceChange(std::uint32_t message, std::uint32_t eventCode,
                        std::span<const std::uint8_t> record) override;
    // Without a set the path is "\\.\" and the interface GUID in lower case;
    // with one, the interface `index` of the set (a description is required).
    virtual Status openUsbDevice(std::uint32_t index, os::DevInfoSet set, const DEVICE_PROPS* description);
    virtual void closeUsbDevice();
    // Closes the handle and opens the same path again, retrying every 100 ms
    // up to `limitMs`; with `wait` first waits for the removal and arrival
    // broadcasts (needs startPnPNotification).
    virtual Status reopenUsbDevice(bool wait, std::uint32_t limitMs);
    // 18-byte device descriptor; another length is QEL_E_BAD_LENGTH.
    virtual Status checkDeviceDescriptor(std::uint8_t (&buffer)[18]);
    virtual Status getStringDescriptor(void* buffer, std::uint32_t length, std::uint32_t& bytes, std::uint8_t index,
                                       std::uint16_t language);
    virtual Status getConfigurationDescriptor(void* buffer, std::uint32_t length, std::uint32_t& bytes,
                                              std::uint8_t index);
    virtual Status sendControlTransfer(const void* record, std::uint32_t recordLength, void* buffer,
                                       std::uint32_t bufferLength, std::uint32_t& bytes);
    virtual Status sendRequest806();
    // The transport: output zeroed, bytes 0, then the request on the device
    // handle under the request lock, waiting for its completion.
    virtual Status usbRequest(std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                              std::uint32_t outLength, std::uint32_t* bytes);
    virtual Status getDescriptor(void* buffer, std::uint32_t length, std::uint32_t& bytes, std::uint32_t kind,
                                 std::uint8_t type, std::uint8_t index, std::uint16_t language);

    // The removal and arrival events and the notificator for this device's
    // interface class; the device must be open. Stopped by closeUsbDevice.
    Status startPnPNotification();

    // ---- Feature units (channels 0..2; a failed request is QEL_E_FAILED)
    Status getMute(std::uint8_t unit, std::uint8_t channel, std::uint8_t& state);
    Status setMute(std::uint8_t unit, std::uint8_t channel, std::uint8_t state);
    Status getVolume(std::uint8_t unit, std::uint8_t channel, double& db);
    // Whole decibels toward zero, limited to -128..127.
    Status setVolume(std::uint8_t unit, std::uint8_t channel, double db);
    Status getBalance(std::uint8_t unit, std::uint8_t channel, std::int32_t& value);
    // Channel 1 or 2; the value truncated and limited to -128..127.
    Status setBalance(double value, std::uint8_t unit, std::uint8_t channel);

    // ---- Vendor requests of the firmware
    // The pending device message; 0 when there is none or the request fails.
    std::uint8_t readDeviceMessage();
    // Input 1 coaxial, 2 optical: lock flag and rate code.
    Status readInputState(std::uint32_t input, bool& locked, std::uint8_t& rateCode);
    // 1, 2 or 3; any other answer or a failure gives 0.
    std::uint32_t readMode();
    // Modes 0..3; another value fails with nothing sent.
    Status setMode(std::uint32_t mode);
    // One unsigned 32-bit level per audio channel as percent of full scale.
    // A short answer is QEL_E_BAD_LENGTH.
    Status readLevels(std::uint32_t channels, std::vector<double>& levels);
    // A string descriptor's text (UTF-16 narrowed, '?' above 0xFF); a
    // malformed descriptor (odd or wrong length, wrong type) is QEL_E_BAD_LENGTH.
    Status readString(std::uint8_t index, std::uint16_t language, std::string& text);

    bool isOpen() const;
    std::string devicePath() const;
    std::uint32_t interfaceIndex() const { return index_; }
    const os::Guid& interfaceGuid() const { return guid_; }
    const os::Guid& notificationGuid() const { return notifyGuid_; }
    CPnPNotificator& notificator() { return notificator_; }
    // The cache entry, or null when the unit was never used.
    const FB_PARAMS* featureUnit(std::uint8_t unit) const;

private:
    Status transfer(std::uint8_t direction, std::uint32_t type, std::uint32_t recipient, std::uint8_t request,
                    std::uint16_t value, std::uint16_t index, std::span<std::uint8_t> data, std::uint32_t& bytes);
    // A get that must answer exactly data.size() bytes, else QEL_E_FAILED.
    Status getExact(std::uint32_t type, std::uint32_t recipient, std::uint8_t request, std::uint16_t value,
                    std::uint16_t index, std::span<std::uint8_t> data);
    Status set(std::uint32_t type, std::uint32_t recipient, std::uint8_t request, std::uint16_t value,
               std::uint16_t index, std::span<const std::uint8_t> data);
    FB_PARAMS& cacheEntry(std::uint8_t unit) { return cache_[unit]; }
    void closeEvents();

    os::IOs& os_;
    std::map<std::uint8_t, FB_PARAMS> cache_;
    os::Guid guid_;
    os::Handle device_ = nullptr;
    std::uint32_t index_ = 0;
    os::Overlapped overlapped_;
    os::Handle requestEvent_ = nullptr;
    mutable std::mutex requestLock_;
    os::Guid notifyGuid_;
    // Path and plug-and-play events, read by the notificator's thread.
    mutable std::mutex stateLock_;
    std::string path_;
    os::Handle removalEvent_ = nullptr;
    os::Handle arrivalEvent_ = nullptr;
    CPnPNotificator notificator_;
};

}  // namespace qel
