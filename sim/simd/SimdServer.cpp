#include "sim/simd/SimdServer.h"

#include <chrono>
#include <deque>
#include <random>
#include <set>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "os/Os.h"
#include "os/remote/Socket.h"
#include "sim/Rig.h"
#include "sim/RigCommands.h"

namespace qel::sim {

using os::remote::Kind;
using os::remote::Message;
using os::remote::Op;

namespace {
constexpr std::size_t kMaxQueuedPushes = 4096;
constexpr std::size_t kMaxConnections = 1024;  // all clients together
}

// One client: what it holds in the rig and the thread that pushes to it.
struct SimdServer::Session {
    Rig& rig;
    std::uint64_t token = 0;
    int pushFd = -1;

    std::mutex m;
    bool dead = false;
    std::set<std::uint32_t> files;
    std::set<std::uint32_t> sets;
    std::map<std::uint32_t, std::uint32_t> registrations;  // rig registration -> client handle
    std::map<std::uint32_t, std::uint32_t> eventProxies;   // client event -> stand-in
    std::map<std::uint32_t, std::uint32_t> watched;        // stand-in -> client event
    std::map<std::uint32_t, std::uint64_t> oneShot;        // stand-ins of single requests -> request
    std::map<std::uint64_t, std::unique_ptr<std::vector<std::uint8_t>>> ops;  // output buffers
    std::set<int> callFds;
    std::deque<Message> pushes;
    std::uint32_t wake = 0;
    std::thread pusher;

    explicit Session(Rig& r) : rig(r) { wake = rig.kernel().createEvent(false, false); }
    ~Session();

    void queuePush(Message m);
    void pushLoop();
    void release();  // closes what the client held
};

SimdServer::Session::~Session() {
    release();
    // Every connection is gone: the buffers of overlapped requests are the
    // rig's no longer once their files are closed and their results taken.
    for (auto& [opId, buffer] : ops) rig.overlappedResult(opId, nullptr, /*wait=*/true);
    ops.clear();
    for (const auto& [proxy, event] : watched) rig.kernel().closeEvent(proxy);
    rig.kernel().closeEvent(wake);
}

void SimdServer::Session::queuePush(Message msg) {
    {
        std::lock_guard lock(m);
        if (dead) return;
        if (pushes.size() >= kMaxQueuedPushes) {
            // A client that does not read its pushes is taken for gone.
            os::remote::shutdownSocket(pushFd);
            return;
        }
        msg.kind = Kind::Push;
        pushes.push_back(std::move(msg));
    }
    rig.kernel().setEvent(wake);
}

void SimdServer::Session::pushLoop() {
    for (;;) {
        std::vector<std::uint32_t> ids{wake};
        {
            std::lock_guard lock(m);
            if (dead) return;
            for (const auto& [proxy, event] : watched) ids.push_back(proxy);
        }
        const std::uint32_t r =
            rig.kernel().waitAny(ids.data(), static_cast<std::uint32_t>(ids.size()), os::kInfinite);
        std::deque<Message> out;
        {
            std::lock_guard lock(m);
            if (dead) return;
            if (r == 0) {
                out.swap(pushes);
            } else if (r < ids.size()) {
                const auto it = watched.find(ids[r]);
                if (it != watched.end()) {
                    Message msg;
                    msg.kind = Kind::Push;
                    msg.op = Op::EventSignal;
                    msg.handle = it->second;
                    if (const auto op = oneShot.find(it->first); op != oneShot.end()) {
                        msg.id = op->second;
                        oneShot.erase(op);
                        rig.kernel().closeEvent(it->first);
                        watched.erase(it);
                    }
                    out.push_back(msg);
                }
            }
            // Otherwise a stand-in was closed while waited on: look again.
        }
        for (const Message& msg : out)
            if (!os::remote::writeMessage(pushFd, msg)) {
                os::remote::shutdownSocket(pushFd);
                return;
            }
    }
}

void SimdServer::Session::release() {
    std::set<std::uint32_t> f, st;
    std::map<std::uint32_t, std::uint32_t> regs;
    {
        std::lock_guard lock(m);
        f.swap(files);
        st.swap(sets);
        regs.swap(registrations);
    }
    for (const std::uint32_t id : f) rig.closeFile(id);  // also ends its requests in flight
    for (const std::uint32_t id : st) rig.closeDevInfoSet(id);
    for (const auto& [id, client] : regs) rig.unregisterNotification(id);
}

// ---------------------------------------------------------------- server

SimdServer::SimdServer(Rig& rig, CommandRunner runner) : rig_(rig), runner_(std::move(runner)) {
    std::random_device rd;
    nextToken_ = (std::uint64_t{rd()} << 32) ^ rd();
}

SimdServer::~SimdServer() { stop(); }

bool SimdServer::start(const std::string& socketPath, std::string& error) {
    std::lock_guard lock(mutex_);
    if (listenFd_ >= 0) {
        error = "already serving";
        return false;
    }
    listenFd_ = os::remote::listenSocket(socketPath, error);
    if (listenFd_ < 0) return false;
    path_ = socketPath;
    stopping_ = false;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void SimdServer::stop() {
    std::vector<std::shared_ptr<Session>> sessions;
    {
        std::lock_guard lock(mutex_);
        if (listenFd_ < 0 && connections_.empty()) return;
        stopping_ = true;
        os::remote::shutdownSocket(listenFd_);
        for (const auto& c : connections_) os::remote::shutdownSocket(c->fd);
        for (const auto& [token, s] : sessions_) sessions.push_back(s);
    }
    // Requests blocked in the rig end when their files close.
    for (const auto& s : sessions) endSession(s);
    if (acceptThread_.joinable()) acceptThread_.join();
    reap(true);
    std::lock_guard lock(mutex_);
    os::remote::closeSocket(listenFd_);
    listenFd_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
    sessions_.clear();
}

std::size_t SimdServer::clientCount() const {
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

void SimdServer::reap(bool all) {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) c->thread.join();
}

void SimdServer::acceptLoop() {
    for (;;) {
        int listenFd;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            listenFd = listenFd_;
        }
        pollfd p{listenFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 200);
        reap(false);
        if (ready <= 0) continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            os::remote::closeSocket(fd);
            return;
        }
        if (connections_.size() >= kMaxConnections) {
            os::remote::closeSocket(fd);  // the client sees its connection end
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        Connection* raw = c.get();
        connections_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] {
            serve(*raw);
            raw->done = true;
        });
    }
}

void SimdServer::serve(Connection& c) {
    Message hello;
    const auto r = os::remote::readMessage(c.fd, Kind::Request, hello);
    if (r == os::remote::ReadResult::Refused) {
        Message refused;
        refused.kind = Kind::Push;
        refused.op = Op::Refused;
        refused.status = os::kErrorInvalidParameter;
        os::remote::writeMessage(c.fd, refused);
    }
    if (r == os::remote::ReadResult::Ok && hello.op == Op::Hello && hello.value == os::remote::kProtocolVersion) {
        if (hello.code == static_cast<std::uint32_t>(os::remote::Role::Session)) serveSession(c.fd, hello);
        if (hello.code == static_cast<std::uint32_t>(os::remote::Role::Calls)) serveCalls(c.fd, hello);
    }
    std::lock_guard lock(mutex_);
    os::remote::closeSocket(c.fd);
    c.fd = -1;
}

void SimdServer::serveSession(int fd, const Message& hello) {
    auto s = std::make_shared<Session>(rig_);
    s->pushFd = fd;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        s->token = ++nextToken_;
        sessions_[s->token] = s;
    }
    Message reply;
    reply.kind = Kind::Reply;
    reply.op = Op::Hello;
    reply.seq = hello.seq;
    reply.value = os::remote::kProtocolVersion;
    reply.id = s->token;
    if (os::remote::writeMessage(fd, reply)) {
        s->pusher = std::thread([s] { s->pushLoop(); });
        // Nothing is expected on this connection; its end is the client's end.
        char byte;
        while (::recv(fd, &byte, 1, 0) > 0) {
        }
    }
    endSession(s);
    if (s->pusher.joinable()) s->pusher.join();
    {
        // The connection closes after this: no one may shut it down later.
        std::lock_guard lock(s->m);
        s->pushFd = -1;
    }
    std::lock_guard lock(mutex_);
    sessions_.erase(s->token);
}

void SimdServer::endSession(const std::shared_ptr<Session>& s) {
    {
        std::lock_guard lock(s->m);
        s->dead = true;
        os::remote::shutdownSocket(s->pushFd);
        for (const int fd : s->callFds) os::remote::shutdownSocket(fd);
    }
    s->release();
    rig_.kernel().setEvent(s->wake);
}

void SimdServer::serveCalls(int fd, const Message& hello) {
    std::shared_ptr<Session> s;
    {
        std::lock_guard lock(mutex_);
        const auto it = sessions_.find(hello.id);
        if (it != sessions_.end() && !stopping_) s = it->second;
    }
    Message reply;
    reply.kind = Kind::Reply;
    reply.op = Op::Hello;
    reply.seq = hello.seq;
    reply.value = os::remote::kProtocolVersion;
    reply.status = os::kErrorInvalidHandle;
    if (s) {
        std::lock_guard lock(s->m);
        if (!s->dead) {
            s->callFds.insert(fd);
            reply.status = os::kErrorSuccess;
            reply.id = s->token;
        }
    }
    if (!os::remote::writeMessage(fd, reply) || reply.status != os::kErrorSuccess) return;
    for (;;) {
        Message req;
        const auto r = os::remote::readMessage(fd, Kind::Request, req);
        if (r == os::remote::ReadResult::Refused) {
            Message refused;
            refused.kind = Kind::Push;
            refused.op = Op::Refused;
            refused.status = os::kErrorInvalidParameter;
            os::remote::writeMessage(fd, refused);
        }
        if (r != os::remote::ReadResult::Ok || req.op == Op::Hello) break;
        if (!os::remote::writeMessage(fd, handle(*s, req))) break;
    }
    std::lock_guard lock(s->m);
    s->callFds.erase(fd);
}

// ---------------------------------------------------------------- requests

Message SimdServer::handle(Session& s, const Message& req) {
    Message reply;
    reply.kind = Kind::Reply;
    reply.op = req.op;
    reply.seq = req.seq;
    Kernel& kernel = rig_.kernel();
    auto owns = [&s](const std::set<std::uint32_t>& set, std::uint32_t id) {
        std::lock_guard lock(s.m);
        return !s.dead && set.count(id) != 0;
    };
    switch (req.op) {
    case Op::GetClassDevs: {
        const std::uint32_t set = rig_.openDevInfoSet(req.guid);
        std::unique_lock lock(s.m);
        if (set != 0 && !s.dead) {
            s.sets.insert(set);
            reply.handle = set;
        } else {
            lock.unlock();
            if (set != 0) rig_.closeDevInfoSet(set);
            reply.status = os::kErrorInvalidParameter;
        }
        break;
    }
    case Op::DestroyDevInfoSet: {
        std::unique_lock lock(s.m);
        const bool had = s.sets.erase(req.handle) != 0;
        lock.unlock();
        reply.status = had && rig_.closeDevInfoSet(req.handle) ? os::kErrorSuccess : os::kErrorInvalidHandle;
        break;
    }
    case Op::EnumInterface:
        if (!owns(s.sets, req.handle)) {
            reply.status = os::kErrorInvalidHandle;
            break;
        }
        reply.status = rig_.enumInterface(req.handle, req.code, reply.text);
        if (reply.text.size() > os::remote::kMaxText) reply.text.resize(os::remote::kMaxText);
        break;
    case Op::OpenPath: {
        std::uint32_t error = 0;
        const std::uint32_t file = rig_.openPath(req.text, error);
        reply.status = error;
        if (file == 0) break;
        std::unique_lock lock(s.m);
        if (s.dead) {
            lock.unlock();
            rig_.closeFile(file);
            reply.status = os::kErrorDeviceNotConnected;
            break;
        }
        s.files.insert(file);
        reply.handle = file;
        break;
    }
    case Op::CloseHandle: {
        std::unique_lock lock(s.m);
        const bool had = s.files.erase(req.handle) != 0;
        lock.unlock();
        reply.status = had && rig_.closeFile(req.handle) ? os::kErrorSuccess : os::kErrorInvalidHandle;
        break;
    }
    case Op::Ioctl: {
        if (!owns(s.files, req.handle)) {
            reply.status = os::kErrorInvalidHandle;
            break;
        }
        reply.data.assign(req.length, 0);
        std::uint32_t bytes = 0;
        reply.status = rig_.ioctl(req.handle, req.code, req.data, reply.data, &bytes);
        reply.length = bytes;
        break;
    }
    case Op::IoctlOverlapped: {
        if (!owns(s.files, req.handle)) {
            reply.status = os::kErrorInvalidHandle;
            break;
        }
        auto buffer = std::make_unique<std::vector<std::uint8_t>>(req.length, 0);
        // A stand-in of its own: signalled at once it is dropped, else it
        // tells the client when the request ends.
        const std::uint32_t standIn = kernel.createEvent(false, false);
        std::uint64_t opId = 0;
        std::uint32_t bytes = 0;
        reply.status = rig_.ioctlOverlapped(req.handle, req.code, req.data, *buffer, standIn, opId, bytes);
        if (reply.status == os::kErrorIoPending) {
            std::unique_lock lock(s.m);
            s.ops[opId] = std::move(buffer);
            reply.id = opId;
            if (req.value != 0 && !s.dead) {
                s.watched[standIn] = req.value;
                s.oneShot[standIn] = opId;
                lock.unlock();
                kernel.setEvent(s.wake);
            } else {
                lock.unlock();
                kernel.closeEvent(standIn);
            }
            break;
        }
        reply.flag = kernel.waitAny(&standIn, 1, 0) == os::kWaitObject0;
        kernel.closeEvent(standIn);
        reply.length = bytes;
        reply.data = std::move(*buffer);
        break;
    }
    case Op::OverlappedResult: {
        {
            std::lock_guard lock(s.m);
            if (s.ops.count(req.id) == 0) {
                reply.status = os::kErrorInvalidParameter;
                break;
            }
        }
        std::uint32_t bytes = 0;
        reply.status = rig_.overlappedResult(req.id, &bytes, req.flag);
        if (reply.status == os::kErrorIoIncomplete) break;
        std::lock_guard lock(s.m);
        const auto it = s.ops.find(req.id);
        if (it != s.ops.end()) {
            reply.data = std::move(*it->second);
            s.ops.erase(it);
        }
        reply.length = bytes;
        break;
    }
    case Op::CancelIo:
        reply.status = owns(s.files, req.handle) ? rig_.cancelIo(req.handle) : os::kErrorInvalidHandle;
        break;
    case Op::EventValue: {
        std::unique_lock lock(s.m);
        if (s.dead) {
            reply.status = os::kErrorDeviceNotConnected;
            break;
        }
        auto it = s.eventProxies.find(req.handle);
        if (it == s.eventProxies.end()) {
            const std::uint32_t standIn = kernel.createEvent(false, false);
            it = s.eventProxies.emplace(req.handle, standIn).first;
            s.watched[standIn] = req.handle;
            lock.unlock();
            kernel.setEvent(s.wake);
        }
        reply.value = it->second;
        break;
    }
    case Op::CloseEvent: {
        std::unique_lock lock(s.m);
        const auto it = s.eventProxies.find(req.handle);
        if (it == s.eventProxies.end()) {
            reply.status = os::kErrorInvalidHandle;
            break;
        }
        const std::uint32_t standIn = it->second;
        s.eventProxies.erase(it);
        s.watched.erase(standIn);
        lock.unlock();
        kernel.closeEvent(standIn);
        kernel.setEvent(s.wake);
        break;
    }
    case Op::RegisterNotification: {
        std::weak_ptr<Session> weak;
        {
            std::lock_guard lock(mutex_);
            const auto it = sessions_.find(s.token);
            if (it != sessions_.end()) weak = it->second;
        }
        const std::uint32_t client = req.handle;
        const std::uint32_t id = rig_.registerNotification(
            req.guid, [weak, client](std::uint32_t code, const std::string& path) {
                if (const auto session = weak.lock()) {
                    Message m;
                    m.op = Op::DeviceChange;
                    m.handle = client;
                    m.code = code;
                    m.text = path.substr(0, os::remote::kMaxText);
                    session->queuePush(std::move(m));
                }
            });
        std::unique_lock lock(s.m);
        if (s.dead) {
            lock.unlock();
            rig_.unregisterNotification(id);
            reply.status = os::kErrorDeviceNotConnected;
            break;
        }
        s.registrations[id] = client;
        reply.handle = id;
        break;
    }
    case Op::UnregisterNotification: {
        std::unique_lock lock(s.m);
        const bool had = s.registrations.erase(req.handle) != 0;
        lock.unlock();
        reply.status = had && rig_.unregisterNotification(req.handle) ? os::kErrorSuccess : os::kErrorInvalidHandle;
        break;
    }
    case Op::RigCommand: {
        if (!runner_) {
            reply.status = 2;
            reply.text2 = "this rig process runs no rig commands\n";
            break;
        }
        std::lock_guard lock(commandMutex_);
        const int code = runner_(req.args, reply.text, reply.text2);
        reply.status = static_cast<std::uint32_t>(code);
        if (reply.text.size() > os::remote::kMaxOutput) reply.text.resize(os::remote::kMaxOutput);
        if (reply.text2.size() > os::remote::kMaxOutput) reply.text2.resize(os::remote::kMaxOutput);
        break;
    }
    default:
        reply.status = os::kErrorNotSupported;
        break;
    }
    return reply;
}

SimdServer::CommandRunner serveRigCommands(Rig& rig, const RigCommands& commands) {
    return [&rig, &commands](const std::vector<std::string>& args, std::string& out, std::string& err) {
        const RigCommandResult r = commands.run(rig, args);
        out = r.output;
        err = r.ok ? std::string() : "qelctl: sim: " + r.error + "\n";
        return r.ok ? 0 : 1;
    };
}

}  // namespace qel::sim
