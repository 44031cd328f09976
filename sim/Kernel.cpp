#include "sim/Kernel.h"

#include <chrono>

namespace qel::sim {

std::uint32_t Kernel::allocId() {
    std::lock_guard lock(mutex_);
    nextId_ += 4;
    return nextId_;
}

std::uint32_t Kernel::createEvent(bool manualReset, bool initialState) {
    std::lock_guard lock(mutex_);
    nextId_ += 4;
    events_[nextId_] = Event{manualReset, initialState};
    return nextId_;
}

bool Kernel::closeEvent(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    return events_.erase(id) != 0;
}

bool Kernel::isEvent(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    return events_.count(id) != 0;
}

std::size_t Kernel::eventCount() {
    std::lock_guard lock(mutex_);
    return events_.size();
}

bool Kernel::setEvent(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    const auto it = events_.find(id);
    if (it == events_.end()) return false;
    it->second.signalled = true;
    for (Waiter* w : waiters_)
        for (std::uint32_t i = 0; i < w->count; ++i)
            if (w->ids[i] == id) {
                w->woken.notify_one();
                break;
            }
    return true;
}

bool Kernel::resetEvent(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    const auto it = events_.find(id);
    if (it == events_.end()) return false;
    it->second.signalled = false;
    return true;
}

std::uint32_t Kernel::waitAny(const std::uint32_t* ids, std::uint32_t count, std::uint32_t timeoutMs) {
    constexpr std::uint32_t kWaitTimeout = 258, kWaitFailed = 0xFFFFFFFF, kInfinite = 0xFFFFFFFF;
    if (count == 0 || ids == nullptr) return kWaitFailed;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_);
    Waiter self{ids, count, {}};
    waiters_.push_back(&self);
    struct Leave {
        std::vector<Waiter*>& waiters;
        Waiter* self;
        ~Leave() { std::erase(waiters, self); }
    } leave{waiters_, &self};
    for (;;) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto it = events_.find(ids[i]);
            if (it == events_.end()) return kWaitFailed;
            if (it->second.signalled) {
                if (!it->second.manualReset) it->second.signalled = false;
                return i;
            }
        }
        if (timeoutMs == kInfinite) {
            self.woken.wait(lock);
        } else if (self.woken.wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: a set that raced with the time-out still counts.
            for (std::uint32_t i = 0; i < count; ++i) {
                const auto it = events_.find(ids[i]);
                if (it != events_.end() && it->second.signalled) {
                    if (!it->second.manualReset) it->second.signalled = false;
                    return i;
                }
            }
            return kWaitTimeout;
        }
    }
}

}  // namespace qel::sim
