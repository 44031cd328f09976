#pragma once
// What the fault matrix and the chaos soak share: running the event loop,
// the stall meter, what the seam holds open, and the driver's settings.
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "faults/ProgramUnderTest.h"

namespace qel::sim {
class Rig;
}

namespace qel::faults {

// The program on a rig of this process.
class InProcessPlatform final : public Platform {
public:
    explicit InProcessPlatform(sim::Rig& rig) : m_rig(rig) {}
    std::unique_ptr<os::IOs> Open() override;
    sim::Rig* InProcess() override { return &m_rig; }

private:
    sim::Rig& m_rig;
};

// The program on the rig process listening at `socket`.
class RigProcessPlatform final : public Platform {
public:
    explicit RigProcessPlatform(std::string socket) : m_socket(std::move(socket)) {}
    std::unique_ptr<os::IOs> Open() override;
    sim::Rig* InProcess() override { return nullptr; }

private:
    std::string m_socket;
};

inline constexpr qint64 kStallLimitMs = 250;

// Runs the event loop until `done` holds or `limit` passes; whether it held.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
void Pump(std::chrono::milliseconds time);

// The window thread's longest gap between two ticks of a 5 ms timer.
class StallMeter {
public:
    StallMeter();
    void Start();
    void Stop();
    qint64 LongestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// What the seam holds open, and this process's threads.
struct Counts {
    std::size_t files = 0, events = 0, registrations = 0, pending = 0, threads = 0;
    bool operator==(const Counts&) const = default;
    std::string Text() const;
};
Counts Count(sim::Rig& rig);
std::size_t ThreadCount();  // of this process

// The driver's settings the control panel edits: rank and name per device
// on the bus, and the channels, buffers, ASIO name option and sampling rate.
struct DriverSettings {
    std::map<std::uint32_t, std::string> devices;
    std::string shared;
};
DriverSettings ReadDriverSettings(sim::Rig& rig);
// What changed from `before` to the rig's settings now, one text a change;
// a device on the bus only at one of the two times is no change.
std::vector<std::string> DriverSettingsChanged(const DriverSettings& before, sim::Rig& rig);

}  // namespace qel::faults
