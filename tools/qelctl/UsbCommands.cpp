// qelctl: the USB device's own commands (re-open, levels, device message,
// descriptors). The mixer commands reach USB
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

}  // namespace qel::tools
