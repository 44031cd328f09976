#include "device/PnPNotificator.h"

#include "os/Bytes.h"

namespace qel {

namespace {
constexpr std::size_t kNameOffset = 28;
}

std::vector<std::uint8_t> makeDeviceInterfaceRecord(const os::Guid& classGuid, const std::string& path) {
    std::vector<std::uint8_t> r(kNameOffset + 2 * (path.size() + 1), 0);
    os::putLe32(r, 0, static_cast<std::uint32_t>(r.size()));
    os::putLe32(r, 4, QEL_DBT_DEVTYP_DEVICEINTERFACE);
    const auto g = classGuid.bytes();
    std::copy(g.begin(), g.end(), r.begin() + 12);
    for (std::size_t i = 0; i < path.size(); ++i)
        os::putLe16(r, kNameOffset + 2 * i, static_cast<unsigned char>(path[i]));
    return r;
}

std::string deviceInterfaceName(std::span<const std::uint8_t> record) {
    if (record.size() < kNameOffset) return {};
    const std::uint32_t size = os::getLe32(record, 0);
    if (os::getLe32(record, 4) != QEL_DBT_DEVTYP_DEVICEINTERFACE || size < kNameOffset) return {};
    const std::size_t end = std::min<std::size_t>(size, record.size());
    std::string name;
    for (std::size_t off = kNameOffset; off + 2 <= end; off += 2) {
        const std::uint16_t c = os::getLe16(record, off);
        if (c == 0) return name;
        name.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    }
    return {};  // no terminating zero inside the record
}

CPnPNotificator::CPnPNotificator(os::IOs& os) : os_(os) {}

CPnPNotificator::~CPnPNotificator() { stopNotificator(); }

bool CPnPNotificator::startNotificator(CPnPNotifyHandler* handler) {
    std::lock_guard lock(lock_);
    if (running_ || handler == nullptr) return false;
    handler_ = handler;
    delivery_ = std::make_shared<Delivery>();
    delivery_->target = this;
    running_ = true;
    return true;
}

bool CPnPNotificator::stopNotificator() {
    std::lock_guard lock(lock_);
    if (running_) {
        // Wait for a delivery in progress, then let none through.
        std::lock_guard inner(delivery_->mutex);
        delivery_->target = nullptr;
        running_ = false;
    }
    bool ok = true;
    for (auto& r : registrations_) ok = withdraw(r) && ok;
    registrations_.clear();
    return ok;
}

bool CPnPNotificator::registerInterface(const os::Guid& interfaceGuid) {
    std::lock_guard lock(lock_);
    if (!running_) return false;
    std::weak_ptr<Delivery> weak = delivery_;
    const os::Guid guid = interfaceGuid;
    os::Handle h = os_.registerDeviceNotification(
        interfaceGuid, [weak, guid](std::uint32_t eventCode, const std::string& path) {
            const auto d = weak.lock();
            if (!d) return;
            const std::vector<std::uint8_t> record = makeDeviceInterfaceRecord(guid, path);
            std::lock_guard l(d->mutex);
            if (d->target != nullptr) d->target->windowProc(QEL_WM_DEVICECHANGE, eventCode, record);
        });
    if (h == nullptr) return false;
    registrations_.insert(registrations_.begin(), Registration{interfaceGuid, h});
    return true;
}

bool CPnPNotificator::withdraw(Registration& r) {
    bool ok = true;
    if (r.handle != nullptr) ok = os_.unregisterDeviceNotification(r.handle);
    r.handle = nullptr;
    return ok;
}

bool CPnPNotificator::unregisterInterface(const os::Guid& interfaceGuid) {
    std::lock_guard lock(lock_);
    bool ok = true;
    std::vector<Registration> kept;
    for (auto& r : registrations_) {
        if (r.guid.bytes() == interfaceGuid.bytes())
            ok = withdraw(r) && ok;
        else
            kept.push_back(r);
    }
    registrations_ = std::move(kept);
    return ok;
}

bool CPnPNotificator::isRunning() const {
    std::lock_guard lock(lock_);
    return running_;
}

std::size_t CPnPNotificator::registrationCount() const {
    std::lock_guard lock(lock_);
    return registrations_.size();
}

// Runs on the platform's thread under the delivery lock; handler_ is only
// changed by startNotificator, before any delivery.
std::intptr_t CPnPNotificator::windowProc(std::uint32_t message, std::uint32_t eventCode,
                                         std::span<const std::uint8_t> record) {
    if (message != QEL_WM_DEVICECHANGE || handler_ == nullptr) return 0;
    handler_->onDeviceChange(message, eventCode, record);
    return 1;
}

}  // namespace qel
