// qelctl: the driver-wide commands of the FireWire driver.
#include <ostream>

#include "device/Requests.h"
#include "sim/Requests.h"
#include "tools/qelctl/Qelctl.h"

namespace qel::tools {

using Args = Qelctl::Args;

void addDriverCommands(Qelctl& tool) {
    tool.add("list", "list", [&tool](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = tool.ensureDriver()) return e;
        CDrv& drv = tool.context().drv();
        const Status status = drv.refreshDeviceProperties();
        for (const auto& p : drv.deviceProperties()) {
            out << "fw id=" << p.deviceId() << " vendor=" << quoted(tool.platform().codePageToUtf8(p.vendor()))
                << " model=" << quoted(tool.platform().codePageToUtf8(p.model()))
                << " name=" << quoted(tool.platform().codePageToUtf8(p.deviceName()))
                << " serial=" << quoted(tool.platform().codePageToUtf8(p.serial())) << "\n";
        }
        return failed(status);
    });

    tool.add("version", "version", [&tool](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = tool.ensureDriver()) return e;
        const QEL_DRIVER_VERSION& v = tool.context().drv().version();
        out << "fw driver " << unsigned{v.major()} << "." << unsigned{v.minor()} << " (" << os::hexText(v.bytes)
            << ")\n" << tool.platformLine() << "\n";
        return std::nullopt;
    });

    tool.add("rates", "rates", [&tool](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = tool.ensureDriver()) return e;
        CDrv& drv = tool.context().drv();
        if (auto e = failed(drv.readSampleRateInfo())) return e;
        const QEL_SAMPLE_RATE_INFO& r = drv.sampleRateInfo();
        out << "current " << r.currentRate() << "\npossible";
        for (const std::uint32_t hz : r.rates()) out << " " << hz;
        out << "\n";
        return std::nullopt;
    });

    tool.add("set-rate", "set-rate HZ", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto hz = a.size() == 1 ? parseU32(a[0]) : std::nullopt;
        if (!hz) return usage("set-rate HZ");
        if (auto e = tool.ensureDriver()) return e;
        if (auto e = failed(tool.context().drv().setSampleRate(*hz))) return e;
        out << "rate " << *hz << "\n";
        return std::nullopt;
    });

    tool.add("sync-modes", "sync-modes [DEVICE]", [&tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (a.size() > 1) return usage("sync-modes [DEVICE]");
        std::optional<std::uint32_t> only;
        if (a.size() == 1) {
            std::uint32_t id = 0;
            if (auto e = tool.resolveDevice(a[0], id)) return e;
            only = id;
        }
        if (auto e = tool.ensureDriver()) return e;
        CDrv& drv = tool.context().drv();
        const Status status = drv.refreshSyncModes();
        for (const auto& r : drv.syncModes()) {
            if (only && r.deviceId() != *only) continue;
            const QEL_SYNC_MODE_ENTRY cur = r.current();
            out << "device " << r.deviceId() << " current mode=" << cur.mode << " code=" << cur.code
                << " name=" << quoted(tool.platform().codePageToUtf8(cur.name)) << "\n";
            const auto entries = r.entries();
            for (std::size_t i = 0; i < entries.size(); ++i)
                out << "  [" << i << "] mode=" << entries[i].mode << " code=" << entries[i].code
                    << " name=" << quoted(tool.platform().codePageToUtf8(entries[i].name)) << "\n";
        }
        return failed(status);
    });

    tool.add("sync-settings", "sync-settings", [&tool](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = tool.ensureDriver()) return e;
        CDrv& drv = tool.context().drv();
        if (auto e = failed(drv.readSyncSettings())) return e;
        if (auto e = failed(drv.readSyncParameter())) return e;
        const QEL_SYNC_SETTINGS& s = drv.syncSettings();
        out << "clock-master " << (s.masterKind() == 0 ? "computer" : "device") << " (kind " << s.masterKind()
            << ") master-device " << s.masterDevice() << "\n"
            << "rate-follows-master " << drv.syncParameter() << "\n";
        return std::nullopt;
    });

    tool.add("events", "events", [&tool](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = tool.ensureDriver()) return e;
        // Drain the queue: the driver answers until it is empty. Bounded in case
        // a faulty driver never says so.
        for (int i = 0; i < 4096; ++i) {
            std::uint8_t record[12] = {};
            std::uint32_t got = 0;
            if (tool.context().drv().request(QEL_REQ_GET_EVENT, nullptr, 0, record, sizeof record, &got) != QEL_OK) break;
            out << "event " << os::getLe32(record, 0) << "\n";
        }
        return std::nullopt;
    });
}

}  // namespace qel::tools
