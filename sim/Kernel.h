#pragma once
// Kernel objects of the simulated platform: events and the waits on them.
// Handle values are small multiples of four, like the platform's.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace qel::sim {

class Kernel {
public:
    std::uint32_t allocId();

    std::uint32_t createEvent(bool manualReset, bool initialState);
    bool closeEvent(std::uint32_t id);
    bool isEvent(std::uint32_t id);
    std::size_t eventCount();
    bool setEvent(std::uint32_t id);
    bool resetEvent(std::uint32_t id);
    // WAIT_OBJECT_0 + i, WAIT_TIMEOUT (258) or WAIT_FAILED when a handle is no event.
    std::uint32_t waitAny(const std::uint32_t* ids, std::uint32_t count, std::uint32_t timeoutMs);

private:
    struct Event {
        bool manualReset = false;
        bool signalled = false;
    };
    // A thread in waitAny: woken only by a set of one of its events.
    struct Waiter {
        const std::uint32_t* ids;
        std::uint32_t count;
        std::condition_variable woken;
    };
    std::mutex mutex_;
    std::vector<Waiter*> waiters_;
    std::map<std::uint32_t, Event> events_;
    std::uint32_t nextId_ = 0x100;
};

}  // namespace qel::sim
