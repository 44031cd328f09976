#pragma once
// The control panel's process-wide driver object: the shared CDrv (control
// handle, device and sync-mode lists, clock records) plus what only the
// control panel asks of the driver: channel lists and names, device renaming
// and ranking, stream status, buffer depths, statistics and the ASIO name
// option. Every request goes synchronously over the one control handle.
#include <cstdint>
#include <functional>
#include <vector>

#include "controlpanel/driver/ControlPanelRecords.h"
#include "device/Drv.h"

namespace qel::cpl {

// The FireWire driver's interface class, under which the control panel always
// opens the driver.
os::Guid controlPanelDriverGuid();

class CDrv : public qel::CDrv {
public:
    static constexpr std::uint32_t kInput = QEL_CHANNEL_LISTS::kIn, kOutput = QEL_CHANNEL_LISTS::kOut;
    // A driver that never reports an empty queue cannot keep the drain going.
    static constexpr std::uint32_t kMaxEventsPerDrain = 1024;

    explicit CDrv(os::IOs& os) : qel::CDrv(os) {}

    using qel::CDrv::openDriver;
    Status openDriver() { return openDriver(controlPanelDriverGuid()); }

    // QEL_REQ_SET_DEVICE_PROPERTIES for every record of the device list, in
    // order; the first failure (the loop goes on) or 0.
    Status writeDeviceProperties();
    Status setDeviceProperties(const QEL_DEVICE_PROPERTIES& record);

    // Empties the list of that direction (kInput or kOutput), reads the channel
    // lists, then one record per identifier of that direction. The first
    // failure (the loop goes on) or 0. A count above 256 is refused with
    // QEL_E_BAD_LENGTH before any channel is asked for.
    Status refreshChannels(std::uint32_t which);
    Status setChannelProperties(const QEL_CHANNEL_PROPERTIES& record);
    // The records of the last refresh and, index for index, the identifiers
    // they were read with. Empty for a direction other than kInput/kOutput.
    const std::vector<QEL_CHANNEL_PROPERTIES>& channels(std::uint32_t which) const;
    const std::vector<std::uint32_t>& channelIds(std::uint32_t which) const;

    // `info` is written only on success; a plug claiming more than eight
    // rates makes the answer QEL_E_BAD_LENGTH.
    Status getStreamInfo(std::uint32_t deviceId, QEL_STREAM_INFO& info);
    // The properties of one device by its identifier; `record` is written
    // only on success.
    Status getDeviceProperties(std::uint32_t deviceId, QEL_DEVICE_PROPERTIES& record);

    // Buffer records: a get writes the record only on success, and an answer
    // with step 0 is refused (QEL_E_BAD_LENGTH) so no user divides by it. A
    // set sends the whole record; one with step 0 was never read from the
    // driver and is refused (QEL_E_INVALID_ARG) without a request.
    Status getStreamBuffer(QEL_STREAM_BUFFER& record);
    Status setStreamBuffer(const QEL_STREAM_BUFFER& record);
    Status getAsioBuffer(QEL_AUDIO_BUFFER& record);
    Status setAsioBuffer(const QEL_AUDIO_BUFFER& record);
    Status getWdmBuffer(QEL_AUDIO_BUFFER& record);
    Status setWdmBuffer(const QEL_AUDIO_BUFFER& record);

    // A short answer is QEL_E_BAD_LENGTH and leaves `record` as it was.
    Status getStatistics(QEL_STATISTICS& record);

    // The driver-wide option word, kept here on success.
    Status getAsioNameOption();
    Status setAsioNameOption(std::uint32_t option);
    std::uint32_t asioNameOption() const { return asioNameOption_; }

    // The clock records, on the kept copies of the shared driver object.
    Status getSyncSettings() { return readSyncSettings(); }
    Status setSyncSettings() { return writeSyncSettings(); }
    Status getSyncParameter() { return readSyncParameter(); }
    // Keeps the value and sends it.
    Status setSyncParameter(std::uint32_t value);
    // Changes the kept value only (sent by the next setSyncParameter).
    void keepSyncParameter(std::uint32_t value) { qel::CDrv::setSyncParameter(value); }
    Status getSampleRateInfo() { return readSampleRateInfo(); }

    // Fetches driver events until the driver reports none (at most
    // kMaxEventsPerDrain), then calls `refreshAll` once when any of them was
    // "streaming restarted" (2) or "configuration changed" (3); other kinds
    // are dropped. Returns the number of events fetched.
    std::uint32_t drainEvents(const std::function<void()>& refreshAll);

private:
    template <class R>
    Status setBuffer(std::uint32_t code, const R& record);

    std::vector<QEL_CHANNEL_PROPERTIES> channels_[2];
    std::vector<std::uint32_t> channelIds_[2];
    std::uint32_t asioNameOption_ = 0;
};

}  // namespace qel::cpl
