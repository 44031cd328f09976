#include "device/Records.h"

#include <algorithm>

namespace qel {

std::vector<std::uint32_t> QEL_DEVICE_LIST::ids() const {
    const std::uint32_t n = std::min(count(), kMaxDevices);
    std::vector<std::uint32_t> out;
    out.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(word(4 + 4 * i));
    return out;
}

std::string QEL_DEVICE_PROPERTIES::vendor() const {
    const std::string t = vendorModel();
    const auto amp = t.find('&');
    return amp == std::string::npos ? std::string() : t.substr(0, amp);
}

std::string QEL_DEVICE_PROPERTIES::model() const {
    const std::string t = vendorModel();
    const auto amp = t.find('&');
    return amp == std::string::npos ? t : t.substr(amp + 1);
}

QEL_SYNC_MODE_ENTRY QEL_DEVICE_SYNCH_MODE_INFO::entryAt(std::size_t off) const {
    return QEL_SYNC_MODE_ENTRY{word(off), word(off + 4), text(off + 8, 40)};
}

QEL_SYNC_MODE_ENTRY QEL_DEVICE_SYNCH_MODE_INFO::entry(std::uint32_t i) const {
    if (i >= std::min(count(), kMaxEntries)) return {};
    return entryAt(kEntriesOffset + QEL_SYNC_MODE_ENTRY::kSize * i);
}

std::vector<QEL_SYNC_MODE_ENTRY> QEL_DEVICE_SYNCH_MODE_INFO::entries() const {
    std::vector<QEL_SYNC_MODE_ENTRY> out;
    const std::uint32_t n = std::min(count(), kMaxEntries);
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(entry(i));
    return out;
}

std::vector<std::uint32_t> QEL_SAMPLE_RATE_INFO::rates() const {
    std::vector<std::uint32_t> out;
    const std::uint32_t n = std::min(count(), kMaxRates);
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(word(12 + 4 * i));
    return out;
}

}  // namespace qel
