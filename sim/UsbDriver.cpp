// The simulated USB driver: its control endpoint, one device interface per
// present USB device, and re-enumeration.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "sim/Requests.h"
#include "sim/UsbDevice.h"

namespace qel::sim {

namespace {
constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kInvalidFunction = 1;
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kDeviceNotConnected = 1167;
constexpr std::uint32_t kRateNotSupported = 0xE0000080;
constexpr std::size_t kDeviceListMax = 64;

Reply fail(std::uint32_t status) { return Reply{status, 0}; }
bool sizesAre(os::ConstByteSpan in, os::ByteSpan out, std::size_t inLen, std::size_t outLen) {
    return in.size() == inLen && out.size() == outLen;
}
std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
bool isDeviceLevel(std::uint32_t code) {
    return code == req::kUsbGetDescriptor || code == req::kUsbControlTransfer || code == req::kUsb806;
}

void encodeEntry(os::ByteSpan out, std::size_t off, const SyncModeEntry& e) {
    os::putLe32(out, off, e.mode);
    os::putLe32(out, off + 4, e.code);
    os::putText(out, off + 8, 40, e.name);
}
}  // namespace

std::string Rig::usbDevicePath(std::uint32_t deviceId) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\\\\?\\usb#vid_3c5a&pid_0410#ku%08x#", static_cast<unsigned>(deviceId));
    return buf + lower(usbGuid().registryText());
}

void Rig::addUsbDevice(UsbDeviceModel model, bool plugged) {
    std::lock_guard lock(mutex_);
    const std::uint32_t id = model.id;
    UsbState::Device& d = usb_->devices[id];
    d.model = std::move(model);
    d.present = plugged;
    d.generation++;
    if (std::find(usb_->order.begin(), usb_->order.end(), id) == usb_->order.end()) usb_->order.push_back(id);
}

bool Rig::withUsbDevice(std::uint32_t deviceId, const std::function<void(UsbDeviceModel&)>& fn) {
    std::lock_guard lock(mutex_);
    const auto it = usb_->devices.find(deviceId);
    if (it == usb_->devices.end()) return false;
    fn(it->second.model);
    return true;
}

std::vector<std::uint32_t> Rig::presentUsbDevices() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> ids;
    for (const std::uint32_t id : usb_->order)
        if (usb_->devices.at(id).present) ids.push_back(id);
    return ids;
}

std::optional<std::uint32_t> Rig::findUsbDevice(const std::string& nameOrId) const {
    std::lock_guard lock(mutex_);
    for (const std::uint32_t id : usb_->order) {
        const UsbDeviceModel& m = usb_->devices.at(id).model;
        if (std::to_string(id) == nameOrId || m.displayName == nameOrId || m.lookupName == nameOrId) return id;
    }
    return std::nullopt;
}

bool Rig::usbRemove(std::uint32_t deviceId) {
    {
        std::lock_guard lock(mutex_);
        const auto it = usb_->devices.find(deviceId);
        if (it == usb_->devices.end() || !it->second.present) return false;
        it->second.present = false;
        for (auto& [opId, op] : ops_) {
            if (op.done) continue;
            const auto f = files_.find(op.file);
            if (f != files_.end() && f->second.bus == Bus::Usb && !f->second.control &&
                f->second.deviceId == deviceId) {
                const Reply r = fail(kDeviceNotConnected);
                trace(f->second, op.code, op.in, {}, r);
                completeOp(op, r);
            }
        }
    }
    opsChanged_.notify_all();
    notify(usbGuid(), 0x8004u, usbDevicePath(deviceId));
    return true;
}

bool Rig::usbArrive(std::uint32_t deviceId) {
    {
        std::lock_guard lock(mutex_);
        const auto it = usb_->devices.find(deviceId);
        if (it == usb_->devices.end() || it->second.present) return false;
        it->second.present = true;
        it->second.generation++;
    }
    notify(usbGuid(), 0x8000u, usbDevicePath(deviceId));
    return true;
}

bool Rig::reenumerate(std::uint32_t deviceId, std::uint32_t ms, bool wait) {
    if (!usbRemove(deviceId)) return false;
    if (wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return usbArrive(deviceId);
    }
    std::lock_guard lock(mutex_);
    usb_->arrivals.emplace_back([this, deviceId, ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        usbArrive(deviceId);
    });
    return true;
}

void Rig::joinUsbArrivals() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(usb_->arrivals);
    }
    for (auto& t : threads) t.join();
}

std::vector<std::string> Rig::usbPaths() const {
    std::vector<std::string> paths;
    for (const std::uint32_t id : presentUsbDevices()) paths.push_back(usbDevicePath(id));
    return paths;
}

// Takes a USB control or device path; false when `p` (lower case) is neither.
bool Rig::openUsbPath(const std::string& p, File& f, std::uint32_t& error) {
    if (p == lower("\\\\.\\" + usbGuid().registryText())) {
        f.bus = Bus::Usb;
        f.control = true;
        return true;
    }
    for (const auto& [id, d] : usb_->devices) {
        if (p != lower(usbDevicePath(id))) continue;
        if (!d.present) {
            error = kFileNotFound;
            return true;
        }
        f.bus = Bus::Usb;
        f.control = false;
        f.deviceId = id;
        f.generation = d.generation;
        return true;
    }
    return false;
}

Reply Rig::usbRequest(File& f, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) {
    if (!f.control || isDeviceLevel(code)) {
        // The control endpoint carries device requests for the first present device.
        UsbState::Device* d = nullptr;
        if (f.control) {
            for (const std::uint32_t id : usb_->order)
                if (usb_->devices.at(id).present) {
                    d = &usb_->devices.at(id);
                    break;
                }
        } else if (const auto it = usb_->devices.find(f.deviceId); it != usb_->devices.end()) {
            d = &it->second;
            if (d->generation != f.generation) d = nullptr;
        }
        if (d == nullptr || !d->present) return fail(kDeviceNotConnected);
        switch (code) {
        case req::kUsbGetDescriptor: return usbGetDescriptor(d->model, in, out);
        case req::kUsbControlTransfer: return usbControlTransfer(d->model, in, out);
        case req::kUsb806:
            if (!sizesAre(in, out, 0, 0)) return fail(kInvalidParameter);
            return Reply{kOk, 0};
        default: return fail(kInvalidFunction);
        }
    }

    UsbState& u = *usb_;
    auto device = [&](os::ConstByteSpan b) -> UsbState::Device* {
        const auto it = u.devices.find(os::getLe32(b, 0));
        return it == u.devices.end() || !it->second.present ? nullptr : &it->second;
    };
    switch (code) {
    case usbCode(req::kGetDriverVersion):
        if (!sizesAre(in, out, 0, 12)) return fail(kInvalidParameter);
        std::copy(version_.begin(), version_.end(), out.begin());
        return Reply{kOk, 12};
    case usbCode(req::kGetDeviceList): {
        if (!sizesAre(in, out, 0, 260)) return fail(kInvalidParameter);
        std::fill(out.begin(), out.end(), 0);
        std::uint32_t n = 0;
        for (const std::uint32_t id : u.order)
            if (u.devices.at(id).present && n < kDeviceListMax) os::putLe32(out, 4 + 4 * n++, id);
        os::putLe32(out, 0, n);
        return Reply{kOk, 260};
    }
    case usbCode(req::kGetDeviceProperties): {
        if (!sizesAre(in, out, 4, 512)) return fail(kInvalidParameter);
        const UsbState::Device* d = device(in);
        if (d == nullptr) return fail(kDeviceNotConnected);
        const UsbDeviceModel& m = d->model;
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 0, m.id);
        os::putLe32(out, 4, m.rank);
        os::putLe32(out, 8, m.word2);
        os::putLe32(out, 12, m.word3);
        os::putText(out, 16, 40, m.vendor);
        os::putText(out, 56, 40, m.model);
        os::putText(out, 96, 40, m.displayName);
        os::putText(out, 136, 40, m.lookupName);
        os::putText(out, 176, 256, m.text176);
        os::putText(out, 432, 80, m.text432);
        return Reply{kOk, 512};
    }
    case usbCode(req::kGetSyncModeInfo): {
        if (!sizesAre(in, out, 4, 824)) return fail(kInvalidParameter);
        const UsbState::Device* d = device(in);
        if (d == nullptr) return fail(kDeviceNotConnected);
        const UsbDeviceModel& m = d->model;
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 0, m.id);
        if (m.currentSyncMode < m.syncModes.size()) encodeEntry(out, 4, m.syncModes[m.currentSyncMode]);
        const std::size_t n = std::min<std::size_t>(m.syncModes.size(), 16);
        os::putLe32(out, 52, static_cast<std::uint32_t>(n));
        for (std::size_t i = 0; i < n; ++i) encodeEntry(out, 56 + 48 * i, m.syncModes[i]);
        return Reply{kOk, 824};
    }
    case usbCode(req::kSetSyncMode): {
        if (!sizesAre(in, out, 12, 0)) return fail(kInvalidParameter);
        UsbState::Device* d = device(in);
        if (d == nullptr) return fail(kDeviceNotConnected);
        const std::uint32_t mode = os::getLe32(in, 4), sourceCode = os::getLe32(in, 8);
        const auto& modes = d->model.syncModes;
        const auto it = std::find_if(modes.begin(), modes.end(),
                                     [&](const SyncModeEntry& e) { return e.mode == mode && e.code == sourceCode; });
        if (it == modes.end()) return fail(kInvalidParameter);
        d->model.currentSyncMode = static_cast<std::size_t>(it - modes.begin());
        return Reply{kOk, 0};
    }
    case usbCode(req::kGetSampleRateInfo): {
        if (!sizesAre(in, out, 0, 44)) return fail(kInvalidParameter);
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 0, u.rateWord);
        os::putLe32(out, 4, u.currentRate);
        const std::size_t n = std::min<std::size_t>(u.rates.size(), 8);
        os::putLe32(out, 8, static_cast<std::uint32_t>(n));
        for (std::size_t i = 0; i < n; ++i) os::putLe32(out, 12 + 4 * i, u.rates[i]);
        return Reply{kOk, 44};
    }
    case usbCode(req::kSetSampleRate): {
        if (!sizesAre(in, out, 8, 0)) return fail(kInvalidParameter);
        const std::uint32_t rate = os::getLe32(in, 4);
        if (std::find(u.rates.begin(), u.rates.end(), rate) == u.rates.end()) return fail(kRateNotSupported);
        u.currentRate = rate;
        return Reply{kOk, 0};
    }
    case usbCode(req::kSetSyncSettings):
        if (!sizesAre(in, out, 12, 0)) return fail(kInvalidParameter);
        for (int i = 0; i < 3; ++i) u.syncSettings[i] = os::getLe32(in, 4 * i);
        return Reply{kOk, 0};
    case usbCode(req::kSetSyncParameter):
        if (!sizesAre(in, out, 8, 0)) return fail(kInvalidParameter);
        u.syncParameter = os::getLe32(in, 4);
        return Reply{kOk, 0};
    case usbCode(req::kEndSyncChange):
        if (!sizesAre(in, out, 0, 0)) return fail(kInvalidParameter);
        return Reply{kOk, 0};
    default: return fail(kInvalidFunction);
    }
}

std::uint32_t Rig::usbCurrentRate() const {
    std::lock_guard lock(mutex_);
    return usb_->currentRate;
}

std::array<std::uint32_t, 3> Rig::usbSyncSettings() const {
    std::lock_guard lock(mutex_);
    return usb_->syncSettings;
}

}  // namespace qel::sim
