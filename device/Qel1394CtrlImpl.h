#pragma once
// The per-device handle of a FireWire device: opened from a device-interface
// enumeration set, carries overlapped requests under the request lock.
#include <cstdint>
#include <mutex>
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
    void close();
    // `bytesReturned`, when given, receives the length of the answer.
    Status sendRequest(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen,
                       std::uint32_t* bytesReturned = nullptr);
    // QEL_REQ_ASYNC_READ_BLOCK with a private overlapped block; may run beside
    // an ordinary request.
    Status asyncReadBlock(const std::uint8_t (&in)[16], void* out, std::uint32_t outLen,
                          std::uint32_t& bytesReturned);

    std::uint32_t capabilityFlag() const { return capability_; }
    bool isOpen() const { return device_ != nullptr; }
    const std::string& devicePath() const { return devicePath_; }
    os::IOs& platform() { return os_; }

protected:
    os::IOs& os_;

private:
    os::Handle device_ = nullptr;
    os::Overlapped overlapped_;
    os::Handle requestEvent_ = nullptr;
    std::mutex requestLock_;
    std::string devicePath_;
    std::uint32_t capability_ = 0;
};

}  // namespace qel
