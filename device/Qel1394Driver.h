#pragma once
// The driver control handle: synchronous driver-wide requests under the
// driver lock.
#include <cstdint>
#include <mutex>

#include "device/Records.h"
#include "device/Status.h"
#include "os/Os.h"

namespace qel {

class CQel1394Driver {
public:
    explicit CQel1394Driver(os::IOs& os) : os_(os) {}
    virtual ~CQel1394Driver();
    CQel1394Driver(const CQel1394Driver&) = delete;
    CQel1394Driver& operator=(const CQel1394Driver&) = delete;

    // Opens "\\.\{GUID}" unless open already (then 0, nothing sent). The
    // handle is shared: every successful open counts, and only the close that
    // matches the last outstanding open really closes it.
    Status openDriver(const os::Guid& interfaceGuid);
    void closeDriver();
    // Replaces a stale handle (its driver went away and came back) by a new
    // one; the outstanding opens stay counted.
    Status reopenDriver(const os::Guid& interfaceGuid);
    Status request(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen,
                   std::uint32_t* bytesReturned = nullptr);

    const QEL_DRIVER_VERSION& version() const { return version_; }
    bool isOpen() const;
    os::IOs& platform() { return os_; }

protected:
    // FireWire: byte 0 = 2 and byte 1 >= 14. The USB driver accepts any 2.x.
    virtual bool acceptVersion(const QEL_DRIVER_VERSION& v) const;
    // The version request of this driver's device type.
    virtual std::uint32_t versionCode() const;
    // Sends `code` and requires an answer of exactly `outLen` bytes.
    Status requestRecord(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen);

    os::IOs& os_;
    mutable std::recursive_mutex lock_;

private:
    Status openHandle(const os::Guid& interfaceGuid);
    void closeHandle();

    os::Handle control_ = nullptr;
    std::uint32_t opens_ = 0;  // successful opens not yet closed
    QEL_DRIVER_VERSION version_;
};

}  // namespace qel
