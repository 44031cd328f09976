#include "tools/qelctl/Qelctl.h"

#include "os/NumberText.h"

#include <cstdio>
#include <istream>
#include <ostream>
#include <sstream>


namespace qel::tools {

std::optional<CommandError> failed(Status status) {
    if (status == QEL_OK) return std::nullopt;
    return CommandError{status, {}};
}
std::optional<CommandError> usage(const std::string& message) { return CommandError{0, message}; }
std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::vector<std::string> splitScriptLine(const std::string& line) {
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

std::optional<std::uint32_t> parseU32(const std::string& text) { return sim::rigNumber(text); }

std::optional<double> parseDouble(const std::string& text) {
    return os::parseNumber(text);
}

Qelctl::Qelctl(std::unique_ptr<sim::Rig> rig) : Qelctl(std::make_unique<sim::CPlatformHost>(std::move(rig))) {}

Qelctl::Qelctl(std::unique_ptr<sim::CPlatformHost> host) : host_(std::move(host)) {
    rig_ = host_->rig();
    if (rig_ == nullptr) {
        placeholderRig_ = std::make_unique<sim::Rig>();
        rig_ = placeholderRig_.get();
    }
    context_ = std::make_unique<QelContext>(host_->platform());
    // The session's control handle listens for the driver events that rig commands cause.
    rigCommands_.openListener = [this]() -> std::optional<std::string> {
        if (auto e = ensureDriver()) return statusText(e->status);
        return std::nullopt;
    };
    addDriverCommands(*this);
    addMixerCommands(*this);
    cplDrv_ = std::make_unique<cpl::CDrv>(host_->platform());
    addControlPanelCommands(*this);
    addEventCommands(*this);
    addUsbCommands(*this);
    addConfigCommands(*this);
    addSceneCommands(*this);
}

Qelctl::~Qelctl() {
    kept_.clear();
    cplDrv_.reset();
    context_.reset();
    host_.reset();
    placeholderRig_.reset();
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
        if ((number && p.deviceId() == *number) || platform().codePageToUtf8(p.deviceName()) == name) {
            id = p.deviceId();
            return std::nullopt;
        }
    }
    if (status != QEL_OK) return failed(status);
    return usage("unknown device: " + name);
}

std::optional<CommandError> Qelctl::simCommand(const Args& a, std::ostream& out) {
    if (!host_->simulated()) return usage("the interfaces' drivers run no rig commands (--rig for the simulated rig)");
    if (host_->usesRigProcess()) {
        std::string text, error;
        const int code = host_->rigCommand(a, text, error);
        out << text;
        if (code == 0) return std::nullopt;
        // The rig process words its errors as "qelctl: sim: ..."; pass them on.
        std::string message = error;
        while (!message.empty() && message.back() == '\n') message.pop_back();
        const std::string prefix = "qelctl: sim: ";
        if (message.compare(0, prefix.size(), prefix) == 0) message.erase(0, prefix.size());
        return usage(message.empty() ? "failed in the rig process" : message);
    }
    sim::RigCommandResult r = rigCommands_.run(*rig_, a);
    out << r.output;
    if (!r.ok) return usage(r.error);
    return std::nullopt;
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

std::string Qelctl::platformLine() const {
    return host_->simulated() ? "platform: simulated rig" : "platform: driver";
}

void Qelctl::printUsage(std::ostream& err) const {
    err << "usage: qelctl [--rig[=FILE] | --driver] [--trace] COMMAND [ARGS]\n"
           "       qelctl [--rig[=FILE] | --driver] [--trace] -   (commands from standard input, one per line)\n"
        << platformLine() << "\n"
           "  --rig          the built-in simulated rig\n"
           "  --rig=FILE     the simulated rig described in FILE\n"
           "  --driver       the interfaces' drivers" << (sim::CPlatformHost::kHaveDriver ? "" : " (none on this system)")
        << "\n  (QEL_PLATFORM=rig|driver when no option is given)\ncommands:\n";
    for (const auto& [name, c] : commands_) err << "  " << c.usage << "\n";
    for (const std::string& u : rigCommands_.usages()) err << "  sim " << u << "   (scripts only)\n";
}

int Qelctl::run(const std::vector<std::string>& argsIn, std::istream& in, std::ostream& out, std::ostream& err) {
    Args args = argsIn;
    trace_ = false;
    while (!args.empty() && args[0] == "--trace") {
        trace_ = true;
        args.erase(args.begin());
    }
    if (trace_ && host_->usesRigProcess())
        err << "qelctl: --trace: the rig process keeps the trace of all its clients; none is shown\n";
    else if (trace_ && !host_->simulated())
        err << "qelctl: --trace: the trace is the simulated rig's; none is shown on the driver\n";
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
            ok = runLine(splitScriptLine(line), out, err) && ok;
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
