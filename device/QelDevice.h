#pragma once
// One connected FireWire audio interface: its feature function blocks (volume,
// balance and mute of channels 0..2) through AV/C with a cache of the last
// known values, vendor-dependent commands, and the name look-ups.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/AvcFrames.h"
#include "device/AvcNotifyCmd.h"
#include "device/Qel1394CtrlImpl.h"
#include "device/QelContext.h"
#include "device/Window.h"

namespace qel {

class HSCICommunicationManager;
class Qel1394DriverEventHandler;
class QelAvcEventHandler;

// Last known values of one feature function block, in the 16-bit encoding
// (0..0xFFFF, so that no value can be taken for "unknown" = -1). A mute state
// is unknown (-1) until read or written too: a mute byte that started as 0
// would take a first "off" for one the device already has, and skip it.
struct FB_PARAMS {
    static constexpr std::uint8_t kChannels = 3;
    std::array<std::int32_t, kChannels> volume{-1, -1, -1};
    std::array<std::int32_t, kChannels> balance{-1, -1, -1};
    std::array<std::int16_t, kChannels> mute{-1, -1, -1};  // else the state byte last read or written
};

// A NOTIFY final response fetched and matched (see GetNotifyResponse).
struct NotifyResult {
    AvcFrame response;
    NotifyMatch match;
    bool updated = false;     // the matched command's data now hold the new value
    Status rearm = QEL_OK;    // status of arming the matched command again
};

// AV/C over one device handle, for a user that must not depend on the
// device object (the AV/C event thread).
Status avcTransactionOn(Qel1394Transport& transport, const AvcFrame& command, AvcFrame& response);
Status fetchNotifyResponseOn(Qel1394Transport& transport, AvcFrame& response);

class CQelDevice : public CQel1394CtrlImpl {
public:
    CQelDevice(QelContext& context, const os::Guid& interfaceGuid, std::uint32_t companyId);
    ~CQelDevice() override;

    // Searches the present interfaces for the device (0: the first one), then
    // opens the process-wide driver control handle.
    virtual Status openDevice(const os::Guid& interfaceGuid, std::uint32_t deviceId);
    virtual void closeDevice();
    // How long closeDevice waits in all for the event threads and the
    // requests in progress (QEL_EVENT_THREAD_STOP_MS unless set); what is
    // still busy past it is left to end by itself.
    void setStopLimit(std::uint32_t ms) { stopLimitMs_ = ms; }
    // Level meters from the HSCI area of device memory; `meters` grows to the
    // meter count.
    virtual bool initHsci();
    virtual bool readHsciMeters(std::vector<double>& meters);

    // Vendor-dependent commands, one operand (the low byte of `value` for the
    // status, whose answer byte is stored back in `value`).
    virtual Status sendVendorControl(const AVCVendorSpecCMD& cmd, std::uint8_t operand);
    virtual Status readVendorStatus(const AVCVendorSpecCMD& cmd, std::uint32_t& value);

    // Driver and AV/C event delivery: the first registration starts the
    // handler's thread; closeDevice stops it.
    virtual bool registerForDriverEvents(std::uint32_t key, IWindow* window, std::uint32_t message);
    virtual bool unregisterDriverEvents(std::uint32_t key);
    virtual bool registerForAVCEvents(AVC_NotifyCMD* cmd, IWindow* window, std::uint32_t message);
    virtual bool unregisterAVCEvents(AVC_NotifyCMD* cmd);

    // The cache entry of a function block, created or reset to unknown.
    virtual FB_PARAMS& addFeatureBlock(std::uint8_t block);
    // Creates or resets the entries 0 through `count` (at most 255).
    virtual void resetFeatureBlocks(std::uint32_t count);

    // Serial-number text of the device with that identifier; output unchanged
    // and 0 returned when no device matches.
    virtual Status getDeviceName(const os::Guid& interfaceGuid, std::uint32_t deviceId, std::string& name);
    virtual Status findDeviceByName(const os::Guid& interfaceGuid, const std::string& name, std::uint32_t& deviceId);
    virtual Status getDeviceId(std::uint32_t& deviceId);
    virtual std::uint32_t getInterfaceIndex() const { return interfaceIndex_; }
    virtual std::uint32_t getCompanyId() const { return companyId_; }

    // Feature blocks; channels 0..2 (another channel fails, nothing sent).
    virtual Status setVolume(std::uint8_t block, std::uint8_t channel, double db);
    virtual Status getVolume(std::uint8_t block, std::uint8_t channel, double& db);
    virtual Status setBalance(std::uint8_t block, std::uint8_t channel, double value);
    virtual Status getBalance(std::uint8_t block, std::uint8_t channel, std::int32_t& value);
    virtual Status getMute(std::uint8_t block, std::uint8_t channel, std::uint8_t& state);
    virtual Status setMute(std::uint8_t block, std::uint8_t channel, std::uint8_t state);
    virtual Status setMasterVolume(std::uint8_t block, std::int32_t db);

    // Vendor-dependent commands, two operands and the long form.
    virtual Status sendVendorControl2(const AVCVendorSpecCMD& cmd, std::uint8_t a, std::uint8_t b);
    virtual Status readVendorStatus2(const AVCVendorSpecCMD& cmd, std::uint8_t a, std::uint32_t& b);
    virtual Status sendVendorControlLong(const AVCVendorSpecCMD& cmd, std::uint8_t a, std::uint16_t b,
                                         std::uint32_t x, std::uint16_t y);

    virtual Status refreshDevices() { return context_.drv().refreshDeviceProperties(); }
    virtual Status readSyncParameter() { return context_.drv().readSyncParameter(); }
    virtual Status readSampleRateInfo() { return context_.drv().readSampleRateInfo(); }
    virtual Qel1394DriverEventHandler* getDriverEventHandler() { return driverEvents_.get(); }

    // ---- AV/C

    // One transaction: the response frame, or the request's failure
    // (QEL_E_BAD_LENGTH for a malformed answer).
    Status avcTransaction(const AvcFrame& command, AvcFrame& response);
    // Vendor STATUS of a command object; its data are replaced by the answer.
    Status readVendorData(AVC_NotifyCMD& cmd);
    // Sends the command's NOTIFY frame; 0 when answered INTERIM.
    Status armNotify(const AVC_NotifyCMD& cmd);
    // Detected flag and rate code of a digital input; (false, 15) on any
    // failure or while AV/C event delivery is not running.
    void readDigitalInDetection(AVCDigitalInDetectionCMD& cmd, bool& detected, std::uint8_t& rateCode);
    // Whether AV/C event delivery runs for this device.
    virtual bool avcEventsStarted() const;

    // QEL_REQ_GET_NOTIFY_RESPONSE: one NOTIFY final response.
    Status fetchNotifyResponse(AvcFrame& response);
    // Fetches one response; when it is at least 7 bytes long, matches it to
    // the watched commands, copies the new data into the matching one and arms
    // it again. A shorter response is QEL_E_BAD_LENGTH (its length in
    // result.response.length).
    Status GetNotifyResponse(std::span<AVC_NotifyCMD* const> watched, NotifyResult& result);

    std::uint32_t deviceId() const { return deviceId_; }
    const os::Guid& interfaceGuid() const { return interfaceGuid_; }
    QelContext& context() { return context_; }
    // The cache entry, or null when the block was never used.
    const FB_PARAMS* featureBlock(std::uint8_t block) const;
    // A value the device reported by itself (a NOTIFY: a knob turned on the
    // device) goes into the cache, so that a user's move back to the value
    // the cache held before still reaches the device.
    void noteDeviceValue(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t value);
    QelAvcEventHandler* avcEventHandler() { return avcEvents_.get(); }
    HSCICommunicationManager* hsci() { return hsci_.get(); }

private:
    // Opens the driver, refreshes the device list and runs `fn` over the
    // records; the control handle is closed again whatever happens.
    template <class Fn>
    Status withDeviceList(const os::Guid& interfaceGuid, Fn fn);
    FB_PARAMS& cacheEntry(std::uint8_t block);
    Status sendValue(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t value);
    Status readValue(std::uint8_t block, std::uint8_t channel, std::uint8_t selector, std::int16_t& value);
    Status vendorControl(const AVCVendorSpecCMD& cmd, std::span<const std::uint8_t> operands);

    QelContext& context_;
    std::uint32_t companyId_;
    os::Guid interfaceGuid_;
    std::uint32_t deviceId_ = 0;
    std::uint32_t interfaceIndex_ = 0;
    std::uint32_t stopLimitMs_;
    std::map<std::uint8_t, FB_PARAMS> cache_;
    std::shared_ptr<QelAvcEventHandler> avcEvents_;  // shared with its thread
    std::shared_ptr<Qel1394DriverEventHandler> driverEvents_;  // shared with its thread
    std::unique_ptr<HSCICommunicationManager> hsci_;
};

}  // namespace qel
