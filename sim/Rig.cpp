#include "sim/Rig.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "sim/FwFirmware.h"
#include "sim/Requests.h"
#include "sim/UsbDevice.h"

namespace qel::sim {

namespace {
constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kInvalidFunction = 1;
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kNotSupported = 50;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kNoMoreItems = 259;
constexpr std::uint32_t kOperationAborted = 995;
constexpr std::uint32_t kIoIncomplete = 996;
constexpr std::uint32_t kIoPending = 997;
constexpr std::uint32_t kDeviceNotConnected = 1167;
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kWdmDeviceInUse = 0xE0000047;
constexpr std::uint32_t kRateNotSupported = 0xE0000080;
constexpr std::size_t kMaxQueuedEvents = 256;
constexpr std::uint32_t kConfigurationChanged = 3;  // driver event: the device set changed
constexpr std::size_t kDeviceListMax = 64;
constexpr std::size_t kSyncModesMax = 16;

constexpr std::uint32_t function(std::uint32_t code) { return code & 0xFFFF; }

Reply fail(std::uint32_t status) { return Reply{status, 0}; }

bool sizesAre(os::ConstByteSpan in, os::ByteSpan out, std::size_t inLen, std::size_t outLen) {
    return in.size() == inLen && out.size() == outLen;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

os::Guid fireWireGuid() { return *os::Guid::parse("{A098F460-2CC2-4072-A32A-36CCD74581A4}"); }
os::Guid usbGuid() { return *os::Guid::parse("{3C5A1E27-8B4D-4F19-A6E2-7D0C9B8F1A53}"); }

std::string Rig::fwDevicePath(std::uint32_t deviceId) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(deviceId));
    return std::string("\\\\?\\1394#kavro&qel#") + buf + "#" + lower(fireWireGuid().registryText());
}

Rig::Rig() : usb_(std::make_unique<UsbState>()) {
    rates_.word0 = 1;
    rates_.current = 48000;
    rates_.possible = {44100, 48000, 88200, 96000, 176400, 192000};
    worker_ = std::thread([this] { workerLoop(); });
}

Rig::~Rig() {
    joinUsbArrivals();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& [id, op] : ops_)
            if (!op.done) completeOp(op, fail(kOperationAborted));
    }
    opsChanged_.notify_all();
    worker_.join();
}

// ---------------------------------------------------------------- topology

void Rig::addFwDevice(FwDeviceModel model, bool plugged) {
    std::lock_guard lock(mutex_);
    const std::uint32_t id = model.id;
    FwDevice& d = fw_[id];
    d.model = std::move(model);
    d.present = plugged;
    d.generation++;
    if (std::find(fwOrder_.begin(), fwOrder_.end(), id) == fwOrder_.end()) fwOrder_.push_back(id);
}

Rig::FwDevice* Rig::fwDevice(std::uint32_t id) {
    const auto it = fw_.find(id);
    return it == fw_.end() ? nullptr : &it->second;
}
const Rig::FwDevice* Rig::fwDevice(std::uint32_t id) const {
    const auto it = fw_.find(id);
    return it == fw_.end() ? nullptr : &it->second;
}

bool Rig::plug(std::uint32_t deviceId) {
    {
        std::lock_guard lock(mutex_);
        FwDevice* d = fwDevice(deviceId);
        if (d == nullptr || d->present) return false;
        d->present = true;
        d->generation++;
    }
    notify(fireWireGuid(), 0x8000u, fwDevicePath(deviceId));
    // The driver's own report of its changed device set.
    queueDriverEvent(kConfigurationChanged);
    return true;
}

bool Rig::unplug(std::uint32_t deviceId) {
    {
        std::lock_guard lock(mutex_);
        FwDevice* d = fwDevice(deviceId);
        if (d == nullptr || !d->present) return false;
        d->present = false;
        if (d->model.firmware) d->model.firmware->busReset();
        // Requests in flight on the device's handles end with an error.
        for (auto& [opId, op] : ops_) {
            if (op.done) continue;
            const auto f = files_.find(op.file);
            if (f != files_.end() && !f->second.control && f->second.deviceId == deviceId) {
                const Reply r = fail(kDeviceNotConnected);
                trace(f->second, op.code, op.in, {}, r);
                completeOp(op, r);
            }
        }
    }
    opsChanged_.notify_all();
    notify(fireWireGuid(), 0x8004u, fwDevicePath(deviceId));
    queueDriverEvent(kConfigurationChanged);
    return true;
}

std::vector<std::uint32_t> Rig::presentFwDevices() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> ids;
    for (const std::uint32_t id : fwOrder_)
        if (fw_.at(id).present) ids.push_back(id);
    return ids;
}

std::optional<std::uint32_t> Rig::findDevice(const std::string& nameOrId) const {
    std::lock_guard lock(mutex_);
    if (!nameOrId.empty()) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(nameOrId.c_str(), &end, 0);
        if (end == nameOrId.c_str() + nameOrId.size() && std::isdigit(static_cast<unsigned char>(nameOrId[0])) &&
            fw_.count(static_cast<std::uint32_t>(v)) != 0)
            return static_cast<std::uint32_t>(v);
    }
    for (const std::uint32_t id : fwOrder_) {
        const FwDeviceModel& m = fw_.at(id).model;
        if (m.deviceName == nameOrId || m.serial == nameOrId) return id;
    }
    return std::nullopt;
}

bool Rig::withFwDevice(std::uint32_t deviceId, const std::function<void(FwDeviceModel&)>& fn) {
    std::lock_guard lock(mutex_);
    FwDevice* d = fwDevice(deviceId);
    if (d == nullptr) return false;
    fn(d->model);
    deliverNotifies(deviceId);
    return true;
}

// ---------------------------------------------------------------- driver-wide state

void Rig::setSampleRates(SampleRates rates) {
    std::lock_guard lock(mutex_);
    if (rates.possible.size() > 8) rates.possible.resize(8);
    rates_ = std::move(rates);
}
Rig::SampleRates Rig::sampleRates() const {
    std::lock_guard lock(mutex_);
    return rates_;
}
std::array<std::uint32_t, 3> Rig::syncSettings() const {
    std::lock_guard lock(mutex_);
    return syncSettings_;
}
std::uint32_t Rig::syncParameter() const {
    std::lock_guard lock(mutex_);
    return syncParameter_;
}
int Rig::syncChangeDepth() const {
    std::lock_guard lock(mutex_);
    return syncChangeDepth_;
}

// ---------------------------------------------------------------- injection

void Rig::queueDriverEvent(std::uint32_t code) {
    std::vector<std::uint32_t> toSignal;
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, f] : files_) {
            if (!f.control || f.bus != Bus::FireWire) continue;
            if (f.events.size() >= kMaxQueuedEvents) f.events.pop_front();
            f.events.push_back(code);
            if (f.registeredEvent != 0) toSignal.push_back(f.registeredEvent);
        }
    }
    for (const std::uint32_t e : toSignal) kernel_.setEvent(e);
}

void Rig::failNext(std::uint32_t code, std::uint32_t count, std::uint32_t status, std::uint32_t skip) {
    std::lock_guard lock(mutex_);
    failures_[function(code)] = Failure{skip, count, status};
}

void Rig::setVersionAnswer(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    version_.fill(0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), version_.size()), version_.begin());
}

void Rig::answerNext(std::uint32_t code, std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    answers_[function(code)] = std::move(bytes);
}

void Rig::setDelay(std::uint32_t code, std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    delays_[code == 0 ? 0 : function(code)] = ms;
}

void Rig::clearFaults() {
    std::lock_guard lock(mutex_);
    failures_.clear();
    answers_.clear();
    delays_.clear();
    ignoresCancel_.clear();
    for (auto& [id, d] : fw_)
        if (FwFirmware* f = FwFirmware::of(d.model)) {
            f->clearReplyNext();
            f->memory().setFault(FwMemory::Fault::None);
            f->memory().setVersion(2);
        }
}

void Rig::setIgnoresCancel(std::uint32_t code, bool ignores) {
    std::lock_guard lock(mutex_);
    const std::uint32_t key = code == 0 ? 0 : function(code);
    if (ignores)
        ignoresCancel_.insert(key);
    else
        ignoresCancel_.erase(key);
}

void Rig::setWdmInUse(bool inUse) {
    std::lock_guard lock(mutex_);
    wdmInUse_ = inUse;
}

std::size_t Rig::pendingRequests() const {
    std::lock_guard lock(mutex_);
    return syncDelayed_ +
           static_cast<std::size_t>(std::count_if(ops_.begin(), ops_.end(), [](const auto& o) { return !o.second.done; }));
}

std::uint32_t Rig::delayFor(std::uint32_t code) const {
    const auto it = delays_.find(function(code));
    if (it != delays_.end()) return it->second;
    const auto all = delays_.find(0);
    return all == delays_.end() ? 0 : all->second;
}

bool Rig::ignoresCancel(std::uint32_t code) const {
    return ignoresCancel_.count(function(code)) != 0 || ignoresCancel_.count(0) != 0;
}

void Rig::abortOps(std::uint32_t file) {
    for (auto& [opId, op] : ops_)
        if (!op.done && op.file == file && !op.ignoresCancel) completeOp(op, fail(kOperationAborted));
}

// ---------------------------------------------------------------- trace

std::vector<std::string> Rig::takeTrace() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> t;
    t.swap(trace_);
    return t;
}

void Rig::setTraceEnabled(bool on) {
    std::lock_guard lock(mutex_);
    traceEnabled_ = on;
}

bool Rig::traceEnabled() const {
    std::lock_guard lock(mutex_);
    return traceEnabled_;
}

void Rig::trace(const File& f, std::uint32_t code, os::ConstByteSpan in, os::ConstByteSpan out,
                const Reply& r) {
    if (!traceEnabled_) return;
    std::string line = f.bus == Bus::FireWire ? "fw" : "usb";
    if (!f.control) {
        line += ':';
        line += std::to_string(f.deviceId);
    }
    line += ' ';
    line += requestName(code);
    line += ' ';
    if (r.status == kOk) {
        line += "ok";
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(r.status));
        line += buf;
    }
    const std::uint32_t fn = function(code);
    os::ConstByteSpan shownIn = in;
    os::ConstByteSpan shownOut = r.status == kOk ? out.first(std::min<std::size_t>(r.bytes, out.size()))
                                                 : os::ConstByteSpan{};
    // AV/C requests show only the frames, each cut at its length word.
    if (fn == function(req::kAvcTransaction) && in.size() >= 8) {
        const std::size_t len = std::min<std::size_t>(os::getLe32(in, 4), in.size() - 8);
        shownIn = in.subspan(8, len);
    }
    if ((fn == function(req::kAvcTransaction) || fn == function(req::kGetNotifyResponse)) &&
        shownOut.size() >= 4) {
        const std::size_t len = std::min<std::size_t>(os::getLe32(shownOut, 0), shownOut.size() - 4);
        shownOut = shownOut.subspan(4, len);
    }
    // USB control transfers show the 16-byte header and the data of a set.
    if (code == req::kUsbControlTransfer && in.size() >= 16)
        shownIn = in.first(std::min<std::size_t>(in.size(), 16 + (in[0] == 0 ? os::getLe16(in, 14) : 0)));
    line += " in=" + os::hexText(shownIn) + " out=" + os::hexText(shownOut);
    trace_.push_back(std::move(line));
}

// ---------------------------------------------------------------- platform calls

std::uint32_t Rig::openDevInfoSet(const os::Guid& guid) {
    std::vector<std::string> paths;
    if (guid == fireWireGuid())
        for (const std::uint32_t id : presentFwDevices()) paths.push_back(fwDevicePath(id));
    if (guid == usbGuid()) paths = usbPaths();
    const std::uint32_t id = kernel_.allocId();
    std::lock_guard lock(mutex_);
    devSets_[id] = std::move(paths);
    return id;
}

bool Rig::closeDevInfoSet(std::uint32_t set) {
    std::lock_guard lock(mutex_);
    return devSets_.erase(set) != 0;
}

std::uint32_t Rig::enumInterface(std::uint32_t set, std::uint32_t index, std::string& path) {
    std::lock_guard lock(mutex_);
    const auto it = devSets_.find(set);
    if (it == devSets_.end()) return kInvalidHandle;
    if (index >= it->second.size()) return kNoMoreItems;
    path = it->second[index];
    return kOk;
}

std::uint32_t Rig::openPath(const std::string& path, std::uint32_t& error) {
    File f;
    const std::string p = lower(path);
    bool usb = false;
    {
        std::lock_guard lock(mutex_);
        error = kOk;
        usb = openUsbPath(p, f, error);
    }
    if (usb && error != kOk) return 0;
    if (usb) {
        // a USB control endpoint or device interface (sim/UsbDriver.cpp)
    } else if (p == lower("\\\\.\\" + fireWireGuid().registryText())) {
        f.bus = Bus::FireWire;
        f.control = true;
    } else {
        const std::string prefix = "\\\\?\\1394#kavro&qel#";
        if (p.size() < prefix.size() + 8 || p.compare(0, prefix.size(), prefix) != 0 ||
            p != lower(fwDevicePath(static_cast<std::uint32_t>(
                     std::strtoul(p.substr(prefix.size(), 8).c_str(), nullptr, 16))))) {
            error = kFileNotFound;
            return 0;
        }
        const auto id = static_cast<std::uint32_t>(std::strtoul(p.substr(prefix.size(), 8).c_str(), nullptr, 16));
        std::lock_guard lock(mutex_);
        const FwDevice* d = fwDevice(id);
        if (d == nullptr || !d->present) {
            error = kFileNotFound;
            return 0;
        }
        f.bus = Bus::FireWire;
        f.control = false;
        f.deviceId = id;
        f.generation = d->generation;
    }
    const std::uint32_t id = kernel_.allocId();
    std::lock_guard lock(mutex_);
    files_[id] = std::move(f);
    error = kOk;
    return id;
}

bool Rig::closeFile(std::uint32_t file) {
    {
        std::lock_guard lock(mutex_);
        const auto it = files_.find(file);
        if (it == files_.end()) return false;
        if (!it->second.control)
            if (FwDevice* d = fwDevice(it->second.deviceId); d != nullptr && d->model.firmware)
                d->model.firmware->cancelNotifies(file);
        files_.erase(it);
        abortOps(file);
    }
    opsChanged_.notify_all();
    return true;
}

bool Rig::isFile(std::uint32_t id) const {
    std::lock_guard lock(mutex_);
    return files_.count(id) != 0;
}

std::size_t Rig::fileCount() const {
    std::lock_guard lock(mutex_);
    return files_.size();
}

Reply Rig::process(std::uint32_t fileId, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) {
    const auto it = files_.find(fileId);
    if (it == files_.end()) return fail(kInvalidHandle);
    File& f = it->second;
    Reply r;
    const auto failure = failures_.find(function(code));
    if (failure != failures_.end() && failure->second.skip > 0 && failure->second.count > 0) {
        failure->second.skip--;
        r = dispatch(fileId, f, code, in, out);
    } else if (failure != failures_.end() && failure->second.count > 0) {
        failure->second.count--;
        r = fail(failure->second.status);
    } else if (const auto answer = answers_.find(function(code)); answer != answers_.end()) {
        std::fill(out.begin(), out.end(), 0);
        const std::size_t n = std::min(answer->second.size(), out.size());
        std::copy_n(answer->second.begin(), n, out.begin());
        r = Reply{kOk, static_cast<std::uint32_t>(n)};
        answers_.erase(answer);
    } else {
        r = dispatch(fileId, f, code, in, out);
    }
    trace(f, code, in, out, r);
    return r;
}

std::uint32_t Rig::ioctl(std::uint32_t file, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out,
                         std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    std::uint32_t delay = 0;
    {
        std::lock_guard lock(mutex_);
        if (files_.count(file) == 0) return kInvalidHandle;
        delay = delayFor(code);
        if (delay != 0) ++syncDelayed_;
    }
    if (delay != 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::lock_guard lock(mutex_);
    if (delay != 0) --syncDelayed_;
    const Reply r = process(file, code, in, out);
    if (bytesReturned != nullptr) *bytesReturned = r.bytes;
    return r.status;
}

std::uint32_t Rig::ioctlOverlapped(std::uint32_t file, std::uint32_t code, os::ConstByteSpan in,
                                   os::ByteSpan out, std::uint32_t eventId, std::uint64_t& opId,
                                   std::uint32_t& bytesNow) {
    opId = 0;
    bytesNow = 0;
    if (eventId != 0) kernel_.resetEvent(eventId);
    std::lock_guard lock(mutex_);
    if (files_.count(file) == 0) return kInvalidHandle;
    PendingOp op;
    op.file = file;
    op.code = code;
    op.in.assign(in.begin(), in.end());
    op.out = out;
    op.eventId = eventId;
    const std::uint32_t delay = delayFor(code);
    if (delay == 0) {
        // Completed at once: the result travels in the caller's overlapped block.
        const Reply r = process(file, code, in, out);
        bytesNow = r.bytes;
        if (eventId != 0) kernel_.setEvent(eventId);
        return r.status;
    }
    opId = nextOp_++;
    op.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay);
    op.ignoresCancel = ignoresCancel(code);
    ops_[opId] = std::move(op);
    opsChanged_.notify_all();
    return kIoPending;
}

std::uint32_t Rig::overlappedResult(std::uint64_t opId, std::uint32_t* bytesReturned, bool wait) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    std::unique_lock lock(mutex_);
    auto it = ops_.find(opId);
    if (it == ops_.end()) return kInvalidParameter;
    if (!it->second.done) {
        if (!wait) return kIoIncomplete;
        opsChanged_.wait(lock, [&] {
            it = ops_.find(opId);
            return it == ops_.end() || it->second.done;
        });
        if (it == ops_.end()) return kInvalidParameter;
    }
    const Reply r = it->second.reply;
    ops_.erase(it);
    if (bytesReturned != nullptr) *bytesReturned = r.bytes;
    return r.status;
}

std::uint32_t Rig::cancelIo(std::uint32_t file) {
    {
        std::lock_guard lock(mutex_);
        if (files_.count(file) == 0) return kInvalidHandle;
        abortOps(file);
    }
    opsChanged_.notify_all();
    return kOk;
}

void Rig::completeOp(PendingOp& op, Reply r) {
    op.done = true;
    op.reply = r;
    if (op.eventId != 0) kernel_.setEvent(op.eventId);
}

void Rig::workerLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        PendingOp* next = nullptr;
        std::uint64_t nextId = 0;
        for (auto& [id, op] : ops_)
            if (!op.done && (next == nullptr || op.due < next->due)) {
                next = &op;
                nextId = id;
            }
        if (next == nullptr) {
            opsChanged_.wait(lock);
            continue;
        }
        if (const auto due = next->due; std::chrono::steady_clock::now() < due) {
            // `next` may be gone once the lock is released: wait on a copy.
            opsChanged_.wait_until(lock, due);
            continue;  // the set of ops may have changed
        }
        PendingOp& op = ops_.at(nextId);
        const Reply r = process(op.file, op.code, op.in, op.out);
        completeOp(op, r);
        opsChanged_.notify_all();
    }
}

std::uint32_t Rig::registerNotification(const os::Guid& guid, DeviceChangeCallback cb) {
    const std::uint32_t id = kernel_.allocId();
    std::lock_guard lock(mutex_);
    notifications_[id] = Notification{guid, std::move(cb)};
    return id;
}

bool Rig::unregisterNotification(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    return notifications_.erase(id) != 0;
}

std::size_t Rig::notificationCount() const {
    std::lock_guard lock(mutex_);
    return notifications_.size();
}

void Rig::notify(const os::Guid& guid, std::uint32_t code, const std::string& path) {
    std::vector<DeviceChangeCallback> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, n] : notifications_)
            if (n.guid == guid) targets.push_back(n.cb);
    }
    for (const auto& cb : targets) cb(code, path);
}

// ---------------------------------------------------------------- the FireWire driver

void Rig::encodeProperties(const FwDeviceModel& m, os::ByteSpan out) const {
    std::fill(out.begin(), out.end(), 0);
    os::putLe32(out, 0, m.id);
    os::putLe32(out, 4, m.rank);
    os::putText(out, 8, 40, m.deviceName);
    os::putText(out, 48, 40, m.serial);
    os::putText(out, 88, 256, m.vendor + "&" + m.model);
    os::putText(out, 344, 88, m.extra);
}

static void encodeSyncEntry(os::ByteSpan out, std::size_t off, const SyncModeEntry& e) {
    os::putLe32(out, off, e.mode);
    os::putLe32(out, off + 4, e.code);
    os::putText(out, off + 8, 40, e.name);
}

void Rig::encodeSyncModes(const FwDeviceModel& m, os::ByteSpan out) const {
    std::fill(out.begin(), out.end(), 0);
    os::putLe32(out, 0, m.id);
    if (m.currentSyncMode < m.syncModes.size()) encodeSyncEntry(out, 4, m.syncModes[m.currentSyncMode]);
    const std::size_t n = std::min(m.syncModes.size(), kSyncModesMax);
    os::putLe32(out, 52, static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) encodeSyncEntry(out, 56 + 48 * i, m.syncModes[i]);
}

Reply Rig::dispatch(std::uint32_t fileId, File& f, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) {
    if (f.bus == Bus::Usb) return usbRequest(f, code, in, out);
    if (f.control) return controlRequest(f, code, in, out);
    FwDevice* d = fwDevice(f.deviceId);
    if (d == nullptr || !d->present || d->generation != f.generation) return fail(kDeviceNotConnected);
    if (isAvcRequest(code) && d->model.firmware && d->model.firmware->hasAvc())
        return avcRequest(fileId, f, *d, code, in, out);
    return deviceRequest(*d, code, in, out);
}

Reply Rig::controlRequest(File& f, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) {
    switch (code) {
    case req::kGetDriverVersion:
        if (!sizesAre(in, out, 0, 12)) return fail(kInvalidParameter);
        std::copy(version_.begin(), version_.end(), out.begin());
        return Reply{kOk, 12};
    case req::kRegisterEvent: {
        if (!sizesAre(in, out, 4, 0)) return fail(kInvalidParameter);
        const std::uint32_t e = os::getLe32(in, 0);
        if (!kernel_.isEvent(e)) return fail(kInvalidParameter);
        f.registeredEvent = e;
        if (!f.events.empty()) kernel_.setEvent(e);
        return Reply{kOk, 0};
    }
    case req::kGetEvent: {
        if (!sizesAre(in, out, 0, 12)) return fail(kInvalidParameter);
        if (f.events.empty()) return fail(kNoMoreItems);
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 0, f.events.front());
        f.events.pop_front();
        return Reply{kOk, 12};
    }
    case req::kGetDeviceList: {
        if (!sizesAre(in, out, 0, 260)) return fail(kInvalidParameter);
        std::fill(out.begin(), out.end(), 0);
        std::uint32_t n = 0;
        for (const std::uint32_t id : fwOrder_)
            if (fw_.at(id).present && n < kDeviceListMax) os::putLe32(out, 4 + 4 * n++, id);
        os::putLe32(out, 0, n);
        return Reply{kOk, 260};
    }
    case req::kGetSyncSettings:
        if (!sizesAre(in, out, 0, 12)) return fail(kInvalidParameter);
        for (int i = 0; i < 3; ++i) os::putLe32(out, 4 * i, syncSettings_[i]);
        return Reply{kOk, 12};
    case req::kSetSyncSettings:
        if (!sizesAre(in, out, 12, 0)) return fail(kInvalidParameter);
        for (int i = 0; i < 3; ++i) syncSettings_[i] = os::getLe32(in, 4 * i);
        return Reply{kOk, 0};
    case req::kGetSyncParameter:
        if (!sizesAre(in, out, 0, 8)) return fail(kInvalidParameter);
        os::putLe32(out, 0, 0);
        os::putLe32(out, 4, syncParameter_);
        return Reply{kOk, 8};
    case req::kSetSyncParameter:
        if (!sizesAre(in, out, 8, 0)) return fail(kInvalidParameter);
        syncParameter_ = os::getLe32(in, 4);
        return Reply{kOk, 0};
    case req::kGetSampleRateInfo: {
        if (!sizesAre(in, out, 0, 44)) return fail(kInvalidParameter);
        std::fill(out.begin(), out.end(), 0);
        os::putLe32(out, 0, rates_.word0);
        os::putLe32(out, 4, rates_.current);
        os::putLe32(out, 8, static_cast<std::uint32_t>(rates_.possible.size()));
        for (std::size_t i = 0; i < rates_.possible.size() && i < 8; ++i)
            os::putLe32(out, 12 + 4 * i, rates_.possible[i]);
        return Reply{kOk, 44};
    }
    case req::kSetSampleRate: {
        if (!sizesAre(in, out, 8, 0)) return fail(kInvalidParameter);
        if (wdmInUse_) return fail(kWdmDeviceInUse);
        const std::uint32_t rate = os::getLe32(in, 4);
        if (std::find(rates_.possible.begin(), rates_.possible.end(), rate) == rates_.possible.end())
            return fail(kRateNotSupported);
        rates_.current = rate;
        return Reply{kOk, 0};
    }
    case req::kGetSyncModeInfo: {
        if (!sizesAre(in, out, 4, 824)) return fail(kInvalidParameter);
        const FwDevice* d = fwDevice(os::getLe32(in, 0));
        if (d == nullptr || !d->present) return fail(kDeviceNotConnected);
        encodeSyncModes(d->model, out);
        return Reply{kOk, 824};
    }
    case req::kSetSyncMode: {
        if (!sizesAre(in, out, 12, 0)) return fail(kInvalidParameter);
        FwDevice* d = fwDevice(os::getLe32(in, 0));
        if (d == nullptr || !d->present) return fail(kDeviceNotConnected);
        const std::uint32_t mode = os::getLe32(in, 4), sourceCode = os::getLe32(in, 8);
        const auto& modes = d->model.syncModes;
        const auto it = std::find_if(modes.begin(), modes.end(), [&](const SyncModeEntry& e) {
            return e.mode == mode && e.code == sourceCode;
        });
        if (it == modes.end()) return fail(kInvalidParameter);
        d->model.currentSyncMode = static_cast<std::size_t>(it - modes.begin());
        return Reply{kOk, 0};
    }
    case req::kGetDeviceProperties: {
        if (!sizesAre(in, out, 4, 432)) return fail(kInvalidParameter);
        const FwDevice* d = fwDevice(os::getLe32(in, 0));
        if (d == nullptr || !d->present) return fail(kDeviceNotConnected);
        encodeProperties(d->model, out);
        return Reply{kOk, 432};
    }
    case req::kBeginSyncChange:
        if (!sizesAre(in, out, 0, 0)) return fail(kInvalidParameter);
        syncChangeDepth_++;
        return Reply{kOk, 0};
    case req::kEndSyncChange:
        if (!sizesAre(in, out, 0, 0)) return fail(kInvalidParameter);
        syncChangeDepth_--;
        return Reply{kOk, 0};
    default:
        if (const auto r = controlPanelRequest(code, in, out)) return *r;
        return fail(kInvalidFunction);
    }
}

Reply Rig::deviceRequest(FwDevice& d, std::uint32_t code, os::ConstByteSpan in, os::ByteSpan out) {
    switch (code) {
    case req::kGetDriverVersion:
        if (!sizesAre(in, out, 0, 12)) return fail(kInvalidParameter);
        std::copy(version_.begin(), version_.end(), out.begin());
        return Reply{kOk, 12};
    case req::kGetOwnDeviceProperties:
        if (!sizesAre(in, out, 0, 432)) return fail(kInvalidParameter);
        encodeProperties(d.model, out);
        return Reply{kOk, 432};
    case req::kGetDeviceCapabilities:
        if (!sizesAre(in, out, 0, 4)) return fail(kInvalidParameter);
        os::putLe32(out, 0, d.model.capabilities);
        return Reply{kOk, 4};
    default:
        if (d.model.firmware)
            if (const auto r = d.model.firmware->request(code, in, out)) return *r;
        return fail(code == req::kAvcTransaction || code == req::kGetNotifyResponse ||
                            code == req::kRegisterNotifyEvent || code == req::kCancelNotify ||
                            code == req::kAsyncReadBlock
                        ? kNotSupported
                        : kInvalidFunction);
    }
}

}  // namespace qel::sim
