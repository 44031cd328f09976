// qelctl: scenes over the device layer. `scene save DEV FILE` writes what the
// device holds for the controls of its model's layout (the mixer panel's
// configuration file names the strips); `scene load DEV FILE` sends each
// value as the mixer panel's controls would and prints a line for every value,
// applied or skipped with the reason. Solo and link live on the mixer panel's
// surface only and are skipped here.
#include <algorithm>
#include <cctype>
#include <ostream>

#include "device/Device.h"
#include "mixer/app/DeviceConfig.h"
#include "mixer/app/SceneFile.h"
#include "mixer/controls/ValueScaling.h"
#include "tools/qelctl/Qelctl.h"

namespace qel::tools {

using Args = Qelctl::Args;
using mixer::Scene;
using mixer::SceneControl;
using mixer::SceneStrip;
using mixer::SceneValue;

namespace {

const char* kDefaultConfig = "KavroMixerPanelConfig.xml";
// Control ids of the control section's choices, by clock-source and digital-mode index.
constexpr int kSyncIds[] = {1036, 1037, 1038, 1039, 1040};
constexpr int kDigitalIds[] = {1047, 1052, 1053, 1048};

// The surface of a model as its configuration lays it out.
struct Layout {
    struct Input {
        std::string caption;
        std::uint8_t block = 0;
    };
    std::vector<Input> inputs;
    int master = -1;
    int headphone = -1;
    int crossfader = -1;
    std::vector<int> hidden;  // control-section options not shown

    bool shows(int id) const { return std::find(hidden.begin(), hidden.end(), id) == hidden.end(); }
    // Captions match whatever their case.
    const Input* input(const std::string& caption) const {
        const auto lower = [](std::string s) {
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        for (const Input& in : inputs)
            if (lower(in.caption) == lower(caption)) return &in;
        return nullptr;
    }
};

std::string simplified(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::optional<CommandError> layoutOf(const std::string& configPath, const Device& device, Layout& layout) {
    mixer::XmlDocument doc;
    std::string error;
    if (!doc.load(configPath, &error)) return usage(configPath + ": " + error);
    mixer::XmlNode node;
    if (!mixer::FindDeviceConfig(doc, device.props(), node, nullptr))
        return usage("no layout of model " + quoted(device.props().modelName) + " in " + configPath);
    const mixer::XmlNode config = node.selectSingleNode("ChannelConfig[@Name='default']");
    if (!config) return usage("no default layout of model " + quoted(device.props().modelName) + " in " + configPath);
    const char* idAttribute = device.props().busKind == 1 ? "@AVC_FFB_ID" : "@USB_FU_ID";
    for (const mixer::XmlNode& strip : config.selectNodes("ChannelStrip")) {
        const std::string dir = strip.selectSingleNode("Dir").text();
        const int id = strip.selectSingleNode(idAttribute).intValue() & 0xFF;
        if (dir == "Input")
            layout.inputs.push_back({simplified(strip.selectSingleNode("Caption").text()), std::uint8_t(id)});
        else if (dir == "Master" && layout.master < 0)
            layout.master = id;
        else if (dir == "Headphone" && layout.headphone < 0)
            layout.headphone = id;
    }
    if (const mixer::XmlNode fader = config.selectSingleNode("CrossFader"))
        layout.crossfader = fader.selectSingleNode(std::string("./") + idAttribute).intValue() & 0xFF;
    for (const mixer::XmlNode& option : config.selectNodes("ControlSection/Option[@Show='False']"))
        layout.hidden.push_back(option.selectSingleNode("./@ID").intValue());
    return std::nullopt;
}

// The device's requests as the mixer panel's container sends them.
class SceneDevice {
public:
    explicit SceneDevice(Device& d) : d_(d) {}

    Status volume(std::uint8_t block, std::uint8_t channel, int& level) {
        double db = 0;
        const Status s = d_.usb() ? d_.usb()->getVolume(block, channel, db)
                                  : d_.fireWire() ? d_.fireWire()->getVolume(block, channel, db) : QEL_E_FAILED;
        // As a fader shows it.
        level = std::clamp(scaling::LevelFromFaderPos(scaling::FaderPosFromLevel(db)), -63, 0);
        return s;
    }
    Status setVolume(std::uint8_t block, std::uint8_t channel, int level) {
        if (d_.usb()) return d_.usb()->setVolume(block, channel, level);
        return d_.fireWire() ? d_.fireWire()->setVolume(block, channel, level) : QEL_E_FAILED;
    }
    Status mute(std::uint8_t block, std::uint8_t channel, int& on) {
        std::uint8_t state = 0;
        const Status s = d_.usb() ? d_.usb()->getMute(block, channel, state)
                                  : d_.fireWire() ? d_.fireWire()->getMute(block, channel, state) : QEL_E_FAILED;
        on = state != 0;
        return s;
    }
    Status setMute(std::uint8_t block, std::uint8_t channel, int on) {
        const std::uint8_t state = on ? 1 : 0;
        if (d_.usb()) return d_.usb()->setMute(block, channel, state);
        return d_.fireWire() ? d_.fireWire()->setMute(block, channel, state) : QEL_E_FAILED;
    }
    // An input side's pan or (channel 0, FireWire) an output's balance.
    Status balance(std::uint8_t block, std::uint8_t channel, int& position) {
        std::int32_t value = 0;
        Status s = QEL_E_FAILED;
        if (d_.usb() && channel != 0) s = d_.usb()->getBalance(block, channel, value);
        else if (d_.fireWire()) s = d_.fireWire()->getBalance(block, channel, value);
        position = scaling::BalancePosFromDevice(value);
        return s;
    }
    Status setPan(std::uint8_t block, std::uint8_t channel, int position) {
        return d_.setChannelBalance(channel, block, scaling::PanToDevice(position));
    }
    Status setBalance(std::uint8_t block, int position, bool deadZone) {
        return d_.setPan(scaling::OutputBalanceRequest(scaling::BalanceToDevice(position, deadZone), !d_.usb()),
                         block);
    }
    Status crossfade(std::uint8_t block, int& position) {
        double value = 0;
        const Status s = d_.usb() ? d_.usb()->getVolume(block, 0, value)
                                  : d_.fireWire() ? d_.fireWire()->getVolume(block, 0, value) : QEL_E_FAILED;
        position = std::clamp(scaling::CrossfadePosFromDevice(value), -127, 127);
        return s;
    }
    Status setCrossfade(std::uint8_t block, int position) {
        return d_.setVolume(block, scaling::CrossfadeToDevice(position));
    }
    Status mode(QelContext& ctx, std::uint32_t& mode) {
        return d_.ReadVendorValue(ctx.avc().deviceMode, mode);
    }

private:
    Device& d_;
};

Scene capture(Device& d, QelContext& ctx, const Layout& layout) {
    SceneDevice dev(d);
    Scene scene;
    scene.model = d.props().modelName;
    const auto add = [&scene](Status s, SceneValue v) {
        if (s == QEL_OK) scene.values.push_back(std::move(v));
    };
    int v = 0;
    for (const Layout::Input& in : layout.inputs) {
        const auto value = [&](SceneControl c) { return SceneValue::Of(SceneStrip::Input, in.caption, c, v); };
        Status s = dev.volume(in.block, 1, v);
        add(s, value(SceneControl::LeftVolume));
        s = dev.volume(in.block, 2, v);
        add(s, value(SceneControl::RightVolume));
        s = dev.balance(in.block, 1, v);
        add(s, value(SceneControl::LeftPan));
        s = dev.balance(in.block, 2, v);
        add(s, value(SceneControl::RightPan));
        s = dev.mute(in.block, 1, v);
        add(s, value(SceneControl::LeftMute));
        s = dev.mute(in.block, 2, v);
        add(s, value(SceneControl::RightMute));
    }
    for (const auto& [block, strip] : {std::pair{layout.master, SceneStrip::Master},
                                       std::pair{layout.headphone, SceneStrip::Headphone}}) {
        if (block < 0) continue;
        const auto b = static_cast<std::uint8_t>(block);
        Status s = dev.volume(b, 0, v);
        add(s, SceneValue::Of(strip, {}, SceneControl::Volume, v));
        // On USB an output's balance lives in its side volumes: there is none to read.
        if (!d.usb()) {
            s = dev.balance(b, 0, v);
            add(s, SceneValue::Of(strip, {}, SceneControl::Balance, v));
        }
        s = dev.mute(b, 0, v);
        add(s, SceneValue::Of(strip, {}, SceneControl::Mute, v));
    }
    if (layout.crossfader >= 0) {
        const Status s = dev.crossfade(static_cast<std::uint8_t>(layout.crossfader), v);
        add(s, SceneValue::Of(SceneStrip::None, {}, SceneControl::Crossfader, v));
    }
    if (d.ReadSyncSource() == QEL_OK && d.syncKind() < 5 && layout.shows(kSyncIds[d.syncKind()]))
        scene.values.push_back(SceneValue::Of(SceneStrip::None, {}, SceneControl::ClockSource, int(d.syncKind())));
    std::uint32_t mode = 0;
    if (dev.mode(ctx, mode) == QEL_OK && mode < 4 && layout.shows(kDigitalIds[mode]))
        scene.values.push_back(SceneValue::Of(SceneStrip::None, {}, SceneControl::DigitalMode, int(mode)));
    if (d.ReadSampleRateInfo() == QEL_OK && qel::Device::rateCode(d.currentRate()) != 15)
        scene.values.push_back(SceneValue::Of(SceneStrip::None, {}, SceneControl::SampleRate, int(d.currentRate())));
    return scene;
}

void apply(Device& d, const Scene& scene, const Layout& layout, std::ostream& out) {
    SceneDevice dev(d);
    const auto line = [](const SceneValue& v) { return v.Key() + " = " + v.ValueText(); };
    const auto applied = [&](const SceneValue& v) { out << "applied: " << line(v) << "\n"; };
    const auto skipped = [&](const SceneValue& v, const std::string& why) {
        out << "skipped: " << line(v) << ": " << why << "\n";
    };
    const auto result = [&](const SceneValue& v, Status s) {
        if (s == QEL_OK)
            applied(v);
        else
            skipped(v, "the device refused it (" + statusName(s) + ")");
    };
    const auto each = [&scene](auto&& fn) {
        for (const SceneValue& v : scene.values) fn(v);
    };
    // The order of the mixer panel's load: the clock, the strips, the outputs
    // with their balances last, the crossfader.
    each([&](const SceneValue& v) {
        if (v.strip != SceneStrip::None || v.control != SceneControl::ClockSource) return;
        if (!layout.shows(kSyncIds[v.value]) || (d.usb() && v.value == 4)) return skipped(v, "not on this device");
        Status s = d.SetSyncSource(std::uint32_t(v.value));
        if (s == QEL_OK) s = d.ReadSyncSource();
        if (s == QEL_OK && d.syncKind() != std::uint32_t(v.value)) return skipped(v, "the device did not take it");
        result(v, s);
    });
    each([&](const SceneValue& v) {
        if (v.strip != SceneStrip::None || v.control != SceneControl::SampleRate) return;
        const Status read = d.ReadSampleRateInfo();
        const auto& rates = d.possibleRates();
        if (read != QEL_OK) return result(v, read);
        if (std::find(rates.begin(), rates.end(), std::uint32_t(v.value)) == rates.end())
            return skipped(v, "the device does not offer it");
        result(v, d.SetSampleRate(std::uint32_t(v.value)));
    });
    each([&](const SceneValue& v) {
        if (v.strip != SceneStrip::None || v.control != SceneControl::DigitalMode) return;
        if (!layout.shows(kDigitalIds[v.value])) return skipped(v, "not on this device");
        result(v, d.setDeviceMode(std::uint32_t(v.value)));
    });
    each([&](const SceneValue& v) {
        if (v.strip != SceneStrip::Input) return;
        const Layout::Input* in = layout.input(v.caption);
        if (!in) return skipped(v, "no such strip on this device");
        switch (v.control) {
        case SceneControl::LeftVolume: return result(v, dev.setVolume(in->block, 1, v.value));
        case SceneControl::RightVolume: return result(v, dev.setVolume(in->block, 2, v.value));
        case SceneControl::LeftPan: return result(v, dev.setPan(in->block, 1, v.value));
        case SceneControl::RightPan: return result(v, dev.setPan(in->block, 2, v.value));
        case SceneControl::LeftMute: return result(v, dev.setMute(in->block, 1, v.value));
        case SceneControl::RightMute: return result(v, dev.setMute(in->block, 2, v.value));
        default: return skipped(v, "kept by the mixer panel's surface, not the device");
        }
    });
    const auto blockOf = [&layout](const SceneValue& v) {
        return v.strip == SceneStrip::Master ? layout.master : layout.headphone;
    };
    each([&](const SceneValue& v) {
        if (v.strip != SceneStrip::Master && v.strip != SceneStrip::Headphone) return;
        const int block = blockOf(v);
        if (block < 0) return skipped(v, "no such strip on this device");
        const auto b = static_cast<std::uint8_t>(block);
        if (v.control == SceneControl::Volume) return result(v, dev.setVolume(b, 0, v.value));
        if (v.control == SceneControl::Mute) return result(v, dev.setMute(b, 0, v.value));
    });
    each([&](const SceneValue& v) {
        if ((v.strip != SceneStrip::Master && v.strip != SceneStrip::Headphone) || v.control != SceneControl::Balance)
            return;
        const int block = blockOf(v);
        if (block < 0) return;
        // The main out's balance has its dead zone, the headphones' none.
        result(v, dev.setBalance(static_cast<std::uint8_t>(block), v.value, v.strip == SceneStrip::Master));
    });
    each([&](const SceneValue& v) {
        if (v.strip != SceneStrip::None || v.control != SceneControl::Crossfader) return;
        if (layout.crossfader < 0) return skipped(v, "no crossfader on this device");
        result(v, dev.setCrossfade(static_cast<std::uint8_t>(layout.crossfader), v.value));
    });
}

}  // namespace

void addSceneCommands(Qelctl& tool) {
    const char* use = "scene save|load DEV FILE [--config FILE]";
    tool.add("scene", use, [&tool, use](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const bool config = a.size() == 5 && a[3] == "--config";
        if ((a.size() != 3 && !config) || (a[0] != "save" && a[0] != "load")) return usage(use);
        const std::string& file = a[2];
        // A broken file is refused before the device is touched.
        Scene scene;
        if (a[0] == "load") {
            mixer::SceneError error;
            if (!mixer::ReadSceneFile(file, scene, error))
                return usage(error.line > 0 ? file + ": " + error.Message() : error.Message());
        }
        Device* d = nullptr;
        if (!tool.openDevice) return usage("no mixer commands");
        if (auto e = tool.openDevice(a[1], d)) return e;
        Layout layout;
        if (auto e = layoutOf(config ? a[4] : kDefaultConfig, *d, layout)) return e;
        if (a[0] == "save") {
            scene = capture(*d, tool.context(), layout);
            std::string error;
            if (!mixer::WriteSceneFile(file, scene, error)) return usage(error);
            out << "scene of " << quoted(scene.model) << " saved to " << file << " (" << scene.values.size()
                << " values)\n";
            return std::nullopt;
        }
        if (scene.model != d->props().modelName)
            out << "scene of " << quoted(scene.model) << " on " << quoted(d->props().modelName)
                << ": only matching controls apply\n";
        apply(*d, scene, layout, out);
        return std::nullopt;
    });
}

}  // namespace qel::tools
