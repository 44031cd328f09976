// Arbitrary bytes through the control panel's record decoders and accessors.
#include <cstddef>
#include <cstdint>
#include <span>

#include "controlpanel/driver/ControlPanelRecords.h"
#include "controlpanel/driver/StatusText.h"

using namespace qel;

namespace {
template <class R, class Fn>
void exercise(std::span<const std::uint8_t> data, Fn fn) {
    if (auto r = decodeRecord<R>(data)) fn(*r);
    // Also a record filled from a prefix: accessors must stay inside it.
    R partial;
    for (std::size_t i = 0; i < data.size() && i < R::kSize; ++i) partial.bytes[i] = data[i];
    fn(partial);
}
volatile std::size_t sink;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> d(data, size);
    exercise<QEL_CHANNEL_LISTS>(d, [](const auto& r) {
        sink = r.ids(QEL_CHANNEL_LISTS::kIn).size() + r.ids(QEL_CHANNEL_LISTS::kOut).size() +
               r.listValid(QEL_CHANNEL_LISTS::kOut);
    });
    exercise<QEL_CHANNEL_PROPERTIES>(d, [](const auto& r) {
        auto copy = r;
        copy.setChannelName(r.hardwareName());
        sink = r.deviceId() + r.hardwareName().size() + copy.channelName().size();
    });
    exercise<QEL_STREAM_INFO>(d, [](const auto& r) {
        std::size_t n = r.valid();
        for (std::uint32_t p = 0; p <= QEL_STREAM_INFO::kPlugs; ++p) {
            const QEL_PLUG_STATUS plug = r.plug(p);
            n += plug.state() + plug.streamNumber() + plug.rates().size() + cpl::statusLine(plug.statusCode()).size();
        }
        sink = n;
    });
    exercise<QEL_STREAM_BUFFER>(d, [](const auto& r) { sink = r.valid() ? r.currentDepth() / r.step() : 0; });
    exercise<QEL_AUDIO_BUFFER>(d, [](const auto& r) { sink = r.valid() ? r.minimum() / r.step() + r.samples() : 0; });
    exercise<QEL_STATISTICS>(d, [](const auto& r) { sink = r.dropouts(); });
    return 0;
}
