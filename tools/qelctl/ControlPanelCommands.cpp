// qelctl: the control panel's requests (device names and ranking, channels,
// the ASIO name option, streams, buffers, statistics) on the session's
// control-panel driver object.
#include <algorithm>
#include <ostream>

#include "controlpanel/driver/StatusText.h"
#include "tools/qelctl/Qelctl.h"

namespace qel::tools {

using Args = Qelctl::Args;

namespace {
const char* const kPlugLabels[] = {"AudioOutPlug", "AudioInPlug", "SynchOutPlug", "SynchInPlug"};

// Names go into 8-bit code-page fields; only ASCII passes unchanged.
bool isAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::optional<std::uint32_t> direction(const std::string& word) {
    if (word == "in") return cpl::CDrv::kInput;
    if (word == "out") return cpl::CDrv::kOutput;
    return std::nullopt;
}

// Index of a device in the control panel's list, by identifier or device name.
std::optional<CommandError> findDevice(Qelctl& tool, const std::string& name, std::size_t& index) {
    cpl::CDrv& drv = tool.controlPanelDrv();
    const Status status = drv.refreshDeviceProperties();
    const auto number = parseU32(name);
    const auto& list = drv.deviceProperties();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if ((number && list[i].deviceId() == *number) || tool.platform().codePageToUtf8(list[i].deviceName()) == name) {
            index = i;
            return std::nullopt;
        }
    }
    if (status != QEL_OK) return failed(status);
    return usage("unknown device: " + name);
}

std::string deviceNameOf(Qelctl& tool, std::uint32_t deviceId) {
    for (const auto& p : tool.controlPanelDrv().deviceProperties())
        if (p.deviceId() == deviceId) return tool.platform().codePageToUtf8(p.deviceName());
    return std::to_string(deviceId);
}

void printChannel(Qelctl& tool, std::ostream& out, std::uint32_t which, std::uint32_t id,
                  const QEL_CHANNEL_PROPERTIES& c) {
    out << (which == cpl::CDrv::kInput ? "in" : "out") << " id=" << id
        << " device=" << quoted(deviceNameOf(tool, c.deviceId()))
        << " hardware=" << quoted(tool.platform().codePageToUtf8(c.hardwareName()))
        << " name=" << quoted(tool.platform().codePageToUtf8(c.channelName())) << "\n";
}

void printPlug(std::ostream& out, std::uint32_t index, const QEL_PLUG_STATUS& p) {
    out << "  " << kPlugLabels[index] << " ";
    std::uint32_t highlighted = 0;
    if (p.state() == QEL_PLUG_STATUS::kConnected) {
        out << "connected (" << p.streamNumber() << ")";
        highlighted = p.currentRate();
    } else if (p.state() == QEL_PLUG_STATUS::kConnectFailed) {
        out << "connect failed (" << cpl::statusLine(p.statusCode()) << ")";
    } else {
        out << "state " << p.state();
    }
    out << " rates";
    for (const std::uint32_t hz : p.rates()) {
        if (hz == highlighted)
            out << " [" << hz << "]";
        else
            out << " " << hz;
    }
    out << "\n";
}

void printStreamBuffer(std::ostream& out, const QEL_STREAM_BUFFER& b) {
    out << "stream minimum=" << b.minimum() << " step=" << b.step() << " depth=" << b.currentDepth() << "us\n";
}
void printAudioBuffer(std::ostream& out, const char* what, const QEL_AUDIO_BUFFER& b) {
    out << what << " minimum=" << b.minimum() << " step=" << b.step() << " depth=" << b.currentDepth()
        << "us samples=" << b.samples() << "\n";
}
}  // namespace

std::optional<CommandError> Qelctl::ensureControlPanelDriver() { return failed(cplDrv_->openDriver()); }

void addControlPanelCommands(Qelctl& tool) {
    tool.add("channels", "channels in|out", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto which = a.size() == 1 ? direction(a[0]) : std::nullopt;
        if (!which) return usage("channels in|out");
        if (auto e = tool.ensureControlPanelDriver()) return e;
        cpl::CDrv& drv = tool.controlPanelDrv();
        const Status status = drv.refreshChannels(*which);
        drv.refreshDeviceProperties();  // for the device names; a device that fails shows its identifier
        const auto& list = drv.channels(*which);
        for (std::size_t i = 0; i < list.size(); ++i) printChannel(tool, out, *which, drv.channelIds(*which)[i], list[i]);
        return failed(status);
    });

    tool.add("rename-device", "rename-device DEVICE NAME",
             [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
                 if (a.size() != 2) return usage("rename-device DEVICE NAME");
                 if (!isAscii(a[1])) return usage("device names are ASCII");
                 if (auto e = tool.ensureControlPanelDriver()) return e;
                 std::size_t index = 0;
                 if (auto e = findDevice(tool, a[0], index)) return e;
                 cpl::CDrv& drv = tool.controlPanelDrv();
                 QEL_DEVICE_PROPERTIES copy = drv.deviceProperties()[index];
                 setDeviceName(copy, a[1]);
                 if (auto e = failed(drv.setDeviceProperties(copy))) return e;
                 const Status status = drv.refreshDeviceProperties();
                 for (const auto& p : drv.deviceProperties())
                     if (p.deviceId() == copy.deviceId())
                         out << "device " << p.deviceId() << " name="
                             << quoted(tool.platform().codePageToUtf8(p.deviceName())) << "\n";
                 return failed(status);
             });

    tool.add("rank", "rank DEVICE...", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (a.empty()) return usage("rank DEVICE...");
        if (auto e = tool.ensureControlPanelDriver()) return e;
        std::vector<std::size_t> order;
        for (const std::string& name : a) {
            std::size_t index = 0;
            if (auto e = findDevice(tool, name, index)) return e;
            if (std::find(order.begin(), order.end(), index) != order.end()) return usage("device named twice: " + name);
            order.push_back(index);
        }
        // The findDevice refreshes above re-read the same list; the devices not
        // named keep their relative order after the named ones.
        cpl::CDrv& drv = tool.controlPanelDrv();
        auto& list = drv.deviceProperties();
        std::vector<std::size_t> rest;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (std::find(order.begin(), order.end(), i) == order.end()) rest.push_back(i);
        std::stable_sort(rest.begin(), rest.end(), [&list](std::size_t x, std::size_t y) {
            return list[x].rank() < list[y].rank();
        });
        order.insert(order.end(), rest.begin(), rest.end());
        for (std::size_t r = 0; r < order.size(); ++r) list[order[r]].setWord(4, static_cast<std::uint32_t>(r));
        if (auto e = failed(drv.writeDeviceProperties())) return e;
        const Status status = drv.refreshDeviceProperties();
        std::vector<QEL_DEVICE_PROPERTIES> ranked(drv.deviceProperties().begin(), drv.deviceProperties().end());
        std::stable_sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) { return x.rank() < y.rank(); });
        for (const auto& p : ranked)
            out << "rank " << p.rank() << " id=" << p.deviceId()
                << " name=" << quoted(tool.platform().codePageToUtf8(p.deviceName())) << "\n";
        return failed(status);
    });

    tool.add("rename-channel", "rename-channel in|out ID NAME",
             [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
                 const auto which = a.size() == 3 ? direction(a[0]) : std::nullopt;
                 const auto id = a.size() == 3 ? parseU32(a[1]) : std::nullopt;
                 if (!which || !id) return usage("rename-channel in|out ID NAME");
                 if (!isAscii(a[2])) return usage("channel names are ASCII");
                 if (auto e = tool.ensureControlPanelDriver()) return e;
                 cpl::CDrv& drv = tool.controlPanelDrv();
                 const Status status = drv.refreshChannels(*which);
                 const auto& ids = drv.channelIds(*which);
                 const auto at = std::find(ids.begin(), ids.end(), *id);
                 if (at == ids.end()) return status != QEL_OK ? failed(status) : usage("unknown channel: " + a[1]);
                 QEL_CHANNEL_PROPERTIES copy = drv.channels(*which)[static_cast<std::size_t>(at - ids.begin())];
                 copy.setChannelName(a[2]);
                 if (auto e = failed(drv.setChannelProperties(copy))) return e;
                 const Status again = drv.refreshChannels(*which);
                 drv.refreshDeviceProperties();
                 for (std::size_t i = 0; i < drv.channelIds(*which).size(); ++i)
                     if (drv.channelIds(*which)[i] == *id) printChannel(tool, out, *which, *id, drv.channels(*which)[i]);
                 return failed(again);
             });

    tool.add("asio-names", "asio-names [on|off]", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (a.size() > 1 || (a.size() == 1 && a[0] != "on" && a[0] != "off")) return usage("asio-names [on|off]");
        if (auto e = tool.ensureControlPanelDriver()) return e;
        cpl::CDrv& drv = tool.controlPanelDrv();
        if (a.empty()) {
            if (auto e = failed(drv.getAsioNameOption())) return e;
        } else if (auto e = failed(drv.setAsioNameOption(a[0] == "on" ? 1 : 0))) {
            return e;
        }
        out << "asio-names " << (drv.asioNameOption() != 0 ? "on" : "off") << "\n";
        return std::nullopt;
    });

    tool.add("streams", "streams", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (!a.empty()) return usage("streams");
        if (auto e = tool.ensureControlPanelDriver()) return e;
        cpl::CDrv& drv = tool.controlPanelDrv();
        const Status status = drv.refreshDeviceProperties();
        bool streaming = true;
        std::size_t rows = 0;
        if (status == QEL_OK) {
            for (const auto& p : drv.deviceProperties()) {
                ++rows;
                out << "device " << p.deviceId() << " " << quoted(tool.platform().codePageToUtf8(p.deviceName()))
                    << "\n";
                QEL_STREAM_INFO info;
                if (const Status s = drv.getStreamInfo(p.deviceId(), info); s != QEL_OK) {
                    out << "  no stream info: " << statusText(s) << "\n";
                    continue;
                }
                for (std::uint32_t plug = 0; plug < QEL_STREAM_INFO::kPlugs; ++plug) printPlug(out, plug, info.plug(plug));
                if (info.plug(QEL_STREAM_INFO::kAudioOutPlug).state() != QEL_PLUG_STATUS::kConnected ||
                    info.plug(QEL_STREAM_INFO::kAudioInPlug).state() != QEL_PLUG_STATUS::kConnected)
                    streaming = false;
            }
        }
        out << "summary " << (rows == 0 ? "no streams available" : streaming ? "streaming" : "connect failed") << "\n";
        return failed(status);
    });

    tool.add("buffers", "buffers", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (!a.empty()) return usage("buffers");
        if (auto e = tool.ensureControlPanelDriver()) return e;
        cpl::CDrv& drv = tool.controlPanelDrv();
        Status first = QEL_OK;
        auto note = [&](const char* what, Status s) {
            out << what << " unavailable: " << statusText(s) << "\n";
            if (first == QEL_OK) first = s;
        };
        QEL_STREAM_BUFFER stream;
        if (const Status s = drv.getStreamBuffer(stream); s == QEL_OK)
            printStreamBuffer(out, stream);
        else
            note("stream", s);
        QEL_AUDIO_BUFFER audio;
        if (const Status s = drv.getAsioBuffer(audio); s == QEL_OK)
            printAudioBuffer(out, "asio", audio);
        else
            note("asio", s);
        if (const Status s = drv.getWdmBuffer(audio); s == QEL_OK)
            printAudioBuffer(out, "wdm", audio);
        else
            note("wdm", s);
        return failed(first);
    });

    tool.add("set-buffer", "set-buffer stream|asio|wdm MICROSECONDS",
             [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
                 const auto us = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
                 if (!us || (a[0] != "stream" && a[0] != "asio" && a[0] != "wdm"))
                     return usage("set-buffer stream|asio|wdm MICROSECONDS");
                 if (auto e = tool.ensureControlPanelDriver()) return e;
                 cpl::CDrv& drv = tool.controlPanelDrv();
                 // As the buffer page applies them: the stream and WDM buffers in
                 // a sync-change bracket, the ASIO buffer alone.
                 if (a[0] == "stream") {
                     QEL_STREAM_BUFFER b;
                     if (auto e = failed(drv.getStreamBuffer(b))) return e;
                     b.setCurrentDepth(*us);
                     if (auto e = failed(drv.setStreamBuffer(b))) return e;
                 } else {
                     const bool asio = a[0] == "asio";
                     QEL_AUDIO_BUFFER b;
                     if (auto e = failed(asio ? drv.getAsioBuffer(b) : drv.getWdmBuffer(b))) return e;
                     b.setCurrentDepth(*us);
                     if (auto e = failed(asio ? drv.setAsioBuffer(b) : drv.setWdmBuffer(b))) return e;
                     if (asio) {
                         if (auto e = failed(drv.getAsioBuffer(b))) return e;
                         printAudioBuffer(out, "asio", b);
                         return std::nullopt;
                     }
                 }
                 const Status begin = drv.beginSyncChange();
                 const Status end = drv.endSyncChange();
                 if (a[0] == "stream") {
                     QEL_STREAM_BUFFER b;
                     if (auto e = failed(drv.getStreamBuffer(b))) return e;
                     printStreamBuffer(out, b);
                 } else {
                     QEL_AUDIO_BUFFER b;
                     if (auto e = failed(drv.getWdmBuffer(b))) return e;
                     printAudioBuffer(out, "wdm", b);
                 }
                 return failed(begin != QEL_OK ? begin : end);
             });

    tool.add("stats", "stats", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (!a.empty()) return usage("stats");
        if (auto e = tool.ensureControlPanelDriver()) return e;
        QEL_STATISTICS st;
        if (auto e = failed(tool.controlPanelDrv().getStatistics(st))) return e;
        out << "dropouts " << st.dropouts() << "\n";
        return std::nullopt;
    });
}

}  // namespace qel::tools
