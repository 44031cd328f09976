#pragma once
// Serves a rig's platform calls to many programs at once over a Unix-domain
// socket (os/remote/Protocol.h). Each program is a client with its own files,
// enumeration sets, event stand-ins, overlapped requests and notification
// registrations; when its session connection ends (it exited or died), all of
// them are closed, cancelled and unregistered, and the rig serves the others
// on.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/remote/Protocol.h"

namespace qel::sim {

class Rig;
class RigCommands;

class SimdServer {
public:
    // Runs a rig command line (words as a script line splits them): its exit
    // code, what it printed and its error text.
    using CommandRunner = std::function<int(const std::vector<std::string>& args, std::string& out, std::string& err)>;

    explicit SimdServer(Rig& rig, CommandRunner runner = {});
    ~SimdServer();
    SimdServer(const SimdServer&) = delete;
    SimdServer& operator=(const SimdServer&) = delete;

    // Listens at `socketPath` and serves on a thread of its own.
    bool start(const std::string& socketPath, std::string& error);
    // Ends every client and the listener, removes the socket file. Clients
    // see their connections end at once.
    void stop();

    std::size_t clientCount() const;

    struct Session;

private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void acceptLoop();
    void serve(Connection& c);
    void serveSession(int fd, const os::remote::Message& hello);
    void serveCalls(int fd, const os::remote::Message& hello);
    os::remote::Message handle(Session& s, const os::remote::Message& req);
    void endSession(const std::shared_ptr<Session>& s);
    void reap(bool all);

    Rig& rig_;
    CommandRunner runner_;
    std::mutex commandMutex_;

    mutable std::mutex mutex_;
    bool stopping_ = false;
    int listenFd_ = -1;
    std::string path_;
    std::thread acceptThread_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::map<std::uint64_t, std::shared_ptr<Session>> sessions_;
    std::uint64_t nextToken_ = 0;
};

// The command runner of the rig process: the clients' `sim` lines as rig
// commands on `rig`, errors worded "qelctl: sim: ..." as qelctl prints them.
SimdServer::CommandRunner serveRigCommands(Rig& rig, const RigCommands& commands);

}  // namespace qel::sim
