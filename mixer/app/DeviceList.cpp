#include "mixer/app/DeviceList.h"

#include "device/DriverRefresh.h"

#include "device/AvcFrames.h"
#include "mixer/app/DeviceConfig.h"

namespace qel::mixer {

namespace {
// A GUID attribute of the file; unset when missing or malformed.
std::optional<os::Guid> readGuid(const XmlDocument& doc, const char* xpath) {
    const XmlNode attr = doc.selectSingleNode(xpath);
    if (attr.isNull()) return std::nullopt;
    return os::Guid::parse(attr.text());
}
}  // namespace

CDeviceList::CDeviceList(QelContext& context, XmlDocument document)
    : context_(context), document_(std::move(document)) {
    fireWireGuid_ = readGuid(document_, "QelDeviceConfig/IID/@GUID_1394");
    usbGuid_ = readGuid(document_, "QelDeviceConfig/IID/@GUID_USB");
    devices_.clear();
    fillFireWire();
    fillUsb();
}

CDeviceList::~CDeviceList() = default;

void CDeviceList::fillFireWire() {
    fireWireReport_.guidSet = fireWireGuid_.has_value();
    if (!fireWireGuid_) return;
    CDrv& drv = context_.drv();
    if ((fireWireReport_.open = drv.openDriver(*fireWireGuid_)) != QEL_OK) return;
    if ((fireWireReport_.refresh = drv.refreshDeviceProperties()) != QEL_OK) return;
    // A copy: opening a device may refresh the driver's list.
    const std::vector<QEL_DEVICE_PROPERTIES> records = drv.deviceProperties();
    for (const auto& record : records) {
        DEVICE_PROPS props = DEVICE_PROPS::fromFireWire(record, *fireWireGuid_, context_.platform());
        if (!hasConfig(props)) {
            skipped_.push_back({std::move(props), Skipped::Reason::NoConfig, QEL_OK});
            continue;
        }
        Status status = QEL_OK;
        auto fw = openFireWire(props, status);
        if (!fw) {
            skipped_.push_back({std::move(props), Skipped::Reason::OpenFailed, status});
            continue;
        }
        append(std::make_unique<Device>(context_, std::move(props), std::move(fw)));
    }
}

void CDeviceList::fillUsb() {
    usbReport_.guidSet = usbGuid_.has_value();
    if (!usbGuid_) return;
    CUsbDriver& drv = context_.usbDrv();
    if ((usbReport_.open = drv.openDriver(*usbGuid_)) != QEL_OK) return;
    if ((usbReport_.refresh = drv.refreshDeviceProperties()) != QEL_OK) return;
    const std::vector<QEL_USB_DEVICE_PROPERTIES> records = drv.deviceProperties();
    if (records.empty()) return;
    // Only the first USB device is taken in, whether or not the file knows its
    // model (the mixer panel warns about it at start-up).
    DEVICE_PROPS props = DEVICE_PROPS::fromUsb(records.front(), *usbGuid_, context_.platform());
    Status status = QEL_OK;
    if (auto usb = openUsb(props, status))
        append(std::make_unique<Device>(context_, std::move(props), std::move(usb)));
    else
        skipped_.push_back({std::move(props), Skipped::Reason::OpenFailed, status});
    for (std::size_t i = 1; i < records.size(); ++i)
        skipped_.push_back({DEVICE_PROPS::fromUsb(records[i], *usbGuid_, context_.platform()),
                            Skipped::Reason::NotFirstUsb, QEL_OK});
}

std::uint32_t CDeviceList::AddArrivedDevice() {
    if (fireWireGuid_) {
        CDrv& drv = context_.drv();
        if (openAndRefresh(drv, *fireWireGuid_) == QEL_OK) {
            const std::vector<QEL_DEVICE_PROPERTIES> records = drv.deviceProperties();
            // Every device is looked at: a listed or undescribed one does not
            // hide the devices behind it.
            for (const auto& record : records) {
                DEVICE_PROPS props = DEVICE_PROPS::fromFireWire(record, *fireWireGuid_, context_.platform());
                if (isListed(props) || !hasConfig(props)) continue;
                Status status = QEL_OK;
                auto fw = openFireWire(props, status);
                if (!fw) continue;
                return append(std::make_unique<Device>(context_, std::move(props), std::move(fw)))
                    .props()
                    .deviceId;
            }
        }
    }
    if (usbGuid_) {
        CUsbDriver& drv = context_.usbDrv();
        if (openAndRefresh(drv, *usbGuid_) != QEL_OK || drv.deviceProperties().empty()) return 0;
        DEVICE_PROPS props = DEVICE_PROPS::fromUsb(drv.deviceProperties().front(), *usbGuid_, context_.platform());
        if (isListed(props) || !hasConfig(props)) return 0;
        Status status = QEL_OK;
        auto usb = openUsb(props, status);
        if (!usb) return 0;
        return append(std::make_unique<Device>(context_, std::move(props), std::move(usb))).props().deviceId;
    }
    return 0;
}

std::optional<std::uint32_t> CDeviceList::deviceIdByName(const std::string& name) {
    os::IOs& os = context_.platform();
    if (fireWireGuid_) {
        CDrv& drv = context_.drv();
        if (drv.openDriver(*fireWireGuid_) == QEL_OK) drv.refreshDeviceProperties();
        for (const auto& record : drv.deviceProperties())
            if (os.codePageToUtf8(record.serial()) == name) return record.deviceId();
    }
    if (usbGuid_) {
        CUsbDriver& drv = context_.usbDrv();
        if (drv.openDriver(*usbGuid_) == QEL_OK) drv.refreshDeviceProperties();
        const auto& records = drv.deviceProperties();
        if (!records.empty() && os.codePageToUtf8(records.front().lookupName()) == name)
            return records.front().deviceId();
    }
    return std::nullopt;
}

bool CDeviceList::getDeviceProps(std::size_t i, DEVICE_PROPS& props) const {
    if (i >= devices_.size()) return false;
    props = devices_[i]->props();
    return true;
}

Device* CDeviceList::findDevice(std::uint32_t deviceId, std::uint32_t busKind) const {
    for (const auto& d : devices_)
        if (d->props().deviceId == deviceId && d->props().busKind == busKind) return d.get();
    return nullptr;
}

// A device is known by its bus and the driver's identifier, or by its serial
// number: one plugged back under a new identifier (another port) is the
// listed one, whose mixer opens it again by serial (Device::openMixerDevice).
// A second unit of a listed model is a device of its own.
bool CDeviceList::isListed(const DEVICE_PROPS& props) const {
    for (const auto& d : devices_) {
        const DEVICE_PROPS& p = d->props();
        if (p.busKind != props.busKind) continue;
        if (p.deviceId == props.deviceId || (!props.lookupName.empty() && p.lookupName == props.lookupName)) return true;
    }
    return false;
}

bool CDeviceList::hasConfig(const DEVICE_PROPS& props) const {
    return !document_.selectSingleNode(DeviceXPath(props.modelName)).isNull();
}

std::unique_ptr<CQelDevice> CDeviceList::openFireWire(const DEVICE_PROPS& props, Status& status) {
    auto fw = std::make_unique<CQelDevice>(context_, *fireWireGuid_, QEL_KAVRO_COMPANY_ID);
    status = fw->openDevice(*fireWireGuid_, props.deviceId);
    if (status != QEL_OK) return nullptr;
    return fw;
}

std::unique_ptr<CQelUsbDevice> CDeviceList::openUsb(const DEVICE_PROPS& props, Status& status) {
    os::IOs& os = context_.platform();
    // Without an enumeration set the device would be opened by the class
    // path alone; that is no device.
    const os::DevInfoSet set = os.getClassDevs(*usbGuid_);
    if (set == nullptr) {
        status = QEL_E_DEVICE_NOT_FOUND;
        return nullptr;
    }
    auto usb = std::make_unique<CQelUsbDevice>(os, *usbGuid_);
    status = usb->openUsbDevice(0, set, &props);
    os.destroyDevInfoSet(set);
    if (status != QEL_OK) return nullptr;
    return usb;
}

Device& CDeviceList::append(std::unique_ptr<Device> device) {
    device->ReadSyncSource();
    std::uint32_t mode = 0;
    if (device->ReadVendorValue(context_.avc().deviceMode, mode) == QEL_OK) device->setModeValue(mode);
    devices_.push_back(std::move(device));
    return *devices_.back();
}

}  // namespace qel::mixer
