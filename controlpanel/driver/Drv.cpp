#include "controlpanel/driver/Drv.h"

#include "controlpanel/driver/ControlPanelRequests.h"

namespace qel::cpl {

namespace {
const std::vector<QEL_CHANNEL_PROPERTIES> kNoChannels;
const std::vector<std::uint32_t> kNoIds;

constexpr std::uint32_t kEventStreamingRestarted = 2;
constexpr std::uint32_t kEventConfigurationChanged = 3;
}  // namespace

os::Guid controlPanelDriverGuid() { return *os::Guid::parse("{A098F460-2CC2-4072-A32A-36CCD74581A4}"); }

Status CDrv::writeDeviceProperties() {
    Status first = QEL_OK;
    for (const auto& record : deviceProperties()) {
        const Status status = setDeviceProperties(record);
        if (status != QEL_OK && first == QEL_OK) first = status;
    }
    return first;
}

Status CDrv::setDeviceProperties(const QEL_DEVICE_PROPERTIES& record) {
    return request(QEL_REQ_SET_DEVICE_PROPERTIES, record.data(), record.size(), nullptr, 0);
}

Status CDrv::refreshChannels(std::uint32_t which) {
    if (which != kInput && which != kOutput) return QEL_E_INVALID_ARG;
    auto& list = channels_[which];
    auto& ids = channelIds_[which];
    list.clear();
    ids.clear();

    QEL_CHANNEL_LISTS lists;
    const Status status = requestRecord(QEL_REQ_GET_CHANNEL_LISTS, nullptr, 0, lists.data(), lists.size());
    if (status != QEL_OK) return status;
    if (!lists.listValid(which)) return QEL_E_BAD_LENGTH;
    return fetchEach(QEL_REQ_GET_CHANNEL_PROPERTIES, lists.ids(which), EachStatus::FirstFailure, list, &ids);
}

Status CDrv::setChannelProperties(const QEL_CHANNEL_PROPERTIES& record) {
    return request(QEL_REQ_SET_CHANNEL_PROPERTIES, record.data(), record.size(), nullptr, 0);
}

const std::vector<QEL_CHANNEL_PROPERTIES>& CDrv::channels(std::uint32_t which) const {
    return which == kInput || which == kOutput ? channels_[which] : kNoChannels;
}

const std::vector<std::uint32_t>& CDrv::channelIds(std::uint32_t which) const {
    return which == kInput || which == kOutput ? channelIds_[which] : kNoIds;
}

Status CDrv::getStreamInfo(std::uint32_t deviceId, QEL_STREAM_INFO& info) {
    return fetchRecord(QEL_REQ_GET_STREAM_INFO, deviceId, info);
}

Status CDrv::getDeviceProperties(std::uint32_t deviceId, QEL_DEVICE_PROPERTIES& record) {
    return fetchRecord(QEL_REQ_GET_DEVICE_PROPERTIES, deviceId, record);
}

template <class R>
Status CDrv::setBuffer(std::uint32_t code, const R& record) {
    if (!record.valid()) return QEL_E_INVALID_ARG;
    return request(code, record.data(), record.size(), nullptr, 0);
}

Status CDrv::getStreamBuffer(QEL_STREAM_BUFFER& r) { return fetchRecord(QEL_REQ_GET_STREAM_BUFFER, nullptr, 0, r); }
Status CDrv::setStreamBuffer(const QEL_STREAM_BUFFER& r) { return setBuffer(QEL_REQ_SET_STREAM_BUFFER, r); }
Status CDrv::getAsioBuffer(QEL_AUDIO_BUFFER& r) { return fetchRecord(QEL_REQ_GET_ASIO_BUFFER, nullptr, 0, r); }
Status CDrv::setAsioBuffer(const QEL_AUDIO_BUFFER& r) { return setBuffer(QEL_REQ_SET_ASIO_BUFFER, r); }
Status CDrv::getWdmBuffer(QEL_AUDIO_BUFFER& r) { return fetchRecord(QEL_REQ_GET_WDM_BUFFER, nullptr, 0, r); }
Status CDrv::setWdmBuffer(const QEL_AUDIO_BUFFER& r) { return setBuffer(QEL_REQ_SET_WDM_BUFFER, r); }

Status CDrv::getStatistics(QEL_STATISTICS& record) { return fetchRecord(QEL_REQ_GET_STATISTICS, nullptr, 0, record); }

Status CDrv::getAsioNameOption() {
    std::uint8_t out[4] = {};
    const Status status = requestRecord(QEL_REQ_GET_ASIO_NAME_OPTION, nullptr, 0, out, sizeof out);
    if (status == QEL_OK) asioNameOption_ = os::getLe32(out, 0);
    return status;
}

Status CDrv::setAsioNameOption(std::uint32_t option) {
    std::uint8_t in[4];
    os::putLe32(in, 0, option);
    const Status status = request(QEL_REQ_SET_ASIO_NAME_OPTION, in, sizeof in, nullptr, 0);
    if (status == QEL_OK) asioNameOption_ = option;
    return status;
}

Status CDrv::setSyncParameter(std::uint32_t value) {
    keepSyncParameter(value);
    return writeSyncParameter();
}

std::uint32_t CDrv::drainEvents(const std::function<void()>& refreshAll) {
    std::uint32_t fetched = 0;
    bool refresh = false;
    while (fetched < kMaxEventsPerDrain) {
        std::uint8_t record[12] = {};
        if (requestRecord(QEL_REQ_GET_EVENT, nullptr, 0, record, sizeof record) != QEL_OK) break;
        ++fetched;
        const std::uint32_t kind = os::getLe32(record, 0);
        refresh = refresh || kind == kEventStreamingRestarted || kind == kEventConfigurationChanged;
    }
    // One refresh shows the state after them all: a storm of events (a device
    // plugged in and out, a host opening the device again and again) does
    // not read every page once per event.
    if (refresh && refreshAll) refreshAll();
    return fetched;
}

}  // namespace qel::cpl
