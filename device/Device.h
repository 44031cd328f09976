#pragma once
// One connected device as the mixer sees it: the bus-neutral adapter in front
// of the FireWire or the USB device. Mixer operations and the clock operations
// of the control section; without a device every operation fails with
// QEL_E_FAILED.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/AvcNotifyCmd.h"
#include "device/DeviceProps.h"
#include "device/QelContext.h"
#include "device/QelDevice.h"
#include "device/QelUsbDevice.h"
#include "device/Window.h"

namespace qel {

// Posted for a change of a watched feature block.
inline constexpr std::uint32_t QEL_MSG_FEATURE_BLOCK = 0x8005;

class Device {
public:
    // `fw` may be null (a device the adapter cannot reach).
    Device(QelContext& context, DEVICE_PROPS props, std::unique_ptr<CQelDevice> fw);
    // A USB device; `usb` may be null.
    Device(QelContext& context, DEVICE_PROPS props, std::unique_ptr<CQelUsbDevice> usb);
    // Without any device.
    Device(QelContext& context, DEVICE_PROPS props, std::nullptr_t)
        : Device(context, std::move(props), std::unique_ptr<CQelDevice>()) {}
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Finds the device's identifier by its look-up name, opens it (closing a
    // stale handle first) and reads its sync kind.
    Status openMixerDevice();
    Status setChannelBalance(std::uint8_t channel, std::uint8_t block, double value);
    Status setPan(double value, std::uint8_t block);
    Status setVolume(std::uint8_t block, std::int32_t db);
    bool RegisterBlockNotify(std::uint8_t block, IWindow* window);
    Status setDeviceMode(std::uint32_t mode);

    // ---- Clock
    static const char* RateName(std::uint32_t code);
    // AV/C sample-rate code of a rate in Hz (15 for any other).
    static std::uint8_t rateCode(std::uint32_t hz);
    Status SetSampleRate(std::uint32_t hz);
    Status ReadSampleRateInfo();
    Status GetCurrentRate(std::uint32_t& hz);
    Status ReadSyncSource();
    Status SetSyncSource(std::uint32_t index);
    // Input 1 coaxial, 2 optical: detected flag and rate code (15 = none).
    Status ReadDigitalInput(std::uint32_t input, std::uint32_t& detected, std::uint32_t& rateCode);
    Status ReadVendorValue(const AVCVendorSpecCMD& cmd, std::uint32_t& value);

    // Sync index 0..4 (Device, Coax SPDIF, Optical, Word Clock, PC) of a
    // sync-mode entry's kind and lower-case name.
    static std::uint32_t syncIndexFor(std::uint32_t kind, const std::string& lowerName);

    const DEVICE_PROPS& props() const { return props_; }
    CQelDevice* fireWire() { return fw_.get(); }
    CQelUsbDevice* usb() { return usb_.get(); }

    // ---- USB firmware requests of the mixer's polls (QEL_E_FAILED on FireWire)
    // One level per audio channel, percent of full scale.
    Status readLevels(std::uint32_t channels, std::vector<double>& levels);
    // The pending device message, 0 for none.
    std::uint8_t readDeviceMessage();
    std::uint32_t deviceMode() const { return mode_; }
    void setModeValue(std::uint32_t mode) { mode_ = mode; }
    std::uint32_t syncKind() const { return syncKind_; }
    bool firstFlag() const { return firstFlag_; }
    bool secondFlag() const { return secondFlag_; }
    std::uint8_t avcRateCode() const { return avcRateCode_; }
    std::uint32_t rateWord() const { return rateWord_; }
    std::uint32_t currentRate() const { return currentRate_; }
    const std::vector<std::uint32_t>& possibleRates() const { return rates_; }
    const std::vector<std::unique_ptr<AVCSUFeatureBlockNotifyCMD>>& watchedBlocks() const { return watched_; }

private:
    // The own device's sync-mode record after opening the driver and reading
    // the sync settings; null with `status` set when there is none.
    QEL_DEVICE_SYNCH_MODE_INFO* ownSyncModes(Status& status);

    // The USB branches (device/DeviceUsb.cpp).
    Status openUsb();
    Status setPanUsb(double value, std::uint8_t block);
    Status readSyncSourceUsb();
    Status setSyncSourceUsb(std::uint32_t index);

    QelContext& context_;
    DEVICE_PROPS props_;
    std::unique_ptr<CQelDevice> fw_;
    std::unique_ptr<CQelUsbDevice> usb_;
    bool firstFlag_ = false;   // answer to vendor command 3
    bool secondFlag_ = false;  // answer to vendor command 4
    std::uint32_t mode_ = 0;
    std::uint32_t syncKind_ = 0;
    std::uint32_t rateWord_ = 0;
    std::uint32_t currentRate_ = 0;
    std::vector<std::uint32_t> rates_;
    std::uint8_t avcRateCode_ = 15;
    std::vector<std::unique_ptr<AVCSUFeatureBlockNotifyCMD>> watched_;
};

}  // namespace qel
