// The FireWire driver's AV/C part: transactions carried to the device's AV/C
// unit, and NOTIFY delivery. A NOTIFY is answered INTERIM at once; its final
// response, when the firmware produces it, is queued on the device handle that
// sent the NOTIFY and the event that handle registered is signalled. Each
// QEL_REQ_GET_NOTIFY_RESPONSE hands out one response; QEL_REQ_CANCEL_NOTIFY
// drops the handle's armed NOTIFYs and queued responses.
#include "sim/Requests.h"
#include "sim/Rig.h"

namespace qel::sim {

namespace {
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kNoMoreItems = 259;
constexpr std::uint32_t kFrameMax = 512;
constexpr std::uint32_t kTransactionTag = 1000;
constexpr std::size_t kMaxQueuedResponses = 64;

// The 516-byte answer: length word and the frame (cut at 512 bytes).
Reply putFrame(const std::vector<std::uint8_t>& frame, os::ByteSpan out) {
    std::fill(out.begin(), out.end(), 0);
    const std::size_t n = std::min<std::size_t>(frame.size(), kFrameMax);
    os::putLe32(out, 0, static_cast<std::uint32_t>(n));
    std::copy_n(frame.begin(), n, out.begin() + 4);
    return Reply{0, static_cast<std::uint32_t>(4 + n)};
}
}  // namespace

bool Rig::isAvcRequest(std::uint32_t code) {
    return code == req::kAvcTransaction || code == req::kGetNotifyResponse || code == req::kRegisterNotifyEvent ||
           code == req::kCancelNotify;
}

Reply Rig::avcRequest(std::uint32_t fileId, File& f, FwDevice& d, std::uint32_t code, os::ConstByteSpan in,
                      os::ByteSpan out) {
    Firmware& fw = *d.model.firmware;
    switch (code) {
    case req::kAvcTransaction: {
        if (in.size() != 520 || out.size() != 516) return Reply{kInvalidParameter, 0};
        const std::uint32_t length = os::getLe32(in, 4);
        if (os::getLe32(in, 0) != kTransactionTag || length == 0 || length > kFrameMax)
            return Reply{kInvalidParameter, 0};
        const std::vector<std::uint8_t> response = fw.avcCommand(fileId, in.subspan(8, length));
        deliverNotifies(f.deviceId);
        return putFrame(response, out);
    }
    case req::kGetNotifyResponse: {
        if (in.size() != 0 || out.size() != 516) return Reply{kInvalidParameter, 0};
        if (f.notifyResponses.empty()) return Reply{kNoMoreItems, 0};
        const Reply r = putFrame(f.notifyResponses.front(), out);
        f.notifyResponses.pop_front();
        return r;
    }
    case req::kRegisterNotifyEvent: {
        if (in.size() != 4 || out.size() != 0) return Reply{kInvalidParameter, 0};
        const std::uint32_t e = os::getLe32(in, 0);
        if (!kernel_.isEvent(e)) return Reply{kInvalidParameter, 0};
        f.notifyEvent = e;
        if (!f.notifyResponses.empty()) kernel_.setEvent(e);
        return Reply{0, 0};
    }
    case req::kCancelNotify:
        if (in.size() != 0 || out.size() != 0) return Reply{kInvalidParameter, 0};
        fw.cancelNotifies(fileId);
        f.notifyResponses.clear();
        return Reply{0, 0};
    default:
        return Reply{kInvalidParameter, 0};
    }
}

void Rig::deliverNotifies(std::uint32_t deviceId) {
    FwDevice* d = fwDevice(deviceId);
    if (d == nullptr || !d->model.firmware) return;
    for (auto& r : d->model.firmware->takeNotifyResponses()) {
        const auto it = files_.find(r.origin);
        // A response for a handle that is gone, or of an earlier plug, is lost.
        if (it == files_.end() || it->second.control || it->second.deviceId != deviceId ||
            it->second.generation != d->generation)
            continue;
        File& f = it->second;
        if (f.notifyResponses.size() >= kMaxQueuedResponses) f.notifyResponses.pop_front();
        f.notifyResponses.push_back(std::move(r.frame));
        if (f.notifyEvent != 0) kernel_.setEvent(f.notifyEvent);
    }
}

}  // namespace qel::sim
