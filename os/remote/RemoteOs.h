#pragma once
// The platform seam served by the rig process over its socket. Files,
// enumeration sets and device notifications live in the rig process; events
// live here, in the program, as they do on the real platform. An event whose
// value is handed to the driver (eventValue, or an overlapped request still
// running) gets a stand-in in the rig process, and the rig process reports
// each time the driver signals the stand-in.
//
// Requests travel on a pool of connections, one per request in flight, so a
// request that blocks (an overlapped result awaited) holds up no other
// thread. A session connection carries what the rig process pushes; when it
// ends (the rig process died or stopped), requests in flight and later fail
// with kErrorDeviceNotConnected, overlapped requests end with that status and
// signal their events, the driver's events are signalled so their waiters
// look, and every registered notification sees its devices removed. The
// client connects again on its own; handles of the old rig then stay stale
// (kErrorDeviceNotConnected), registrations move to the new rig and see its
// devices arrive.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "os/Os.h"
#include "os/remote/Protocol.h"
#include "sim/Kernel.h"

namespace qel::os {

class RemoteOs final : public IOs {
public:
    bool simulated() const override { return true; }
    // Connects at once when the rig process is there (waiting at most
    // `connectWaitMs` for the first attempt), else keeps trying in the background.
    explicit RemoteOs(std::string socketPath, std::uint32_t connectWaitMs = 1000);
    ~RemoteOs() override;
    RemoteOs(const RemoteOs&) = delete;
    RemoteOs& operator=(const RemoteOs&) = delete;

    bool connected() const;
    // Waits until connected or `ms` passed.
    bool waitConnected(std::uint32_t ms);
    // Sessions established so far (1 after the first connection).
    std::uint32_t sessions() const;

    // Runs a rig command line in the rig process: its exit code, or -1 when the
    // rig process cannot be reached (`err` says so).
    int rigCommand(const std::vector<std::string>& args, std::string& out, std::string& err);

    DevInfoSet getClassDevs(const Guid& interfaceGuid) override;
    void destroyDevInfoSet(DevInfoSet set) override;
    std::uint32_t enumInterface(DevInfoSet set, const Guid& interfaceGuid, std::uint32_t index,
                                std::string& path) override;
    Handle openPath(const std::string& path, bool overlapped, std::uint32_t& error) override;
    void closeHandle(Handle h) override;
    std::uint32_t ioctl(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                        std::uint32_t outLen, std::uint32_t* bytesReturned) override;
    std::uint32_t ioctlOverlapped(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                                  std::uint32_t outLen, Overlapped& ov) override;
    std::uint32_t getOverlappedResult(Handle h, Overlapped& ov, std::uint32_t* bytesReturned, bool wait) override;
    std::uint32_t cancelIo(Handle h) override;
    Handle createEvent(bool manualReset, bool initialState) override;
    void setEvent(Handle e) override;
    void resetEvent(Handle e) override;
    std::uint32_t waitForAny(const Handle* handles, std::uint32_t count, std::uint32_t timeoutMs) override;
    std::uint32_t eventValue(Handle e) override;
    Handle registerDeviceNotification(const Guid& interfaceGuid, DeviceChangeCallback callback) override;
    bool unregisterDeviceNotification(Handle registration) override;
    std::string codePageToUtf8(std::string_view text) override;

private:
    enum class Kind { File, Set };
    struct Remote {
        Kind kind;
        std::uint32_t session;  // the session it belongs to
        std::uint32_t id;       // its handle in the rig process
    };
    struct Proxy {
        std::uint32_t session;
        std::uint32_t id;
    };
    struct PendingOp {
        std::uint32_t session = 0;
        std::uint64_t id = 0;  // in the rig process
        std::uint8_t* out = nullptr;
        std::uint32_t outLen = 0;
        std::uint32_t event = 0;
        bool lost = false;
    };
    struct Registration {
        Guid guid;
        DeviceChangeCallback callback;
        std::uint32_t session = 0;  // 0: not registered in the rig process
        std::uint32_t id = 0;
        std::set<std::string> present;
    };

    // One request and its reply; false when the rig process is unreachable or
    // the exchange failed (the session is then ended).
    bool call(remote::Message& request, remote::Message& reply);
    int acquire(std::uint32_t& session);
    void release(int fd, std::uint32_t session, bool ok);
    void sessionLoop();
    int openSession(std::uint64_t& token);
    void restore(std::uint32_t session);
    void readPushes(int fd, std::uint32_t session);
    void lose(std::uint32_t session);
    std::vector<std::string> presentPaths(const Guid& guid);
    bool lookup(Handle h, Kind kind, Remote& r);

    const std::string path_;
    sim::Kernel local_;  // events, and the numbers of every handle given out

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool up_ = false;
    bool connectNow_ = false;
    std::uint32_t session_ = 0;   // current session number, counting from 1
    std::uint32_t attempts_ = 0;  // connection attempts finished
    std::uint64_t token_ = 0;
    int sessionFd_ = -1;
    std::vector<int> idle_;
    std::set<int> busy_;
    std::uint32_t seq_ = 0;
    std::uint64_t nextOp_ = 1;
    std::map<std::uint32_t, Remote> remotes_;
    std::map<std::uint32_t, Proxy> proxies_;  // by local event
    std::map<std::uint64_t, PendingOp> ops_;
    std::map<std::uint32_t, std::shared_ptr<Registration>> registrations_;
    std::thread::id sessionThreadId_;
    std::thread sessionThread_;
};

}  // namespace qel::os
