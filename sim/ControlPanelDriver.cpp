// The FireWire driver's requests that only the control panel sends: device
// renaming and ranking, channel lists and names, stream status, buffer depths,
// statistics and the ASIO name option. Called under the rig lock.
#include <algorithm>

#include "os/Os.h"
#include "sim/Requests.h"
#include "sim/Rig.h"

namespace qel::sim {

namespace {
constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kMaxChannelsPerList = 256;
constexpr std::size_t kChannelListsSize = 2056, kOutputListOffset = 1028;
constexpr std::size_t kChannelRecordSize = 92, kPropertiesSize = 432, kStreamInfoSize = 212, kPlugSize = 52;
constexpr std::size_t kBufferSize = 16, kStatisticsSize = 64;
constexpr std::size_t kNameWidth = 40;
constexpr std::uint32_t kStreamNumbersPerDevice = 4;

Reply fail(std::uint32_t status) { return Reply{status, 0}; }
bool sizesAre(os::ConstByteSpan in, os::ByteSpan out, std::size_t inLen, std::size_t outLen) {
    return in.size() == inLen && out.size() == outLen;
}
// A name as the driver keeps it: zero-terminated within its field.
std::string storedName(os::ConstByteSpan in, std::size_t off) { return os::getText(in, off, kNameWidth - 1); }

bool depthAccepted(const BufferSetting& b, std::uint32_t depth) {
    return b.step != 0 && depth % b.step == 0 && depth >= b.minimum && depth <= b.maximum;
}
}  // namespace

ControlPanelState::ControlPanelState() {
    buffer(BufferKind::Stream) = BufferSetting{1000, 250, 2000, 10000, 1};
    buffer(BufferKind::Asio) = BufferSetting{1000, 500, 5000, 40000, 0};
    buffer(BufferKind::Wdm) = BufferSetting{2000, 1000, 10000, 40000, 0};
}

std::uint32_t ControlPanelState::addChannel(std::uint32_t deviceId, ChannelDirection direction,
                                            std::string hardwareName, std::string name) {
    SimChannel c;
    c.id = nextChannelId++;
    c.deviceId = deviceId;
    c.direction = direction;
    c.name = name.empty() ? hardwareName : std::move(name);
    c.hardwareName = std::move(hardwareName);
    channels.push_back(std::move(c));
    return channels.back().id;
}

SimChannel* ControlPanelState::channel(std::uint32_t id) {
    const auto it = std::find_if(channels.begin(), channels.end(), [id](const SimChannel& c) { return c.id == id; });
    return it == channels.end() ? nullptr : &*it;
}

void ControlPanelState::setPlugState(std::uint32_t deviceId, std::uint32_t plug, std::uint32_t state,
                                     std::uint32_t code) {
    if (plug < kPlugCount) plugs[{deviceId, plug}] = PlugSetting{state, code};
}

PlugSetting ControlPanelState::plugState(std::uint32_t deviceId, std::uint32_t plug) const {
    const auto it = plugs.find({deviceId, plug});
    if (it != plugs.end()) return it->second;
    return PlugSetting{plug == kAudioOutPlug || plug == kAudioInPlug ? kPlugConnected : 0, 0};
}

void installDefaultControlPanel(Rig& rig) {
    rig.withControlPanel([](ControlPanelState& s) {
        auto add = [&s](std::uint32_t device, ChannelDirection dir, const char* prefix, int n) {
            for (int i = 1; i <= n; ++i) s.addChannel(device, dir, std::string(prefix) + std::to_string(i));
        };
        // Kavro 610: 4 analog and 2 S/PDIF inputs, 8 analog and 2 S/PDIF outputs.
        add(1, ChannelDirection::In, "Analog In ", 4);
        add(1, ChannelDirection::In, "SPDIF In ", 2);
        add(1, ChannelDirection::Out, "Analog Out ", 8);
        add(1, ChannelDirection::Out, "SPDIF Out ", 2);
        // Kavro 1814: 8 analog, 8 ADAT and 2 S/PDIF inputs, 4 analog, 8 ADAT and 2 S/PDIF outputs.
        add(2, ChannelDirection::In, "Analog In ", 8);
        add(2, ChannelDirection::In, "ADAT In ", 8);
        add(2, ChannelDirection::In, "SPDIF In ", 2);
        add(2, ChannelDirection::Out, "Analog Out ", 4);
        add(2, ChannelDirection::Out, "ADAT Out ", 8);
        add(2, ChannelDirection::Out, "SPDIF Out ", 2);
    });
}

void Rig::withControlPanel(const std::function<void(ControlPanelState&)>& fn) {
    std::lock_guard lock(mutex_);
    fn(cpl_);
}

std::optional<Reply> Rig::controlPanelRequest(std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) {
    constexpr std::uint32_t kInvalidParameter = os::kErrorInvalidParameter;
    constexpr std::uint32_t kNotConnected = os::kErrorDeviceNotConnected;
    auto presentDevice = [this](std::uint32_t id) -> FwDevice* {
        FwDevice* d = fwDevice(id);
        return d != nullptr && d->present ? d : nullptr;
    };
    auto samples = [this](std::uint32_t us) {
        return static_cast<std::uint32_t>(std::uint64_t{us} * rates_.current / 1000000u);
    };

    switch (code) {
    case req::kGetAsioNameOption:
        if (!sizesAre(in, out, 0, 4)) return fail(kInvalidParameter);
        os::putLe32(out, 0, cpl_.asioNameOption);
        return Reply{kOk, 4};
    case req::kSetAsioNameOption:
        if (!sizesAre(in, out, 4, 0)) return fail(kInvalidParameter);
        cpl_.asioNameOption = os::getLe32(in, 0);
        return Reply{kOk, 0};

    case req::kSetDeviceProperties: {
        if (!sizesAre(in, out, kPropertiesSize, 0)) return fail(kInvalidParameter);
        FwDevice* d = presentDevice(os::getLe32(in, 0));
        if (d == nullptr) return fail(kNotConnected);
        // Rank and name are the user's; serial, vendor and model belong to the device.
        d->model.rank = os::getLe32(in, 4);
        d->model.deviceName = storedName(in, 8);
        return Reply{kOk, 0};
    }

    case req::kGetChannelLists: {
        if (!sizesAre(in, out, 0, kChannelListsSize)) return fail(kInvalidParameter);
        std::fill(out.begin(), out.end(), 0);
        // Present devices by rank (driver order among equal ranks), each
        // device's channels in their own order.
        std::vector<std::uint32_t> devices;
        for (const std::uint32_t id : fwOrder_)
            if (fw_.at(id).present) devices.push_back(id);
        std::stable_sort(devices.begin(), devices.end(), [this](std::uint32_t a, std::uint32_t b) {
            return fw_.at(a).model.rank < fw_.at(b).model.rank;
        });
        for (const ChannelDirection dir : {ChannelDirection::In, ChannelDirection::Out}) {
            const std::size_t base = dir == ChannelDirection::In ? 0 : kOutputListOffset;
            std::uint32_t n = 0;
            for (const std::uint32_t dev : devices)
                for (const SimChannel& c : cpl_.channels)
                    if (c.deviceId == dev && c.direction == dir && n < kMaxChannelsPerList)
                        os::putLe32(out, base + 4 + 4 * n++, c.id);
            os::putLe32(out, base, n);
        }
        return Reply{kOk, static_cast<std::uint32_t>(kChannelListsSize)};
    }
    case req::kGetChannelProperties: {
        if (!sizesAre(in, out, 4, kChannelRecordSize)) return fail(kInvalidParameter);
        const SimChannel* c = cpl_.channel(os::getLe32(in, 0));
        if (c == nullptr || presentDevice(c->deviceId) == nullptr) return fail(kNotConnected);
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 0, c->id);
        os::putLe32(out, 4, c->deviceId);
        os::putLe32(out, 8, static_cast<std::uint32_t>(c->direction));
        os::putText(out, 12, kNameWidth, c->hardwareName);
        os::putText(out, 52, kNameWidth, c->name);
        return Reply{kOk, static_cast<std::uint32_t>(kChannelRecordSize)};
    }
    case req::kSetChannelProperties: {
        if (!sizesAre(in, out, kChannelRecordSize, 0)) return fail(kInvalidParameter);
        SimChannel* c = cpl_.channel(os::getLe32(in, 0));
        if (c == nullptr || presentDevice(c->deviceId) == nullptr) return fail(kNotConnected);
        if (os::getLe32(in, 4) != c->deviceId) return fail(kInvalidParameter);
        c->name = storedName(in, 52);  // the hardware name is read only
        return Reply{kOk, 0};
    }

    case req::kGetStreamInfo: {
        if (!sizesAre(in, out, 4, kStreamInfoSize)) return fail(kInvalidParameter);
        const std::uint32_t id = os::getLe32(in, 0);
        if (presentDevice(id) == nullptr) return fail(kNotConnected);
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 0, id);
        // Stream numbers follow the device's place in the driver's order.
        const auto pos = static_cast<std::uint32_t>(std::find(fwOrder_.begin(), fwOrder_.end(), id) - fwOrder_.begin());
        const std::size_t nRates = std::min<std::size_t>(rates_.possible.size(), 8);
        for (std::uint32_t plug = 0; plug < kPlugCount; ++plug) {
            const std::size_t off = 4 + kPlugSize * plug;
            const PlugSetting p = cpl_.plugState(id, plug);
            os::putLe32(out, off, p.state);
            os::putLe32(out, off + 4, p.state == kPlugConnectFailed ? p.code : 0);
            os::putLe32(out, off + 8, p.state == kPlugConnected ? pos * kStreamNumbersPerDevice + plug : 0xFFFFFFFFu);
            os::putLe32(out, off + 12, rates_.current);
            os::putLe32(out, off + 16, static_cast<std::uint32_t>(nRates));
            for (std::size_t i = 0; i < nRates; ++i) os::putLe32(out, off + 20 + 4 * i, rates_.possible[i]);
        }
        return Reply{kOk, static_cast<std::uint32_t>(kStreamInfoSize)};
    }

    case req::kGetStreamBuffer: {
        if (!sizesAre(in, out, 0, kBufferSize)) return fail(kInvalidParameter);
        const BufferSetting& b = cpl_.buffer(BufferKind::Stream);
        os::putLe32(out, 0, b.minimum);
        os::putLe32(out, 4, b.reserved);
        os::putLe32(out, 8, b.step);
        os::putLe32(out, 12, b.current);
        return Reply{kOk, static_cast<std::uint32_t>(kBufferSize)};
    }
    case req::kSetStreamBuffer: {
        if (!sizesAre(in, out, kBufferSize, 0)) return fail(kInvalidParameter);
        BufferSetting& b = cpl_.buffer(BufferKind::Stream);
        const std::uint32_t depth = os::getLe32(in, 12);
        if (!depthAccepted(b, depth)) return fail(kInvalidParameter);
        b.current = depth;  // minimum, step and word 4 are the driver's
        return Reply{kOk, 0};
    }
    case req::kGetAsioBuffer:
    case req::kGetWdmBuffer: {
        if (!sizesAre(in, out, 0, kBufferSize)) return fail(kInvalidParameter);
        const BufferSetting& b = cpl_.buffer(code == req::kGetAsioBuffer ? BufferKind::Asio : BufferKind::Wdm);
        os::putLe32(out, 0, b.current);
        os::putLe32(out, 4, b.minimum);
        os::putLe32(out, 8, b.step);
        os::putLe32(out, 12, samples(b.current));
        return Reply{kOk, static_cast<std::uint32_t>(kBufferSize)};
    }
    case req::kSetAsioBuffer:
    case req::kSetWdmBuffer: {
        if (!sizesAre(in, out, kBufferSize, 0)) return fail(kInvalidParameter);
        BufferSetting& b = cpl_.buffer(code == req::kSetAsioBuffer ? BufferKind::Asio : BufferKind::Wdm);
        const std::uint32_t depth = os::getLe32(in, 0);
        if (!depthAccepted(b, depth)) return fail(kInvalidParameter);
        b.current = depth;  // the sample count is computed on every read
        return Reply{kOk, 0};
    }

    case req::kGetStatistics:
        if (!sizesAre(in, out, 0, kStatisticsSize)) return fail(kInvalidParameter);
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 56, cpl_.dropouts);
        return Reply{kOk, static_cast<std::uint32_t>(kStatisticsSize)};

    default:
        return std::nullopt;
    }
}

}  // namespace qel::sim
