// qelctl: level meters and device events. `meters` reads the HSCI meter
// block, `watch` registers for driver events, both digital inputs, device
// messages and chosen feature blocks and prints each posted message (the
// `sim` lines that set meter signals, break the HSCI chain and inject notify
// responses are rig commands: sim/RigCommands.h). Devices stay open for the session, so a watch armed in one
// script line reports what later lines cause.
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

#include "device/Device.h"
#include "device/EventMessages.h"
#include "device/QelDevice.h"
#include "sim/FwFirmware.h"
#include "os/NumberText.h"
#include "tools/qelctl/Qelctl.h"

namespace qel::tools {

using Args = Qelctl::Args;

namespace {

std::string hex(const std::vector<std::uint8_t>& data) {
    std::string s;
    char buf[4];
    for (const std::uint8_t b : data) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        s += buf;
    }
    return s.empty() ? "-" : s;
}

const char* driverEventName(std::uintptr_t code) {
    switch (code) {
    case QEL_EVENT_BUS_RESET: return "bus reset";
    case QEL_EVENT_STREAMING_RESTARTED: return "streaming restarted";
    case QEL_EVENT_CONFIGURATION_CHANGED: return "configuration changed";
    case QEL_EVENT_UNREGISTERED: return "unregistered";
    default: return "other";
    }
}

// The devices opened for meters and watching, the window that formats what is
// posted to it, and the message boxes of the device layer.
class EventSession : public IWindow, public IMessageBox {
public:
    explicit EventSession(Qelctl& tool) : tool_(tool) { tool_.context().setMessageBox(this); }
    ~EventSession() override {
        for (auto& [id, d] : devices_) d->closeDevice();
        devices_.clear();
        tool_.context().setMessageBox(nullptr);
    }

    std::optional<CommandError> open(const std::string& name, CQelDevice*& device) {
        std::uint32_t id = 0;
        if (auto e = tool_.resolveDevice(name, id)) return e;
        if (const auto it = devices_.find(id); it != devices_.end()) {
            device = it->second.get();
            return std::nullopt;
        }
        auto d = std::make_unique<CQelDevice>(tool_.context(), sim::fireWireGuid(), QEL_KAVRO_COMPANY_ID);
        if (auto e = failed(d->openDevice(sim::fireWireGuid(), id))) return e;
        device = d.get();
        devices_[id] = std::move(d);
        return std::nullopt;
    }

    AVCSUFeatureBlockNotifyCMD* block(std::uint8_t fb) {
        blocks_.push_back(std::make_unique<AVCSUFeatureBlockNotifyCMD>(fb));
        return blocks_.back().get();
    }
    bool watching(std::uint32_t id) const { return watched_.count(id) != 0; }
    void setWatching(std::uint32_t id) { watched_.insert({id, true}); }

    // IWindow: runs on the event threads, with the handler's lock held, so
    // the command's data are read as the thread wrote them.
    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::uintptr_t) override {
        char head[32];
        std::snprintf(head, sizeof head, "0x%04X ", static_cast<unsigned>(message));
        std::string line = head;
        const AvcCommands& avc = tool_.context().avc();
        if (message == QEL_MSG_DRIVER_EVENT) {
            line += "driver-event " + std::to_string(wParam) + " (" + driverEventName(wParam) + ")";
        } else if (message == QEL_MSG_DEVICE_CHANGE) {
            line += std::string("device-change ") + (wParam == 0x8000 ? "arrival" : wParam == 0x8004 ? "removal" : "other");
        } else {
            const auto* cmd = reinterpret_cast<const AVC_NotifyCMD*>(wParam);
            const std::vector<std::uint8_t> data(cmd->data().begin(), cmd->data().end());
            if (message == QEL_MSG_DIGITAL_INPUT) {
                line += std::string("digital-input ") + (cmd == &avc.coaxialInput ? "1" : "2") + " detected=" +
                        std::to_string(data.size() > 0 && data[0] != 0 ? 1 : 0) + " rate=" +
                        std::to_string(data.size() > 1 ? data[1] : 15);
            } else if (message == QEL_MSG_DEVICE_MESSAGE) {
                line += "device-message";
            } else if (const auto* fb = dynamic_cast<const AVCSUFeatureBlockNotifyCMD*>(cmd)) {
                const auto v = static_cast<std::int16_t>(data.size() >= 2 ? data[0] << 8 | data[1] : 0);
                line += "feature-block " + std::to_string(fb->functionBlock()) + os::formatC(" (%g dB)", valueToDb(v));
            }
            line += " data=" + hex(data);
        }
        push(line);
    }

    void postMessageBox(const std::string& text, MessageBoxIcon) override {
        std::string shown;
        for (const char c : text) shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
        push("message-box: " + shown);
    }

    // Prints what arrives until `until` or until `most` lines are printed;
    // what is already queued first.
    void drain(std::ostream& out, std::chrono::steady_clock::time_point until, std::uint32_t most = 0xFFFFFFFF) {
        std::unique_lock lock(mutex_);
        for (std::uint32_t n = 0;;) {
            while (!lines_.empty() && n < most) {
                out << lines_.front() << "\n";
                lines_.pop_front();
                ++n;
            }
            if (n < most && changed_.wait_until(lock, until, [&] { return !lines_.empty(); })) continue;
            return;
        }
    }

private:
    void push(std::string line) {
        std::lock_guard lock(mutex_);
        if (lines_.size() < 10000) lines_.push_back(std::move(line));
        changed_.notify_all();
    }

    Qelctl& tool_;
    std::map<std::uint32_t, std::unique_ptr<CQelDevice>> devices_;
    std::vector<std::unique_ptr<AVCSUFeatureBlockNotifyCMD>> blocks_;
    std::map<std::uint32_t, bool> watched_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lines_;
};

// "--name VALUE" options after the device; false on anything else.
bool options(const Args& a, std::map<std::string, std::vector<std::string>>& opts) {
    for (std::size_t i = 1; i < a.size(); i += 2) {
        if (a[i].rfind("--", 0) != 0 || i + 1 >= a.size()) return false;
        opts[a[i]].push_back(a[i + 1]);
    }
    return true;
}

}  // namespace

void addEventCommands(Qelctl& tool) {
    auto kept = std::make_shared<EventSession>(tool);
    tool.keep(kept);
    EventSession* session = kept.get();

    tool.add("meters", "meters DEV [--count N] [--interval MS]",
             [session](const Args& a, std::ostream& out) -> std::optional<CommandError> {
                 const char* use = "meters DEV [--count N] [--interval MS]";
                 std::map<std::string, std::vector<std::string>> opts;
                 if (a.empty() || !options(a, opts)) return usage(use);
                 std::uint32_t count = 1, interval = 50;
                 for (const auto& [name, values] : opts) {
                     const auto v = parseU32(values.back());
                     if (!v || (name != "--count" && name != "--interval")) return usage(use);
                     (name == "--count" ? count : interval) = *v;
                 }
                 if (count > 100000 || interval > 60000) return usage(use);
                 CQelDevice* d = nullptr;
                 if (auto e = session->open(a[0], d)) return e;
                 const bool ok = d->initHsci();
                 session->drain(out, std::chrono::steady_clock::now());
                 if (!ok) return usage("no meter block");
                 std::vector<double> meters;
                 for (std::uint32_t n = 0; n < count; ++n) {
                     if (n != 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval));
                     if (!d->readHsciMeters(meters)) return usage("meter read failed");
                     std::string line = "meters";
                     for (const double v : meters) line += os::formatC(" %.1f", v);
                     out << line << "\n";
                 }
                 return std::nullopt;
             });

    tool.add("watch", "watch DEV [--seconds S] [--count N] [--block B]...",
             [session, &tool](const Args& a, std::ostream& out) -> std::optional<CommandError> {
                 const char* use = "watch DEV [--seconds S] [--count N] [--block B]...";
                 std::map<std::string, std::vector<std::string>> opts;
                 if (a.empty() || !options(a, opts)) return usage(use);
                 double seconds = 5;
                 std::uint32_t most = 0xFFFFFFFF;  // --count: stop after this many messages
                 std::vector<std::uint8_t> blocks;
                 for (const auto& [name, values] : opts) {
                     for (const std::string& v : values) {
                         if (name == "--seconds") {
                             const auto s = parseDouble(v);
                             if (!s || *s < 0 || *s > 3600) return usage(use);
                             seconds = *s;
                         } else if (name == "--count") {
                             const auto c = parseU32(v);
                             if (!c) return usage(use);
                             most = *c;
                         } else if (name == "--block") {
                             const auto b = parseU32(v);
                             if (!b || *b > 255) return usage(use);
                             blocks.push_back(static_cast<std::uint8_t>(*b));
                         } else {
                             return usage(use);
                         }
                     }
                 }
                 CQelDevice* d = nullptr;
                 if (auto e = session->open(a[0], d)) return e;
                 AvcCommands& avc = tool.context().avc();
                 if (!session->watching(d->deviceId())) {
                     session->setWatching(d->deviceId());
                     if (!d->registerForDriverEvents(0, session, QEL_MSG_DRIVER_EVENT))
                         out << "watch: driver events not available\n";
                     d->registerForAVCEvents(&avc.coaxialInput, session, QEL_MSG_DIGITAL_INPUT);
                     d->registerForAVCEvents(&avc.opticalInput, session, QEL_MSG_DIGITAL_INPUT);
                     d->registerForAVCEvents(&avc.deviceMessage, session, QEL_MSG_DEVICE_MESSAGE);
                 }
                 for (const std::uint8_t b : blocks)
                     if (!d->registerForAVCEvents(session->block(b), session, QEL_MSG_FEATURE_BLOCK))
                         out << "watch: block " << unsigned{b} << " not armed\n";
                 session->drain(out, std::chrono::steady_clock::now() +
                                         std::chrono::milliseconds(static_cast<long long>(seconds * 1000)),
                                most);
                 return std::nullopt;
             });
}

}  // namespace qel::tools
