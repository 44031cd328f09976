#pragma once
// Driver events of one FireWire device: a worker thread waits for the event
// the driver signals, fetches the queued event records on its own control
// handle and posts each to the first registered window whose key is the event
// code or 0.
//
// The thread owns a share of the handler: stopped past the limit, it is left
// to run on alone with the handler, which goes when the thread ends.
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/Qel1394Driver.h"
#include "device/Window.h"

namespace qel {

class CQelDevice;

class Qel1394DriverEventHandler : public CQel1394Driver,
                                  public std::enable_shared_from_this<Qel1394DriverEventHandler> {
public:
    struct WndMessage {
        std::uint32_t key = 0;  // 0: every event
        IWindow* window = nullptr;
        std::uint32_t message = 0;
        std::uint32_t wParam = 0;  // the last event code posted
        std::uint32_t lParam = 0;
    };

    // Made only through std::make_shared (the thread takes a share of it);
    // the device is used while starting, never by the thread.
    explicit Qel1394DriverEventHandler(CQelDevice& device);
    ~Qel1394DriverEventHandler() override;

    // Both events exist.
    bool created() const { return stopEvent_ != nullptr && driverEvent_ != nullptr; }
    // Opens the own control handle, registers the driver event and starts the thread.
    Status start();
    // Ends the thread and closes the control handle, posts
    // QEL_EVENT_UNREGISTERED to every registration and forgets them all; the
    // device notification is withdrawn. A thread that does not end within
    // the limit (a request the driver does not complete) is left to end by
    // itself, closing the handle then: QEL_E_FAILED.
    Status stop(std::uint32_t timeoutMs);

    // Device-interface arrival and removal of the device's class go to the
    // first window registered; false when the platform refuses.
    bool hasDeviceNotification() const;
    bool registerDeviceNotification(IWindow* window, std::uint32_t message);
    // False (nothing added) when the key is registered already.
    bool add(std::uint32_t key, IWindow* window, std::uint32_t message);
    // The first registration with the key gets QEL_EVENT_UNREGISTERED and is removed.
    void remove(std::uint32_t key);
    std::vector<WndMessage> registrations() const;
    bool running() const;

private:
    void run();
    void drain();
    void dispatch(std::uint32_t code);

    CQelDevice& device_;
    // The registrations, the notification and the thread, apart from the
    // driver lock that the thread holds through a request.
    mutable std::mutex listLock_;
    os::Handle notification_ = nullptr;
    std::vector<WndMessage> messages_;
    std::thread thread_;
    bool finished_ = false;   // the thread has ended
    bool abandoned_ = false;  // the thread was left running: it closes the handle
    os::Handle stopEvent_ = nullptr;
    os::Handle driverEvent_ = nullptr;
    os::Handle exitedEvent_ = nullptr;  // manual reset: the thread has ended
};

}  // namespace qel
