// qelctl: the mixer commands (feature blocks, pan, device mode, sync source,
// digital inputs, vendor commands). A device
// is opened through its Device adapter on first use and stays open for the
// session, so the feature-block cache applies across the lines of a script.
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <ostream>

#include "device/Device.h"
#include "sim/FwFirmware.h"
#include "os/NumberText.h"
#include "tools/qelctl/Qelctl.h"

namespace qel::tools {

using Args = Qelctl::Args;

namespace {

std::optional<std::int32_t> parseInt(const std::string& text) {
    const auto d = parseDouble(text);
    if (!d || *d != std::trunc(*d) || *d < INT32_MIN || *d > INT32_MAX || text.find_first_of(".eExX") != std::string::npos)
        return std::nullopt;
    return static_cast<std::int32_t>(*d);
}

std::optional<std::uint8_t> parseByte(const std::string& text) {
    const auto v = parseU32(text);
    if (!v || *v > 0xFF) return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}

std::string number(double v) {
    return os::formatC("%g", v);
}

const char* kSyncNames[] = {"Device", "Coax SPDIF", "Optical SPDIF", "Word Clock", "PC"};

// The devices opened in this session, by identifier.
class MixerSession {
public:
    explicit MixerSession(Qelctl& tool) : tool_(tool) {}

    std::optional<CommandError> open(const std::string& name, Device*& device) {
        const auto number = parseU32(name);
        for (const auto& [id, d] : usb_)
            if ((number && id == *number) || d->props().displayName == name) {
                device = d.get();
                return std::nullopt;
            }
        std::uint32_t id = 0;
        if (auto e = tool_.resolveDevice(name, id)) {
            if (openUsb(name, device)) return std::nullopt;
            return e;
        }
        if (const auto it = devices_.find(id); it != devices_.end()) {
            device = it->second.get();
            return std::nullopt;
        }
        QelContext& ctx = tool_.context();
        for (const auto& p : ctx.drv().deviceProperties()) {
            if (p.deviceId() != id) continue;
            auto d = std::make_unique<Device>(
                ctx, DEVICE_PROPS::fromFireWire(p, sim::fireWireGuid(), tool_.platform()),
                std::make_unique<CQelDevice>(ctx, sim::fireWireGuid(), QEL_KAVRO_COMPANY_ID));
            if (auto e = failed(d->openMixerDevice())) return e;
            device = d.get();
            devices_[id] = std::move(d);
            return std::nullopt;
        }
        return usage("unknown device: " + name);
    }

private:
    // A USB device named by identifier or display name: opened with
    // plug-and-play notification running, so that a re-open can wait.
    bool openUsb(const std::string& name, Device*& device) {
        QelContext& ctx = tool_.context();
        CUsbDriver& drv = ctx.usbDrv();
        if (drv.openDriver(sim::usbGuid()) != QEL_OK) return false;
        drv.refreshDeviceProperties();
        const auto number = parseU32(name);
        for (const auto& p : drv.deviceProperties()) {
            if (!(number && p.deviceId() == *number) && tool_.platform().codePageToUtf8(p.displayName()) != name)
                continue;
            auto d = std::make_unique<Device>(ctx, usbDeviceProps(p, sim::usbGuid(), tool_.platform()),
                                              std::make_unique<CQelUsbDevice>(tool_.platform(), sim::usbGuid()));
            if (d->openMixerDevice() != QEL_OK || !d->usb()->isOpen()) return false;
            d->usb()->startPnPNotification();
            device = d.get();
            usb_[p.deviceId()] = std::move(d);
            return true;
        }
        return false;
    }

    Qelctl& tool_;
    std::map<std::uint32_t, std::unique_ptr<Device>> devices_;
    std::map<std::uint32_t, std::unique_ptr<Device>> usb_;
};

// Runs `fn` on the FireWire firmware of a rig device.
}  // namespace

void addMixerCommands(Qelctl& tool) {
    // The tool keeps the session and releases it before the context; the
    // commands only point to it.
    auto kept = std::make_shared<MixerSession>(tool);
    tool.keep(kept);
    MixerSession* session = kept.get();
    tool.openDevice = [session](const std::string& name, Device*& d) { return session->open(name, d); };

    tool.add("volume", "volume DEV BLOCK CH [DB]", [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto block = a.size() >= 3 ? parseByte(a[1]) : std::nullopt;
        const auto ch = a.size() >= 3 ? parseByte(a[2]) : std::nullopt;
        const auto db = a.size() == 4 ? parseDouble(a[3]) : std::nullopt;
        if (!block || !ch || a.size() > 4 || (a.size() == 4 && !db)) return usage("volume DEV BLOCK CH [DB]");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        double value = db.value_or(0);
        if (CQelUsbDevice* u = d->usb()) {
            if (auto e = failed(db ? u->setVolume(*block, *ch, *db) : u->getVolume(*block, *ch, value))) return e;
        } else if (auto e = failed(db ? d->fireWire()->setVolume(*block, *ch, *db) : d->fireWire()->getVolume(*block, *ch, value))) {
            return e;
        }
        out << "volume " << unsigned{*block} << " " << unsigned{*ch} << " " << number(value) << "\n";
        return std::nullopt;
    });

    tool.add("master-volume", "master-volume DEV BLOCK DB",
             [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
                 const auto block = a.size() == 3 ? parseByte(a[1]) : std::nullopt;
                 const auto db = a.size() == 3 ? parseInt(a[2]) : std::nullopt;
                 if (!block || !db) return usage("master-volume DEV BLOCK DB (whole dB)");
                 Device* d = nullptr;
                 if (auto e = session->open(a[0], d)) return e;
                 if (auto e = failed(d->usb() ? d->setVolume(*block, *db) : d->fireWire()->setMasterVolume(*block, *db)))
                     return e;
                 out << "master-volume " << unsigned{*block} << " " << *db << "\n";
                 return std::nullopt;
             });

    tool.add("balance", "balance DEV BLOCK CH [VALUE]", [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto block = a.size() >= 3 ? parseByte(a[1]) : std::nullopt;
        const auto ch = a.size() >= 3 ? parseByte(a[2]) : std::nullopt;
        const auto v = a.size() == 4 ? parseDouble(a[3]) : std::nullopt;
        if (!block || !ch || a.size() > 4 || (a.size() == 4 && !v)) return usage("balance DEV BLOCK CH [VALUE]");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        if (v) {
            if (auto e = failed(d->usb() ? d->usb()->setBalance(*v, *block, *ch) : d->fireWire()->setBalance(*block, *ch, *v)))
                return e;
            out << "balance " << unsigned{*block} << " " << unsigned{*ch} << " " << number(*v) << "\n";
            return std::nullopt;
        }
        std::int32_t value = 0;
        if (auto e = failed(d->usb() ? d->usb()->getBalance(*block, *ch, value) : d->fireWire()->getBalance(*block, *ch, value)))
            return e;
        out << "balance " << unsigned{*block} << " " << unsigned{*ch} << " " << value << "\n";
        return std::nullopt;
    });

    tool.add("mute", "mute DEV BLOCK CH [on|off|N]", [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto block = a.size() >= 3 ? parseByte(a[1]) : std::nullopt;
        const auto ch = a.size() >= 3 ? parseByte(a[2]) : std::nullopt;
        std::optional<std::uint8_t> state;
        if (a.size() == 4) state = a[3] == "on" ? std::optional<std::uint8_t>(1) : a[3] == "off" ? std::optional<std::uint8_t>(0) : parseByte(a[3]);
        if (!block || !ch || a.size() > 4 || (a.size() == 4 && !state)) return usage("mute DEV BLOCK CH [on|off|N]");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        std::uint8_t value = state.value_or(0);
        if (CQelUsbDevice* u = d->usb()) {
            if (auto e = failed(state ? u->setMute(*block, *ch, *state) : u->getMute(*block, *ch, value))) return e;
        } else if (auto e = failed(state ? d->fireWire()->setMute(*block, *ch, *state) : d->fireWire()->getMute(*block, *ch, value))) {
            return e;
        }
        out << "mute " << unsigned{*block} << " " << unsigned{*ch} << " " << (value ? "on" : "off");
        if (value > 1) out << " (" << unsigned{value} << ")";
        out << "\n";
        return std::nullopt;
    });

    tool.add("pan", "pan DEV BLOCK VALUE", [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto block = a.size() == 3 ? parseByte(a[1]) : std::nullopt;
        const auto v = a.size() == 3 ? parseDouble(a[2]) : std::nullopt;
        if (!block || !v) return usage("pan DEV BLOCK VALUE");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        if (auto e = failed(d->setPan(*v, *block))) return e;
        out << "pan " << unsigned{*block} << " " << number(*v) << "\n";
        return std::nullopt;
    });

    tool.add("mode", "mode DEV [N]", [session, &tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto mode = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
        if (a.empty() || a.size() > 2 || (a.size() == 2 && !mode)) return usage("mode DEV [N]");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        std::uint32_t value = mode.value_or(0);
        if (auto e = failed(mode ? d->setDeviceMode(*mode) : d->ReadVendorValue(tool.context().avc().deviceMode, value)))
            return e;
        out << "mode " << value << "\n";
        return std::nullopt;
    });

    tool.add("sync-source", "sync-source DEV [INDEX]", [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto index = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
        if (a.empty() || a.size() > 2 || (a.size() == 2 && (!index || *index > 4))) return usage("sync-source DEV [INDEX 0..4]");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        if (index)
            if (auto e = failed(d->SetSyncSource(*index))) return e;
        if (auto e = failed(d->ReadSyncSource())) return e;
        out << "sync-source " << d->syncKind() << " (" << kSyncNames[d->syncKind() % 5] << ")\n";
        return std::nullopt;
    });

    tool.add("digital-input", "digital-input DEV 1|2", [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto input = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
        if (!input || (*input != 1 && *input != 2)) return usage("digital-input DEV 1|2");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        std::uint32_t detected = 0, code = 15;
        if (auto e = failed(d->ReadDigitalInput(*input, detected, code))) return e;
        out << "digital-input " << *input << " detected=" << detected << " rate=" << code << " ("
            << Device::RateName(code) << ")\n";
        return std::nullopt;
    });

    tool.add("vendor", "vendor DEV CODE [VALUE]", [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto code = a.size() >= 2 ? parseByte(a[1]) : std::nullopt;
        const auto value = a.size() == 3 ? parseByte(a[2]) : std::nullopt;
        if (!code || a.size() > 3 || (a.size() == 3 && !value)) return usage("vendor DEV CODE [VALUE]");
        Device* d = nullptr;
        if (auto e = session->open(a[0], d)) return e;
        if (d->usb()) return usage("vendor: AV/C vendor commands are FireWire only");
        const AVCVendorSpecCMD cmd(*code, 1);
        std::uint32_t answer = value.value_or(0);
        if (auto e = failed(value ? d->fireWire()->sendVendorControl(cmd, *value) : d->fireWire()->readVendorStatus(cmd, answer)))
            return e;
        out << "vendor " << unsigned{*code} << " " << answer << "\n";
        return std::nullopt;
    });
}

}  // namespace qel::tools
