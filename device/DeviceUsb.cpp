// The USB branches of the Device adapter.
#include <algorithm>

#include "device/DriverRefresh.h"
#include <cstring>

#include "device/Device.h"

namespace qel {

namespace {
// Sync index 1..4 and its mode code; 212 (the device's own clock) otherwise.
std::uint32_t usbSyncCode(std::uint32_t index) { return index >= 1 && index <= 4 ? 212 + index : 212; }
}  // namespace

Status Device::openUsb() {
    CUsbDriver& drv = context_.usbDrv();
    Status opened = QEL_OK;
    const Status listed = openAndRefresh(drv, props_.interfaceGuid, &opened);
    // A driver that lists no device is a failure even when it opened.
    if (listed != QEL_OK)
        return opened != QEL_OK ? opened : listed;
    os::IOs& os = context_.platform();
    // The interface of the driver device whose look-up name is this one's
    // (the driver lists its devices in interface order); none: nothing opens.
    const auto& records = drv.deviceProperties();
    const auto match = std::find_if(records.begin(), records.end(), [&](const QEL_USB_DEVICE_PROPERTIES& p) {
        return os.codePageToUtf8(p.lookupName()) == props_.lookupName;
    });
    if (match == records.end()) return QEL_E_FAILED;
    const auto index = static_cast<std::uint32_t>(match - records.begin());
    os::DevInfoSet set = os.getClassDevs(props_.interfaceGuid);
    Status status = usb_->openUsbDevice(index, set, &props_);
    if (set != nullptr) os.destroyDevInfoSet(set);
    // A handle left open from before the device went away: wait for it to
    // come back (only possible while plug-and-play notification runs).
    if (status != QEL_OK) status = usb_->reopenUsbDevice(true, 100) == QEL_OK ? QEL_OK : QEL_E_FAILED;
    if (status == QEL_OK) ReadSyncSource();
    return status;
}

Status Device::setPanUsb(double value, std::uint8_t block) {
    double master = 0;
    const Status read = usb_->getVolume(block, 0, master);
    if (read != QEL_OK) return read;
    double left = master, right = master;
    if (value > 0)
        left = master + (-63 - master) * value / 127;
    else
        right = master + (-63 - master) * -value / 127;
    const Status second = usb_->setVolume(block, 2, right);
    const Status first = usb_->setVolume(block, 1, left);
    // Either failure is reported.
    return second != QEL_OK ? second : first;
}

Status Device::readSyncSourceUsb() {
    const QEL_USB_DEVICE_SYNCH_MODE_INFO* rec = context_.usbDrv().findSyncMode(props_.deviceId);
    if (rec == nullptr) return QEL_E_FAILED;
    const std::uint32_t c = rec->current().code;
    syncKind_ = c >= 213 && c <= 215 ? c - 212 : 0;
    return QEL_OK;
}

Status Device::setSyncSourceUsb(std::uint32_t index) {
    CUsbDriver& drv = context_.usbDrv();
    if (drv.syncModes().empty())
        if (const Status s = drv.refreshSyncModes(); s != QEL_OK) return s;
    const std::uint32_t target = usbSyncCode(index);
    bool found = false;
    for (auto& rec : drv.syncModes()) {
        const std::uint32_t n = std::min(rec.count(), QEL_USB_DEVICE_SYNCH_MODE_INFO::kMaxEntries);
        for (std::uint32_t i = 0; i < n && !found; ++i) {
            if (rec.entry(i).code != target) continue;
            const std::size_t from = QEL_USB_DEVICE_SYNCH_MODE_INFO::kEntriesOffset + QEL_SYNC_MODE_ENTRY::kSize * i;
            std::copy_n(rec.bytes.begin() + static_cast<std::ptrdiff_t>(from), QEL_SYNC_MODE_ENTRY::kSize,
                        rec.bytes.begin() + QEL_USB_DEVICE_SYNCH_MODE_INFO::kCurrentOffset);
            found = true;
        }
        if (found) break;
    }
    if (!found) return QEL_E_FAILED;
    if (const Status s = drv.writeSyncModes(); s != QEL_OK) return s;
    if (const Status s = drv.writeSyncModes(); s != QEL_OK) return s;
    drv.writeSyncSettings();
    drv.writeSyncParameter();
    drv.writeSyncModes();
    drv.endSyncChange();
    return QEL_OK;
}

Status Device::readLevels(std::uint32_t channels, std::vector<double>& levels) {
    if (!usb_) return QEL_E_FAILED;
    return usb_->readLevels(channels, levels);
}

std::uint8_t Device::readDeviceMessage() { return usb_ ? usb_->readDeviceMessage() : 0; }

}  // namespace qel
