#pragma once
// Rig files: a rig's devices, driver settings and a timeline of physical
// events, written as text. Loading never trusts the text: every error names
// its line, and sizes and counts are bounded.
//
//   # a comment (whole lines only, so names may hold '#')
//   [driver]
//   rates 44100 48000 96000
//   rate 48000
//   [firewire 1]
//   name Studio 610
//   sync 4 1 internal
//   blocks 1 2 3 4
//   meters 8
//   meter all sine 80
//   channels in 4 Analog In {n}
//   [usb 0x10]
//   model Kavro U410
//   [timeline]
//   at 2s plug 1
//   at 3s knob 1 2 0 -12
//   at 5s bus-reset
//   at 6s input 0x10 1 locked 3   # any rig command (sim/RigCommands.h)
//   at 7s reenumerate 0x10 500    # unplug now, plug 500 ms later
//
// resources/rigs/default.rig documents every key. Typical use:
//
//   std::string error;
//   Timeline timeline;
//   auto rig = loadRigFile(path, error, &timeline);
//   if (!rig) { print(error); return 1; }
//   TimelineRunner runner(*rig, std::move(timeline));
//   runner.start();            // fires the events on its own thread
//   ...                        // runner.stop() or its destructor ends it
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/ControlPanelState.h"
#include "sim/FwFirmware.h"
#include "sim/FwMemory.h"
#include "sim/Rig.h"
#include "sim/UsbDevice.h"

namespace qel::sim {

// Bounds of what a rig file may describe.
struct RigFileLimits {
    static constexpr std::size_t kMaxText = 1 << 20;  // bytes
    static constexpr std::size_t kMaxLine = 4096;     // bytes
    static constexpr std::size_t kMaxDevices = 64;
    static constexpr std::size_t kMaxSyncModes = 16;
    static constexpr std::size_t kMaxRates = 8;
    static constexpr std::size_t kMaxMeters = 1024;
    static constexpr std::size_t kMaxChannels = 1024;  // all devices together
    static constexpr std::size_t kMaxUsbLevels = 64;
    static constexpr std::size_t kMaxEvents = 10000;
    static constexpr std::size_t kMaxName = 255;  // names and other texts
    static constexpr std::chrono::milliseconds kMaxTime{24 * 3600 * 1000};
};

// One timeline entry: a rig command (sim/RigCommands.h) and when it fires.
struct RigEvent {
    std::chrono::milliseconds at{0};
    std::size_t line = 0;            // where the file wrote it
    std::vector<std::string> words;  // the command's name first
};

// The events of a rig file in the order they fire (by time; file order
// within the same time).
using Timeline = std::vector<RigEvent>;

// A time of a timeline: "2s", "1.5s", "250ms", at most 24 h.
std::optional<std::chrono::milliseconds> parseRigTime(std::string_view text);

// Applies one event now; false when the rig refuses it (a device already
// present or absent, an event its firmware does not take).
bool applyRigEvent(Rig& rig, const RigEvent& event);

// Loads a rig from text (or a file); null with `error` set ("line N: ...")
// when the text is not a valid rig. The timeline, if any, goes to `timeline`.
std::unique_ptr<Rig> loadRig(std::string_view text, std::string& error, Timeline* timeline = nullptr);
std::unique_ptr<Rig> loadRigFile(const std::string& path, std::string& error, Timeline* timeline = nullptr);

// The text of the compiled-in rig (resources/rigs/default.rig).
std::string_view defaultRigText();

// ---- Parsed form, for callers that add devices to a rig of their own

struct RigDescription {
    struct Meter {
        std::uint32_t index = 0;
        bool all = false;
        FwMemory::Signal signal = FwMemory::Signal::Silence;
        double level = 100;
        std::optional<std::uint32_t> raw;
    };
    struct Volume {
        std::uint8_t block = 0, channel = 0;
        double db = 0;
    };
    struct Channel {
        ChannelDirection direction = ChannelDirection::In;
        std::string hardwareName, name;
    };
    struct Plug {
        std::uint32_t plug = 0, state = 0, code = 0;
    };
    struct FwDevice {
        FwDeviceModel model;  // without firmware
        bool present = true;
        std::vector<std::uint8_t> blocks;
        std::uint32_t companyId = kKavroCompanyId;
        std::uint32_t meters = 8;
        std::uint8_t hsciVersion = 2;
        std::vector<Meter> signals;
        std::vector<Volume> volumes;
        std::vector<std::pair<int, FwFirmware::DigitalInput>> inputs;
        std::vector<Channel> channels;
        std::vector<Plug> plugs;
    };
    struct UsbDevice {
        UsbDeviceModel model;
        bool present = true;
    };
    // Devices in file order: (bus, index into fw or usb).
    std::vector<std::pair<Bus, std::size_t>> order;
    std::vector<FwDevice> fw;
    std::vector<UsbDevice> usb;

    std::optional<Rig::SampleRates> rates;
    std::optional<std::vector<std::uint8_t>> version;
    std::array<std::optional<BufferSetting>, 3> buffers;
    std::optional<std::uint32_t> dropouts, asioNameOption;
    bool wdmInUse = false;

    Timeline timeline;
};

std::optional<RigDescription> parseRig(std::string_view text, std::string& error);
// Adds the described devices and settings to `rig`.
void buildRig(const RigDescription& description, Rig& rig);

// ---- Running a timeline

// Time as the timeline sees it, from the runner's start.
class TimelineClock {
public:
    virtual ~TimelineClock() = default;
    virtual std::chrono::milliseconds now() = 0;
    // Returns when now() >= `deadline` or after interrupt(); an interrupt
    // that came before the call ends the next call at once.
    virtual void sleepUntil(std::chrono::milliseconds deadline) = 0;
    virtual void interrupt() = 0;
};

// The steady clock, from construction.
class SteadyTimelineClock final : public TimelineClock {
public:
    SteadyTimelineClock();
    std::chrono::milliseconds now() override;
    void sleepUntil(std::chrono::milliseconds deadline) override;
    void interrupt() override;

private:
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool interrupted_ = false;
};

// A clock that moves only when told to (tests).
class ManualTimelineClock final : public TimelineClock {
public:
    std::chrono::milliseconds now() override;
    void sleepUntil(std::chrono::milliseconds deadline) override;
    void interrupt() override;
    void advanceTo(std::chrono::milliseconds t);
    // Blocks until a thread sleeps in sleepUntil for a deadline after now():
    // everything due has been handled.
    void waitForSleeper();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::chrono::milliseconds now_{0};
    std::chrono::milliseconds deadline_{0};
    bool interrupted_ = false;
    bool sleeping_ = false;
};

// Fires a timeline's events against a rig on its own thread.
class TimelineRunner {
public:
    // Called on the runner's thread after each event with applyRigEvent's result.
    using Observer = std::function<void(const RigEvent&, bool applied)>;

    // Without a clock the runner uses a SteadyTimelineClock made at start().
    TimelineRunner(Rig& rig, Timeline timeline, std::shared_ptr<TimelineClock> clock = nullptr);
    ~TimelineRunner();  // stops
    TimelineRunner(const TimelineRunner&) = delete;
    TimelineRunner& operator=(const TimelineRunner&) = delete;

    void setObserver(Observer observer);  // before start()
    void start();
    // Ends the thread promptly, between events; the rest do not fire.
    // stop() and wait() belong to the thread that owns the runner.
    void stop();
    // Blocks until every event fired (or stop()).
    void wait();
    std::size_t fired() const;

private:
    void run();

    Rig& rig_;
    Timeline timeline_;
    std::shared_ptr<TimelineClock> clock_;
    Observer observer_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> fired_{0};
    std::thread thread_;
};

}  // namespace qel::sim
