// qelctl: the mixer panel's configuration file and device list. `config check
// FILE` reports every problem of a file with its line and prints each model's
// layout; `devices [--config FILE]` lists what the device list takes in and
// why it skips the others. `sim add-model` plugs in a device of any model.
#include <cstdio>
#include <ostream>

#include "mixer/app/ConfigCheck.h"
#include "mixer/app/DeviceConfig.h"
#include "mixer/app/DeviceList.h"
#include "sim/FwFirmware.h"
#include "sim/UsbDevice.h"
#include "tools/qelctl/Qelctl.h"

namespace qel::tools {

using Args = Qelctl::Args;

namespace {
const char* kDefaultConfig = "KavroMixerPanelConfig.xml";

std::optional<CommandError> load(const std::string& path, mixer::XmlDocument& doc) {
    std::string error;
    if (!doc.load(path, &error)) return usage(path + ": " + error);
    return std::nullopt;
}

const char* busName(std::uint32_t busKind) { return busKind == 1 ? "fw" : "usb"; }

std::string describe(const DEVICE_PROPS& p) {
    char id[16];
    std::snprintf(id, sizeof id, "%u", static_cast<unsigned>(p.deviceId));
    return std::string(busName(p.busKind)) + " " + id + " " + quoted(p.displayName) + " model " + quoted(p.modelName);
}

void printBus(std::ostream& out, const char* bus, const char* attr, const mixer::CDeviceList::BusReport& r) {
    if (!r.guidSet)
        out << bus << ": no well-formed " << attr << " in the configuration, no devices\n";
    else if (r.open != QEL_OK)
        out << bus << ": driver not available (" << statusText(r.open) << ")\n";
    else if (r.refresh != QEL_OK)
        out << bus << ": device list not read (" << statusText(r.refresh) << ")\n";
}
}  // namespace

void addConfigCommands(Qelctl& tool) {
    tool.add("config", "config check FILE", [](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (a.size() != 2 || a[0] != "check") return usage("config check FILE");
        mixer::XmlDocument doc;
        if (auto e = load(a[1], doc)) return e;
        const mixer::CConfigCheck check(doc);
        for (const auto& line : check.layout()) out << line << "\n";
        for (const auto& p : check.problems()) out << a[1] << ":" << p.line << ": " << p.text << "\n";
        if (!check.problems().empty())
            return usage(a[1] + ": " + std::to_string(check.problems().size()) + " problem(s)");
        return std::nullopt;
    });

    tool.add("devices", "devices [--config FILE]", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (!(a.empty() || (a.size() == 2 && a[0] == "--config"))) return usage("devices [--config FILE]");
        mixer::XmlDocument doc;
        if (auto e = load(a.empty() ? kDefaultConfig : a[1], doc)) return e;
        const mixer::CDeviceList list(tool.context(), doc);
        printBus(out, "fw", "GUID_1394", list.fireWireReport());
        printBus(out, "usb", "GUID_USB", list.usbReport());
        DEVICE_PROPS p;
        for (std::size_t i = 0; list.getDeviceProps(i, p); ++i) {
            mixer::XmlNode node;
            const bool described = mixer::FindDeviceConfig(doc, p, node, nullptr);
            out << "taken " << describe(p) << (described ? "" : " (no Device element: no mixer)") << "\n";
        }
        using Reason = mixer::CDeviceList::Skipped::Reason;
        for (const auto& s : list.skipped()) {
            out << "skipped " << describe(s.props) << ": ";
            switch (s.reason) {
            case Reason::NoConfig: out << "no Device element for the model"; break;
            case Reason::OpenFailed: out << "open failed (" << statusText(s.status) << ")"; break;
            case Reason::NotFirstUsb: out << "only the first USB device is taken in"; break;
            }
            out << "\n";
        }
        return std::nullopt;
    });
}

}  // namespace qel::tools
