#pragma once
// Test doubles for the device layer's upward interfaces: a window that
// records posted messages and a message-box recorder; both thread-safe.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "device/MessageBox.h"
#include "device/Window.h"

namespace qel::test {

struct Posted {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::uintptr_t lParam = 0;
    std::vector<std::uint8_t> data;  // the command's data when wParam is a command
};

class RecordingWindow : public IWindow {
public:
    // Optionally decodes the command object behind wParam at post time.
    std::function<std::vector<std::uint8_t>(std::uint32_t, std::uintptr_t)> snapshot;

    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::uintptr_t lParam) override {
        std::lock_guard lock(mutex_);
        Posted p{message, wParam, lParam, {}};
        if (snapshot) p.data = snapshot(message, wParam);
        posted_.push_back(std::move(p));
        changed_.notify_all();
    }
    std::vector<Posted> posted() const {
        std::lock_guard lock(mutex_);
        return posted_;
    }
    std::size_t count(std::uint32_t message, std::uintptr_t wParam) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const Posted& p : posted_) n += p.message == message && p.wParam == wParam ? 1 : 0;
        return n;
    }
    // Waits (generously) until `pred` holds over the posted messages.
    bool waitFor(const std::function<bool(const std::vector<Posted>&)>& pred,
                 std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return pred(posted_); });
    }
    bool waitForCount(std::size_t n) const {
        return waitFor([n](const std::vector<Posted>& p) { return p.size() >= n; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Posted> posted_;
};

class MessageBoxRecorder : public IMessageBox {
public:
    void postMessageBox(const std::string& text, MessageBoxIcon) override {
        std::lock_guard lock(mutex_);
        texts_.push_back(text);
        changed_.notify_all();
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    bool waitForCount(std::size_t n) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return texts_.size() >= n; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> texts_;
};

}  // namespace qel::test
