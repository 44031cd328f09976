// The notificator's worker against the rig: its own handle and event, the
// stored message posted per driver event, and start/stop in every order.
#include "controlpanel/driver/Qel1394Notificator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "controlpanel/driver/tests/CplFixture.h"
#include "device/Requests.h"

using namespace qel;
using namespace qel::cpl;
using namespace std::chrono_literals;
using qel::cpl::test::CplFixture;

namespace {
struct Posted {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// Records posts; can be made to block inside post until released.
class RecordingTarget : public IWindow {
public:
    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::uintptr_t lParam) override {
        std::unique_lock lock(mutex_);
        posts_.push_back({message, wParam, static_cast<std::intptr_t>(lParam)});
        changed_.notify_all();
        changed_.wait(lock, [&] { return !blocking_; });
        ++returned_;
    }
    // Posts that have returned.
    std::size_t returned() {
        std::lock_guard lock(mutex_);
        return returned_;
    }
    bool waitForPosts(std::size_t n, std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return posts_.size() >= n; });
    }
    std::vector<Posted> posts() {
        std::lock_guard lock(mutex_);
        return posts_;
    }
    void setBlocking(bool on) {
        std::lock_guard lock(mutex_);
        blocking_ = on;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Posted> posts_;
    std::size_t returned_ = 0;
    bool blocking_ = false;
};

constexpr std::uint32_t kMessage = 0x8001;

// The event value a QEL_REQ_REGISTER_EVENT line of the trace carries.
std::uint32_t registeredEvent(const std::vector<std::string>& trace) {
    const std::string head = "fw QEL_REQ_REGISTER_EVENT ok in=";
    for (const std::string& line : trace) {
        if (line.rfind(head, 0) != 0) continue;
        const auto le = static_cast<std::uint32_t>(std::strtoul(line.substr(head.size(), 8).c_str(), nullptr, 16));
        return (le >> 24) | ((le >> 8) & 0xFF00) | ((le << 8) & 0xFF0000) | (le << 24);
    }
    return 0;
}
}  // namespace

class Notificator : public CplFixture {
protected:
    // The target outlives the notificator, whose worker may still post to it
    // until the notificator's destructor has stopped it.
    RecordingTarget target;
    CQel1394Notificator notificator{os, controlPanelDriverGuid()};
};

TEST_F(Notificator, StartRegistersAnEventOnItsOwnHandle) {
    notificator.setTarget(&target, kMessage, 5, -7);
    ASSERT_EQ(notificator.start(), QEL_OK);
    EXPECT_TRUE(notificator.hasWorker());
    EXPECT_TRUE(notificator.isOpen());
    const auto t = trace();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "fw QEL_REQ_GET_DRIVER_VERSION ok in=- out=020e00000100000000000000");
    ASSERT_EQ(t[1].rfind("fw QEL_REQ_REGISTER_EVENT ok in=", 0), 0u);
    // The registered value names a live event of the platform.
    const std::string hex = t[1].substr(std::string("fw QEL_REQ_REGISTER_EVENT ok in=").size(), 8);
    const auto le = static_cast<std::uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
    const std::uint32_t value = (le >> 24) | ((le >> 8) & 0xFF00) | ((le << 8) & 0xFF0000) | (le << 24);
    EXPECT_TRUE(rig->kernel().isEvent(value));

    rig->queueDriverEvent(2);
    ASSERT_TRUE(target.waitForPosts(1));
    const auto p = target.posts();
    EXPECT_EQ(p[0].message, kMessage);
    EXPECT_EQ(p[0].wParam, 5u);
    EXPECT_EQ(p[0].lParam, -7);
    // The worker only posts: the event is fetched by the receiver, nothing is sent.
    EXPECT_TRUE(trace().empty());

    // The panel's driver object and the notificator do not share a handle.
    drv.closeDriver();
    EXPECT_TRUE(notificator.isOpen());
    EXPECT_EQ(notificator.stop(), QEL_OK);
}

TEST_F(Notificator, EachDriverEventPostsTheTargetOfTheMoment) {
    // Each target is set only after the worker has posted the event before
    // it, so no event can be taken for the wrong target.
    ASSERT_EQ(notificator.start(), QEL_OK);
    notificator.setTarget(&target, kMessage, 0, 0);
    rig->queueDriverEvent(3);
    ASSERT_TRUE(target.waitForPosts(1));
    notificator.setTarget(&target, kMessage + 1, 9, 9);
    rig->queueDriverEvent(2);
    ASSERT_TRUE(target.waitForPosts(2));
    notificator.setTarget(nullptr, 0, 0, 0);
    rig->queueDriverEvent(2);  // no target: nothing posted
    std::this_thread::sleep_for(100ms);
    const auto p = target.posts();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1].message, kMessage + 1);
    EXPECT_EQ(p[1].wParam, 9u);
}

TEST_F(Notificator, StopWithoutStartOnlyClosesTheHandle) {
    EXPECT_EQ(notificator.stop(), QEL_OK);
    EXPECT_FALSE(notificator.hasWorker());
    EXPECT_FALSE(notificator.isOpen());
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(notificator.stop(), QEL_OK);
}

TEST_F(Notificator, StopEndsTheWorkerAndStartRunsItAgain) {
    notificator.setTarget(&target, kMessage, 0, 0);
    ASSERT_EQ(notificator.start(), QEL_OK);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(notificator.stop(), QEL_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_FALSE(notificator.hasWorker());
    EXPECT_FALSE(notificator.isOpen());
    rig->queueDriverEvent(2);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(target.posts().empty());

    // A second start while running changes nothing.
    ASSERT_EQ(notificator.start(), QEL_OK);
    trace();
    EXPECT_EQ(notificator.start(), QEL_OK);
    EXPECT_TRUE(trace().empty());
    rig->queueDriverEvent(3);
    ASSERT_TRUE(target.waitForPosts(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(target.posts().size(), 1u);  // one worker, one post
}

TEST_F(Notificator, FailedStartLeavesNoWorkerAndNoHandle) {
    rig->setVersionAnswer({2, 13});
    EXPECT_EQ(notificator.start(), QEL_E_VERSION_MISMATCH);
    EXPECT_FALSE(notificator.hasWorker());
    EXPECT_FALSE(notificator.isOpen());

    rig->setVersionAnswer({2, 14});
    rig->failNext(QEL_REQ_REGISTER_EVENT, 1, os::kErrorGenFailure);
    EXPECT_EQ(notificator.start(), os::kErrorGenFailure);
    EXPECT_FALSE(notificator.hasWorker());
    EXPECT_FALSE(notificator.isOpen());
    const auto t = trace();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[2].rfind("fw QEL_REQ_REGISTER_EVENT 0x0000001F", 0), 0u);

    EXPECT_EQ(notificator.start(), QEL_OK);  // the next try succeeds
    EXPECT_EQ(notificator.stop(), QEL_OK);
}

TEST_F(Notificator, WorkerStuckPastTheLimitIsAbandonedAndReported) {
    CQel1394Notificator quick(os, controlPanelDriverGuid(), 100ms);
    target.setBlocking(true);
    quick.setTarget(&target, kMessage, 0, 0);
    ASSERT_EQ(quick.start(), QEL_OK);
    rig->queueDriverEvent(2);
    ASSERT_TRUE(target.waitForPosts(1));  // the worker now hangs in post
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(quick.stop(), QEL_E_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
    EXPECT_FALSE(quick.hasWorker());
    EXPECT_FALSE(quick.isOpen());  // closed in every case
    target.setBlocking(false);
    // Once the old worker is gone a new one starts and works.
    ASSERT_EQ(quick.start(), QEL_OK);
    rig->queueDriverEvent(2);
    ASSERT_TRUE(target.waitForPosts(2));
    EXPECT_EQ(quick.stop(), QEL_OK);
}

// Destroyed while its worker hangs in a post past the limit, the notificator
// goes without it (joining it would never return here); the events the worker
// waits on stay with it and go when it ends.
TEST_F(Notificator, DestroyedWithAWorkerStuckPastTheLimitGoesOnWithoutIt) {
    target.setBlocking(true);
    std::uint32_t event = 0;
    {
        CQel1394Notificator quick(os, controlPanelDriverGuid(), 100ms);
        quick.setTarget(&target, kMessage, 0, 0);
        ASSERT_EQ(quick.start(), QEL_OK);
        event = registeredEvent(trace());
        ASSERT_TRUE(rig->kernel().isEvent(event));
        rig->queueDriverEvent(2);
        ASSERT_TRUE(target.waitForPosts(1));
    }
    EXPECT_EQ(target.returned(), 0u);
    EXPECT_TRUE(rig->kernel().isEvent(event));
    target.setBlocking(false);
    for (int i = 0; i < 2000 && rig->kernel().isEvent(event); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(rig->kernel().isEvent(event));
    EXPECT_EQ(target.returned(), 1u);
    EXPECT_EQ(target.posts().size(), 1u);
}

TEST_F(Notificator, DestroyingARunningNotificatorStopsIt) {
    {
        CQel1394Notificator running(os, controlPanelDriverGuid());
        running.setTarget(&target, kMessage, 0, 0);
        ASSERT_EQ(running.start(), QEL_OK);
        rig->queueDriverEvent(2);
        ASSERT_TRUE(target.waitForPosts(1));
    }
    rig->queueDriverEvent(2);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(target.posts().size(), 1u);
}
