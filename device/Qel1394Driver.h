#pragma once
// The driver control handle: synchronous driver-wide requests under the
// driver lock, and the record reads every driver object builds on.
#include <cstdint>
#include <mutex>
#include <vector>

#include "device/Records.h"
#include "device/Status.h"
#include "os/Os.h"

namespace qel {

// What a read of one record per identifier reports.
enum class EachStatus {
    FirstFailure,  // the first failure (the loop goes on), or 0
    LastItem,      // the status of the last identifier's request
};

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
    // A driver-wide request (given by its FireWire code) as this driver's
    // device type sends it. FireWire sends the code as is.
    virtual std::uint32_t requestCode(std::uint32_t code) const { return code; }
    // Sends `code` and requires an answer of exactly `outLen` bytes.
    Status requestRecord(std::uint32_t code, const void* in, std::uint32_t inLen, void* out, std::uint32_t outLen);
    // An answer of the record's size that the record finds valid (else
    // QEL_E_BAD_LENGTH); `kept` is written on success only.
    template <class R>
    Status fetchRecord(std::uint32_t code, const void* in, std::uint32_t inLen, R& kept) {
        R answer;
        Status status = requestRecord(code, in, inLen, answer.data(), answer.size());
        if (status == QEL_OK && !answer.valid()) status = QEL_E_BAD_LENGTH;
        if (status == QEL_OK) kept = answer;
        return status;
    }
    // The same for the record of one identifier (sent as a 32-bit word).
    template <class R>
    Status fetchRecord(std::uint32_t code, std::uint32_t id, R& kept) {
        std::uint8_t in[4];
        os::putLe32(in, 0, id);
        return fetchRecord(code, in, sizeof in, kept);
    }
    // One record per identifier, in order. The records read are appended to
    // `list` and, when given, their identifiers to `listedIds`; a failed one
    // is left out and the loop goes on.
    template <class R>
    Status fetchEach(std::uint32_t code, const std::vector<std::uint32_t>& ids, EachStatus rule, std::vector<R>& list,
                     std::vector<std::uint32_t>* listedIds = nullptr) {
        Status result = QEL_OK;
        for (const std::uint32_t id : ids) {
            R record;
            // requestRecord answers QEL_E_NOT_OPEN when the control handle is closed.
            const Status status = fetchRecord(code, id, record);
            if (status == QEL_OK) {
                list.push_back(record);
                if (listedIds) listedIds->push_back(id);
            }
            if (rule == EachStatus::LastItem || result == QEL_OK) result = status;
        }
        return result;
    }

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
