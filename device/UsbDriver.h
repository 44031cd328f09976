#pragma once
// The USB driver's control handle (CQelUsbDriver) and the process-wide USB
// driver object (CUsbDriver) with the lists the driver returns. The control
// handle works as on FireWire (same path form, same lock) with its own version
// rule; requests carry device type 0x8089.
#include <cstdint>
#include <vector>

#include "device/Qel1394Driver.h"
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

class CQelUsbDriver : public CQel1394Driver {
public:
    explicit CQelUsbDriver(os::IOs& os) : CQel1394Driver(os) {}

protected:
    // Byte 0 = 2; byte 1 is not looked at.
    bool acceptVersion(const QEL_DRIVER_VERSION& v) const override { return v.major() == 2; }
    std::uint32_t versionCode() const override { return qelUsbCode(QEL_REQ_GET_DRIVER_VERSION); }
};

class CUsbDriver : public CQelUsbDriver {
public:
    explicit CUsbDriver(os::IOs& os) : CQelUsbDriver(os) {}

    // QEL_E_NO_DEVICES for an empty device list; otherwise the status of the
    // last identifier's request. Successful records are kept in list order.
    Status refreshDeviceProperties();
    // The first item's failure (the loop goes on) or 0.
    Status refreshSyncModes();
    QEL_USB_DEVICE_SYNCH_MODE_INFO* findSyncMode(std::uint32_t deviceId);
    Status writeSyncModes();
    // Sent as is; the kept sample-rate record is not touched.
    Status setSampleRate(std::uint32_t hz);
    Status writeSyncSettings();
    Status writeSyncParameter();
    Status readSampleRateInfo();
    Status endSyncChange();

    const std::vector<QEL_USB_DEVICE_PROPERTIES>& deviceProperties() const { return deviceProperties_; }
    const std::vector<QEL_USB_DEVICE_SYNCH_MODE_INFO>& syncModes() const { return syncModes_; }
    std::vector<QEL_USB_DEVICE_SYNCH_MODE_INFO>& syncModes() { return syncModes_; }
    QEL_SYNC_SETTINGS& syncSettings() { return syncSettings_; }
    std::uint32_t syncParameter() const { return syncParameter_; }
    void setSyncParameter(std::uint32_t v) { syncParameter_ = v; }
    const QEL_SAMPLE_RATE_INFO& sampleRateInfo() const { return sampleRate_; }

private:
    // One record per identifier of the device list; `last` selects the USB
    // rule (status of the last item) over the first failure.
    template <class R>
    Status refreshList(std::uint32_t code, std::vector<R>& list, bool last, bool& empty);

    QEL_SYNC_SETTINGS syncSettings_;
    std::vector<QEL_USB_DEVICE_PROPERTIES> deviceProperties_;
    std::vector<QEL_USB_DEVICE_SYNCH_MODE_INFO> syncModes_;
    std::uint32_t syncParameter_ = 0;
    QEL_SAMPLE_RATE_INFO sampleRate_;
};

}  // namespace qel
