#pragma once
// The per-device handle of a FireWire device: opened from a device-interface
// enumeration set, carries overlapped requests under the request lock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "device/Status.h"
#include "os/Os.h"

namespace qel {

class CQel1394CtrlImpl {
public:
    explicit CQel1394CtrlImpl(os::IOs& os) : os_(os) {}
    virtual ~CQel1394CtrlImpl();
    CQel1394CtrlImpl(const CQel1394CtrlImpl&) = delete;
    CQel1394CtrlImpl& operator=(const CQel1394CtrlImpl&) = delete;

    Status open(os::DevInfoSet set, std::uint32_t index, const os::Guid* interfaceGuid);
    // Cancels what is pending on the handle, then closes it under the
    // request lock (no request nor block read is in progress on it any more).
    void close();
    // Ends the requests pending on the handle (they fail as aborted), so that
    // a request that the driver never completes does not hold the lock.
    void cancelPending();
    // `bytesReturned`, when given, receives the length of the answer.
    Status sendRequest(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen,
                       std::uint32_t* bytesReturned = nullptr);
    // QEL_REQ_ASYNC_READ_BLOCK with a private overlapped block; may run beside
    // an ordinary request.
    Status asyncReadBlock(const std::uint8_t (&in)[16], void* out, std::uint32_t outLen,
                          std::uint32_t& bytesReturned);

    std::uint32_t capabilityFlag() const { return capability_; }
    bool isOpen() const { return device_.load() != nullptr; }
    const std::string& devicePath() const { return devicePath_; }
    os::IOs& platform() { return os_; }

protected:
    os::IOs& os_;

private:
    // Written under the request lock; read without it by isOpen and cancelPending.
    std::atomic<os::Handle> device_{nullptr};
    os::Overlapped overlapped_;
    os::Handle requestEvent_ = nullptr;
    std::mutex requestLock_;
    std::mutex cancelLock_;  // a cancel never meets a handle being closed
    // Held shared by every block read for as long as it uses the handle
    // (they run beside the requests), exclusively while close() closes it.
    std::shared_mutex blockReadLock_;
    std::atomic<int> closing_{0};  // close() calls under way
    std::string devicePath_;
    std::uint32_t capability_ = 0;
};

}  // namespace qel
