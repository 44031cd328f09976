#include "device/Drv.h"

#include "device/Requests.h"

namespace qel {

template <class R>
Status CDrv::refreshList(std::uint32_t code, std::vector<R>& list) {
    list.clear();
    QEL_DEVICE_LIST devices;
    Status status = requestRecord(QEL_REQ_GET_DEVICE_LIST, nullptr, 0, devices.data(), devices.size());
    if (status != QEL_OK) return status;
    if (!devices.valid()) return QEL_E_BAD_LENGTH;  // a count the record cannot hold

    Status first = QEL_OK;
    for (const std::uint32_t id : devices.ids()) {
        std::uint8_t in[4];
        os::putLe32(in, 0, id);
        R record;
        // requestRecord answers QEL_E_NOT_OPEN when the control handle is closed.
        status = requestRecord(code, in, sizeof in, record.data(), record.size());
        if (status == QEL_OK && !record.valid()) status = QEL_E_BAD_LENGTH;
        if (status == QEL_OK)
            list.push_back(record);
        else if (first == QEL_OK)
            first = status;
    }
    return first;
}

Status CDrv::refreshDeviceProperties() { return refreshList(QEL_REQ_GET_DEVICE_PROPERTIES, deviceProperties_); }

Status CDrv::refreshSyncModes() { return refreshList(QEL_REQ_GET_SYNC_MODE_INFO, syncModes_); }

QEL_DEVICE_SYNCH_MODE_INFO* CDrv::findSyncMode(std::uint32_t deviceId) {
    refreshSyncModes();
    for (auto& r : syncModes_)
        if (r.deviceId() == deviceId) return &r;
    return nullptr;
}

Status CDrv::writeSyncModes() {
    Status first = QEL_OK;
    for (const auto& r : syncModes_) {
        std::uint8_t in[12];
        os::putLe32(in, 0, r.deviceId());
        const QEL_SYNC_MODE_ENTRY cur = r.current();
        os::putLe32(in, 4, cur.mode);
        os::putLe32(in, 8, cur.code);
        const Status status = request(QEL_REQ_SET_SYNC_MODE, in, sizeof in, nullptr, 0);
        if (status != QEL_OK && first == QEL_OK) first = status;
    }
    return first;
}

Status CDrv::setSampleRate(std::uint32_t hz) {
    sampleRate_.setCurrentRate(hz);
    std::uint8_t in[8];
    os::putLe32(in, 0, 0);
    os::putLe32(in, 4, hz);
    return request(QEL_REQ_SET_SAMPLE_RATE, in, sizeof in, nullptr, 0);
}

Status CDrv::readSyncSettings() {
    QEL_SYNC_SETTINGS answer;
    const Status status = requestRecord(QEL_REQ_GET_SYNC_SETTINGS, nullptr, 0, answer.data(), answer.size());
    if (status == QEL_OK) syncSettings_ = answer;
    return status;
}

Status CDrv::writeSyncSettings() {
    return request(QEL_REQ_SET_SYNC_SETTINGS, syncSettings_.data(), syncSettings_.size(), nullptr, 0);
}

Status CDrv::readSyncParameter() {
    std::uint8_t out[8] = {};
    const Status status = requestRecord(QEL_REQ_GET_SYNC_PARAMETER, nullptr, 0, out, sizeof out);
    if (status == QEL_OK) syncParameter_ = os::getLe32(out, 4);
    return status;
}

Status CDrv::writeSyncParameter() {
    std::uint8_t in[8];
    os::putLe32(in, 0, 0);
    os::putLe32(in, 4, syncParameter_);
    return request(QEL_REQ_SET_SYNC_PARAMETER, in, sizeof in, nullptr, 0);
}

Status CDrv::readSampleRateInfo() {
    QEL_SAMPLE_RATE_INFO answer;
    Status status = requestRecord(QEL_REQ_GET_SAMPLE_RATE_INFO, nullptr, 0, answer.data(), answer.size());
    if (status == QEL_OK && !answer.valid()) status = QEL_E_BAD_LENGTH;
    if (status == QEL_OK) sampleRate_ = answer;
    return status;
}

Status CDrv::beginSyncChange() { return request(QEL_REQ_BEGIN_SYNC_CHANGE, nullptr, 0, nullptr, 0); }
Status CDrv::endSyncChange() { return request(QEL_REQ_END_SYNC_CHANGE, nullptr, 0, nullptr, 0); }

}  // namespace qel
