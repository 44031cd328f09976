#include "device/Qel1394CtrlImpl.h"

#include "device/Records.h"
#include "device/Requests.h"

namespace qel {

CQel1394CtrlImpl::~CQel1394CtrlImpl() { close(); }

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

    Status status = QEL_OK;
    os::Handle requestEvent = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    {
        std::lock_guard lock(requestLock_);
        device_ = device;
        requestEvent_ = requestEvent;
        overlapped_ = os::Overlapped{};
        overlapped_.event = requestEvent_;
    }
    if (requestEvent == nullptr) {
        status = QEL_E_NO_EVENT;
    } else {
        QEL_DRIVER_VERSION version;
        std::uint32_t got = 0;
        status = sendRequest(QEL_REQ_GET_DRIVER_VERSION, nullptr, 0, version.data(), version.size(), &got);
        if (status == QEL_OK && got != version.size()) status = QEL_E_BAD_LENGTH;
        if (status == QEL_OK && (version.major() != 2 || version.minor() < 14)) status = QEL_E_VERSION_MISMATCH;
        if (status == QEL_OK) {
            std::uint8_t caps[4] = {};
            status = sendRequest(QEL_REQ_GET_DEVICE_CAPABILITIES, nullptr, 0, caps, sizeof caps);
            if (status == QEL_OK) capability_ = (os::getLe32(caps, 0) >> 3) & 1;
        }
    }
    if (status != QEL_OK) close();
    return status;
}

void CQel1394CtrlImpl::cancelPending() {
    std::lock_guard lock(cancelLock_);
    if (os::Handle device = device_.load()) os_.cancelIo(device);
}

void CQel1394CtrlImpl::close() {
    // A request or block read issued after this cancel sees closing_ and
    // cancels itself, so none can hold the locks below.
    ++closing_;
    cancelPending();
    std::unique_lock reads(blockReadLock_);
    std::lock_guard lock(requestLock_);
    std::lock_guard cancel(cancelLock_);
    if (os::Handle device = device_.exchange(nullptr)) os_.closeHandle(device);
    if (requestEvent_ != nullptr) {
        os_.closeHandle(requestEvent_);
        requestEvent_ = nullptr;
    }
    --closing_;
}

Status CQel1394CtrlImpl::sendRequest(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                     std::uint32_t outLen, std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    // The handle is read under the lock that close() holds while it changes it.
    std::lock_guard lock(requestLock_);
    os::Handle device = device_.load();
    if (device == nullptr) return QEL_E_DEVICE_NOT_OPEN;
    std::uint32_t status = os_.ioctlOverlapped(device, code, in, inLen, out, outLen, overlapped_);
    if (status == os::kErrorIoPending && closing_.load() != 0) os_.cancelIo(device);
    if (status == os::kErrorIoPending || (status == 0 && bytesReturned != nullptr)) {
        std::uint32_t got = 0;
        status = os_.getOverlappedResult(device, overlapped_, &got, /*wait=*/true);
        if (bytesReturned != nullptr) *bytesReturned = got;
    }
    return status;
}

Status CQel1394CtrlImpl::asyncReadBlock(const std::uint8_t (&in)[16], void* out, std::uint32_t outLen,
                                        std::uint32_t& bytesReturned) {
    bytesReturned = 0;
    // The handle stays open until the read is done with it.
    std::shared_lock reading(blockReadLock_);
    os::Handle device = device_.load();
    if (device == nullptr) return QEL_E_DEVICE_NOT_OPEN;
    os::Overlapped ov;
    ov.event = os_.createEvent(/*manualReset=*/false, /*initialState=*/false);
    if (ov.event == nullptr) return QEL_E_NO_EVENT;
    Status status = os_.ioctlOverlapped(device, QEL_REQ_ASYNC_READ_BLOCK, in, sizeof in, out, outLen, ov);
    if (status == os::kErrorIoPending) {
        if (closing_.load() != 0) os_.cancelIo(device);
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
    return status;
}

}  // namespace qel
