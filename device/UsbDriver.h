#pragma once
// The process-wide USB driver object (CUsbDriver) on the USB control handle
// (CQelUsbDriver), its property record and the USB-only requests.
#include <cstdint>
#include <vector>

#include "device/DriverObject.h"
#include "device/QelUsbDriver.h"
#include "device/Records.h"
#include "device/Requests.h"

namespace qel {

// USB-only requests on the USB device handle.
inline constexpr std::uint32_t QEL_USB_REQ_GET_DESCRIPTOR = qelRequestCode(QEL_DEVICE_TYPE_USB, 0x801);
inline constexpr std::uint32_t QEL_USB_REQ_CONTROL_TRANSFER = qelRequestCode(QEL_DEVICE_TYPE_USB, 0x805);
inline constexpr std::uint32_t QEL_USB_REQ_806 = qelRequestCode(QEL_DEVICE_TYPE_USB, 0x806);

// 512-byte property record of a USB device.
struct QEL_USB_DEVICE_PROPERTIES : QelRecord<512> {
    static constexpr std::size_t kVendorOffset = 16, kModelOffset = 56, kDisplayOffset = 96,
                                 kLookupOffset = 136, kTextWidth = 40;
    static constexpr std::size_t kText176Offset = 176, kText176Width = 256;
    static constexpr std::size_t kText432Offset = 432, kText432Width = 80;

    std::uint32_t deviceId() const { return word(0); }
    std::uint32_t rank() const { return word(4); }
    std::uint32_t word2() const { return word(8); }
    std::uint32_t word3() const { return word(12); }
    std::string vendor() const { return text(kVendorOffset, kTextWidth); }
    std::string model() const { return text(kModelOffset, kTextWidth); }
    std::string displayName() const { return text(kDisplayOffset, kTextWidth); }
    std::string lookupName() const { return text(kLookupOffset, kTextWidth); }
    std::string text176() const { return text(kText176Offset, kText176Width); }
    std::string text432() const { return text(kText432Offset, kText432Width); }
    bool valid() const { return true; }
};

// Same size and layout as the FireWire record.
using QEL_USB_DEVICE_SYNCH_MODE_INFO = QEL_DEVICE_SYNCH_MODE_INFO;

// Device properties report the status of the last identifier's request and
// QEL_E_NO_DEVICES for an empty device list; setSampleRate sends the rate as
// is and leaves the kept sample-rate record alone.
class CUsbDriver : public CDriverObject<CQelUsbDriver, QEL_USB_DEVICE_PROPERTIES> {
public:
    explicit CUsbDriver(os::IOs& os)
        : CDriverObject(os, {.properties = EachStatus::LastItem, .emptyListIsNoDevices = true,
                             .setRateKeepsRecord = false}) {}
};

}  // namespace qel
