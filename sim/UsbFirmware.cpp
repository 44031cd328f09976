// Firmware of a simulated USB audio interface: descriptors, USB Audio class
// feature units (GET/SET CUR of mute and volume) and the vendor requests 0x81
// (levels) and 0x82 (balance, device message, input state, mode). A request
// the firmware does not know stalls (ERROR_GEN_FAILURE).
#include <algorithm>

#include "sim/UsbDevice.h"

namespace qel::sim {

namespace {
constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kGenFailure = 31;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::size_t kRecordSize = 2064, kMaxData = 2048, kMaxDescriptor = 4096;
constexpr std::uint16_t kEnglish = 0x0409;

Reply fail(std::uint32_t status) { return Reply{status, 0}; }
Reply stall() { return fail(kGenFailure); }

Reply answer(os::ByteSpan out, const std::vector<std::uint8_t>& bytes) {
    std::fill(out.begin(), out.end(), 0);
    const std::size_t n = std::min(bytes.size(), out.size());
    std::copy_n(bytes.begin(), n, out.begin());
    return Reply{kOk, static_cast<std::uint32_t>(n)};
}

std::vector<std::uint8_t> stringDescriptor(const std::string& text) {
    const std::size_t n = std::min<std::size_t>(text.size(), 126);
    std::vector<std::uint8_t> d(2 + 2 * n, 0);
    d[0] = static_cast<std::uint8_t>(d.size());
    d[1] = 3;
    for (std::size_t i = 0; i < n; ++i) d[2 + 2 * i] = static_cast<std::uint8_t>(text[i]);
    return d;
}
}  // namespace

Reply usbGetDescriptor(UsbDeviceModel& m, os::ConstByteSpan in, os::ByteSpan out) {
    if (in.size() != 8 || out.empty() || out.size() > kMaxDescriptor || os::getLe32(in, 0) != 0)
        return fail(kInvalidParameter);
    if (m.nextDescriptor) {
        const Reply r = answer(out, *m.nextDescriptor);
        m.nextDescriptor.reset();
        return r;
    }
    const std::uint8_t type = in[4], index = in[5];
    const std::uint16_t language = os::getLe16(in, 6);
    switch (type) {
    case 1:
        if (index != 0) return stall();
        return answer(out, m.deviceDescriptor);
    case 2:
        if (index != 0) return stall();
        return answer(out, m.configDescriptor);
    case 3:
        if (index == 0) return answer(out, {4, 3, kEnglish & 0xFF, kEnglish >> 8});
        if (language != kEnglish) return stall();
        if (const auto it = m.strings.find(index); it != m.strings.end())
            return answer(out, stringDescriptor(it->second));
        return stall();
    default: return stall();
    }
}

Reply usbControlTransfer(UsbDeviceModel& m, os::ConstByteSpan in, os::ByteSpan out) {
    if (in.size() != kRecordSize) return fail(kInvalidParameter);
    const std::uint8_t direction = in[0];
    const std::uint32_t type = os::getLe32(in, 1), recipient = os::getLe32(in, 5);
    const std::uint8_t request = in[9];
    const std::uint16_t value = os::getLe16(in, 10), index = os::getLe16(in, 12), length = os::getLe16(in, 14);
    if (direction > 1 || (type != 1 && type != 2) || recipient > 1) return fail(kInvalidParameter);
    const bool get = direction == 1;
    if (get ? out.size() != length : (!out.empty() || length > kMaxData)) return fail(kInvalidParameter);
    const os::ConstByteSpan data = in.subspan(16, get ? 0 : length);
    std::fill(out.begin(), out.end(), 0);

    if (type == 1) {
        // Feature unit: value = control selector and channel, index = unit and interface 0.
        const std::uint8_t selector = value >> 8, channel = value & 0xFF, unit = index >> 8;
        const auto it = m.units.find(unit);
        if (recipient != 1 || request != 1 || (index & 0xFF) != 0 || channel > 2 || it == m.units.end())
            return stall();
        UsbFeatureUnit& fu = it->second;
        if (selector == 1 && length == 1) {
            if (get) {
                out[0] = fu.mute[channel];
                return Reply{kOk, 1};
            }
            fu.mute[channel] = data[0];
            return Reply{kOk, 0};
        }
        if (selector == 2 && length == 2) {
            if (get) {
                os::putLe16(out, 0, static_cast<std::uint16_t>(fu.volume[channel]));
                return Reply{kOk, 2};
            }
            fu.volume[channel] = static_cast<std::int16_t>(os::getLe16(data, 0));
            return Reply{kOk, 0};
        }
        return stall();
    }

    if (recipient != 0) return stall();
    if (request == 0x81) {
        if (!get || value != 0 || index != 0 || length != 4 * m.levels.size()) return stall();
        for (std::size_t i = 0; i < m.levels.size(); ++i) os::putLe32(out, 4 * i, m.levels[i]);
        return Reply{kOk, length};
    }
    if (request != 0x82) return stall();
    if (get) {
        if (value == 7 && index == 0 && length == 1) {
            if (!m.messages.empty()) {
                out[0] = m.messages.front();
                m.messages.pop_front();
            }
            return Reply{kOk, 1};
        }
        if (value == 0 && index == 0 && length == 1) {
            out[0] = m.mode;
            return Reply{kOk, 1};
        }
        if ((value == 1 || value == 2) && index == 0 && length == 2) {
            out[0] = m.inputs[value].locked ? 1 : 0;
            out[1] = m.inputs[value].rateCode;
            return Reply{kOk, 2};
        }
        if ((value == 1 || value == 2) && length == 2 && m.units.count(static_cast<std::uint8_t>(index)) != 0 &&
            index <= 0xFF) {
            os::putLe16(out, 0, static_cast<std::uint16_t>(m.units.at(static_cast<std::uint8_t>(index)).balance[value]));
            return Reply{kOk, 2};
        }
        return stall();
    }
    if (value == 0 && length == 0) {
        if (index > 3) return stall();
        m.mode = static_cast<std::uint8_t>(index);
        return Reply{kOk, 0};
    }
    if ((value == 5 || value == 6) && length == 2 && index <= 0xFF &&
        m.units.count(static_cast<std::uint8_t>(index)) != 0) {
        m.units.at(static_cast<std::uint8_t>(index)).balance[value - 4] =
            static_cast<std::int16_t>(os::getLe16(data, 0));
        return Reply{kOk, 0};
    }
    return stall();
}

}  // namespace qel::sim
