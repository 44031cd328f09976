#include "controlpanel/driver/ControlPanelRecords.h"

#include <algorithm>

namespace qel {

void putEditedName(os::ByteSpan bytes, std::size_t off, std::size_t width, std::string_view name) {
    if (width == 0 || off > bytes.size() || bytes.size() - off < width) return;
    const std::size_t n = std::min(name.size(), width - 1);
    for (std::size_t i = 0; i < n; ++i) bytes[off + i] = static_cast<std::uint8_t>(name[i]);
    bytes[off + n] = 0;
    bytes[off + width - 1] = 0;
}

void setDeviceName(QEL_DEVICE_PROPERTIES& record, std::string_view name) {
    putEditedName(record.bytes, QEL_DEVICE_PROPERTIES::kNameOffset, QEL_DEVICE_PROPERTIES::kNameWidth, name);
}

std::vector<std::uint32_t> QEL_CHANNEL_LISTS::ids(std::uint32_t which) const {
    const std::size_t base = listOffset(which);
    const std::uint32_t n = std::min(count(which), kMaxChannels);
    std::vector<std::uint32_t> out;
    out.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(word(base + 4 + 4 * i));
    return out;
}

std::vector<std::uint32_t> QEL_PLUG_STATUS::rates() const {
    const std::uint32_t n = std::min(rateCount(), kMaxRates);
    std::vector<std::uint32_t> out;
    out.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) out.push_back(word(kRatesOffset + 4 * i));
    return out;
}

QEL_PLUG_STATUS QEL_STREAM_INFO::plug(std::uint32_t plug) const {
    QEL_PLUG_STATUS p;
    if (plug >= kPlugs) return p;
    const std::size_t off = plugOffset(plug);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(off), QEL_PLUG_STATUS::kSize, p.bytes.begin());
    return p;
}

bool QEL_STREAM_INFO::valid() const {
    for (std::uint32_t i = 0; i < kPlugs; ++i)
        if (!plug(i).valid()) return false;
    return true;
}

}  // namespace qel
