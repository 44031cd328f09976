// Running a rig file's timeline: the clocks and the runner thread.
#include "sim/RigFile.h"

#include <algorithm>

namespace qel::sim {

SteadyTimelineClock::SteadyTimelineClock() : start_(std::chrono::steady_clock::now()) {}

std::chrono::milliseconds SteadyTimelineClock::now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
}

void SteadyTimelineClock::sleepUntil(std::chrono::milliseconds deadline) {
    std::unique_lock lock(mutex_);
    cv_.wait_until(lock, start_ + deadline, [this] { return interrupted_; });
    interrupted_ = false;
}

void SteadyTimelineClock::interrupt() {
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
    }
    cv_.notify_all();
}

std::chrono::milliseconds ManualTimelineClock::now() {
    std::lock_guard lock(mutex_);
    return now_;
}

void ManualTimelineClock::sleepUntil(std::chrono::milliseconds deadline) {
    std::unique_lock lock(mutex_);
    sleeping_ = true;
    deadline_ = deadline;
    cv_.notify_all();
    cv_.wait(lock, [&] { return now_ >= deadline || interrupted_; });
    sleeping_ = false;
    interrupted_ = false;
}

void ManualTimelineClock::interrupt() {
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
    }
    cv_.notify_all();
}

void ManualTimelineClock::advanceTo(std::chrono::milliseconds t) {
    {
        std::lock_guard lock(mutex_);
        now_ = std::max(now_, t);
    }
    cv_.notify_all();
}

void ManualTimelineClock::waitForSleeper() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return sleeping_ && deadline_ > now_; });
}

TimelineRunner::TimelineRunner(Rig& rig, Timeline timeline, std::shared_ptr<TimelineClock> clock)
    : rig_(rig), timeline_(std::move(timeline)), clock_(std::move(clock)) {
    std::stable_sort(timeline_.begin(), timeline_.end(),
                     [](const RigEvent& a, const RigEvent& b) { return a.at < b.at; });
}

TimelineRunner::~TimelineRunner() { stop(); }

void TimelineRunner::setObserver(Observer observer) { observer_ = std::move(observer); }

void TimelineRunner::start() {
    if (thread_.joinable()) return;
    if (!clock_) clock_ = std::make_shared<SteadyTimelineClock>();
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void TimelineRunner::stop() {
    stop_ = true;
    if (clock_) clock_->interrupt();
    if (thread_.joinable()) thread_.join();
}

void TimelineRunner::wait() {
    if (thread_.joinable()) thread_.join();
}

std::size_t TimelineRunner::fired() const { return fired_; }

void TimelineRunner::run() {
    std::size_t next = fired_;
    while (next < timeline_.size() && !stop_) {
        const RigEvent& e = timeline_[next];
        if (clock_->now() < e.at) {
            clock_->sleepUntil(e.at);
            continue;
        }
        const bool applied = applyRigEvent(rig_, e);
        ++next;
        fired_ = next;
        if (observer_) observer_(e, applied);
    }
}

}  // namespace qel::sim
