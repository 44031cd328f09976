#include "device/QelAvcEventHandler.h"

#include <chrono>
#include <cstdio>

#include "device/EventMessages.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "os/Bytes.h"

namespace qel {

QelAvcEventHandler::QelAvcEventHandler(CQelDevice& device) : device_(device), os_(device.platform()) {
    stopEvent_ = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    notifyEvent_ = os_.createEvent(false, false);
    exitedEvent_ = os_.createEvent(/*manualReset=*/true, /*initialState=*/true);
}

QelAvcEventHandler::~QelAvcEventHandler() {
    stop(QEL_EVENT_THREAD_STOP_MS);
    for (os::Handle* e : {&stopEvent_, &notifyEvent_, &exitedEvent_})
        if (*e != nullptr) os_.closeHandle(*e);
}

Status QelAvcEventHandler::start() {
    std::lock_guard lock(lock_);
    if (thread_.joinable() || !created()) return QEL_E_FAILED;
    os_.resetEvent(stopEvent_);
    os_.resetEvent(notifyEvent_);
    stopping_ = false;
    CDrv& drv = device_.context().drv();
    Status status = drv.openDriver(device_.interfaceGuid());
    if (status != QEL_OK) return status;
    std::uint8_t in[4];
    os::putLe32(in, 0, os_.eventValue(notifyEvent_));
    status = device_.sendRequest(QEL_REQ_REGISTER_NOTIFY_EVENT, in, sizeof in, nullptr, 0);
    if (status == QEL_OK) {
        os_.resetEvent(exitedEvent_);
        result_ = QEL_OK;
        try {
            thread_ = std::thread([this] { run(); });
        } catch (...) {
            os_.setEvent(exitedEvent_);
            status = QEL_E_FAILED;
        }
    }
    if (status != QEL_OK) drv.closeDriver();
    return status;
}

void QelAvcEventHandler::run() {
    const os::Handle handles[2] = {stopEvent_, notifyEvent_};
    Status result = QEL_OK;
    for (;;) {
        const std::uint32_t r = os_.waitForAny(handles, 2, os::kInfinite);
        if (r == os::kWaitObject0) break;
        if (r != os::kWaitObject0 + 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        if (!deliver(result)) break;
    }
    {
        std::lock_guard lock(lock_);
        result_ = result;
    }
    os_.setEvent(exitedEvent_);
}

bool QelAvcEventHandler::deliver(Status& result) {
    // The driver queues at most 64 responses and signals once for several:
    // the queue is emptied, bounded so that the stop event gets its turn.
    // Only the first fetch of a signal must succeed; how a driver answers a
    // fetch from an empty queue is its own ("no more items" here), so a later
    // failure just ends the drain.
    constexpr int kMaxPerSignal = 256;
    for (int n = 0; n < kMaxPerSignal; ++n) {
        if (stopping_) {
            result = QEL_OK;
            return false;
        }
        AvcFrame response;
        const Status status = device_.fetchNotifyResponse(response);
        if (status == os::kErrorNoMoreItems) return true;
        if (status != QEL_OK && stopping_) {
            result = QEL_OK;
            return false;
        }
        if (status != QEL_OK && n > 0) return true;
        if (status != QEL_OK) {
            char text[64];
            std::snprintf(text, sizeof text, "GetNotifyResponse failed, ErrorCode=0x%08X\n",
                          static_cast<unsigned>(status));
            device_.context().postMessageBox(text, MessageBoxIcon::None);
            result = status;
            return false;
        }
        if (response.length < 7) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "GetNotifyResponse failed, command length to short expected 7 receved %d\n",
                          static_cast<int>(response.length));
            device_.context().postMessageBox(text, MessageBoxIcon::None);
            device_.sendRequest(QEL_REQ_CANCEL_NOTIFY, nullptr, 0, nullptr, 0);
            result = QEL_E_FAILED;
            return false;
        }
        std::lock_guard lock(lock_);
        std::vector<AVC_NotifyCMD*> watched;
        watched.reserve(messages_.size());
        for (const WndMessage& m : messages_) watched.push_back(m.command);
        const NotifyMatch match = matchNotifyResponse(response, watched);
        if (match.command == nullptr) continue;
        const WndMessage m = messages_[match.index];
        if (m.window == nullptr) continue;
        bool updated = false;
        {
            std::lock_guard data(device_.context().commandDataLock());
            updated = applyNotifyResponse(response, match);
        }
        // The device has ended this NOTIFY: arm it again even when the
        // response was too short to carry the value.
        if (!stopping_) device_.armNotify(*m.command);
        if (updated) m.window->postMessage(m.message, reinterpret_cast<std::uintptr_t>(m.command), 0);
    }
    os_.setEvent(notifyEvent_);
    return true;
}

Status QelAvcEventHandler::stop(std::uint32_t timeoutMs) {
    Status status = QEL_OK;
    std::thread thread;
    {
        std::lock_guard lock(lock_);
        thread.swap(thread_);
    }
    if (thread.joinable()) {
        // A fetch or transaction the thread waits in would hold the request
        // lock for as long as the driver takes: end it first.
        stopping_ = true;
        os_.setEvent(stopEvent_);
        device_.cancelPending();
    }
    if (device_.isOpen()) device_.sendRequest(QEL_REQ_CANCEL_NOTIFY, nullptr, 0, nullptr, 0);
    if (thread.joinable()) {
        if (os_.waitForOne(exitedEvent_, timeoutMs) != os::kWaitObject0) status = QEL_E_FAILED;
        // The thread uses this object: it is joined even after the limit.
        thread.join();
        device_.context().drv().closeDriver();
    }
    std::lock_guard lock(lock_);
    messages_.clear();
    result_ = QEL_OK;
    return status;
}

bool QelAvcEventHandler::add(AVC_NotifyCMD* command, IWindow* window, std::uint32_t message) {
    if (command == nullptr) return false;
    std::lock_guard lock(lock_);
    messages_.push_back(WndMessage{command, window, message});
    return device_.armNotify(*command) == QEL_OK;
}

void QelAvcEventHandler::remove(const AVC_NotifyCMD& command) {
    std::lock_guard lock(lock_);
    for (auto it = messages_.begin(); it != messages_.end(); ++it)
        if (it->command != nullptr && it->command->code() == command.code()) {
            messages_.erase(it);
            return;
        }
}

std::vector<QelAvcEventHandler::WndMessage> QelAvcEventHandler::registrations() const {
    std::lock_guard lock(lock_);
    return messages_;
}

std::vector<std::uint8_t> QelAvcEventHandler::dataOf(const AVC_NotifyCMD& command) const {
    std::lock_guard lock(device_.context().commandDataLock());
    return {command.data().begin(), command.data().end()};
}

bool QelAvcEventHandler::running() const {
    std::lock_guard lock(lock_);
    return thread_.joinable() && os_.waitForOne(exitedEvent_, 0) != os::kWaitObject0;
}

Status QelAvcEventHandler::threadResult() const {
    std::lock_guard lock(lock_);
    return result_;
}

}  // namespace qel
