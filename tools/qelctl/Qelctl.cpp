#include "tools/qelctl/Qelctl.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

#include "device/Requests.h"
#include "sim/Requests.h"

namespace qel::tools {

namespace {
std::optional<CommandError> failed(Status status) {
    if (status == QEL_OK) return std::nullopt;
    return CommandError{status, {}};
}
std::optional<CommandError> usage(const std::string& message) { return CommandError{0, message}; }

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Words separated by blanks; a double-quoted word may hold blanks.
std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        std::string w;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            w = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') w += line[i++];
        }
        words.push_back(std::move(w));
    }
    return words;
}
}  // namespace

std::optional<std::uint32_t> parseU32(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const unsigned long long v = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0' || v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

std::optional<double> parseDouble(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != '\0' || v != v) return std::nullopt;
    return v;
}

Qelctl::Qelctl(std::unique_ptr<sim::Rig> rig)
    : rig_(std::move(rig)), os_(std::make_unique<os::SimOs>(*rig_)),
      context_(std::make_unique<QelContext>(*os_)) {
    addCommands();
}

Qelctl::~Qelctl() {
    context_.reset();
    os_.reset();
    rig_.reset();
}

void Qelctl::add(const std::string& name, const std::string& usageText, Handler handler) {
    commands_[name] = Command{usageText, std::move(handler)};
}

std::optional<CommandError> Qelctl::ensureDriver() {
    return failed(context_->drv().openDriver(sim::fireWireGuid()));
}

std::optional<CommandError> Qelctl::resolveDevice(const std::string& name, std::uint32_t& id) {
    if (auto e = ensureDriver()) return e;
    CDrv& drv = context_->drv();
    const Status status = drv.refreshDeviceProperties();
    const auto number = parseU32(name);
    for (const auto& p : drv.deviceProperties()) {
        if ((number && p.deviceId() == *number) || os_->codePageToUtf8(p.deviceName()) == name) {
            id = p.deviceId();
            return std::nullopt;
        }
    }
    if (status != QEL_OK) return failed(status);
    return usage("unknown device: " + name);
}

void Qelctl::addCommands() {
    add("list", "list", [this](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = ensureDriver()) return e;
        CDrv& drv = context_->drv();
        const Status status = drv.refreshDeviceProperties();
        for (const auto& p : drv.deviceProperties()) {
            out << "fw id=" << p.deviceId() << " vendor=" << quoted(os_->codePageToUtf8(p.vendor()))
                << " model=" << quoted(os_->codePageToUtf8(p.model()))
                << " name=" << quoted(os_->codePageToUtf8(p.deviceName()))
                << " serial=" << quoted(os_->codePageToUtf8(p.serial())) << "\n";
        }
        return failed(status);
    });

    add("version", "version", [this](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = ensureDriver()) return e;
        const QEL_DRIVER_VERSION& v = context_->drv().version();
        out << "fw driver " << unsigned{v.major()} << "." << unsigned{v.minor()} << " (" << os::hexText(v.bytes)
            << ")\n";
        return std::nullopt;
    });

    add("rates", "rates", [this](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = ensureDriver()) return e;
        CDrv& drv = context_->drv();
        if (auto e = failed(drv.readSampleRateInfo())) return e;
        const QEL_SAMPLE_RATE_INFO& r = drv.sampleRateInfo();
        out << "current " << r.currentRate() << "\npossible";
        for (const std::uint32_t hz : r.rates()) out << " " << hz;
        out << "\n";
        return std::nullopt;
    });

    add("set-rate", "set-rate HZ", [this](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        const auto hz = a.size() == 1 ? parseU32(a[0]) : std::nullopt;
        if (!hz) return usage("set-rate HZ");
        if (auto e = ensureDriver()) return e;
        if (auto e = failed(context_->drv().setSampleRate(*hz))) return e;
        out << "rate " << *hz << "\n";
        return std::nullopt;
    });

    add("sync-modes", "sync-modes [DEVICE]", [this](const Args& a, std::ostream& out) -> std::optional<CommandError> {
        if (a.size() > 1) return usage("sync-modes [DEVICE]");
        std::optional<std::uint32_t> only;
        if (a.size() == 1) {
            std::uint32_t id = 0;
            if (auto e = resolveDevice(a[0], id)) return e;
            only = id;
        }
        if (auto e = ensureDriver()) return e;
        CDrv& drv = context_->drv();
        const Status status = drv.refreshSyncModes();
        for (const auto& r : drv.syncModes()) {
            if (only && r.deviceId() != *only) continue;
            const QEL_SYNC_MODE_ENTRY cur = r.current();
            out << "device " << r.deviceId() << " current mode=" << cur.mode << " code=" << cur.code
                << " name=" << quoted(os_->codePageToUtf8(cur.name)) << "\n";
            const auto entries = r.entries();
            for (std::size_t i = 0; i < entries.size(); ++i)
                out << "  [" << i << "] mode=" << entries[i].mode << " code=" << entries[i].code
                    << " name=" << quoted(os_->codePageToUtf8(entries[i].name)) << "\n";
        }
        return failed(status);
    });

    add("sync-settings", "sync-settings", [this](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = ensureDriver()) return e;
        CDrv& drv = context_->drv();
        if (auto e = failed(drv.readSyncSettings())) return e;
        if (auto e = failed(drv.readSyncParameter())) return e;
        const QEL_SYNC_SETTINGS& s = drv.syncSettings();
        out << "clock-master " << (s.masterKind() == 0 ? "computer" : "device") << " (kind " << s.masterKind()
            << ") master-device " << s.masterDevice() << "\n"
            << "rate-follows-master " << drv.syncParameter() << "\n";
        return std::nullopt;
    });

    add("events", "events", [this](const Args&, std::ostream& out) -> std::optional<CommandError> {
        if (auto e = ensureDriver()) return e;
        // Drain the queue: the driver answers until it is empty. Bounded in case
        // a faulty driver never says so.
        for (int i = 0; i < 4096; ++i) {
            std::uint8_t record[12] = {};
            std::uint32_t got = 0;
            if (context_->drv().request(QEL_REQ_GET_EVENT, nullptr, 0, record, sizeof record, &got) != QEL_OK) break;
            out << "event " << os::getLe32(record, 0) << "\n";
        }
        return std::nullopt;
    });
}

std::optional<CommandError> Qelctl::simCommand(const Args& a, std::ostream& out) {
    const std::string what = a.empty() ? "" : a[0];
    auto device = [&](const std::string& name) { return rig_->findDevice(name); };
    if ((what == "unplug" || what == "plug") && a.size() == 2) {
        const auto id = device(a[1]);
        if (!id) return usage("unknown device: " + a[1]);
        const bool ok = what == "plug" ? rig_->plug(*id) : rig_->unplug(*id);
        if (!ok) return usage("device " + a[1] + (what == "plug" ? " is present already" : " is not present"));
        out << "sim " << what << " " << *id << "\n";
        return std::nullopt;
    }
    if (what == "event" && a.size() == 2) {
        const auto code = parseU32(a[1]);
        if (!code) return usage("sim event CODE");
        // The session's control handle is the listener that receives the event.
        if (auto e = ensureDriver()) return e;
        rig_->queueDriverEvent(*code);
        return std::nullopt;
    }
    if (what == "fail" && a.size() == 4) {
        const std::uint32_t code = sim::requestCode(a[1]) != 0 ? sim::requestCode(a[1]) : parseU32(a[1]).value_or(0);
        const auto count = parseU32(a[2]);
        const auto status = parseU32(a[3]);
        if (code == 0 || !count || !status) return usage("sim fail REQUEST_NAME COUNT STATUS");
        rig_->failNext(code, *count, *status);
        return std::nullopt;
    }
    if (what == "delay" && a.size() == 3) {
        const std::uint32_t code = a[1] == "all" ? 0 : sim::requestCode(a[1]);
        const auto ms = parseU32(a[2]);
        if ((code == 0 && a[1] != "all") || !ms) return usage("sim delay REQUEST_NAME|all MS");
        rig_->setDelay(code, *ms);
        return std::nullopt;
    }
    if (what == "version" && a.size() >= 2 && a.size() <= 13) {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 1; i < a.size(); ++i) {
            char* end = nullptr;
            const unsigned long v = std::strtoul(a[i].c_str(), &end, 16);
            if (a[i].empty() || *end != '\0' || v > 0xFF) return usage("sim version B0 B1 ... (hex bytes)");
            bytes.push_back(static_cast<std::uint8_t>(v));
        }
        rig_->setVersionAnswer(bytes);
        return std::nullopt;
    }
    if (what == "wdm" && a.size() == 2 && (a[1] == "on" || a[1] == "off")) {
        rig_->setWdmInUse(a[1] == "on");
        return std::nullopt;
    }
    return usage("sim unplug|plug DEVICE, sim event CODE, sim fail REQUEST_NAME COUNT STATUS, "
                 "sim delay REQUEST_NAME|all MS, sim version B0 B1 ..., sim wdm on|off");
}

bool Qelctl::runLine(const Args& words, std::ostream& out, std::ostream& err) {
    if (words.empty()) return true;
    const std::string& name = words[0];
    const Args args(words.begin() + 1, words.end());
    std::ostringstream output;
    std::optional<CommandError> error;
    if (name == "sim") {
        error = simCommand(args, output);
    } else if (const auto it = commands_.find(name); it != commands_.end()) {
        error = it->second.handler(args, output);
    } else {
        error = usage("unknown command: " + name);
    }
    const auto lines = rig_->takeTrace();
    if (trace_)
        for (const auto& line : lines) out << line << "\n";
    out << output.str();
    out.flush();
    if (!error) return true;
    if (error->status != 0)
        err << "qelctl: " << name << ": " << statusText(error->status) << "\n";
    else
        err << "qelctl: " << name << ": " << error->message << "\n";
    return false;
}

void Qelctl::printUsage(std::ostream& err) const {
    err << "usage: qelctl [--trace] COMMAND [ARGS]\n       qelctl [--trace] -   (commands from standard input, one per line)\ncommands:\n";
    for (const auto& [name, c] : commands_) err << "  " << c.usage << "\n";
    err << "  sim ...   (in scripts: act on the simulated rig)\n";
}

int Qelctl::run(const std::vector<std::string>& argsIn, std::istream& in, std::ostream& out, std::ostream& err) {
    Args args = argsIn;
    trace_ = false;
    while (!args.empty() && args[0] == "--trace") {
        trace_ = true;
        args.erase(args.begin());
    }
    rig_->setTraceEnabled(true);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printUsage(err);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "-") {
        bool ok = true;
        std::string line;
        while (std::getline(in, line)) {
            if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
            ok = runLine(splitWords(line), out, err) && ok;
        }
        return ok ? 0 : 1;
    }
    if (args[0] == "sim") {
        err << "qelctl: sim commands are for scripts (qelctl -)\n";
        return 2;
    }
    return runLine(args, out, err) ? 0 : 1;
}

}  // namespace qel::tools
