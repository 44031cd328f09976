#pragma once
// The connected devices the mixer panel serves, joined with the configuration
// file: every FireWire device whose model the file describes and the first
// USB device, each opened and wrapped in a Device. The list only grows; an
// unplugged device keeps its entry.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/DeviceProps.h"
#include "device/QelContext.h"
#include "mixer/app/XmlDom.h"
#include "os/Guid.h"

namespace qel::mixer {

class CDeviceList {
public:
    // A driver device that was looked at and not taken in.
    struct Skipped {
        enum class Reason { NoConfig, OpenFailed, NotFirstUsb };
        DEVICE_PROPS props;
        Reason reason = Reason::NoConfig;
        Status status = QEL_OK;  // the open's failure
    };
    // What one bus contributed at creation.
    struct BusReport {
        bool guidSet = false;    // the file gives a well-formed interface GUID
        Status open = QEL_OK;    // bringing the driver object up
        Status refresh = QEL_OK; // reading its device list
    };

    // Reads the interface GUIDs from the document (kept for every later
    // look-up) and fills the list.
    CDeviceList(QelContext& context, XmlDocument document);
    ~CDeviceList();
    CDeviceList(const CDeviceList&) = delete;
    CDeviceList& operator=(const CDeviceList&) = delete;

    // Takes in one device that arrived since: its identifier, or 0 when
    // there is none. Called once a second.
    std::uint32_t AddArrivedDevice();

    // The identifier of the first FireWire driver device whose serial-number
    // text is `name`, else of the first USB device when its look-up name is;
    // nothing when no device has that name.
    std::optional<std::uint32_t> deviceIdByName(const std::string& name);

    std::size_t size() const { return devices_.size(); }
    bool empty() const { return devices_.empty(); }
    // A copy of entry i's description; false (and `props` untouched) when i
    // lies outside the list.
    bool getDeviceProps(std::size_t i, DEVICE_PROPS& props) const;
    Device* device(std::size_t i) const { return i < devices_.size() ? devices_[i].get() : nullptr; }
    // The entry with that identifier on that bus, or null.
    Device* findDevice(std::uint32_t deviceId, std::uint32_t busKind) const;

    const XmlDocument& document() const { return document_; }
    const std::optional<os::Guid>& fireWireGuid() const { return fireWireGuid_; }
    const std::optional<os::Guid>& usbGuid() const { return usbGuid_; }
    const std::vector<Skipped>& skipped() const { return skipped_; }
    const BusReport& fireWireReport() const { return fireWireReport_; }
    const BusReport& usbReport() const { return usbReport_; }

private:
    void fillFireWire();
    void fillUsb();
    bool isListed(const DEVICE_PROPS& props) const;
    bool hasConfig(const DEVICE_PROPS& props) const;
    // Opens a FireWire device; null with `status` set on failure.
    std::unique_ptr<CQelDevice> openFireWire(const DEVICE_PROPS& props, Status& status);
    // Opens interface 0 of the USB class; the enumeration set is always released.
    std::unique_ptr<CQelUsbDevice> openUsb(const DEVICE_PROPS& props, Status& status);
    Device& append(std::unique_ptr<Device> device);

    QelContext& context_;
    std::optional<os::Guid> usbGuid_;
    std::optional<os::Guid> fireWireGuid_;
    XmlDocument document_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::vector<Skipped> skipped_;
    BusReport fireWireReport_;
    BusReport usbReport_;
};

}  // namespace qel::mixer
