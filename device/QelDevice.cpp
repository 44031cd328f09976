#include "device/QelDevice.h"

#include "device/Requests.h"

namespace qel {

CQelDevice::CQelDevice(QelContext& context, const os::Guid& interfaceGuid, std::uint32_t companyId)
    : CQel1394CtrlImpl(context.platform()), context_(context), companyId_(companyId & 0xFFFFFF),
      interfaceGuid_(interfaceGuid) {}

CQelDevice::~CQelDevice() = default;

Status CQelDevice::openDevice(const os::Guid& interfaceGuid, std::uint32_t deviceId) {
    // A second open must not close the device that is open.
    if (isOpen()) return QEL_E_BAD_CALL;
    os::DevInfoSet set = os_.getClassDevs(interfaceGuid);
    // Without an enumeration set nothing can be opened: report it rather than
    // success.
    if (set == nullptr) return QEL_E_INVALID_ARG;
    Status status = QEL_OK;
    for (std::uint32_t index = 0;; ++index) {
        status = open(set, index, &interfaceGuid);
        if (status != QEL_OK) {
            closeDevice();
            break;
        }
        std::uint32_t id = 0;
        getDeviceId(id);
        if (deviceId == 0 || id == deviceId) {
            interfaceIndex_ = index;
            os_.destroyDevInfoSet(set);
            return context_.drv().openDriver(interfaceGuid);
        }
        closeDevice();
    }
    os_.destroyDevInfoSet(set);
    return status;
}

void CQelDevice::closeDevice() {
    close();
    context_.drv().closeDriver();
}

Status CQelDevice::getDeviceId(std::uint32_t& deviceId) {
    QEL_DEVICE_PROPERTIES props;
    std::uint32_t got = 0;
    Status status = sendRequest(QEL_REQ_GET_OWN_DEVICE_PROPERTIES, nullptr, 0, props.data(), props.size(), &got);
    if (status == QEL_OK && got != props.size()) status = QEL_E_BAD_LENGTH;
    deviceId_ = status == QEL_OK ? props.deviceId() : 0;
    deviceId = deviceId_;
    return status;
}

template <class Fn>
Status CQelDevice::withDeviceList(const os::Guid& interfaceGuid, Fn fn) {
    CDrv& drv = context_.drv();
    Status status = drv.openDriver(interfaceGuid);
    if (status != QEL_OK) return status;
    // A refresh that failed for one device still lists the others.
    status = drv.refreshDeviceProperties();
    const bool found = fn(drv.deviceProperties());
    drv.closeDriver();
    return found ? QEL_OK : status;
}

Status CQelDevice::getDeviceName(const os::Guid& interfaceGuid, std::uint32_t deviceId, std::string& name) {
    return withDeviceList(interfaceGuid, [&](const std::vector<QEL_DEVICE_PROPERTIES>& list) {
        for (const auto& p : list)
            if (p.deviceId() == deviceId) {
                name = os_.codePageToUtf8(p.serial());
                return true;
            }
        return false;
    });
}

Status CQelDevice::findDeviceByName(const os::Guid& interfaceGuid, const std::string& name,
                                    std::uint32_t& deviceId) {
    return withDeviceList(interfaceGuid, [&](const std::vector<QEL_DEVICE_PROPERTIES>& list) {
        for (const auto& p : list)
            if (os_.codePageToUtf8(p.serial()) == name) {
                deviceId = p.deviceId();
                return true;
            }
        return false;
    });
}

}  // namespace qel
