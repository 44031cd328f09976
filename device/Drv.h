#pragma once
// The process-wide FireWire driver object: the control handle plus the lists
// the driver returns (device properties and sync modes, in device-list order).
#include "device/DriverObject.h"

namespace qel {

// Device properties report the first failure; setSampleRate keeps the rate in
// the sample-rate record.
class CDrv : public CDriverObject<CQel1394Driver, QEL_DEVICE_PROPERTIES> {
public:
    explicit CDrv(os::IOs& os)
        : CDriverObject(os, {.properties = EachStatus::FirstFailure, .emptyListIsNoDevices = false,
                             .setRateKeepsRecord = true}) {}
};

}  // namespace qel
