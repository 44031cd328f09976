// Arbitrary bytes through every record decoder and accessor.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/Records.h"

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
    exercise<QEL_DRIVER_VERSION>(d, [](const auto& r) { sink = r.major() + r.minor(); });
    exercise<QEL_DEVICE_LIST>(d, [](const auto& r) { sink = r.ids().size() + r.valid(); });
    exercise<QEL_DEVICE_PROPERTIES>(d, [](const auto& r) {
        sink = r.deviceId() + r.rank() + r.deviceName().size() + r.serial().size() + r.vendor().size() +
               r.model().size() + r.extra().size();
    });
    exercise<QEL_DEVICE_SYNCH_MODE_INFO>(d, [](const auto& r) {
        std::size_t n = r.current().name.size() + r.entry(static_cast<std::uint32_t>(r.count())).name.size();
        for (const auto& e : r.entries()) n += e.mode + e.code + e.name.size();
        sink = n;
    });
    exercise<QEL_SYNC_SETTINGS>(d, [](const auto& r) { sink = r.masterKind() + r.masterDevice(); });
    exercise<QEL_SAMPLE_RATE_INFO>(d, [](const auto& r) { sink = r.rates().size() + r.currentRate(); });
    return 0;
}
