#include "sim/host/PlatformHost.h"

#include <cstdlib>

#include <unistd.h>

#include "os/remote/RemoteOs.h"
#include "os/remote/Socket.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace qel::sim {

std::string CPlatformHost::socketPath() {
    if (const char* p = std::getenv("QEL_SIM_SOCKET"); p != nullptr && *p != '\0') return p;
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d != nullptr && *d != '\0')
        return std::string(d) + "/qel-simd.sock";
    return "/tmp/qel-simd-" + std::to_string(static_cast<unsigned long>(::getuid())) + ".sock";
}

bool CPlatformHost::rigProcessRunning() {
    const int fd = os::remote::connectSocket(socketPath());
    if (fd < 0) return false;
    os::remote::closeSocket(fd);
    return true;
}

CPlatformHost::CPlatformHost(Mode mode) {
    if (mode == Mode::RigProcess || (mode == Mode::Auto && rigProcessRunning())) {
        auto remote = std::make_unique<os::RemoteOs>(socketPath());
        // Gone again between the look and the connection: run on our own rig.
        if (mode == Mode::RigProcess || remote->connected()) {
            remote_ = remote.get();
            os_ = std::move(remote);
            return;
        }
    }
    rig_ = Rig::makeDefault();
    os_ = std::make_unique<os::SimOs>(*rig_);
}

CPlatformHost::CPlatformHost(std::unique_ptr<Rig> rig)
    : rig_(std::move(rig)), os_(std::make_unique<os::SimOs>(*rig_)) {}

CPlatformHost::~CPlatformHost() {
    os_.reset();
    rig_.reset();
}

int CPlatformHost::rigCommand(const std::vector<std::string>& args, std::string& out, std::string& err) {
    if (remote_ == nullptr) {
        err = "no rig process: the program's own rig runs its rig commands";
        return -1;
    }
    return remote_->rigCommand(args, out, err);
}

}  // namespace qel::sim
