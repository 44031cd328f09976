#include "sim/host/PlatformHost.h"

#include <cstdlib>

#include "os/sim/SimOs.h"
#include "sim/Rig.h"
#include "sim/RigFile.h"

#if QEL_HAVE_RIG_PROCESS
#include <unistd.h>

#include "os/remote/RemoteOs.h"
#include "os/remote/Socket.h"
#endif
#if defined(_WIN32)
#include "os/win32/Win32Os.h"
#endif

namespace qel::sim {

namespace {
constexpr const char* kRig = "--rig";
constexpr const char* kDriver = "--driver";

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }
}  // namespace

#if defined(_WIN32)
const bool CPlatformHost::kHaveDriver = true;
#else
const bool CPlatformHost::kHaveDriver = false;
#endif

bool PlatformChoice::parse(std::vector<std::string>& args, const char* environment, PlatformChoice& choice,
                           std::string& error) {
    choice = PlatformChoice{};
    std::string given;  // the option that chose, for the conflict message
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        PlatformChoice next;
        if (a == kRig) {
            next.kind = Kind::BuiltInRig;
        } else if (startsWith(a, std::string(kRig) + "=")) {
            next.kind = Kind::RigFile;
            next.rigFile = a.substr(6);
            if (next.rigFile.empty()) {
                error = "--rig=: no rig file named (--rig alone is the built-in rig)";
                return false;
            }
        } else if (a == kDriver) {
            next.kind = Kind::Driver;
        } else if (startsWith(a, std::string(kDriver) + "=")) {
            error = "--driver takes no value: " + a;
            return false;
        } else {
            rest.push_back(a);
            continue;
        }
        if (choice.kind != Kind::Default) {
            error = "choose one platform: " + given + " and " + a;
            return false;
        }
        choice = next;
        given = a;
    }
    if (choice.kind == Kind::Default && environment != nullptr && *environment != '\0') {
        const std::string value = environment;
        if (value == "rig") {
            choice.kind = Kind::Simulated;
        } else if (value == "driver") {
            choice.kind = Kind::Driver;
        } else {
            error = "QEL_PLATFORM=" + value + ": unknown platform (rig or driver)";
            return false;
        }
    }
    args = std::move(rest);
    return true;
}

std::string CPlatformHost::socketPath() {
    if (const char* p = std::getenv("QEL_SIM_SOCKET"); p != nullptr && *p != '\0') return p;
#if QEL_HAVE_RIG_PROCESS
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d != nullptr && *d != '\0')
        return std::string(d) + "/qel-simd.sock";
    return "/tmp/qel-simd-" + std::to_string(static_cast<unsigned long>(::getuid())) + ".sock";
#else
    return {};
#endif
}

bool CPlatformHost::rigProcessRunning() {
#if QEL_HAVE_RIG_PROCESS
    const int fd = os::remote::connectSocket(socketPath());
    if (fd < 0) return false;
    os::remote::closeSocket(fd);
    return true;
#else
    return false;
#endif
}

CPlatformHost::CPlatformHost(Mode mode) {
#if QEL_HAVE_RIG_PROCESS
    if (mode == Mode::RigProcess || (mode == Mode::Auto && rigProcessRunning())) {
        auto remote = std::make_unique<os::RemoteOs>(socketPath());
        // Gone again between the look and the connection: run on our own rig.
        if (mode == Mode::RigProcess || remote->connected()) {
            remote_ = remote.get();
            os_ = std::move(remote);
            return;
        }
    }
#else
    (void)mode;  // no rig process in this build: always in-process
#endif
    rig_ = Rig::makeDefault();
    // A program's rig runs for as long as the program: nobody takes its trace.
    rig_->setTraceEnabled(false);
    os_ = std::make_unique<os::SimOs>(*rig_);
}

CPlatformHost::CPlatformHost(std::unique_ptr<Rig> rig)
    : rig_(std::move(rig)), os_(std::make_unique<os::SimOs>(*rig_)) {}

CPlatformHost::CPlatformHost(std::unique_ptr<Rig> rig, std::vector<RigEvent> timeline) : CPlatformHost(std::move(rig)) {
    if (timeline.empty()) return;
    // The rig file's physical events, timed from now, as the rig process runs them.
    timeline_ = std::make_unique<TimelineRunner>(*rig_, std::move(timeline));
    timeline_->start();
}

CPlatformHost::CPlatformHost(Driver) {
#if defined(_WIN32)
    os_ = std::make_unique<os::Win32Os>();
#endif
}

CPlatformHost::~CPlatformHost() {
    timeline_.reset();
    os_.reset();
    rig_.reset();
}

std::unique_ptr<CPlatformHost> CPlatformHost::make(const PlatformChoice& choice, std::string& error) {
    using Kind = PlatformChoice::Kind;
    switch (choice.kind) {
    case Kind::Default:
        if (kHaveDriver) return std::unique_ptr<CPlatformHost>(new CPlatformHost(Driver{}));
        return std::make_unique<CPlatformHost>(Mode::Auto);
    case Kind::Simulated:
        return std::make_unique<CPlatformHost>(Mode::Auto);
    case Kind::BuiltInRig:
        return std::make_unique<CPlatformHost>(Mode::InProcess);
    case Kind::RigFile: {
        Timeline timeline;
        std::string why;
        auto rig = loadRigFile(choice.rigFile, why, &timeline);
        if (!rig) {
            error = "--rig: " + why;  // names the file and the line
            return nullptr;
        }
        rig->setTraceEnabled(false);
        return std::make_unique<CPlatformHost>(std::move(rig), std::move(timeline));
    }
    case Kind::Driver:
        if (kHaveDriver) return std::unique_ptr<CPlatformHost>(new CPlatformHost(Driver{}));
        error = "--driver: this system has no drivers for the interfaces; "
                "without --driver the program runs on the simulated rig";
        return nullptr;
    }
    error = "no platform";
    return nullptr;
}

std::unique_ptr<CPlatformHost> CPlatformHost::fromArguments(std::vector<std::string>& args, std::string& error) {
    PlatformChoice choice;
    if (!PlatformChoice::parse(args, std::getenv("QEL_PLATFORM"), choice, error)) return nullptr;
    return make(choice, error);
}

std::unique_ptr<CPlatformHost> CPlatformHost::fromCommandLine(int& argc, char** argv, std::string& error) {
    if (argc < 1) {
        std::vector<std::string> none;
        return fromArguments(none, error);
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    PlatformChoice choice;
    if (!PlatformChoice::parse(args, std::getenv("QEL_PLATFORM"), choice, error)) return nullptr;
    // Keep argv's own strings for what remains (Qt keeps pointers into argv).
    int out = 1;
    std::size_t next = 0;
    for (int i = 1; i < argc && next < args.size(); ++i)
        if (args[next] == argv[i]) {
            argv[out++] = argv[i];
            ++next;
        }
    for (int i = out; i < argc; ++i) argv[i] = nullptr;
    argc = out;
    return make(choice, error);
}

int CPlatformHost::rigCommand(const std::vector<std::string>& args, std::string& out, std::string& err) {
#if QEL_HAVE_RIG_PROCESS
    if (remote_ != nullptr) return remote_->rigCommand(args, out, err);
#else
    (void)args;
    (void)out;
#endif
    err = "no rig process: the program's own rig runs its rig commands";
    return -1;
}

}  // namespace qel::sim
