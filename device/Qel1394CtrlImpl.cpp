#include "device/Qel1394CtrlImpl.h"

#include <chrono>

#include "device/Records.h"
#include "device/Requests.h"

namespace qel {

// ---------------------------------------------------------------- the handle

Qel1394Transport::Qel1394Transport(os::IOs& os, os::Handle device, os::Handle requestEvent)
    : os_(os), device_(device), requestEvent_(requestEvent) {
    overlapped_.event = requestEvent_;
}

Qel1394Transport::~Qel1394Transport() {
    std::lock_guard lock(lock_);
    closeHandlesLocked();
}

void Qel1394Transport::closeHandlesLocked() {
    if (device_ != nullptr) os_.closeHandle(device_);
    if (requestEvent_ != nullptr) os_.closeHandle(requestEvent_);
    device_ = nullptr;
    requestEvent_ = nullptr;
}

bool Qel1394Transport::enter(bool request) {
    std::unique_lock lock(lock_);
    if (closed_) return false;
    ++users_;
    if (!request) return true;
    changed_.wait(lock, [this] { return !requestBusy_ || closed_; });
    if (!closed_) {
        requestBusy_ = true;
        return true;
    }
    --users_;
    if (users_ == 0 && abandoned_) closeHandlesLocked();
    changed_.notify_all();
    return false;
}

void Qel1394Transport::leave(bool request) {
    std::lock_guard lock(lock_);
    if (request) requestBusy_ = false;
    --users_;
    if (users_ == 0 && abandoned_) closeHandlesLocked();
    changed_.notify_all();
}

Status Qel1394Transport::request(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                 std::uint32_t outLen, std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    if (!enter(/*request=*/true)) return QEL_E_DEVICE_NOT_OPEN;
    // A user keeps the handle open; the overlapped block is this request's.
    os::Handle device = device_;
    std::uint32_t status = os_.ioctlOverlapped(device, code, in, inLen, out, outLen, overlapped_);
    if (status == os::kErrorIoPending) {
        // Issued after a close's cancel: it cancels itself.
        std::lock_guard lock(lock_);
        if (closed_) os_.cancelIo(device);
    }
    if (status == os::kErrorIoPending || (status == 0 && bytesReturned != nullptr)) {
        std::uint32_t got = 0;
        status = os_.getOverlappedResult(device, overlapped_, &got, /*wait=*/true);
        if (bytesReturned != nullptr) *bytesReturned = got;
    }
    leave(/*request=*/true);
    return status;
}

Status Qel1394Transport::readBlock(const std::uint8_t (&in)[16], void* out, std::uint32_t outLen,
                                   std::uint32_t& bytesReturned) {
    bytesReturned = 0;
    if (!enter(/*request=*/false)) return QEL_E_DEVICE_NOT_OPEN;
    os::Handle device = device_;
    os::Overlapped ov;
    ov.event = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    if (ov.event == nullptr) {
        leave(false);
        return QEL_E_NO_EVENT;
    }
    Status status = os_.ioctlOverlapped(device, QEL_REQ_ASYNC_READ_BLOCK, in, sizeof in, out, outLen, ov);
    if (status == os::kErrorIoPending) {
        {
            std::lock_guard lock(lock_);
            if (closed_) os_.cancelIo(device);
        }
        status = QEL_OK;
        if (os_.waitForOne(ov.event, os::kInfinite) == os::kWaitTimeout) {
            status = QEL_E_WAIT_TIMEOUT;
            os_.cancelIo(device);
            os_.waitForOne(ov.event, os::kInfinite);
        }
    }
    // The result, now without waiting; a failure replaces the status.
    const std::uint32_t result = os_.getOverlappedResult(device, ov, &bytesReturned, /*wait=*/false);
    if (result != 0) status = result;
    os_.closeHandle(ov.event);
    leave(false);
    return status;
}

void Qel1394Transport::cancelPending() {
    std::lock_guard lock(lock_);
    if (device_ != nullptr) os_.cancelIo(device_);
}

bool Qel1394Transport::close(std::uint32_t limitMs) {
    std::unique_lock lock(lock_);
    if (closed_) return device_ == nullptr;
    closed_ = true;
    changed_.notify_all();  // requests waiting for their turn give up
    if (device_ != nullptr) os_.cancelIo(device_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return users_ == 0; })) {
        abandoned_ = true;
        return false;
    }
    closeHandlesLocked();
    return true;
}

// ---------------------------------------------------------------- the device handle

CQel1394CtrlImpl::~CQel1394CtrlImpl() { close(); }

std::shared_ptr<Qel1394Transport> CQel1394CtrlImpl::transport() const {
    std::lock_guard lock(transportLock_);
    return transport_;
}

Status CQel1394CtrlImpl::open(os::DevInfoSet set, std::uint32_t index, const os::Guid* interfaceGuid) {
    if (isOpen()) return QEL_E_BAD_CALL;
    if (set == nullptr || interfaceGuid == nullptr) return QEL_E_INVALID_ARG;
    devicePath_.clear();

    std::string path;
    const std::uint32_t err = os_.enumInterface(set, *interfaceGuid, index, path);
    if (err == os::kErrorNoMoreItems) return QEL_E_NO_MORE_DEVICES;
    if (err != 0) return err;
    devicePath_ = path;

    std::uint32_t openError = 0;
    os::Handle device = os_.openPath(path, /*overlapped=*/true, openError);
    if (device == nullptr) return QEL_E_OPEN_FAILED;
    os::Handle requestEvent = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    if (requestEvent == nullptr) {
        os_.closeHandle(device);
        return QEL_E_NO_EVENT;
    }
    {
        auto transport = std::make_shared<Qel1394Transport>(os_, device, requestEvent);
        std::lock_guard lock(transportLock_);
        transport_ = std::move(transport);
    }

    QEL_DRIVER_VERSION version;
    std::uint32_t got = 0;
    Status status = sendRequest(QEL_REQ_GET_DRIVER_VERSION, nullptr, 0, version.data(), version.size(), &got);
    if (status == QEL_OK && got != version.size()) status = QEL_E_BAD_LENGTH;
    if (status == QEL_OK && (version.major() != 2 || version.minor() < 14)) status = QEL_E_VERSION_MISMATCH;
    if (status == QEL_OK) {
        std::uint8_t caps[4] = {};
        status = sendRequest(QEL_REQ_GET_DEVICE_CAPABILITIES, nullptr, 0, caps, sizeof caps);
        if (status == QEL_OK) capability_ = (os::getLe32(caps, 0) >> 3) & 1;
    }
    if (status != QEL_OK) close();
    return status;
}

void CQel1394CtrlImpl::cancelPending() {
    if (const auto t = transport()) t->cancelPending();
}

void CQel1394CtrlImpl::close(std::uint32_t limitMs) {
    std::shared_ptr<Qel1394Transport> t;
    {
        std::lock_guard lock(transportLock_);
        t.swap(transport_);
    }
    if (t) t->close(limitMs);
}

Status CQel1394CtrlImpl::sendRequest(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                     std::uint32_t outLen, std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    const auto t = transport();
    if (!t) return QEL_E_DEVICE_NOT_OPEN;
    return t->request(code, in, inLen, out, outLen, bytesReturned);
}

Status CQel1394CtrlImpl::asyncReadBlock(const std::uint8_t (&in)[16], void* out, std::uint32_t outLen,
                                        std::uint32_t& bytesReturned) {
    bytesReturned = 0;
    const auto t = transport();
    if (!t) return QEL_E_DEVICE_NOT_OPEN;
    return t->readBlock(in, out, outLen, bytesReturned);
}

}  // namespace qel
