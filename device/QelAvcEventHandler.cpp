#include "device/QelAvcEventHandler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "device/EventMessages.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "os/Bytes.h"

namespace qel {

QelAvcEventHandler::QelAvcEventHandler(CQelDevice& device)
    : device_(device), context_(device.context()), os_(device.platform()), companyId_(device.getCompanyId()) {
    stopEvent_ = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    notifyEvent_ = os_.createEvent(false, false);
    exitedEvent_ = os_.createEvent(/*manualReset=*/true, /*initialState=*/true);
}

QelAvcEventHandler::~QelAvcEventHandler() {
    bool abandoned = false;
    {
        std::lock_guard lock(lock_);
        abandoned = abandoned_;
    }
    // Left to end alone, the thread releases the handler last, long after
    // the device may be gone.
    if (!abandoned) stop(QEL_EVENT_THREAD_STOP_MS);
    transport_.reset();  // a handle it was left with closes before the event it signals
    for (os::Handle* e : {&stopEvent_, &exitedEvent_, &notifyEvent_})
        if (*e != nullptr) os_.closeHandle(*e);
}

Status QelAvcEventHandler::start() {
    std::lock_guard lock(lock_);
    if (thread_.joinable() || abandoned_ || !created()) return QEL_E_FAILED;
    os_.resetEvent(stopEvent_);
    os_.resetEvent(notifyEvent_);
    stopping_ = false;
    CDrv& drv = context_.drv();
    Status status = drv.openDriver(device_.interfaceGuid());
    if (status != QEL_OK) return status;
    transport_ = device_.transport();
    std::uint8_t in[4];
    os::putLe32(in, 0, os_.eventValue(notifyEvent_));
    status = transport_ ? transport_->request(QEL_REQ_REGISTER_NOTIFY_EVENT, in, sizeof in, nullptr, 0, nullptr)
                        : QEL_E_DEVICE_NOT_OPEN;
    if (status == QEL_OK) {
        os_.resetEvent(exitedEvent_);
        result_ = QEL_OK;
        finished_ = false;
        try {
            thread_ = std::thread([self = shared_from_this()] { self->run(); });
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
        bool retry = false;
        {
            std::lock_guard lock(lock_);
            retry = !unarmed_.empty();
        }
        const std::uint32_t r = os_.waitForAny(handles, 2, retry ? kRearmRetryMs : os::kInfinite);
        if (r == os::kWaitObject0) break;
        if (r == os::kWaitTimeout && retry) {
            retryRearms();
            continue;
        }
        if (r != os::kWaitObject0 + 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        if (!deliver(result)) break;
    }
    {
        std::lock_guard lock(lock_);
        result_ = result;
        finished_ = true;
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
        {
            std::lock_guard lock(lock_);
            if (stopping_) {
                result = QEL_OK;
                return false;
            }
        }
        AvcFrame response;
        const Status status = fetchNotifyResponseOn(*transport_, response);
        AvcFrame rearm;
        WndMessage target;
        bool updated = false;
        {
            // The registrations and the context only while no stop has begun.
            std::lock_guard lock(lock_);
            if (stopping_) {
                result = QEL_OK;
                return false;
            }
            if (status == os::kErrorNoMoreItems) return true;
            if (status != QEL_OK && n > 0) return true;
            if (status != QEL_OK) {
                char text[64];
                std::snprintf(text, sizeof text, "GetNotifyResponse failed, ErrorCode=0x%08X\n",
                              static_cast<unsigned>(status));
                context_.postMessageBox(text, MessageBoxIcon::None);
                result = status;
                return false;
            }
            if (response.length < 7) {
                char text[96];
                std::snprintf(text, sizeof text,
                              "GetNotifyResponse failed, command length to short expected 7 receved %d\n",
                              static_cast<int>(response.length));
                context_.postMessageBox(text, MessageBoxIcon::None);
                result = QEL_E_FAILED;
            } else {
                std::vector<AVC_NotifyCMD*> watched;
                watched.reserve(messages_.size());
                for (const WndMessage& m : messages_) watched.push_back(m.command);
                const NotifyMatch match = matchNotifyResponse(response, watched);
                if (match.command == nullptr) continue;
                target = messages_[match.index];
                if (target.window == nullptr) continue;
                {
                    std::lock_guard data(context_.commandDataLock());
                    updated = applyNotifyResponse(response, match);
                }
                // The device has ended this NOTIFY: it is armed again even
                // when the response was too short to carry the value.
                rearm = target.command->notifyFrame(companyId_);
            }
        }
        if (target.command == nullptr) {
            transport_->request(QEL_REQ_CANCEL_NOTIFY, nullptr, 0, nullptr, 0, nullptr);
            return false;
        }
        // Armed before the window hears of the value, so that the next change
        // is not missed; the request runs without the lock a stop needs.
        this->rearm(target.command, rearm);
        if (!updated) continue;
        std::lock_guard lock(lock_);
        if (stopping_) {
            result = QEL_OK;
            return false;
        }
        // Posted only while the registration stands.
        const bool registered = std::any_of(messages_.begin(), messages_.end(), [&](const WndMessage& m) {
            return m.command == target.command && m.window == target.window && m.message == target.message;
        });
        if (registered)
            target.window->postMessage(target.message, reinterpret_cast<std::uintptr_t>(target.command), 0);
    }
    os_.setEvent(notifyEvent_);
    return true;
}

Status QelAvcEventHandler::stop(std::uint32_t timeoutMs) {
    Status status = QEL_OK;
    bool started = false;
    std::thread thread;
    {
        std::lock_guard lock(lock_);
        thread.swap(thread_);
        started = thread.joinable();
        // From here on the thread delivers nothing.
        if (thread.joinable()) stopping_ = true;
    }
    if (thread.joinable()) {
        os_.setEvent(stopEvent_);
        // A fetch or transaction the thread waits in would keep it for as
        // long as the driver takes: end it first.
        if (transport_) transport_->cancelPending();
        if (os_.waitForOne(exitedEvent_, timeoutMs) != os::kWaitObject0) status = QEL_E_FAILED;
    }
    bool abandoned = false;
    {
        std::lock_guard lock(lock_);
        if (thread.joinable() && !finished_) abandoned_ = true;
        abandoned = abandoned_;
    }
    if (thread.joinable()) {
        // Past the limit the thread keeps its shares and ends by itself; the
        // request it waits in holds the device handle's turn.
        if (abandoned)
            thread.detach();
        else
            thread.join();
    }
    if (!abandoned && device_.isOpen()) device_.sendRequest(QEL_REQ_CANCEL_NOTIFY, nullptr, 0, nullptr, 0);
    if (started) context_.drv().closeDriver();
    std::lock_guard lock(lock_);
    messages_.clear();
    result_ = QEL_OK;
    return status;
}

bool QelAvcEventHandler::add(AVC_NotifyCMD* command, IWindow* window, std::uint32_t message) {
    if (command == nullptr) return false;
    {
        std::lock_guard lock(lock_);
        messages_.push_back(WndMessage{command, window, message});
    }
    if (device_.armNotify(*command) == QEL_OK) return true;
    // Not armed (the registration stays): the thread tries again, as after a
    // failed re-arm. The signal wakes it into its retrying wait.
    {
        std::lock_guard lock(lock_);
        if (!markUnarmed(command)) return false;
    }
    if (notifyEvent_ != nullptr) os_.setEvent(notifyEvent_);
    return false;
}

void QelAvcEventHandler::remove(const AVC_NotifyCMD& command) {
    std::lock_guard lock(lock_);
    for (auto it = messages_.begin(); it != messages_.end(); ++it)
        if (it->command != nullptr && it->command->code() == command.code()) {
            AVC_NotifyCMD* const removed = it->command;
            messages_.erase(it);
            if (std::none_of(messages_.begin(), messages_.end(), [&](const WndMessage& m) { return m.command == removed; }))
                std::erase(unarmed_, removed);
            return;
        }
}

void QelAvcEventHandler::rearm(AVC_NotifyCMD* command, const AvcFrame& frame) {
    AvcFrame answer;
    if (avcTransactionOn(*transport_, frame, answer) == QEL_OK && answer.length > 0 &&
        answer.at(0) == AVC_RESPONSE_INTERIM) {
        deliverInterim(command, answer);
        return;
    }
    std::lock_guard lock(lock_);
    markUnarmed(command);
}

void QelAvcEventHandler::deliverInterim(AVC_NotifyCMD* command, const AvcFrame& answer) {
    std::lock_guard lock(lock_);
    if (stopping_) return;
    const auto target = std::find_if(messages_.begin(), messages_.end(),
                                     [&](const WndMessage& m) { return m.command == command; });
    if (target == messages_.end() || target->window == nullptr) return;
    AVC_NotifyCMD* const watched[1] = {command};
    const NotifyMatch match = matchNotifyResponse(answer, watched);
    if (match.command != command || !match.complete) return;
    bool changed = false;
    {
        std::lock_guard data(context_.commandDataLock());
        const std::vector<std::uint8_t> before(command->data().begin(), command->data().end());
        changed = applyNotifyResponse(answer, match) &&
                  !std::equal(before.begin(), before.end(), command->data().begin(), command->data().end());
    }
    if (changed) target->window->postMessage(target->message, reinterpret_cast<std::uintptr_t>(command), 0);
}

bool QelAvcEventHandler::markUnarmed(AVC_NotifyCMD* command) {
    const bool registered =
        std::any_of(messages_.begin(), messages_.end(), [&](const WndMessage& m) { return m.command == command; });
    if (stopping_ || !registered || std::find(unarmed_.begin(), unarmed_.end(), command) != unarmed_.end())
        return false;
    unarmed_.push_back(command);
    return true;
}

void QelAvcEventHandler::retryRearms() {
    std::vector<std::pair<AVC_NotifyCMD*, AvcFrame>> due;
    {
        std::lock_guard lock(lock_);
        if (stopping_) return;
        for (AVC_NotifyCMD* command : unarmed_) due.emplace_back(command, command->notifyFrame(companyId_));
        unarmed_.clear();
    }
    for (const auto& [command, frame] : due) rearm(command, frame);
}

std::vector<QelAvcEventHandler::WndMessage> QelAvcEventHandler::registrations() const {
    std::lock_guard lock(lock_);
    return messages_;
}

std::vector<std::uint8_t> QelAvcEventHandler::dataOf(const AVC_NotifyCMD& command) const {
    std::lock_guard lock(context_.commandDataLock());
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
