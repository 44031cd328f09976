#pragma once
// One connected FireWire audio interface.
#include <cstdint>
#include <string>

#include "device/Qel1394CtrlImpl.h"
#include "device/QelContext.h"

namespace qel {

class CQelDevice : public CQel1394CtrlImpl {
public:
    CQelDevice(QelContext& context, const os::Guid& interfaceGuid, std::uint32_t companyId);
    ~CQelDevice() override;

    // Searches the present interfaces for the device (0: the first one), then
    // opens the process-wide driver control handle.
    virtual Status openDevice(const os::Guid& interfaceGuid, std::uint32_t deviceId);
    virtual void closeDevice();

    // Serial-number text of the device with that identifier; output unchanged
    // and 0 returned when no device matches.
    virtual Status getDeviceName(const os::Guid& interfaceGuid, std::uint32_t deviceId, std::string& name);
    virtual Status findDeviceByName(const os::Guid& interfaceGuid, const std::string& name, std::uint32_t& deviceId);
    virtual Status getDeviceId(std::uint32_t& deviceId);
    virtual std::uint32_t getInterfaceIndex() const { return interfaceIndex_; }
    virtual std::uint32_t getCompanyId() const { return companyId_; }

    virtual Status refreshDevices() { return context_.drv().refreshDeviceProperties(); }
    virtual Status readSyncParameter() { return context_.drv().readSyncParameter(); }
    virtual Status readSampleRateInfo() { return context_.drv().readSampleRateInfo(); }

    std::uint32_t deviceId() const { return deviceId_; }
    const os::Guid& interfaceGuid() const { return interfaceGuid_; }
    QelContext& context() { return context_; }

private:
    // Opens the driver, refreshes the device list and runs `fn` over the
    // records; the control handle is closed again whatever happens.
    template <class Fn>
    Status withDeviceList(const os::Guid& interfaceGuid, Fn fn);

    QelContext& context_;
    std::uint32_t companyId_;
    os::Guid interfaceGuid_;
    std::uint32_t deviceId_ = 0;
    std::uint32_t interfaceIndex_ = 0;
};

}  // namespace qel
