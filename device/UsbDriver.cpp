#include "device/UsbDriver.h"

namespace qel {

template <class R>
Status CUsbDriver::refreshList(std::uint32_t code, std::vector<R>& list, bool last, bool& empty) {
    list.clear();
    empty = false;
    QEL_DEVICE_LIST devices;
    Status status =
        requestRecord(qelUsbCode(QEL_REQ_GET_DEVICE_LIST), nullptr, 0, devices.data(), devices.size());
    if (status != QEL_OK) return status;
    if (!devices.valid()) return QEL_E_BAD_LENGTH;  // a count the record cannot hold
    const std::vector<std::uint32_t> ids = devices.ids();
    empty = ids.empty();

    Status result = QEL_OK;
    for (const std::uint32_t id : ids) {
        std::uint8_t in[4];
        os::putLe32(in, 0, id);
        R record;
        status = requestRecord(qelUsbCode(code), in, sizeof in, record.data(), record.size());
        if (status == QEL_OK && !record.valid()) status = QEL_E_BAD_LENGTH;
        if (status == QEL_OK) list.push_back(record);
        if (last)
            result = status;
        else if (status != QEL_OK && result == QEL_OK)
            result = status;
    }
    return result;
}

Status CUsbDriver::refreshDeviceProperties() {
    bool empty = false;
    const Status status = refreshList(QEL_REQ_GET_DEVICE_PROPERTIES, deviceProperties_, true, empty);
    return status == QEL_OK && empty ? QEL_E_NO_DEVICES : status;
}

Status CUsbDriver::refreshSyncModes() {
    bool empty = false;
    return refreshList(QEL_REQ_GET_SYNC_MODE_INFO, syncModes_, false, empty);
}

QEL_USB_DEVICE_SYNCH_MODE_INFO* CUsbDriver::findSyncMode(std::uint32_t deviceId) {
    refreshSyncModes();
    for (auto& r : syncModes_)
        if (r.deviceId() == deviceId) return &r;
    return nullptr;
}

Status CUsbDriver::writeSyncModes() {
    Status first = QEL_OK;
    for (const auto& r : syncModes_) {
        std::uint8_t in[12];
        os::putLe32(in, 0, r.deviceId());
        const QEL_SYNC_MODE_ENTRY cur = r.current();
        os::putLe32(in, 4, cur.mode);
        os::putLe32(in, 8, cur.code);
        const Status status = request(qelUsbCode(QEL_REQ_SET_SYNC_MODE), in, sizeof in, nullptr, 0);
        if (status != QEL_OK && first == QEL_OK) first = status;
    }
    return first;
}

Status CUsbDriver::setSampleRate(std::uint32_t hz) {
    std::uint8_t in[8];
    os::putLe32(in, 0, 0);
    os::putLe32(in, 4, hz);
    return request(qelUsbCode(QEL_REQ_SET_SAMPLE_RATE), in, sizeof in, nullptr, 0);
}

Status CUsbDriver::writeSyncSettings() {
    return request(qelUsbCode(QEL_REQ_SET_SYNC_SETTINGS), syncSettings_.data(), syncSettings_.size(), nullptr, 0);
}

Status CUsbDriver::writeSyncParameter() {
    std::uint8_t in[8];
    os::putLe32(in, 0, 0);
    os::putLe32(in, 4, syncParameter_);
    return request(qelUsbCode(QEL_REQ_SET_SYNC_PARAMETER), in, sizeof in, nullptr, 0);
}

Status CUsbDriver::readSampleRateInfo() {
    QEL_SAMPLE_RATE_INFO answer;
    Status status =
        requestRecord(qelUsbCode(QEL_REQ_GET_SAMPLE_RATE_INFO), nullptr, 0, answer.data(), answer.size());
    if (status == QEL_OK && !answer.valid()) status = QEL_E_BAD_LENGTH;
    if (status == QEL_OK) sampleRate_ = answer;
    return status;
}

Status CUsbDriver::endSyncChange() { return request(qelUsbCode(QEL_REQ_END_SYNC_CHANGE), nullptr, 0, nullptr, 0); }

}  // namespace qel
