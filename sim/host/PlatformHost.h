#pragma once
// Where a program gets its platform seam from. With the rig process
// (qel-simd) listening on its socket, every program of the session talks to
// that one shared rig; otherwise the program runs on its own default rig,
// compiled in. Programs hold one CPlatformHost for their lifetime and hand
// platform() to their driver objects.
#include <memory>
#include <string>

#include "os/Os.h"

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
    bool usesRigProcess() const { return rig_ == nullptr; }

    // Runs a rig command line ("knob 1 2 0 -12") on the rig, wherever it is;
    // false with `output` holding the error text when it failed. Only the rig
    // process interprets commands: in-process hosts answer that their owner
    // runs them.
    bool rigCommand(const std::string& line, std::string& output);

    // The socket of the rig process: $QEL_SIM_SOCKET, else
    // $XDG_RUNTIME_DIR/qel-simd.sock, else /tmp/qel-simd-<uid>.sock.
    static std::string socketPath();
    // True when something accepts connections on socketPath().
    static bool rigProcessRunning();

private:
    std::unique_ptr<Rig> rig_;
    std::unique_ptr<os::IOs> os_;
};

}  // namespace qel::sim
