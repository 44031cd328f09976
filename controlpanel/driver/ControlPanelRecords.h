#pragma once
// The driver records only the control panel reads and writes. Like the shared
// records (device/Records.h) each keeps its wire bytes, so a set request sends
// back every byte it does not interpret exactly as the driver gave it; fields
// are read at their named offsets and every accessor stays inside the record.
#include <cstdint>
#include <string_view>
#include <vector>

#include "device/Records.h"

namespace qel {

// Writes an edited name the way the name dialogs do: at most width - 1
// characters followed by a zero, and the field's last byte forced to zero. The
// bytes after the terminator are left as they were.
void putEditedName(os::ByteSpan bytes, std::size_t off, std::size_t width, std::string_view name);
void setDeviceName(QEL_DEVICE_PROPERTIES& record, std::string_view name);

// Answer to QEL_REQ_GET_CHANNEL_LISTS: the input list at offset 0, the output
// list at offset 1028, each a count and 256 channel identifiers.
struct QEL_CHANNEL_LISTS : QelRecord<2056> {
    static constexpr std::uint32_t kIn = 0, kOut = 1;
    static constexpr std::uint32_t kMaxChannels = 256;
    static constexpr std::size_t kInputOffset = 0, kOutputOffset = 1028;

    static constexpr std::size_t listOffset(std::uint32_t which) { return which == kIn ? kInputOffset : kOutputOffset; }
    std::uint32_t count(std::uint32_t which) const { return word(listOffset(which)); }
    // Only the list that is taken is checked: a count the list cannot hold.
    bool listValid(std::uint32_t which) const { return count(which) <= kMaxChannels; }
    // The first count identifiers of one list (never more than 256).
    std::vector<std::uint32_t> ids(std::uint32_t which) const;
    bool valid() const { return true; }
};

struct QEL_CHANNEL_PROPERTIES : QelRecord<92> {
    static constexpr std::size_t kDeviceIdOffset = 4;
    static constexpr std::size_t kHardwareNameOffset = 12, kNameOffset = 52, kNameWidth = 40;

    std::uint32_t deviceId() const { return word(kDeviceIdOffset); }
    std::string hardwareName() const { return text(kHardwareNameOffset, kNameWidth); }
    std::string channelName() const { return text(kNameOffset, kNameWidth); }
    void setChannelName(std::string_view name) { putEditedName(bytes, kNameOffset, kNameWidth, name); }
    bool valid() const { return true; }
};

// One isochronous plug of the stream-info record.
struct QEL_PLUG_STATUS : QelRecord<52> {
    static constexpr std::uint32_t kConnected = 3, kConnectFailed = 4;
    static constexpr std::uint32_t kMaxRates = 8;
    static constexpr std::size_t kStateOffset = 0, kStatusOffset = 4, kStreamOffset = 8, kRateOffset = 12,
                                 kRateCountOffset = 16, kRatesOffset = 20;

    std::uint32_t state() const { return word(kStateOffset); }
    std::uint32_t statusCode() const { return word(kStatusOffset); }
    std::uint32_t streamNumber() const { return word(kStreamOffset); }
    std::uint32_t currentRate() const { return word(kRateOffset); }
    std::uint32_t rateCount() const { return word(kRateCountOffset); }
    bool valid() const { return rateCount() <= kMaxRates; }
    // The first count supported rates (never more than eight).
    std::vector<std::uint32_t> rates() const;
};

// Answer to QEL_REQ_GET_STREAM_INFO: four plug records after a word this side
// does not interpret.
struct QEL_STREAM_INFO : QelRecord<212> {
    static constexpr std::uint32_t kAudioOutPlug = 0, kAudioInPlug = 1, kSynchOutPlug = 2, kSynchInPlug = 3;
    static constexpr std::uint32_t kPlugs = 4;
    static constexpr std::size_t kPlugsOffset = 4;

    static constexpr std::size_t plugOffset(std::uint32_t plug) { return kPlugsOffset + QEL_PLUG_STATUS::kSize * plug; }
    // A copy of one plug's bytes; an index past the four gives an empty plug.
    QEL_PLUG_STATUS plug(std::uint32_t plug) const;
    bool valid() const;
};

// Stream buffer: minimum, a word sent back as read, step and current depth,
// all in microseconds.
struct QEL_STREAM_BUFFER : QelRecord<16> {
    static constexpr std::size_t kMinimumOffset = 0, kStepOffset = 8, kCurrentOffset = 12;
    std::uint32_t minimum() const { return word(kMinimumOffset); }
    std::uint32_t step() const { return word(kStepOffset); }
    std::uint32_t currentDepth() const { return word(kCurrentOffset); }
    void setCurrentDepth(std::uint32_t us) { setWord(kCurrentOffset, us); }
    // Users of the record divide by the step.
    bool valid() const { return step() != 0; }
};

// ASIO or WDM sound buffer: current depth, minimum and step in microseconds,
// and the current depth in samples as the driver computes it.
struct QEL_AUDIO_BUFFER : QelRecord<16> {
    static constexpr std::size_t kCurrentOffset = 0, kMinimumOffset = 4, kStepOffset = 8, kSamplesOffset = 12;
    std::uint32_t currentDepth() const { return word(kCurrentOffset); }
    void setCurrentDepth(std::uint32_t us) { setWord(kCurrentOffset, us); }
    std::uint32_t minimum() const { return word(kMinimumOffset); }
    std::uint32_t step() const { return word(kStepOffset); }
    std::uint32_t samples() const { return word(kSamplesOffset); }
    bool valid() const { return step() != 0; }
};

// Answer to QEL_REQ_GET_STATISTICS; only the drop-out counter is read.
struct QEL_STATISTICS : QelRecord<64> {
    static constexpr std::size_t kDropoutsOffset = 56;
    std::uint32_t dropouts() const { return word(kDropoutsOffset); }
    bool valid() const { return true; }
};

}  // namespace qel
