#include "device/DriverObject.h"

#include "device/QelUsbDriver.h"
#include "device/Requests.h"
#include "device/UsbDriver.h"

namespace qel {

template <class Handle, class Properties>
template <class R>
Status CDriverObject<Handle, Properties>::refreshList(std::uint32_t code, EachStatus rule, std::vector<R>& list,
                                                      bool& empty) {
    list.clear();
    empty = false;
    QEL_DEVICE_LIST devices;
    const Status status = this->requestRecord(this->requestCode(QEL_REQ_GET_DEVICE_LIST), nullptr, 0,
                                              devices.data(), devices.size());
    if (status != QEL_OK) return status;
    if (!devices.valid()) return QEL_E_BAD_LENGTH;  // a count the record cannot hold
    const std::vector<std::uint32_t> ids = devices.ids();
    empty = ids.empty();
    return this->fetchEach(this->requestCode(code), ids, rule, list);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::send(std::uint32_t code, const void* in, std::uint32_t inLen) {
    return this->request(this->requestCode(code), in, inLen, nullptr, 0);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::sendValue(std::uint32_t code, std::uint32_t value) {
    std::uint8_t in[8];
    os::putLe32(in, 0, 0);
    os::putLe32(in, 4, value);
    return send(code, in, sizeof in);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::refreshDeviceProperties() {
    bool empty = false;
    const Status status = refreshList(QEL_REQ_GET_DEVICE_PROPERTIES, rules_.properties, deviceProperties_, empty);
    return status == QEL_OK && empty && rules_.emptyListIsNoDevices ? QEL_E_NO_DEVICES : status;
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::refreshSyncModes() {
    bool empty = false;
    return refreshList(QEL_REQ_GET_SYNC_MODE_INFO, EachStatus::FirstFailure, syncModes_, empty);
}

template <class Handle, class Properties>
QEL_DEVICE_SYNCH_MODE_INFO* CDriverObject<Handle, Properties>::findSyncMode(std::uint32_t deviceId) {
    refreshSyncModes();
    for (auto& r : syncModes_)
        if (r.deviceId() == deviceId) return &r;
    return nullptr;
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::writeSyncModes() {
    Status first = QEL_OK;
    for (const auto& r : syncModes_) {
        std::uint8_t in[12];
        os::putLe32(in, 0, r.deviceId());
        const QEL_SYNC_MODE_ENTRY cur = r.current();
        os::putLe32(in, 4, cur.mode);
        os::putLe32(in, 8, cur.code);
        const Status status = send(QEL_REQ_SET_SYNC_MODE, in, sizeof in);
        if (status != QEL_OK && first == QEL_OK) first = status;
    }
    return first;
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::setSampleRate(std::uint32_t hz) {
    if (rules_.setRateKeepsRecord) sampleRate_.setCurrentRate(hz);
    return sendValue(QEL_REQ_SET_SAMPLE_RATE, hz);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::readSyncSettings() {
    return this->fetchRecord(this->requestCode(QEL_REQ_GET_SYNC_SETTINGS), nullptr, 0, syncSettings_);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::writeSyncSettings() {
    return send(QEL_REQ_SET_SYNC_SETTINGS, syncSettings_.data(), syncSettings_.size());
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::readSyncParameter() {
    std::uint8_t out[8] = {};
    const Status status =
        this->requestRecord(this->requestCode(QEL_REQ_GET_SYNC_PARAMETER), nullptr, 0, out, sizeof out);
    if (status == QEL_OK) syncParameter_ = os::getLe32(out, 4);
    return status;
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::writeSyncParameter() {
    return sendValue(QEL_REQ_SET_SYNC_PARAMETER, syncParameter_);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::readSampleRateInfo() {
    return this->fetchRecord(this->requestCode(QEL_REQ_GET_SAMPLE_RATE_INFO), nullptr, 0, sampleRate_);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::beginSyncChange() {
    return send(QEL_REQ_BEGIN_SYNC_CHANGE, nullptr, 0);
}

template <class Handle, class Properties>
Status CDriverObject<Handle, Properties>::endSyncChange() {
    return send(QEL_REQ_END_SYNC_CHANGE, nullptr, 0);
}

template class CDriverObject<CQel1394Driver, QEL_DEVICE_PROPERTIES>;
template class CDriverObject<CQelUsbDriver, QEL_USB_DEVICE_PROPERTIES>;

}  // namespace qel
