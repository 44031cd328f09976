#pragma once
// Where a program gets its platform seam from. With the rig process
// (qel-simd) listening on its socket, every program of the session talks to
// that one shared rig; otherwise the program runs on its own default rig,
// compiled in. Programs hold one CPlatformHost for their lifetime and hand
// platform() to their driver objects.
#include <memory>
#include <string>
#include <vector>

#include "os/Os.h"

namespace qel::os {
class RemoteOs;
}

namespace qel::sim {

class Rig;

class CPlatformHost {
public:
    enum class Mode {
        Auto,        // the rig process when its socket is there, else in-process
        InProcess,   // always the program's own default rig
        RigProcess,  // always the rig process (requests fail while it is down)
    };

    explicit CPlatformHost(Mode mode = Mode::Auto);
    // In-process on the given rig.
    explicit CPlatformHost(std::unique_ptr<Rig> rig);
    ~CPlatformHost();
    CPlatformHost(const CPlatformHost&) = delete;
    CPlatformHost& operator=(const CPlatformHost&) = delete;

    os::IOs& platform() { return *os_; }
    // The in-process rig; null when the rig process serves the platform.
    Rig* rig() { return rig_.get(); }
    bool usesRigProcess() const { return remote_ != nullptr; }
    // The connection to the rig process; null in-process.
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
    std::unique_ptr<Rig> rig_;
    std::unique_ptr<os::IOs> os_;
    os::RemoteOs* remote_ = nullptr;
};

}  // namespace qel::sim
