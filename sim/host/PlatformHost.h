#pragma once
// Where a program gets its platform seam from, chosen in this one place for
// every program. On Windows the default is the interfaces' drivers; elsewhere
// it is the simulated rig: the rig process (qel-simd) when it listens on its
// socket, so every program of the session shares one rig, else the program's
// own default rig, compiled in. The command line and QEL_PLATFORM override
// the default (see PlatformChoice). Programs hold one CPlatformHost for their
// lifetime and hand platform() to their driver objects.
#include <memory>
#include <string>
#include <vector>

#include "os/Os.h"

namespace qel::os {
class RemoteOs;
}

namespace qel::sim {

class Rig;
class TimelineRunner;
struct RigEvent;

// The platform a program asked for:
//   --rig         the built-in rig, in this process
//   --rig=FILE    the rig described in FILE, its timeline running from start
//   --driver      the interfaces' drivers (an error where there are none)
//   QEL_PLATFORM=rig|driver, when the command line names none: the simulated
//   rig as the default has it (the rig process when it listens), or the drivers.
struct PlatformChoice {
    enum class Kind { Default, Simulated, BuiltInRig, RigFile, Driver };
    Kind kind = Kind::Default;
    std::string rigFile;  // for RigFile

    // Takes the platform options out of `args` (anywhere in it; the program's
    // own parsing never sees them) and reads `environment` (QEL_PLATFORM's
    // value, null when unset) when the command line names none. False with
    // `error` set on two options, a value where none belongs, an empty file
    // name or an unknown QEL_PLATFORM value.
    static bool parse(std::vector<std::string>& args, const char* environment, PlatformChoice& choice,
                      std::string& error);
};

class CPlatformHost {
public:
    enum class Mode {
        Auto,        // the rig process when its socket is there, else in-process
        InProcess,   // always the program's own default rig
        RigProcess,  // always the rig process (requests fail while it is down)
    };

    // True where this program is built with the interfaces' drivers (Windows).
    static const bool kHaveDriver;

    explicit CPlatformHost(Mode mode = Mode::Auto);
    // In-process on the given rig; its timeline, if any, runs from now.
    explicit CPlatformHost(std::unique_ptr<Rig> rig);
    CPlatformHost(std::unique_ptr<Rig> rig, std::vector<RigEvent> timeline);
    ~CPlatformHost();
    CPlatformHost(const CPlatformHost&) = delete;
    CPlatformHost& operator=(const CPlatformHost&) = delete;

    // The host for a choice: null with `error` set when it cannot be had (no
    // driver on this system, a rig file that does not load: its line).
    static std::unique_ptr<CPlatformHost> make(const PlatformChoice& choice, std::string& error);
    // For main(): parses and removes the platform options of the command line
    // (argv[0] stays) with $QEL_PLATFORM, and makes the host. Null with
    // `error` set: the program says so and ends with a non-zero status.
    static std::unique_ptr<CPlatformHost> fromCommandLine(int& argc, char** argv, std::string& error);
    static std::unique_ptr<CPlatformHost> fromArguments(std::vector<std::string>& args, std::string& error);

    os::IOs& platform() { return *os_; }
    // True on the simulated rig (the program says so to its user).
    bool simulated() const { return os_->simulated(); }
    // The in-process rig; null when the rig process or the driver serves the platform.
    Rig* rig() { return rig_.get(); }
    bool usesRigProcess() const { return remote_ != nullptr; }
    // The connection to the rig process; null otherwise.
    os::RemoteOs* remote() { return remote_; }

    // Runs a `sim` line (its words after "sim") in the rig process: the exit
    // code with what it printed, or -1 when there is no rig process to run
    // it (`err` says so). In-process hosts leave such lines to their owner.
    int rigCommand(const std::vector<std::string>& args, std::string& out, std::string& err);

    // The socket of the rig process: $QEL_SIM_SOCKET, else
    // $XDG_RUNTIME_DIR/qel-simd.sock, else /tmp/qel-simd-<uid>.sock.
    static std::string socketPath();
    // True when something accepts connections on socketPath().
    static bool rigProcessRunning();

private:
    struct Driver {};
    explicit CPlatformHost(Driver);

    std::unique_ptr<Rig> rig_;
    std::unique_ptr<os::IOs> os_;
    std::unique_ptr<TimelineRunner> timeline_;
    os::RemoteOs* remote_ = nullptr;
};

}  // namespace qel::sim
