#include "sim/host/PlatformHost.h"

#include <cstdlib>

#include <unistd.h>

#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace qel::sim {

std::string CPlatformHost::socketPath() {
    if (const char* p = std::getenv("QEL_SIM_SOCKET"); p != nullptr && *p != '\0') return p;
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d != nullptr && *d != '\0')
        return std::string(d) + "/qel-simd.sock";
    return "/tmp/qel-simd-" + std::to_string(static_cast<unsigned long>(::getuid())) + ".sock";
}

bool CPlatformHost::rigProcessRunning() { return false; }

CPlatformHost::CPlatformHost(Mode) : CPlatformHost(Rig::makeDefault()) {}

CPlatformHost::CPlatformHost(std::unique_ptr<Rig> rig)
    : rig_(std::move(rig)), os_(std::make_unique<os::SimOs>(*rig_)) {}

CPlatformHost::~CPlatformHost() {
    os_.reset();
    rig_.reset();
}

bool CPlatformHost::rigCommand(const std::string&, std::string& output) {
    output = "rig commands run in the rig process only";
    return false;
}

}  // namespace qel::sim
