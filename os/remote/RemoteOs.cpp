#include "os/remote/RemoteOs.h"

#include "os/CodePage.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "os/remote/Socket.h"

namespace qel::os {

using remote::Message;
using remote::Op;

namespace {

std::uint32_t id(Handle h) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h)); }
Handle handle(std::uint32_t v) { return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(v)); }

// This platform's record inside Overlapped::opaque.
struct OvState {
    std::uint64_t key;     // pending request, 0 when it ended at once
    std::uint32_t status;  // result of a request that ended at once
    std::uint32_t bytes;
};
static_assert(sizeof(OvState) <= sizeof(Overlapped::opaque));
OvState load(const Overlapped& ov) {
    OvState s;
    std::memcpy(&s, ov.opaque, sizeof s);
    return s;
}
void store(Overlapped& ov, const OvState& s) { std::memcpy(ov.opaque, &s, sizeof s); }

Message request(Op op) {
    Message m;
    m.kind = remote::Kind::Request;
    m.op = op;
    return m;
}

constexpr std::uint32_t kReconnectMs = 100;      // between attempts while the rig is away
constexpr std::uint32_t kAttemptWaitMs = 500;    // a request waits this long for an attempt
constexpr std::uint32_t kMaxEnumerated = 256;    // interfaces looked at per class

}  // namespace

RemoteOs::RemoteOs(std::string socketPath, std::uint32_t connectWaitMs) : path_(std::move(socketPath)) {
    sessionThread_ = std::thread([this] { sessionLoop(); });
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(connectWaitMs), [&] { return attempts_ > 0; });
}

RemoteOs::~RemoteOs() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        remote::shutdownSocket(sessionFd_);
        for (const int fd : busy_) remote::shutdownSocket(fd);
    }
    changed_.notify_all();
    sessionThread_.join();
    for (const int fd : idle_) remote::closeSocket(fd);
}

bool RemoteOs::connected() const {
    std::lock_guard lock(mutex_);
    return up_;
}

bool RemoteOs::waitConnected(std::uint32_t ms) {
    std::unique_lock lock(mutex_);
    connectNow_ = true;
    changed_.notify_all();
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return up_ || stopping_; }) && up_;
}

std::uint32_t RemoteOs::sessions() const {
    std::lock_guard lock(mutex_);
    return session_;
}

// ---------------------------------------------------------------- sessions

int RemoteOs::openSession(std::uint64_t& token) {
    const int fd = remote::connectSocket(path_);
    if (fd < 0) return -1;
    Message hello = request(Op::Hello);
    hello.code = static_cast<std::uint32_t>(remote::Role::Session);
    hello.value = remote::kProtocolVersion;
    Message reply;
    if (!remote::writeMessage(fd, hello) ||
        remote::readMessage(fd, remote::Kind::Reply, reply) != remote::ReadResult::Ok || reply.op != Op::Hello ||
        reply.status != kErrorSuccess) {
        remote::closeSocket(fd);
        return -1;
    }
    token = reply.id;
    return fd;
}

void RemoteOs::sessionLoop() {
    {
        std::lock_guard lock(mutex_);
        sessionThreadId_ = std::this_thread::get_id();
    }
    for (;;) {
        std::uint64_t token = 0;
        const int fd = openSession(token);
        std::uint32_t session = 0;
        {
            std::unique_lock lock(mutex_);
            attempts_++;
            if (fd >= 0 && !stopping_) {
                session = ++session_;
                token_ = token;
                sessionFd_ = fd;
                up_ = true;
            }
            changed_.notify_all();
            if (fd < 0 || stopping_) {
                if (fd >= 0) remote::closeSocket(fd);
                if (stopping_) return;
                changed_.wait_for(lock, std::chrono::milliseconds(kReconnectMs),
                                  [&] { return stopping_ || connectNow_; });
                connectNow_ = false;
                if (stopping_) return;
                continue;
            }
        }
        restore(session);
        readPushes(fd, session);
        lose(session);
        {
            std::lock_guard lock(mutex_);
            sessionFd_ = -1;
            remote::closeSocket(fd);
            if (stopping_) return;
        }
    }
}

// Registrations made while the rig was away, or with the rig before, move to
// this session; their devices arrive.
void RemoteOs::restore(std::uint32_t session) {
    std::vector<std::pair<std::uint32_t, std::shared_ptr<Registration>>> regs;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [h, r] : registrations_)
            if (r->session != session) {
                r->session = session;  // taken: registerDeviceNotification leaves it alone
                regs.emplace_back(h, r);
            }
    }
    for (const auto& [h, r] : regs) {
        Message req = request(Op::RegisterNotification), reply;
        req.handle = h;
        req.guid = r->guid;
        if (!call(req, reply) || reply.status != kErrorSuccess) {
            std::lock_guard lock(mutex_);
            if (r->session == session) r->session = 0;
            continue;
        }
        const std::vector<std::string> paths = presentPaths(r->guid);
        DeviceChangeCallback cb;
        {
            std::lock_guard lock(mutex_);
            if (registrations_.count(h) == 0) continue;
            r->id = reply.handle;
            r->present.insert(paths.begin(), paths.end());
            cb = r->callback;
        }
        for (const auto& p : paths) cb(kDeviceArrival, p);
    }
}

void RemoteOs::readPushes(int fd, std::uint32_t session) {
    for (;;) {
        Message m;
        if (remote::readMessage(fd, remote::Kind::Push, m) != remote::ReadResult::Ok) return;
        if (m.op == Op::EventSignal) {
            if (m.id != 0) {
                // The end of an overlapped request: not when its result was
                // taken already (a wait took it before this arrived).
                std::lock_guard lock(mutex_);
                const bool open = std::any_of(ops_.begin(), ops_.end(), [&](const auto& op) {
                    return op.second.session == session && op.second.id == m.id;
                });
                if (!open) continue;
            }
            local_.setEvent(m.handle);
        } else if (m.op == Op::DeviceChange) {
            DeviceChangeCallback cb;
            {
                std::lock_guard lock(mutex_);
                const auto it = registrations_.find(m.handle);
                if (it == registrations_.end() || it->second->session != session) continue;
                if (m.code == kDeviceArrival) it->second->present.insert(m.text);
                if (m.code == kDeviceRemoveComplete) it->second->present.erase(m.text);
                cb = it->second->callback;
            }
            cb(m.code, m.text);
        } else {
            return;  // refused: the session ends
        }
    }
}

// The session ended: what was running fails, waiters wake, devices leave.
void RemoteOs::lose(std::uint32_t session) {
    std::vector<std::uint32_t> wake;
    std::vector<std::pair<DeviceChangeCallback, std::string>> removals;
    {
        std::lock_guard lock(mutex_);
        if (session != session_) return;
        up_ = false;
        for (const int fd : idle_) remote::closeSocket(fd);
        idle_.clear();
        for (const int fd : busy_) remote::shutdownSocket(fd);
        for (auto& [key, op] : ops_)
            if (op.session == session && !op.lost) {
                op.lost = true;
                if (op.event != 0) wake.push_back(op.event);
            }
        for (auto it = proxies_.begin(); it != proxies_.end();) {
            if (it->second.session == session) {
                wake.push_back(it->first);
                it = proxies_.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& [h, r] : registrations_) {
            for (const auto& p : r->present) removals.emplace_back(r->callback, p);
            r->present.clear();
        }
        changed_.notify_all();
        // Closing down: no callback runs any more.
        if (stopping_) return;
    }
    for (const std::uint32_t e : wake) local_.setEvent(e);
    for (const auto& [cb, p] : removals) cb(kDeviceRemoveComplete, p);
}

int RemoteOs::acquire(std::uint32_t& session) {
    std::unique_lock lock(mutex_);
    if (!up_) {
        // The session thread makes the attempt; it cannot wait for itself.
        if (stopping_ || std::this_thread::get_id() == sessionThreadId_) return -1;
        const std::uint32_t seen = attempts_;
        connectNow_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::milliseconds(kAttemptWaitMs),
                          [&] { return up_ || stopping_ || attempts_ != seen; });
        if (!up_ || stopping_) return -1;
    }
    session = session_;
    if (!idle_.empty()) {
        const int fd = idle_.back();
        idle_.pop_back();
        busy_.insert(fd);
        return fd;
    }
    const std::uint64_t token = token_;
    lock.unlock();
    int fd = remote::connectSocket(path_);
    if (fd >= 0) {
        Message hello = request(Op::Hello), reply;
        hello.code = static_cast<std::uint32_t>(remote::Role::Calls);
        hello.value = remote::kProtocolVersion;
        hello.id = token;
        if (!remote::writeMessage(fd, hello) ||
            remote::readMessage(fd, remote::Kind::Reply, reply) != remote::ReadResult::Ok ||
            reply.op != Op::Hello || reply.status != kErrorSuccess) {
            remote::closeSocket(fd);
            fd = -1;
        }
    }
    lock.lock();
    if (fd >= 0 && (!up_ || session_ != session || stopping_)) {
        remote::closeSocket(fd);
        return -1;
    }
    if (fd >= 0) busy_.insert(fd);
    return fd;
}

void RemoteOs::release(int fd, std::uint32_t session, bool ok) {
    std::lock_guard lock(mutex_);
    busy_.erase(fd);
    if (ok && up_ && session == session_ && !stopping_) {
        idle_.push_back(fd);
        return;
    }
    remote::closeSocket(fd);
    // A broken exchange ends the session: the session thread sees its socket end.
    if (!ok && session == session_ && up_) remote::shutdownSocket(sessionFd_);
}

bool RemoteOs::call(Message& req, Message& reply) {
    std::uint32_t session = 0;
    const int fd = acquire(session);
    if (fd < 0) return false;
    {
        std::lock_guard lock(mutex_);
        req.seq = ++seq_;
    }
    const bool ok = remote::writeMessage(fd, req) &&
                    remote::readMessage(fd, remote::Kind::Reply, reply) == remote::ReadResult::Ok &&
                    reply.op == req.op && reply.seq == req.seq;
    release(fd, session, ok);
    return ok;
}

std::vector<std::string> RemoteOs::presentPaths(const Guid& guid) {
    std::vector<std::string> paths;
    DevInfoSet set = getClassDevs(guid);
    if (set == nullptr) return paths;
    for (std::uint32_t i = 0; i < kMaxEnumerated; ++i) {
        std::string p;
        if (enumInterface(set, guid, i, p) != kErrorSuccess) break;
        paths.push_back(std::move(p));
    }
    destroyDevInfoSet(set);
    return paths;
}

bool RemoteOs::lookup(Handle h, Kind kind, Remote& r) {
    std::lock_guard lock(mutex_);
    const auto it = remotes_.find(id(h));
    if (it == remotes_.end() || it->second.kind != kind) return false;
    r = it->second;
    return true;
}

int RemoteOs::rigCommand(const std::vector<std::string>& args, std::string& out, std::string& err) {
    Message req = request(Op::RigCommand), reply;
    req.args = args;
    if (args.size() > remote::kMaxArgs) {
        err = "too many words";
        return -1;
    }
    if (!call(req, reply)) {
        err = "the rig process at " + path_ + " cannot be reached";
        return -1;
    }
    out = reply.text;
    err = reply.text2;
    return static_cast<int>(reply.status);
}

// ---------------------------------------------------------------- enumeration and files

DevInfoSet RemoteOs::getClassDevs(const Guid& interfaceGuid) {
    Message req = request(Op::GetClassDevs), reply;
    req.guid = interfaceGuid;
    if (!call(req, reply) || reply.status != kErrorSuccess || reply.handle == 0) return nullptr;
    std::lock_guard lock(mutex_);
    const std::uint32_t h = local_.allocId();
    remotes_[h] = Remote{Kind::Set, session_, reply.handle};
    return handle(h);
}

void RemoteOs::destroyDevInfoSet(DevInfoSet set) {
    Remote r{};
    {
        std::lock_guard lock(mutex_);
        const auto it = remotes_.find(id(set));
        if (it == remotes_.end() || it->second.kind != Kind::Set) return;
        r = it->second;
        remotes_.erase(it);
        if (r.session != session_ || !up_) return;
    }
    Message req = request(Op::DestroyDevInfoSet), reply;
    req.handle = r.id;
    call(req, reply);
}

std::uint32_t RemoteOs::enumInterface(DevInfoSet set, const Guid& interfaceGuid, std::uint32_t index,
                                      std::string& path) {
    Remote r{};
    if (!lookup(set, Kind::Set, r)) return kErrorInvalidHandle;
    Message req = request(Op::EnumInterface), reply;
    req.handle = r.id;
    req.guid = interfaceGuid;
    req.code = index;
    {
        std::lock_guard lock(mutex_);
        if (r.session != session_ || !up_) return kErrorDeviceNotConnected;
    }
    if (!call(req, reply)) return kErrorDeviceNotConnected;
    if (reply.status == kErrorSuccess) path = reply.text;
    return reply.status;
}

Handle RemoteOs::openPath(const std::string& path, bool overlapped, std::uint32_t& error) {
    Message req = request(Op::OpenPath), reply;
    req.text = path;
    req.flag = overlapped;
    if (path.size() > remote::kMaxText) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    if (!call(req, reply)) {
        error = kErrorDeviceNotConnected;
        return nullptr;
    }
    error = reply.status;
    if (reply.handle == 0) {
        if (error == kErrorSuccess) error = kErrorGenFailure;
        return nullptr;
    }
    std::uint32_t session = 0;
    std::uint32_t h = 0;
    {
        std::lock_guard lock(mutex_);
        session = session_;
        h = local_.allocId();
        remotes_[h] = Remote{Kind::File, session, reply.handle};
    }
    return handle(h);
}

void RemoteOs::closeHandle(Handle h) {
    Remote r{};
    bool remoteObject = false;
    std::uint32_t proxy = 0;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = remotes_.find(id(h)); it != remotes_.end()) {
            r = it->second;
            remotes_.erase(it);
            remoteObject = r.session == session_ && up_;
            if (!remoteObject) return;
        } else if (const auto p = proxies_.find(id(h)); p != proxies_.end()) {
            if (p->second.session == session_ && up_) proxy = p->second.id;
            proxies_.erase(p);
        }
    }
    if (remoteObject) {
        Message req = request(r.kind == Kind::File ? Op::CloseHandle : Op::DestroyDevInfoSet), reply;
        req.handle = r.id;
        call(req, reply);
        return;
    }
    if (proxy != 0) {
        Message req = request(Op::CloseEvent), reply;
        req.handle = id(h);
        call(req, reply);
    }
    local_.closeEvent(id(h));
}

// ---------------------------------------------------------------- requests

std::uint32_t RemoteOs::ioctl(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                              std::uint32_t outLen, std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    if (in == nullptr) inLen = 0;
    if (out == nullptr) outLen = 0;
    Remote r{};
    if (!lookup(h, Kind::File, r)) return kErrorInvalidHandle;
    if (inLen > remote::kMaxBuffer || outLen > remote::kMaxBuffer) return kErrorInvalidParameter;
    Message req = request(Op::Ioctl), reply;
    req.handle = r.id;
    req.code = code;
    req.length = outLen;
    const auto* p = static_cast<const std::uint8_t*>(in);
    req.data.assign(p, p + inLen);
    {
        std::lock_guard lock(mutex_);
        if (r.session != session_ || !up_) return kErrorDeviceNotConnected;
    }
    if (!call(req, reply)) return kErrorDeviceNotConnected;
    const std::size_t n = std::min<std::size_t>(reply.data.size(), outLen);
    if (n > 0) std::memcpy(out, reply.data.data(), n);
    if (bytesReturned != nullptr) *bytesReturned = std::min(reply.length, outLen);
    return reply.status;
}

std::uint32_t RemoteOs::ioctlOverlapped(Handle h, std::uint32_t code, const void* in, std::uint32_t inLen,
                                        void* out, std::uint32_t outLen, Overlapped& ov) {
    store(ov, OvState{0, kErrorDeviceNotConnected, 0});
    if (in == nullptr) inLen = 0;
    if (out == nullptr) outLen = 0;
    Remote r{};
    if (!lookup(h, Kind::File, r)) {
        store(ov, OvState{0, kErrorInvalidHandle, 0});
        return kErrorInvalidHandle;
    }
    if (inLen > remote::kMaxBuffer || outLen > remote::kMaxBuffer) {
        store(ov, OvState{0, kErrorInvalidParameter, 0});
        return kErrorInvalidParameter;
    }
    const std::uint32_t event = local_.isEvent(id(ov.event)) ? id(ov.event) : 0;
    if (event != 0) local_.resetEvent(event);
    Message req = request(Op::IoctlOverlapped), reply;
    req.handle = r.id;
    req.code = code;
    req.length = outLen;
    req.value = event;
    const auto* p = static_cast<const std::uint8_t*>(in);
    req.data.assign(p, p + inLen);
    {
        std::lock_guard lock(mutex_);
        if (r.session != session_ || !up_) return kErrorDeviceNotConnected;
    }
    if (!call(req, reply)) return kErrorDeviceNotConnected;
    if (reply.status == kErrorIoPending) {
        std::lock_guard lock(mutex_);
        const std::uint64_t key = nextOp_++;
        PendingOp op;
        op.session = r.session;
        op.id = reply.id;
        op.out = static_cast<std::uint8_t*>(out);
        op.outLen = outLen;
        op.event = event;
        // The session may have ended while the reply travelled.
        op.lost = r.session != session_ || !up_;
        ops_[key] = op;
        store(ov, OvState{key, kErrorIoPending, 0});
        if (op.lost && event != 0) local_.setEvent(event);
        return kErrorIoPending;
    }
    const std::size_t n = std::min<std::size_t>(reply.data.size(), outLen);
    if (n > 0) std::memcpy(out, reply.data.data(), n);
    const std::uint32_t bytes = std::min(reply.length, outLen);
    store(ov, OvState{0, reply.status, bytes});
    if (reply.flag && event != 0) local_.setEvent(event);
    return reply.status;
}

std::uint32_t RemoteOs::getOverlappedResult(Handle, Overlapped& ov, std::uint32_t* bytesReturned, bool wait) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    OvState s = load(ov);
    if (s.key == 0) {
        if (bytesReturned != nullptr) *bytesReturned = s.bytes;
        return s.status;
    }
    PendingOp op;
    {
        std::lock_guard lock(mutex_);
        const auto it = ops_.find(s.key);
        if (it == ops_.end()) return kErrorInvalidParameter;
        op = it->second;
        if (op.lost || op.session != session_ || !up_) {
            ops_.erase(it);
            store(ov, OvState{0, kErrorDeviceNotConnected, 0});
            return kErrorDeviceNotConnected;
        }
    }
    Message req = request(Op::OverlappedResult), reply;
    req.id = op.id;
    req.flag = wait;
    std::uint32_t status = kErrorDeviceNotConnected;
    std::uint32_t bytes = 0;
    if (call(req, reply)) {
        if (reply.status == kErrorIoIncomplete) return kErrorIoIncomplete;
        status = reply.status;
        const std::size_t n = std::min<std::size_t>(reply.data.size(), op.outLen);
        if (n > 0) std::memcpy(op.out, reply.data.data(), n);
        bytes = std::min(reply.length, op.outLen);
    } else if (op.event != 0) {
        local_.setEvent(op.event);  // the request ended with the rig
    }
    {
        std::lock_guard lock(mutex_);
        ops_.erase(s.key);
    }
    store(ov, OvState{0, status, bytes});
    if (bytesReturned != nullptr) *bytesReturned = bytes;
    return status;
}

std::uint32_t RemoteOs::cancelIo(Handle h) {
    Remote r{};
    if (!lookup(h, Kind::File, r)) return kErrorInvalidHandle;
    {
        std::lock_guard lock(mutex_);
        if (r.session != session_ || !up_) return kErrorDeviceNotConnected;
    }
    Message req = request(Op::CancelIo), reply;
    req.handle = r.id;
    if (!call(req, reply)) return kErrorDeviceNotConnected;
    return reply.status;
}

// ---------------------------------------------------------------- events

Handle RemoteOs::createEvent(bool manualReset, bool initialState) {
    return handle(local_.createEvent(manualReset, initialState));
}

void RemoteOs::setEvent(Handle e) { local_.setEvent(id(e)); }

void RemoteOs::resetEvent(Handle e) { local_.resetEvent(id(e)); }

std::uint32_t RemoteOs::waitForAny(const Handle* handles, std::uint32_t count, std::uint32_t timeoutMs) {
    if (handles == nullptr || count == 0 || count > 64) return kWaitFailed;
    std::uint32_t ids[64];
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = id(handles[i]);
    return local_.waitAny(ids, count, timeoutMs);
}

std::uint32_t RemoteOs::eventValue(Handle e) {
    if (!local_.isEvent(id(e))) return 0;
    {
        std::lock_guard lock(mutex_);
        const auto it = proxies_.find(id(e));
        if (it != proxies_.end() && it->second.session == session_ && up_) return it->second.id;
    }
    Message req = request(Op::EventValue), reply;
    req.handle = id(e);
    std::uint32_t session = 0;
    {
        std::lock_guard lock(mutex_);
        session = session_;
    }
    if (!call(req, reply) || reply.status != kErrorSuccess) return 0;
    std::lock_guard lock(mutex_);
    if (session == session_ && up_) proxies_[id(e)] = Proxy{session, reply.value};
    return reply.value;
}

// ---------------------------------------------------------------- notifications

Handle RemoteOs::registerDeviceNotification(const Guid& interfaceGuid, DeviceChangeCallback callback) {
    if (!callback) return nullptr;
    auto reg = std::make_shared<Registration>();
    reg->guid = interfaceGuid;
    reg->callback = std::move(callback);
    std::uint32_t h = 0;
    std::uint32_t session = 0;
    {
        std::lock_guard lock(mutex_);
        h = local_.allocId();
        registrations_[h] = reg;
        // Registered with the rig now when it is there, else when it comes
        // (the session thread registers what no session has taken).
        if (!up_) return handle(h);
        session = session_;
        reg->session = session;
    }
    Message req = request(Op::RegisterNotification), reply;
    req.handle = h;
    req.guid = interfaceGuid;
    const bool ok = call(req, reply) && reply.status == kErrorSuccess;
    const std::vector<std::string> paths = ok ? presentPaths(interfaceGuid) : std::vector<std::string>{};
    std::lock_guard lock(mutex_);
    if (reg->session == session) {
        if (ok) {
            reg->id = reply.handle;
            reg->present.insert(paths.begin(), paths.end());
        } else {
            reg->session = 0;
        }
    }
    return handle(h);
}

bool RemoteOs::unregisterDeviceNotification(Handle registration) {
    std::shared_ptr<Registration> reg;
    bool registered = false;
    {
        std::lock_guard lock(mutex_);
        const auto it = registrations_.find(id(registration));
        if (it == registrations_.end()) return false;
        reg = it->second;
        registrations_.erase(it);
        registered = reg->session == session_ && up_ && reg->id != 0;
    }
    if (registered) {
        Message req = request(Op::UnregisterNotification), reply;
        req.handle = reg->id;
        call(req, reply);
    }
    return true;
}

// The simulated system code page is Windows-1252, as in os/sim.
std::string RemoteOs::codePageToUtf8(std::string_view text) { return windows1252ToUtf8(text); }

}  // namespace qel::os
