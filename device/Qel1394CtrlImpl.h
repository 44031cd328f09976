#pragma once
// The per-device handle of a FireWire device: opened from a device-interface
// enumeration set, carries overlapped requests one at a time.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device/EventMessages.h"
#include "device/Status.h"
#include "os/Os.h"

namespace qel {

// One open device handle with its overlapped block and request event. It is
// shared by the device and by each request or block read while it uses it:
// once closed it takes no new users, and a user still busy past the close's
// limit (a request the driver does not complete) closes it when it is done.
class Qel1394Transport {
public:
    Qel1394Transport(os::IOs& os, os::Handle device, os::Handle requestEvent);
    ~Qel1394Transport();
    Qel1394Transport(const Qel1394Transport&) = delete;
    Qel1394Transport& operator=(const Qel1394Transport&) = delete;

    // One request at a time on the shared overlapped block; a request
    // waiting for its turn gives up when the handle closes.
    Status request(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen,
                   std::uint32_t* bytesReturned);
    // A read with its own overlapped block, beside the requests.
    Status readBlock(const std::uint8_t (&in)[16], void* out, std::uint32_t outLen, std::uint32_t& bytesReturned);
    // Ends what is pending on the handle (the driver may not honour it).
    void cancelPending();
    // Takes no new users, cancels what is pending and waits up to `limitMs`
    // for the users to finish. True when the handle is closed on return;
    // false when its last user closes it later.
    bool close(std::uint32_t limitMs);

private:
    // Counts a user unless closed; a request also waits for its turn.
    bool enter(bool request);
    void leave(bool request);
    void closeHandlesLocked();

    os::IOs& os_;
    std::mutex lock_;
    std::condition_variable changed_;
    os::Handle device_;        // closed (null) when no user is left after close
    os::Handle requestEvent_;
    os::Overlapped overlapped_;  // of the request in progress
    int users_ = 0;
    bool requestBusy_ = false;
    bool closed_ = false;     // no new users
    bool abandoned_ = false;  // close gave up waiting: the last user closes
};

class CQel1394CtrlImpl {
public:
    explicit CQel1394CtrlImpl(os::IOs& os) : os_(os) {}
    virtual ~CQel1394CtrlImpl();
    CQel1394CtrlImpl(const CQel1394CtrlImpl&) = delete;
    CQel1394CtrlImpl& operator=(const CQel1394CtrlImpl&) = delete;

    Status open(os::DevInfoSet set, std::uint32_t index, const os::Guid* interfaceGuid);
    // Cancels what is pending on the handle and closes it once no request nor
    // block read uses it; one still busy after `limitMs` closes it when done.
    // Requests issued afterwards find the device not open.
    void close(std::uint32_t limitMs = QEL_EVENT_THREAD_STOP_MS);
    // Ends the requests pending on the handle (they fail as aborted), so that
    // a request that the driver never completes does not hold the others.
    void cancelPending();
    // `bytesReturned`, when given, receives the length of the answer.
    Status sendRequest(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen,
                       std::uint32_t* bytesReturned = nullptr);
    // QEL_REQ_ASYNC_READ_BLOCK with a private overlapped block; may run beside
    // an ordinary request.
    Status asyncReadBlock(const std::uint8_t (&in)[16], void* out, std::uint32_t outLen,
                          std::uint32_t& bytesReturned);
    // The open handle, for a user that must not depend on this object (null
    // when not open).
    std::shared_ptr<Qel1394Transport> transport() const;

    std::uint32_t capabilityFlag() const { return capability_; }
    bool isOpen() const { return transport() != nullptr; }
    const std::string& devicePath() const { return devicePath_; }
    os::IOs& platform() { return os_; }

protected:
    os::IOs& os_;

private:
    mutable std::mutex transportLock_;  // held only to read or replace transport_
    std::shared_ptr<Qel1394Transport> transport_;
    std::string devicePath_;
    std::uint32_t capability_ = 0;
};

}  // namespace qel
