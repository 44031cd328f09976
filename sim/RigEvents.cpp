// Injection of raw NOTIFY final responses (short and malformed ones too).
#include "sim/Rig.h"

namespace qel::sim {

std::size_t Rig::injectNotifyResponse(std::uint32_t deviceId, const std::vector<std::uint8_t>& frame) {
    constexpr std::size_t kMaxQueued = 64;
    std::vector<std::uint32_t> toSignal;
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, f] : files_) {
            if (f.control || f.deviceId != deviceId || f.notifyEvent == 0) continue;
            if (f.notifyResponses.size() >= kMaxQueued) f.notifyResponses.pop_front();
            f.notifyResponses.push_back(frame);
            toSignal.push_back(f.notifyEvent);
        }
    }
    for (const std::uint32_t e : toSignal) kernel_.setEvent(e);
    return toSignal.size();
}

}  // namespace qel::sim
