#pragma once
// AV/C NOTIFY delivery of one FireWire device: a worker thread waits for the
// notify event the driver signals, fetches the final responses, copies each
// new value into the registered command it belongs to, arms that command
// again and posts the registration's message with the command as wParam.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "device/AvcNotifyCmd.h"
#include "device/Status.h"
#include "device/Window.h"
#include "os/Os.h"

namespace qel {

class CQelDevice;

class QelAvcEventHandler {
public:
    struct WndMessage {
        AVC_NotifyCMD* command = nullptr;  // not owned
        IWindow* window = nullptr;
        std::uint32_t message = 0;
    };

    explicit QelAvcEventHandler(CQelDevice& device);
    virtual ~QelAvcEventHandler();
    QelAvcEventHandler(const QelAvcEventHandler&) = delete;
    QelAvcEventHandler& operator=(const QelAvcEventHandler&) = delete;

    bool created() const { return stopEvent_ != nullptr && notifyEvent_ != nullptr && exitedEvent_ != nullptr; }
    // Opens the process-wide control handle, registers the notify event on
    // the device and starts the thread.
    Status start();
    // Cancels the device's NOTIFYs, ends the thread (QEL_E_FAILED when it took
    // longer than the limit), closes the process-wide control handle and
    // forgets the registrations (no message is posted).
    Status stop(std::uint32_t timeoutMs);

    // Appends the registration and arms the command; true when the device
    // answered INTERIM (the registration stays either way).
    bool add(AVC_NotifyCMD* command, IWindow* window, std::uint32_t message);
    // Removes the first registration whose command has the same code.
    void remove(const AVC_NotifyCMD& command);
    std::vector<WndMessage> registrations() const;
    // A command's data as last written (under the context's command-data
    // lock; read them this way from other threads).
    std::vector<std::uint8_t> dataOf(const AVC_NotifyCMD& command) const;
    // The thread runs (it ends on a failed or malformed notify response).
    bool running() const;
    // How the thread ended (0 while it runs or after a stop).
    Status threadResult() const;

private:
    void run();
    // Fetches and delivers the queued responses; false ends the thread.
    bool deliver(Status& result);

    CQelDevice& device_;
    os::IOs& os_;
    std::vector<WndMessage> messages_;
    std::thread thread_;
    os::Handle stopEvent_ = nullptr;
    os::Handle notifyEvent_ = nullptr;
    os::Handle exitedEvent_ = nullptr;  // manual reset: the thread has ended
    Status result_ = QEL_OK;
    // Set by stop before it cancels the thread's pending request: the failure
    // that follows is the stop, not an error to show.
    std::atomic<bool> stopping_{false};
    mutable std::recursive_mutex lock_;
};

}  // namespace qel
