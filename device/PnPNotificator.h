#pragma once
// Device-interface arrival and removal, handed to a CPnPNotifyHandler. The
// platform's device-change broadcasts arrive through the OS seam (on Windows
// its hidden window on its own thread); the notificator keeps the
// registrations and withdraws them. Nothing is delivered before
// startNotificator or after stopNotificator has returned.
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "os/Guid.h"
#include "os/Os.h"

namespace qel {

inline constexpr std::uint32_t QEL_WM_DEVICECHANGE = 0x0219;
inline constexpr std::uint32_t QEL_DBT_DEVTYP_DEVICEINTERFACE = 5;

class CPnPNotifyHandler {
public:
    virtual ~CPnPNotifyHandler() = default;
    // `record`: the broadcast's device-interface record (size word, device
    // type at 4, class GUID at 12, zero-terminated UTF-16LE name from 28).
    virtual void onDeviceChange(std::uint32_t message, std::uint32_t eventCode,
                                std::span<const std::uint8_t> record) = 0;
};

// The device-interface record of a broadcast for `path` (8-bit characters
// widened one by one).
std::vector<std::uint8_t> makeDeviceInterfaceRecord(const os::Guid& classGuid, const std::string& path);
// The name of a device-interface record narrowed to 8-bit characters ('?' for
// characters above 0xFF); empty when the record is not one or is malformed.
// Never reads past the record or past its size word.
std::string deviceInterfaceName(std::span<const std::uint8_t> record);

class CPnPNotificator {
public:
    explicit CPnPNotificator(os::IOs& os);
    virtual ~CPnPNotificator();
    CPnPNotificator(const CPnPNotificator&) = delete;
    CPnPNotificator& operator=(const CPnPNotificator&) = delete;

    // Sets the handler and the running flag; false when already running or
    // without a handler.
    bool startNotificator(CPnPNotifyHandler* handler);
    // Stops delivery and withdraws every registration; true unless a
    // withdrawal failed. Also true on a notificator that never ran.
    bool stopNotificator();
    // Registers for the broadcasts of an interface class; false when not
    // running or the platform refuses.
    bool registerInterface(const os::Guid& interfaceGuid);
    // Withdraws every registration of that GUID; true when none was there.
    bool unregisterInterface(const os::Guid& interfaceGuid);

    bool isRunning() const;
    std::size_t registrationCount() const;

    // The window procedure: device changes go to the handler, nothing else is
    // handled here (the seam's window does the rest). Returns 1 when handled.
    virtual std::intptr_t windowProc(std::uint32_t message, std::uint32_t eventCode,
                                     std::span<const std::uint8_t> record);

private:
    struct Registration {
        os::Guid guid;
        os::Handle handle = nullptr;
    };
    // Shared with the seam's callbacks, which may run on a platform thread
    // until the registration is withdrawn.
    struct Delivery {
        std::mutex mutex;
        CPnPNotificator* target = nullptr;
    };
    bool withdraw(Registration& r);

    os::IOs& os_;
    mutable std::recursive_mutex lock_;
    bool running_ = false;
    std::vector<Registration> registrations_;  // newest first
    CPnPNotifyHandler* handler_ = nullptr;
    std::shared_ptr<Delivery> delivery_;
};

}  // namespace qel
