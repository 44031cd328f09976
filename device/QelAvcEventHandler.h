#pragma once
// AV/C NOTIFY delivery of one FireWire device: a worker thread waits for the
// notify event the driver signals, fetches the final responses, copies each
// new value into the registered command it belongs to, arms that command
// again and posts the registration's message with the command as wParam.
// A re-arm the device does not answer INTERIM (a failed transaction, a
// rejection, a garbled answer) is tried again every 200 ms until it is, so
// that one bad answer does not end the command's notifications for good.
//
// The thread owns a share of the handler and of the device handle it was
// started on. Stopped past the limit (a request the driver does not
// complete), it is left to end alone: from the stop on it touches no
// command, window, context nor device, and it closes what it kept.
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/AvcNotifyCmd.h"
#include "device/Status.h"
#include "device/Window.h"
#include "os/Os.h"

namespace qel {

class CQelDevice;
class QelContext;
class Qel1394Transport;

class QelAvcEventHandler : public std::enable_shared_from_this<QelAvcEventHandler> {
public:
    static constexpr std::uint32_t kRearmRetryMs = 200;

    struct WndMessage {
        AVC_NotifyCMD* command = nullptr;  // not owned
        IWindow* window = nullptr;
        std::uint32_t message = 0;
    };

    // Made only through std::make_shared (the thread takes a share of it).
    explicit QelAvcEventHandler(CQelDevice& device);
    virtual ~QelAvcEventHandler();
    QelAvcEventHandler(const QelAvcEventHandler&) = delete;
    QelAvcEventHandler& operator=(const QelAvcEventHandler&) = delete;

    bool created() const { return stopEvent_ != nullptr && notifyEvent_ != nullptr && exitedEvent_ != nullptr; }
    // Opens the process-wide control handle, registers the notify event on
    // the device and starts the thread.
    Status start();
    // Cancels the requests pending on the device and ends the thread, then
    // cancels the device's NOTIFYs, closes the process-wide control handle
    // and forgets the registrations (no message is posted). A thread that
    // does not end within the limit is left to end by itself: QEL_E_FAILED,
    // and the NOTIFYs end with the device handle.
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
    // Arms `command` with `frame`; a failure puts it on the retry list while
    // it is registered and no stop has begun.
    void rearm(AVC_NotifyCMD* command, const AvcFrame& frame);
    // The INTERIM answer of an arm carries the value the device holds now:
    // one that changed while the command was not armed is delivered as a
    // change to the command's window.
    void deliverInterim(AVC_NotifyCMD* command, const AvcFrame& answer);
    // Tries the re-arms that failed again.
    void retryRearms();
    // Under lock_: puts a registered command on the retry list once; false
    // when it is not registered, is listed already or a stop has begun.
    bool markUnarmed(AVC_NotifyCMD* command);

    CQelDevice& device_;    // never used by the thread
    QelContext& context_;   // used by the thread only under lock_ before a stop
    os::IOs& os_;
    const std::uint32_t companyId_;
    std::shared_ptr<Qel1394Transport> transport_;  // the handle the thread uses
    std::vector<WndMessage> messages_;
    std::vector<AVC_NotifyCMD*> unarmed_;  // under lock_: re-arms to try again
    std::thread thread_;
    os::Handle stopEvent_ = nullptr;
    os::Handle notifyEvent_ = nullptr;
    os::Handle exitedEvent_ = nullptr;  // manual reset: the thread has ended
    // Under lock_. Set by stop before it cancels the thread's pending request:
    // the failure that follows is the stop, not an error to show; and from
    // then on the thread leaves the registrations and the context alone.
    bool stopping_ = false;
    bool finished_ = false;   // the thread has ended
    bool abandoned_ = false;  // the thread was left running
    Status result_ = QEL_OK;
    // Never held by the thread across a request.
    mutable std::mutex lock_;
};

}  // namespace qel
