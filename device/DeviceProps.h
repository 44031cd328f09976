#pragma once
// The description of one device as the mixer knows it, filled from the
// driver's property record; texts are UTF-8 converted from the code page.
#include <cstdint>
#include <string>

#include "device/Records.h"
#include "device/UsbDriver.h"
#include "os/Guid.h"
#include "os/Os.h"

namespace qel {

struct DEVICE_PROPS {
    virtual ~DEVICE_PROPS() = default;

    std::uint32_t busKind = 1;  // 1 FireWire, 0 USB
    os::Guid interfaceGuid;
    std::uint32_t deviceId = 0;
    std::uint32_t word2 = 0;  // USB only
    std::uint32_t word3 = 0;  // USB only
    std::uint32_t rank = 0;
    std::string vendorName;
    std::string modelName;
    std::string displayName;
    std::string lookupName;  // the serial-number text
    std::string fullName;
    std::string furtherText;

    static DEVICE_PROPS fromFireWire(const QEL_DEVICE_PROPERTIES& p, const os::Guid& guid, os::IOs& os) {
        DEVICE_PROPS d;
        d.busKind = 1;
        d.interfaceGuid = guid;
        d.deviceId = p.deviceId();
        d.rank = p.rank();
        d.vendorName = os.codePageToUtf8(p.vendor());
        d.modelName = os.codePageToUtf8(p.model());
        d.displayName = os.codePageToUtf8(p.deviceName());
        d.lookupName = os.codePageToUtf8(p.serial());
        d.fullName = os.codePageToUtf8(p.vendorModel());
        d.furtherText = os.codePageToUtf8(p.extra());
        return d;
    }

    static DEVICE_PROPS fromUsb(const QEL_USB_DEVICE_PROPERTIES& p, const os::Guid& guid, os::IOs& os) {
        DEVICE_PROPS d;
        d.busKind = 0;
        d.interfaceGuid = guid;
        d.deviceId = p.deviceId();
        d.word2 = p.word2();
        d.word3 = p.word3();
        d.rank = p.rank();
        d.vendorName = os.codePageToUtf8(p.vendor());
        d.modelName = os.codePageToUtf8(p.model());
        d.displayName = os.codePageToUtf8(p.displayName());
        d.lookupName = os.codePageToUtf8(p.lookupName());
        d.fullName = os.codePageToUtf8(p.text176());
        d.furtherText = os.codePageToUtf8(p.text432());
        return d;
    }
};

}  // namespace qel
