#pragma once
// The USB driver's control handle: it works as on FireWire (same path form,
// same lock) with its own version rule; requests carry device type 0x8089.
#include "device/Qel1394Driver.h"
#include "device/Requests.h"

namespace qel {

class CQelUsbDriver : public CQel1394Driver {
public:
    explicit CQelUsbDriver(os::IOs& os) : CQel1394Driver(os) {}

protected:
    // Byte 0 = 2; byte 1 is not looked at.
    bool acceptVersion(const QEL_DRIVER_VERSION& v) const override { return v.major() == 2; }
    std::uint32_t requestCode(std::uint32_t code) const override { return qelUsbCode(code); }
};

}  // namespace qel
