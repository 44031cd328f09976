#include "device/Qel1394DriverEventHandler.h"

#include <chrono>

#include "device/EventMessages.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "os/Bytes.h"

namespace qel {

Qel1394DriverEventHandler::Qel1394DriverEventHandler(CQelDevice& device)
    : CQel1394Driver(device.platform()), device_(device) {
    stopEvent_ = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    driverEvent_ = os_.createEvent(false, false);
    exitedEvent_ = os_.createEvent(/*manualReset=*/true, /*initialState=*/true);
}

Qel1394DriverEventHandler::~Qel1394DriverEventHandler() {
    stop(QEL_EVENT_THREAD_STOP_MS);
    // The registered event last: once it is gone nothing here uses the platform.
    for (os::Handle* e : {&stopEvent_, &exitedEvent_, &driverEvent_})
        if (*e != nullptr) os_.closeHandle(*e);
}

Status Qel1394DriverEventHandler::start() {
    std::lock_guard lock(lock_);
    {
        std::lock_guard list(listLock_);
        if (thread_.joinable() || abandoned_ || !created()) return QEL_E_FAILED;
    }
    os_.resetEvent(stopEvent_);
    os_.resetEvent(driverEvent_);
    Status status = openDriver(device_.interfaceGuid());
    if (status != QEL_OK) return status;
    std::uint8_t in[4];
    os::putLe32(in, 0, os_.eventValue(driverEvent_));
    status = request(QEL_REQ_REGISTER_EVENT, in, sizeof in, nullptr, 0);
    if (status == QEL_OK) {
        os_.resetEvent(exitedEvent_);
        std::lock_guard list(listLock_);
        finished_ = false;
        try {
            thread_ = std::thread([self = shared_from_this()] { self->run(); });
        } catch (...) {
            os_.setEvent(exitedEvent_);
            status = QEL_E_FAILED;
        }
    }
    if (status != QEL_OK) closeDriver();
    return status;
}

void Qel1394DriverEventHandler::run() {
    const os::Handle handles[2] = {stopEvent_, driverEvent_};
    for (;;) {
        const std::uint32_t r = os_.waitForAny(handles, 2, os::kInfinite);
        if (r == os::kWaitObject0) break;
        if (r != os::kWaitObject0 + 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        drain();
    }
    bool abandoned = false;
    {
        std::lock_guard list(listLock_);
        finished_ = true;
        abandoned = abandoned_;
    }
    // Left running by a stop, the thread closes the handle it was left with.
    if (abandoned) closeDriver();
    os_.setEvent(exitedEvent_);
}

void Qel1394DriverEventHandler::drain() {
    // The driver keeps a bounded queue; more than this many records per
    // signal means it refills as fast as it is read, and the stop event gets
    // its turn first.
    constexpr int kMaxPerSignal = 1024;
    for (int n = 0; n < kMaxPerSignal; ++n) {
        std::uint8_t record[12] = {};
        std::uint32_t got = 0;
        Status status = QEL_OK;
        {
            std::lock_guard lock(lock_);
            if (!isOpen()) return;
            status = request(QEL_REQ_GET_EVENT, nullptr, 0, record, sizeof record, &got);
        }
        if (status != QEL_OK || got < 4) return;
        dispatch(os::getLe32(record, 0));
    }
    os_.setEvent(driverEvent_);
}

void Qel1394DriverEventHandler::dispatch(std::uint32_t code) {
    std::lock_guard list(listLock_);
    for (WndMessage& m : messages_) {
        if (m.key != code && m.key != 0) continue;
        m.wParam = code;
        if (m.window != nullptr) m.window->postMessage(m.message, code, 0);
        return;
    }
}

Status Qel1394DriverEventHandler::stop(std::uint32_t timeoutMs) {
    Status status = QEL_OK;
    std::thread thread;
    {
        std::lock_guard list(listLock_);
        thread.swap(thread_);
    }
    if (thread.joinable()) {
        os_.setEvent(stopEvent_);
        if (os_.waitForOne(exitedEvent_, timeoutMs) != os::kWaitObject0) status = QEL_E_FAILED;
    }
    bool abandoned = false;
    {
        std::lock_guard list(listLock_);
        if (thread.joinable() && !finished_) abandoned_ = true;
        abandoned = abandoned_;
    }
    if (thread.joinable()) {
        // Past the limit the thread keeps its share of this object and ends
        // by itself; the request it waits in holds the driver lock.
        if (abandoned)
            thread.detach();
        else
            thread.join();
    }
    if (!abandoned) closeDriver();
    std::lock_guard list(listLock_);
    for (const WndMessage& m : messages_)
        if (m.window != nullptr) m.window->postMessage(m.message, QEL_EVENT_UNREGISTERED, 0);
    messages_.clear();
    if (notification_ != nullptr) {
        os_.unregisterDeviceNotification(notification_);
        notification_ = nullptr;
    }
    return status;
}

bool Qel1394DriverEventHandler::hasDeviceNotification() const {
    std::lock_guard list(listLock_);
    return notification_ != nullptr;
}

bool Qel1394DriverEventHandler::registerDeviceNotification(IWindow* window, std::uint32_t message) {
    std::lock_guard list(listLock_);
    if (notification_ != nullptr) return true;
    if (window == nullptr) return false;
    notification_ = os_.registerDeviceNotification(
        device_.interfaceGuid(),
        [window, message](std::uint32_t eventCode, const std::string&) { window->postMessage(message, eventCode, 0); });
    return notification_ != nullptr;
}

bool Qel1394DriverEventHandler::add(std::uint32_t key, IWindow* window, std::uint32_t message) {
    std::lock_guard list(listLock_);
    for (const WndMessage& m : messages_)
        if (m.key == key) return false;
    messages_.push_back(WndMessage{key, window, message, 0, 0});
    return true;
}

void Qel1394DriverEventHandler::remove(std::uint32_t key) {
    std::lock_guard list(listLock_);
    for (auto it = messages_.begin(); it != messages_.end(); ++it) {
        if (it->key != key) continue;
        if (it->window != nullptr) it->window->postMessage(it->message, QEL_EVENT_UNREGISTERED, 0);
        messages_.erase(it);
        return;
    }
}

std::vector<Qel1394DriverEventHandler::WndMessage> Qel1394DriverEventHandler::registrations() const {
    std::lock_guard list(listLock_);
    return messages_;
}

bool Qel1394DriverEventHandler::running() const {
    std::lock_guard list(listLock_);
    return thread_.joinable() && os_.waitForOne(exitedEvent_, 0) != os::kWaitObject0;
}

}  // namespace qel
