#include "device/QelUsbDevice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "device/UsbDriver.h"

namespace qel {

namespace {
// USB Audio feature-unit controls.
constexpr std::uint8_t kCur = 1;
constexpr std::uint16_t kMuteControl = 0x0100;
constexpr std::uint16_t kVolumeControl = 0x0200;
// Vendor 0x82 values.
constexpr std::uint16_t kModeValue = 0;
constexpr std::uint16_t kBalanceLeft = 5, kBalanceRight = 6;
constexpr std::uint16_t kMessageValue = 7;
constexpr std::uint32_t kRetryMs = 100;

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        const auto lx = x >= 'A' && x <= 'Z' ? x + 32 : x, ly = y >= 'A' && y <= 'Z' ? y + 32 : y;
        if (lx != ly) return false;
    }
    return true;
}

// Whole units toward zero, limited to a signed byte; nullopt for NaN.
std::optional<std::int8_t> wholeByte(double v) {
    if (std::isnan(v)) return std::nullopt;
    const double t = std::trunc(std::clamp(v, -128.0, 127.0));
    return static_cast<std::int8_t>(t);
}

// The byte in the high half, 0 in the low half.
std::uint16_t highByte(std::int8_t v) { return static_cast<std::uint16_t>(static_cast<std::uint8_t>(v) << 8); }
}  // namespace

DEVICE_PROPS usbDeviceProps(const QEL_USB_DEVICE_PROPERTIES& p, const os::Guid& guid, os::IOs& os) {
    return DEVICE_PROPS::fromUsb(p, guid, os);
}

QEL_USB_CONTROL_TRANSFER QEL_USB_CONTROL_TRANSFER::make(std::uint8_t direction, std::uint32_t type,
                                                        std::uint32_t recipient, std::uint8_t request,
                                                        std::uint16_t value, std::uint16_t index,
                                                        std::uint16_t length, std::span<const std::uint8_t> data) {
    QEL_USB_CONTROL_TRANSFER r;
    r.bytes[0] = direction;
    r.setWord(1, type);
    r.setWord(5, recipient);
    r.bytes[9] = request;
    os::putLe16(r.bytes, 10, value);
    os::putLe16(r.bytes, 12, index);
    os::putLe16(r.bytes, 14, length);
    std::copy_n(data.begin(), std::min(data.size(), kMaxData), r.bytes.begin() + kDataOffset);
    return r;
}

CQelUsbDevice::CQelUsbDevice(os::IOs& os, const os::Guid& interfaceGuid)
    : os_(os), guid_(interfaceGuid), notificator_(os) {}

CQelUsbDevice::~CQelUsbDevice() {
    closeUsbDevice();
    notificator_.stopNotificator();
    cache_.clear();
}

bool CQelUsbDevice::isOpen() const {
    std::lock_guard lock(requestLock_);
    return device_ != nullptr;
}

std::string CQelUsbDevice::devicePath() const {
    std::lock_guard lock(stateLock_);
    return path_;
}

const FB_PARAMS* CQelUsbDevice::featureUnit(std::uint8_t unit) const {
    const auto it = cache_.find(unit);
    return it == cache_.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------- plug and play

void CQelUsbDevice::onDeviceChange(std::uint32_t, std::uint32_t eventCode, std::span<const std::uint8_t> record) {
    std::lock_guard lock(stateLock_);
    if (removalEvent_ == nullptr || arrivalEvent_ == nullptr) return;
    if (record.size() < 8 || os::getLe32(record, 4) != QEL_DBT_DEVTYP_DEVICEINTERFACE) return;
    const std::string name = deviceInterfaceName(record);
    if (name.empty() || !equalIgnoringCase(name, path_)) return;
    if (eventCode == os::kDeviceArrival) {
        os_.setEvent(arrivalEvent_);
    } else if (eventCode == os::kDeviceRemoveComplete) {
        os_.resetEvent(arrivalEvent_);
        os_.setEvent(removalEvent_);
    }
}

Status CQelUsbDevice::startPnPNotification() {
    if (!isOpen()) return QEL_E_NOT_OPEN;
    if (notificator_.isRunning()) return QEL_OK;
    {
        std::lock_guard lock(stateLock_);
        removalEvent_ = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
        arrivalEvent_ = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    }
    // The class of the device's interface when the open named none.
    const os::Guid guid = notifyGuid_.isNull() ? guid_ : notifyGuid_;
    if (removalEvent_ == nullptr || arrivalEvent_ == nullptr || !notificator_.startNotificator(this) ||
        !notificator_.registerInterface(guid)) {
        notificator_.stopNotificator();
        closeEvents();
        return QEL_E_FAILED;
    }
    return QEL_OK;
}

void CQelUsbDevice::closeEvents() {
    std::lock_guard lock(stateLock_);
    if (removalEvent_ != nullptr) os_.closeHandle(removalEvent_);
    if (arrivalEvent_ != nullptr) os_.closeHandle(arrivalEvent_);
    removalEvent_ = arrivalEvent_ = nullptr;
}

// ---------------------------------------------------------------- open and close

Status CQelUsbDevice::openUsbDevice(std::uint32_t index, os::DevInfoSet set, const DEVICE_PROPS* description) {
    if (isOpen()) return QEL_E_ALREADY_OPEN;
    std::string path;
    if (set == nullptr) {
        path = "\\\\.\\" + guid_.lowerText();
    } else {
        if (description == nullptr) return QEL_E_BAD_CALL;
        const std::uint32_t err = os_.enumInterface(set, guid_, index, path);
        if (err == os::kErrorNoMoreItems) return QEL_E_NO_MORE_INTERFACES;
        if (err != 0) return err;
    }
    std::uint32_t error = 0;
    os::Handle h = os_.openPath(path, /*overlapped=*/true, error);
    if (h == nullptr) {
        std::lock_guard lock(stateLock_);
        path_.clear();
        if (error == os::kErrorFileNotFound) return QEL_E_DEVICE_NOT_FOUND;
        return error != 0 ? error : QEL_E_DEVICE_NOT_FOUND;
    }
    os::Handle event = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    if (event == nullptr) {
        os_.closeHandle(h);
        closeUsbDevice();
        return QEL_E_NO_EVENT;
    }
    {
        std::lock_guard lock(requestLock_);
        device_ = h;
        requestEvent_ = event;
        overlapped_ = os::Overlapped{};
        overlapped_.event = event;
    }
    {
        std::lock_guard lock(stateLock_);
        path_ = path;
    }
    index_ = index;
    notifyGuid_ = description != nullptr ? description->interfaceGuid : os::Guid{};
    return QEL_OK;
}

void CQelUsbDevice::closeUsbDevice() {
    notificator_.unregisterInterface(notifyGuid_);
    notificator_.stopNotificator();
    closeEvents();
    {
        std::lock_guard lock(requestLock_);
        if (device_ != nullptr) os_.closeHandle(device_);
        if (requestEvent_ != nullptr) os_.closeHandle(requestEvent_);
        device_ = requestEvent_ = nullptr;
        overlapped_ = os::Overlapped{};
    }
    {
        std::lock_guard lock(stateLock_);
        path_.clear();
    }
    notifyGuid_ = os::Guid{};
    index_ = 0;
}

Status CQelUsbDevice::reopenUsbDevice(bool wait, std::uint32_t limitMs) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    {
        std::lock_guard lock(requestLock_);
        if (device_ == nullptr) return QEL_E_NOT_OPEN;
        os_.closeHandle(device_);
        device_ = nullptr;
    }
    auto elapsedMs = [&] {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    if (wait) {
        os::Handle removal = nullptr, arrival = nullptr;
        {
            std::lock_guard lock(stateLock_);
            removal = removalEvent_;
            arrival = arrivalEvent_;
        }
        if (removal == nullptr || arrival == nullptr) {
            closeUsbDevice();
            return QEL_E_NO_PNP_EVENTS;
        }
        for (os::Handle e : {removal, arrival}) {
            const std::uint64_t used = elapsedMs();
            const auto rest = static_cast<std::uint32_t>(used >= limitMs ? 0 : limitMs - used);
            const std::uint32_t r = os_.waitForOne(e, rest);
            if (r != os::kWaitObject0) {
                closeUsbDevice();
                return r == os::kWaitTimeout ? QEL_E_TIMEOUT : QEL_E_FAILED;
            }
        }
    }
    const std::string path = devicePath();
    for (;;) {
        std::uint32_t error = 0;
        if (os::Handle h = os_.openPath(path, /*overlapped=*/true, error); h != nullptr) {
            std::lock_guard lock(requestLock_);
            device_ = h;
            return QEL_OK;
        }
        if (elapsedMs() >= limitMs) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
    closeUsbDevice();
    return QEL_E_TIMEOUT;
}

// ---------------------------------------------------------------- requests

Status CQelUsbDevice::usbRequest(std::uint32_t code, const void* in, std::uint32_t inLength, void* out,
                                 std::uint32_t outLength, std::uint32_t* bytes) {
    if (out != nullptr && outLength != 0) std::memset(out, 0, outLength);
    if (bytes != nullptr) *bytes = 0;
    std::lock_guard lock(requestLock_);
    if (device_ == nullptr) return QEL_E_NOT_OPEN;
    std::uint32_t status = os_.ioctlOverlapped(device_, code, in, inLength, out, outLength, overlapped_);
    if (status == os::kErrorIoPending || status == 0) {
        std::uint32_t got = 0;
        status = os_.getOverlappedResult(device_, overlapped_, &got, /*wait=*/true);
        if (bytes != nullptr) *bytes = std::min(got, outLength);
    }
    return status;
}

Status CQelUsbDevice::getDescriptor(void* buffer, std::uint32_t length, std::uint32_t& bytes, std::uint32_t kind,
                                    std::uint8_t type, std::uint8_t index, std::uint16_t language) {
    std::uint8_t in[8] = {};
    os::putLe32(in, 0, kind);
    in[4] = type;
    in[5] = index;
    os::putLe16(in, 6, language);
    return usbRequest(QEL_USB_REQ_GET_DESCRIPTOR, in, sizeof in, buffer, length, &bytes);
}

Status CQelUsbDevice::checkDeviceDescriptor(std::uint8_t (&buffer)[18]) {
    std::uint32_t bytes = 0;
    const Status status = getDescriptor(buffer, sizeof buffer, bytes, 0, 1, 0, 0);
    if (status != QEL_OK) return status;
    return bytes == sizeof buffer ? QEL_OK : QEL_E_BAD_LENGTH;
}

Status CQelUsbDevice::getStringDescriptor(void* buffer, std::uint32_t length, std::uint32_t& bytes,
                                          std::uint8_t index, std::uint16_t language) {
    return getDescriptor(buffer, length, bytes, 0, 3, index, language);
}

Status CQelUsbDevice::getConfigurationDescriptor(void* buffer, std::uint32_t length, std::uint32_t& bytes,
                                                 std::uint8_t index) {
    return getDescriptor(buffer, length, bytes, 0, 2, index, 0);
}

Status CQelUsbDevice::sendControlTransfer(const void* record, std::uint32_t recordLength, void* buffer,
                                          std::uint32_t bufferLength, std::uint32_t& bytes) {
    return usbRequest(QEL_USB_REQ_CONTROL_TRANSFER, record, recordLength, buffer, bufferLength, &bytes);
}

Status CQelUsbDevice::sendRequest806() { return usbRequest(QEL_USB_REQ_806, nullptr, 0, nullptr, 0, nullptr); }

Status CQelUsbDevice::readString(std::uint8_t index, std::uint16_t language, std::string& text) {
    std::uint8_t buf[255] = {};
    std::uint32_t bytes = 0;
    const Status status = getStringDescriptor(buf, sizeof buf, bytes, index, language);
    if (status != QEL_OK) return status;
    // bLength, bDescriptorType 3, then UTF-16LE units.
    if (bytes < 2 || buf[0] != bytes || buf[1] != 3 || bytes % 2 != 0) return QEL_E_BAD_LENGTH;
    text.clear();
    for (std::uint32_t off = 2; off + 1 < bytes; off += 2) {
        const std::uint16_t c = os::getLe16(buf, off);
        text.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    }
    return QEL_OK;
}

Status CQelUsbDevice::transfer(std::uint8_t direction, std::uint32_t type, std::uint32_t recipient,
                               std::uint8_t request, std::uint16_t value, std::uint16_t index,
                               std::span<std::uint8_t> data, std::uint32_t& bytes) {
    bytes = 0;
    if (data.size() > 0xFFFF || (direction == QEL_USB_CONTROL_TRANSFER::kSet &&
                                 data.size() > QEL_USB_CONTROL_TRANSFER::kMaxData))
        return QEL_E_BAD_CALL;
    const auto length = static_cast<std::uint16_t>(data.size());
    const bool get = direction == QEL_USB_CONTROL_TRANSFER::kGet;
    const QEL_USB_CONTROL_TRANSFER r = QEL_USB_CONTROL_TRANSFER::make(
        direction, type, recipient, request, value, index, length,
        get ? std::span<const std::uint8_t>{} : std::span<const std::uint8_t>(data));
    return sendControlTransfer(r.data(), r.size(), get ? data.data() : nullptr,
                               get ? static_cast<std::uint32_t>(data.size()) : 0, bytes);
}

Status CQelUsbDevice::getExact(std::uint32_t type, std::uint32_t recipient, std::uint8_t request,
                               std::uint16_t value, std::uint16_t index, std::span<std::uint8_t> data) {
    std::uint32_t bytes = 0;
    const Status status =
        transfer(QEL_USB_CONTROL_TRANSFER::kGet, type, recipient, request, value, index, data, bytes);
    return status == QEL_OK && bytes == data.size() ? QEL_OK : QEL_E_FAILED;
}

Status CQelUsbDevice::set(std::uint32_t type, std::uint32_t recipient, std::uint8_t request, std::uint16_t value,
                          std::uint16_t index, std::span<const std::uint8_t> data) {
    std::uint8_t copy[2] = {};
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), sizeof copy), copy);
    std::uint32_t bytes = 0;
    return transfer(QEL_USB_CONTROL_TRANSFER::kSet, type, recipient, request, value, index,
                    std::span<std::uint8_t>(copy, std::min<std::size_t>(data.size(), sizeof copy)), bytes);
}

// ---------------------------------------------------------------- feature units

Status CQelUsbDevice::getMute(std::uint8_t unit, std::uint8_t channel, std::uint8_t& state) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    FB_PARAMS& e = cacheEntry(unit);
    std::uint8_t b[1] = {};
    if (getExact(QEL_USB_CONTROL_TRANSFER::kClass, QEL_USB_CONTROL_TRANSFER::kInterface, kCur,
                 static_cast<std::uint16_t>(kMuteControl + channel), static_cast<std::uint16_t>(unit << 8),
                 b) != QEL_OK)
        return QEL_E_FAILED;
    state = b[0];
    e.mute[channel] = b[0];
    return QEL_OK;
}

Status CQelUsbDevice::setMute(std::uint8_t unit, std::uint8_t channel, std::uint8_t state) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    FB_PARAMS& e = cacheEntry(unit);
    if (e.mute[channel] == state) return QEL_OK;
    const std::uint8_t b[1] = {state};
    if (set(QEL_USB_CONTROL_TRANSFER::kClass, QEL_USB_CONTROL_TRANSFER::kInterface, kCur,
            static_cast<std::uint16_t>(kMuteControl + channel), static_cast<std::uint16_t>(unit << 8), b) != QEL_OK)
        return QEL_E_FAILED;
    e.mute[channel] = state;
    return QEL_OK;
}

Status CQelUsbDevice::getVolume(std::uint8_t unit, std::uint8_t channel, double& db) {
    if (channel >= FB_PARAMS::kChannels) return QEL_E_FAILED;
    FB_PARAMS& e = cacheEntry(unit);
    std::uint8_t b[2] = {};
    if (getExact(QEL_USB_CONTROL_TRANSFER::kClass, QEL_USB_CONTROL_TRANSFER::kInterface, kCur,
                 static_cast<std::uint16_t>(kVolumeControl + channel), static_cast<std::uint16_t>(unit << 8),
                 b) != QEL_OK)
        return QEL_E_FAILED;
    const std::uint16_t raw = os::getLe16(b, 0);
    e.volume[channel] = raw;
    db = static_cast<std::int16_t>(raw) / 256.0;
    return QEL_OK;
}

Status CQelUsbDevice::setVolume(std::uint8_t unit, std::uint8_t channel, double db) {
    const auto d = wholeByte(db);
    if (channel >= FB_PARAMS::kChannels || !d) return QEL_E_FAILED;
    FB_PARAMS& e = cacheEntry(unit);
    const std::uint16_t raw = highByte(*d);
    if (e.volume[channel] == raw) return QEL_OK;
    std::uint8_t b[2];
    os::putLe16(b, 0, raw);
    if (set(QEL_USB_CONTROL_TRANSFER::kClass, QEL_USB_CONTROL_TRANSFER::kInterface, kCur,
            static_cast<std::uint16_t>(kVolumeControl + channel), static_cast<std::uint16_t>(unit << 8), b) != QEL_OK)
        return QEL_E_FAILED;
    e.volume[channel] = raw;
    return QEL_OK;
}

Status CQelUsbDevice::getBalance(std::uint8_t unit, std::uint8_t channel, std::int32_t& value) {
    if (channel < 1 || channel > 2) return QEL_E_FAILED;
    FB_PARAMS& e = cacheEntry(unit);
    std::uint8_t b[2] = {};
    if (getExact(QEL_USB_CONTROL_TRANSFER::kVendor, QEL_USB_CONTROL_TRANSFER::kDevice, QEL_USB_VENDOR_STATE,
                 channel, unit, b) != QEL_OK)
        return QEL_E_FAILED;
    const std::uint16_t raw = os::getLe16(b, 0);
    e.balance[channel] = raw;
    value = static_cast<std::int16_t>(raw) >> 8;
    return QEL_OK;
}

Status CQelUsbDevice::setBalance(double value, std::uint8_t unit, std::uint8_t channel) {
    const auto v = wholeByte(value);
    if ((channel != 1 && channel != 2) || !v) return QEL_E_FAILED;
    FB_PARAMS& e = cacheEntry(unit);
    const std::uint16_t raw = highByte(*v);
    if (e.balance[channel] == raw) return QEL_OK;
    std::uint8_t b[2];
    os::putLe16(b, 0, raw);
    if (set(QEL_USB_CONTROL_TRANSFER::kVendor, QEL_USB_CONTROL_TRANSFER::kDevice, QEL_USB_VENDOR_STATE,
            channel == 1 ? kBalanceLeft : kBalanceRight, unit, b) != QEL_OK)
        return QEL_E_FAILED;
    e.balance[channel] = raw;
    return QEL_OK;
}

// ---------------------------------------------------------------- vendor requests

std::uint8_t CQelUsbDevice::readDeviceMessage() {
    std::uint8_t b[1] = {};
    if (getExact(QEL_USB_CONTROL_TRANSFER::kVendor, QEL_USB_CONTROL_TRANSFER::kDevice, QEL_USB_VENDOR_STATE,
                 kMessageValue, 0, b) != QEL_OK)
        return 0;
    return b[0];
}

Status CQelUsbDevice::readInputState(std::uint32_t input, bool& locked, std::uint8_t& rateCode) {
    locked = false;
    rateCode = 15;
    if (input != 1 && input != 2) return QEL_E_FAILED;
    std::uint8_t b[2] = {};
    const Status status = getExact(QEL_USB_CONTROL_TRANSFER::kVendor, QEL_USB_CONTROL_TRANSFER::kDevice,
                                   QEL_USB_VENDOR_STATE, static_cast<std::uint16_t>(input), 0, b);
    if (status != QEL_OK) return status;
    locked = b[0] != 0;
    rateCode = b[1];
    return QEL_OK;
}

std::uint32_t CQelUsbDevice::readMode() {
    std::uint8_t b[1] = {};
    if (getExact(QEL_USB_CONTROL_TRANSFER::kVendor, QEL_USB_CONTROL_TRANSFER::kDevice, QEL_USB_VENDOR_STATE,
                 kModeValue, 0, b) != QEL_OK)
        return 0;
    return b[0] >= 1 && b[0] <= 3 ? b[0] : 0;
}

Status CQelUsbDevice::setMode(std::uint32_t mode) {
    if (mode > 3) return QEL_E_FAILED;
    std::uint32_t bytes = 0;
    return transfer(QEL_USB_CONTROL_TRANSFER::kSet, QEL_USB_CONTROL_TRANSFER::kVendor,
                    QEL_USB_CONTROL_TRANSFER::kDevice, QEL_USB_VENDOR_STATE, kModeValue,
                    static_cast<std::uint16_t>(mode), {}, bytes);
}

Status CQelUsbDevice::readLevels(std::uint32_t channels, std::vector<double>& levels) {
    if (channels == 0 || channels > QEL_USB_MAX_LEVEL_CHANNELS) return QEL_E_BAD_CALL;
    std::vector<std::uint8_t> b(4 * std::size_t{channels}, 0);
    std::uint32_t bytes = 0;
    const Status status = transfer(QEL_USB_CONTROL_TRANSFER::kGet, QEL_USB_CONTROL_TRANSFER::kVendor,
                                   QEL_USB_CONTROL_TRANSFER::kDevice, QEL_USB_VENDOR_LEVELS, 0, 0, b, bytes);
    if (status != QEL_OK) return status;
    if (bytes != b.size()) return QEL_E_BAD_LENGTH;
    levels.resize(channels);
    for (std::uint32_t i = 0; i < channels; ++i) levels[i] = os::getLe32(b, 4 * i) / 2147483647.0 * 100.0;
    return QEL_OK;
}

}  // namespace qel
