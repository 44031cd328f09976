// qelctl: the USB device's own commands (re-open, levels, device message,
// descriptors) and the rig's USB injections. The mixer commands reach USB
// devices through the same session (tools/qelctl/MixerCommands.cpp).
#include <cstdio>
#include <ostream>

#include "device/Device.h"
#include "sim/UsbDevice.h"
#include "os/NumberText.h"
#include "tools/qelctl/Qelctl.h"

namespace qel::tools {

using Args = Qelctl::Args;

namespace {
// The session's USB device of that name.
std::optional<CommandError> openUsb(Qelctl& tool, const std::string& name, Device*& d, const char* use) {
    if (!tool.openDevice) return usage(use);
    if (auto e = tool.openDevice(name, d)) return e;
    if (d->usb() == nullptr) return usage(std::string(use) + ": not a USB device");
    return std::nullopt;
}

std::optional<CommandError> onUsbModel(sim::Rig& rig, const std::string& name,
                                       const std::function<bool(sim::UsbDeviceModel&)>& fn, const std::string& use) {
    const auto id = rig.findUsbDevice(name);
    if (!id) return usage("unknown USB device: " + name);
    bool ok = false;
    rig.withUsbDevice(*id, [&](sim::UsbDeviceModel& m) { ok = fn(m); });
    if (!ok) return usage(use);
    return std::nullopt;
}

std::string hex(const std::uint8_t* b, std::uint32_t n) {
    std::string s;
    char buf[4];
    for (std::uint32_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", b[i]);
        s += buf;
    }
    return s.empty() ? "-" : s;
}
}  // namespace

void addUsbCommands(Qelctl& tool) {
    tool.add("reopen", "reopen DEV [--wait MS]", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const char* use = "reopen DEV [--wait MS]";
        const auto ms = a.size() == 3 && a[1] == "--wait" ? parseU32(a[2]) : std::nullopt;
        if (a.empty() || (a.size() != 1 && !ms)) return usage(use);
        Device* d = nullptr;
        if (auto e = openUsb(tool, a[0], d, use)) return e;
        if (auto e = failed(d->usb()->reopenUsbDevice(ms.has_value(), ms.value_or(0)))) return e;
        out << "reopen " << d->usb()->devicePath() << "\n";
        return std::nullopt;
    });

    tool.add("levels", "levels DEV CHANNELS", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const char* use = "levels DEV CHANNELS";
        const auto n = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
        if (!n) return usage(use);
        Device* d = nullptr;
        if (auto e = openUsb(tool, a[0], d, use)) return e;
        std::vector<double> levels;
        if (auto e = failed(d->readLevels(*n, levels))) return e;
        out << "levels";
        for (const double v : levels) out << os::formatC(" %.1f", v);
        out << "\n";
        return std::nullopt;
    });

    tool.add("device-message", "device-message DEV", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const char* use = "device-message DEV";
        if (a.size() != 1) return usage(use);
        Device* d = nullptr;
        if (auto e = openUsb(tool, a[0], d, use)) return e;
        out << "device-message " << unsigned{d->readDeviceMessage()} << "\n";
        return std::nullopt;
    });

    tool.add("descriptor", "descriptor DEV device|config|string INDEX",
             [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
                 const char* use = "descriptor DEV device|config|string INDEX";
                 const auto index = a.size() == 3 ? parseU32(a[2]) : std::nullopt;
                 if (a.size() < 2 || (a[1] != "device" && (!index || *index > 0xFF))) return usage(use);
                 Device* d = nullptr;
                 if (auto e = openUsb(tool, a[0], d, use)) return e;
                 CQelUsbDevice& u = *d->usb();
                 if (a[1] == "device") {
                     std::uint8_t b[18];
                     if (auto e = failed(u.checkDeviceDescriptor(b))) return e;
                     out << "descriptor device " << hex(b, sizeof b) << "\n";
                 } else if (a[1] == "config") {
                     std::uint8_t b[255];
                     std::uint32_t bytes = 0;
                     if (auto e = failed(u.getConfigurationDescriptor(b, sizeof b, bytes, static_cast<std::uint8_t>(*index))))
                         return e;
                     out << "descriptor config " << hex(b, bytes) << "\n";
                 } else if (a[1] == "string") {
                     std::string text;
                     if (auto e = failed(u.readString(static_cast<std::uint8_t>(*index), 0x0409, text))) return e;
                     out << "descriptor string " << quoted(text) << "\n";
                 } else {
                     return usage(use);
                 }
                 return std::nullopt;
             });
}

void addUsbSimCommands(Qelctl& tool) {
    sim::Rig& rig = tool.rig();
    tool.addSim("reenumerate", "reenumerate DEV MS", [&rig](const Args& a, std::ostream&) -> std::optional<CommandError> {
        const auto ms = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
        if (!ms || *ms > 60000) return usage("sim reenumerate DEV MS (at most 60000)");
        const auto id = rig.findUsbDevice(a[0]);
        if (!id) return usage("unknown USB device: " + a[0]);
        if (!rig.reenumerate(*id, *ms, /*wait=*/true)) return usage("sim reenumerate: device not present");
        return std::nullopt;
    });
    tool.addSim("usb-message", "usb-message DEV BYTE", [&rig](const Args& a, std::ostream&) -> std::optional<CommandError> {
        const char* use = "sim usb-message DEV BYTE";
        const auto b = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
        if (!b || *b > 0xFF) return usage(use);
        return onUsbModel(rig, a[0], [&](sim::UsbDeviceModel& m) {
            m.messages.push_back(static_cast<std::uint8_t>(*b));
            return true;
        }, use);
    });
    tool.addSim("usb-input", "usb-input DEV 1|2 LOCKED RATECODE", [&rig](const Args& a, std::ostream&) -> std::optional<CommandError> {
        const char* use = "sim usb-input DEV 1|2 LOCKED RATECODE";
        const auto input = a.size() == 4 ? parseU32(a[1]) : std::nullopt;
        const auto locked = a.size() == 4 ? parseU32(a[2]) : std::nullopt;
        const auto code = a.size() == 4 ? parseU32(a[3]) : std::nullopt;
        if (!input || (*input != 1 && *input != 2) || !locked || !code || *code > 0xFF) return usage(use);
        return onUsbModel(rig, a[0], [&](sim::UsbDeviceModel& m) {
            m.inputs[*input] = sim::UsbInputState{*locked != 0, static_cast<std::uint8_t>(*code)};
            return true;
        }, use);
    });
    tool.addSim("usb-descriptor", "usb-descriptor DEV LENGTH", [&rig](const Args& a, std::ostream&) -> std::optional<CommandError> {
        const char* use = "sim usb-descriptor DEV LENGTH (the next descriptor answer, at most 255 bytes)";
        const auto n = a.size() == 2 ? parseU32(a[1]) : std::nullopt;
        if (!n || *n > 255) return usage(use);
        return onUsbModel(rig, a[0], [&](sim::UsbDeviceModel& m) {
            std::vector<std::uint8_t> b = m.deviceDescriptor;
            b.resize(*n, 0);
            m.nextDescriptor = std::move(b);
            return true;
        }, use);
    });
}

}  // namespace qel::tools
