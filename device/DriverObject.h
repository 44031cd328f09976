#pragma once
// The process-wide driver object, one per driver (FireWire: CDrv, USB:
// CUsbDriver): a control handle plus the lists the driver returns (device
// properties and sync modes, in device-list order) and the clock records.
// The drivers differ in the device type of their requests (the handle's
// requestCode), their property record and the rules below.
#include <cstdint>
#include <vector>

#include "device/Qel1394Driver.h"
#include "device/Records.h"

namespace qel {

struct DriverObjectRules {
    // What refreshDeviceProperties reports of its per-device reads.
    EachStatus properties = EachStatus::FirstFailure;
    // A successful refresh of an empty device list is QEL_E_NO_DEVICES.
    bool emptyListIsNoDevices = false;
    // setSampleRate writes the rate into the kept sample-rate record.
    bool setRateKeepsRecord = true;
};

template <class Handle, class Properties>
class CDriverObject : public Handle {
public:
    CDriverObject(os::IOs& os, const DriverObjectRules& rules) : Handle(os), rules_(rules) {}

    // Empty the list, read the device list, then one record per identifier
    // (successful records are kept in list order). Device properties report
    // as the rules say; sync modes the first failure (the loop goes on) or 0.
    Status refreshDeviceProperties();
    Status refreshSyncModes();
    // Refreshes the sync modes and returns the record of that device, or null.
    // The record belongs to the list and lives until the next refresh.
    QEL_DEVICE_SYNCH_MODE_INFO* findSyncMode(std::uint32_t deviceId);
    // QEL_REQ_SET_SYNC_MODE with the current entry of every listed record.
    Status writeSyncModes();
    Status setSampleRate(std::uint32_t hz);

    Status readSyncSettings();
    Status writeSyncSettings();
    Status readSyncParameter();  // keeps word 1 on success only
    Status writeSyncParameter();
    Status readSampleRateInfo();
    Status beginSyncChange();
    Status endSyncChange();

    const std::vector<Properties>& deviceProperties() const { return deviceProperties_; }
    // The control panel edits ranks in place before writing the records back.
    std::vector<Properties>& deviceProperties() { return deviceProperties_; }
    const std::vector<QEL_DEVICE_SYNCH_MODE_INFO>& syncModes() const { return syncModes_; }
    std::vector<QEL_DEVICE_SYNCH_MODE_INFO>& syncModes() { return syncModes_; }
    QEL_SYNC_SETTINGS& syncSettings() { return syncSettings_; }
    std::uint32_t syncParameter() const { return syncParameter_; }
    void setSyncParameter(std::uint32_t v) { syncParameter_ = v; }
    const QEL_SAMPLE_RATE_INFO& sampleRateInfo() const { return sampleRate_; }

private:
    template <class R>
    Status refreshList(std::uint32_t code, EachStatus rule, std::vector<R>& list, bool& empty);
    // A request without an answer.
    Status send(std::uint32_t code, const void* in, std::uint32_t inLen);
    // A request whose input is word 0 = 0 and word 1 = `value`.
    Status sendValue(std::uint32_t code, std::uint32_t value);

    const DriverObjectRules rules_;
    QEL_SYNC_SETTINGS syncSettings_;
    std::vector<Properties> deviceProperties_;
    std::vector<QEL_DEVICE_SYNCH_MODE_INFO> syncModes_;
    std::uint32_t syncParameter_ = 0;
    QEL_SAMPLE_RATE_INFO sampleRate_;
};

}  // namespace qel
