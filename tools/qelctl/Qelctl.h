#pragma once
// qelctl: a command-line tool over the device layer, running against the
// simulated rig. One Qelctl object is one session: the rig, the platform seam
// and the process context live as long as it does, so the commands of a script
// (`qelctl -`) act on the same rig one after another. A script's `sim` lines
// are rig commands (sim/RigCommands.h), run on this session's rig or, with
// the rig process, sent there.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/QelContext.h"
#include "controlpanel/driver/Drv.h"
#include "device/Status.h"
#include "os/Os.h"
#include "sim/Rig.h"
#include "sim/RigCommands.h"
#include "sim/host/PlatformHost.h"

namespace qel {
class Device;
}

namespace qel::tools {

// A command's failure: the status, or a usage error when status is 0.
struct CommandError {
    Status status = 0;
    std::string message;
};

class Qelctl {
public:
    explicit Qelctl(std::unique_ptr<sim::Rig> rig = sim::Rig::makeDefault());
    // On the host's platform: with the rig process, `sim` lines run there.
    explicit Qelctl(std::unique_ptr<sim::CPlatformHost> host);
    ~Qelctl();

    // Runs the command line (without the program name); returns the exit code.
    int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

    // The rig the `sim` lines act on (sim/RigCommands.h); with the rig process an unused local one.
    sim::Rig& rig() { return *rig_; }
    QelContext& context() { return *context_; }
    os::IOs& platform() { return host_->platform(); }
    // "platform: simulated rig" or "platform: driver" (help and version say it).
    std::string platformLine() const;

    using Args = std::vector<std::string>;
    using Handler = std::function<std::optional<CommandError>(const Args& args, std::ostream& out)>;

    // Command registration; each group of commands lives in its own file.
    void add(const std::string& name, const std::string& usage, Handler handler);

    // The driver's control handle, opened on first use and kept for the session.
    std::optional<CommandError> ensureDriver();
    // A device named by identifier (decimal or 0x-hex) or by device name.
    std::optional<CommandError> resolveDevice(const std::string& name, std::uint32_t& id);
    // State a command group keeps for the session (open devices); released
    // before the context and the rig.
    void keep(std::shared_ptr<void> state) { kept_.push_back(std::move(state)); }

    // The control panel's driver object: its own control handle, opened on
    // first use (tools/qelctl/ControlPanelCommands.cpp).
    cpl::CDrv& controlPanelDrv() { return *cplDrv_; }

    // Opens a device for the session through its Device adapter, FireWire or
    // USB (set by the mixer commands; the device stays open).
    using DeviceOpener = std::function<std::optional<CommandError>(const std::string& name, Device*& device)>;
    DeviceOpener openDevice;
    std::optional<CommandError> ensureControlPanelDriver();

private:
    struct Command {
        std::string usage;
        Handler handler;
    };
    // Runs one command line; false when it failed (the error is printed).
    bool runLine(const Args& words, std::ostream& out, std::ostream& err);
    std::optional<CommandError> simCommand(const Args& args, std::ostream& out);
    void printUsage(std::ostream& err) const;

    std::unique_ptr<sim::CPlatformHost> host_;
    sim::Rig* rig_ = nullptr;
    std::unique_ptr<sim::Rig> placeholderRig_;  // for the `sim` handlers when the rig is elsewhere
    std::unique_ptr<QelContext> context_;
    std::unique_ptr<cpl::CDrv> cplDrv_;
    std::map<std::string, Command> commands_;
    sim::RigCommands rigCommands_;  // `sim NAME ...` in scripts
    bool trace_ = false;
    std::vector<std::shared_ptr<void>> kept_;
};

// The command groups.
void addDriverCommands(Qelctl& tool);
void addMixerCommands(Qelctl& tool);
void addControlPanelCommands(Qelctl& tool);
void addEventCommands(Qelctl& tool);
void addUsbCommands(Qelctl& tool);
void addConfigCommands(Qelctl& tool);
void addSceneCommands(Qelctl& tool);

std::optional<CommandError> failed(Status status);
std::optional<CommandError> usage(const std::string& message);
std::string quoted(const std::string& s);

// The words of a script line: separated by blanks, a double-quoted word may
// hold blanks (an unclosed quote runs to the end of the line).
std::vector<std::string> splitScriptLine(const std::string& line);

// Strict number parsing for arguments: decimal or 0x-hex, whole text.
std::optional<std::uint32_t> parseU32(const std::string& text);
std::optional<double> parseDouble(const std::string& text);

}  // namespace qel::tools
