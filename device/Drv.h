#pragma once
// The process-wide FireWire driver object: the control handle plus the lists
// the driver returns (device properties and sync modes, in device-list order).
#include <cstdint>
#include <vector>

#include "device/Qel1394Driver.h"
#include "device/Records.h"

namespace qel {

class CDrv : public CQel1394Driver {
public:
    explicit CDrv(os::IOs& os) : CQel1394Driver(os) {}

    // Empty the list, read the device list, then one record per identifier.
    // Returns the first item's failure (the loop goes on) or 0.
    Status refreshDeviceProperties();
    Status refreshSyncModes();
    // Refreshes the sync modes and returns the record of that device, or null.
    // The record belongs to the list and lives until the next refresh.
    QEL_DEVICE_SYNCH_MODE_INFO* findSyncMode(std::uint32_t deviceId);
    // QEL_REQ_SET_SYNC_MODE with the current entry of every listed record.
    Status writeSyncModes();
    // Writes the rate into the kept record's current-rate word, then sets it.
    Status setSampleRate(std::uint32_t hz);

    Status readSyncSettings();
    Status writeSyncSettings();
    Status readSyncParameter();  // keeps word 1 on success only
    Status writeSyncParameter();
    Status readSampleRateInfo();
    Status beginSyncChange();
    Status endSyncChange();

    const std::vector<QEL_DEVICE_PROPERTIES>& deviceProperties() const { return deviceProperties_; }
    // The control panel edits ranks in place before writing the records back.
    std::vector<QEL_DEVICE_PROPERTIES>& deviceProperties() { return deviceProperties_; }
    const std::vector<QEL_DEVICE_SYNCH_MODE_INFO>& syncModes() const { return syncModes_; }
    std::vector<QEL_DEVICE_SYNCH_MODE_INFO>& syncModes() { return syncModes_; }
    QEL_SYNC_SETTINGS& syncSettings() { return syncSettings_; }
    std::uint32_t syncParameter() const { return syncParameter_; }
    void setSyncParameter(std::uint32_t v) { syncParameter_ = v; }
    const QEL_SAMPLE_RATE_INFO& sampleRateInfo() const { return sampleRate_; }

private:
    template <class R>
    Status refreshList(std::uint32_t code, std::vector<R>& list);

    QEL_SYNC_SETTINGS syncSettings_;
    std::vector<QEL_DEVICE_PROPERTIES> deviceProperties_;
    std::vector<QEL_DEVICE_SYNCH_MODE_INFO> syncModes_;
    std::uint32_t syncParameter_ = 0;
    QEL_SAMPLE_RATE_INFO sampleRate_;
};

}  // namespace qel
