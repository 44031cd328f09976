#pragma once
// The FireWire driver's persistent settings that the control panel edits:
// channels with their hardware and user names, plug states, buffer depths,
// the drop-out counter and the ASIO name option. Device names and ranks live
// in the device models (Rig). The rig holds one of these and reaches it under
// its lock (Rig::withControlPanel).
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qel::sim {

class Rig;

enum class ChannelDirection : std::uint32_t { In = 0, Out = 1 };

struct SimChannel {
    std::uint32_t id = 0;
    std::uint32_t deviceId = 0;
    ChannelDirection direction = ChannelDirection::In;
    std::string hardwareName;  // fixed by the device
    std::string name;          // the name ASIO hosts show; editable
};

// Plug order of the stream-info record.
enum : std::uint32_t { kAudioOutPlug = 0, kAudioInPlug = 1, kSynchOutPlug = 2, kSynchInPlug = 3, kPlugCount = 4 };
inline constexpr std::uint32_t kPlugConnected = 3, kPlugConnectFailed = 4;

struct PlugSetting {
    std::uint32_t state = 0;
    std::uint32_t code = 0;  // failure code, shown in state 4
};

enum class BufferKind : std::uint32_t { Stream = 0, Asio = 1, Wdm = 2 };

// Depths in microseconds. A depth is accepted when it is a multiple of the
// step within [minimum, maximum].
struct BufferSetting {
    std::uint32_t minimum = 0;
    std::uint32_t step = 0;
    std::uint32_t current = 0;
    std::uint32_t maximum = 0;
    std::uint32_t reserved = 0;  // word 4 of the stream-buffer record
};

struct ControlPanelState {
    ControlPanelState();

    // Returns the new channel's identifier; the name defaults to the hardware name.
    std::uint32_t addChannel(std::uint32_t deviceId, ChannelDirection direction, std::string hardwareName,
                             std::string name = {});
    SimChannel* channel(std::uint32_t id);

    // Audio plugs are connected and synch plugs idle unless set here.
    void setPlugState(std::uint32_t deviceId, std::uint32_t plug, std::uint32_t state, std::uint32_t code = 0);
    PlugSetting plugState(std::uint32_t deviceId, std::uint32_t plug) const;

    BufferSetting& buffer(BufferKind kind) { return buffers[static_cast<std::size_t>(kind)]; }

    std::vector<SimChannel> channels;  // in the order they were added
    std::map<std::pair<std::uint32_t, std::uint32_t>, PlugSetting> plugs;
    std::array<BufferSetting, 3> buffers;
    std::uint32_t dropouts = 0;
    std::uint32_t asioNameOption = 0;
    std::uint32_t nextChannelId = 1;
};

// The channels of the compiled-in devices.
void installDefaultControlPanel(Rig& rig);

}  // namespace qel::sim
