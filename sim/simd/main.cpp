// qel-simd: the simulated rig in a process of its own, serving the platform
// seam to every program of the session over a Unix-domain socket.
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <pthread.h>

#include "os/remote/Socket.h"
#include "sim/Rig.h"
#include "sim/RigCommands.h"
#include "sim/RigFile.h"
#include "sim/host/PlatformHost.h"
#include "sim/simd/SimdServer.h"

namespace {

void usage(std::ostream& out) {
    out << "usage: qel-simd [--socket PATH] [--rig FILE] [--running]\n"
           "  Serves the simulated rig to the programs of this session until\n"
           "  interrupted (SIGINT or SIGTERM).\n"
           "  --running      only tell (exit status 0) whether a rig process answers\n"
           "  --socket PATH  listen here instead of " << qel::sim::CPlatformHost::socketPath() << "\n"
           "  --rig FILE     the rig described in FILE instead of the built-in one\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string socketPath = qel::sim::CPlatformHost::socketPath();
    std::string rigFile;
    bool probe = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--running") {
            probe = true;
            continue;
        }
        if ((a == "--socket" || a == "--rig") && i + 1 < argc) {
            (a == "--socket" ? socketPath : rigFile) = argv[++i];
        } else if (a == "--help" || a == "-h") {
            usage(std::cout);
            return 0;
        } else {
            std::cerr << "qel-simd: unknown argument: " << a << "\n";
            usage(std::cerr);
            return 2;
        }
    }
    if (probe) {
        const int fd = qel::os::remote::connectSocket(socketPath);
        qel::os::remote::closeSocket(fd);
        return fd >= 0 ? 0 : 1;
    }
    std::unique_ptr<qel::sim::Rig> loaded;
    qel::sim::Timeline timeline;
    if (!rigFile.empty()) {
        std::string error;
        loaded = qel::sim::loadRigFile(rigFile, error, &timeline);
        if (!loaded) {
            std::cerr << "qel-simd: " << error << "\n";
            return 2;
        }
    }

    // Signals are taken by sigwait below, on this thread only.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // The clients' `sim` lines are rig commands; the clients' own control
    // handles receive the driver events they cause.
    const std::unique_ptr<qel::sim::Rig> owned = loaded ? std::move(loaded) : qel::sim::Rig::makeDefault();
    qel::sim::Rig& rig = *owned;
    rig.setTraceEnabled(false);  // nobody takes this trace
    const qel::sim::RigCommands commands;
    qel::sim::SimdServer server(rig, qel::sim::serveRigCommands(rig, commands));
    std::string error;
    if (!server.start(socketPath, error)) {
        std::cerr << "qel-simd: " << error << "\n";
        return 1;
    }
    std::cout << "qel-simd: serving on " << socketPath << std::endl;
    // The rig file's physical events, timed from now.
    qel::sim::TimelineRunner runner(rig, std::move(timeline));
    runner.start();

    int sig = 0;
    sigwait(&signals, &sig);
    runner.stop();
    server.stop();
    std::cout << "qel-simd: stopped (" << strsignal(sig) << ")" << std::endl;
    return 0;
}
