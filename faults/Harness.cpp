// What the fault matrix and the chaos soak share.
#include "faults/Harness.h"

#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "os/remote/RemoteOs.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace qel::faults {
namespace {
constexpr int kStallTickMs = 5;
constexpr std::uint32_t kConnectWaitMs = 2000;
}  // namespace

std::unique_ptr<os::IOs> InProcessPlatform::Open()
{
    return std::make_unique<os::SimOs>(m_rig);
}

std::unique_ptr<os::IOs> RigProcessPlatform::Open()
{
    // A rig process that is restarting is waited for, as a program waits at start.
    auto os = std::make_unique<os::RemoteOs>(m_socket, kConnectWaitMs);
    os->waitConnected(kConnectWaitMs);
    return os;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= limit.count())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Pump(std::chrono::milliseconds time)
{
    PumpUntil([] { return false; }, time);
}

StallMeter::StallMeter()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_clock.restart()); });
}

void StallMeter::Start()
{
    m_clock.start();
    m_timer.start(kStallTickMs);
}

void StallMeter::Stop()
{
    m_longest = std::max(m_longest, m_clock.elapsed());
    m_timer.stop();
}

std::string Counts::Text() const
{
    char s[160];
    std::snprintf(s, sizeof s, "%zu handles, %zu events, %zu registrations, %zu pending requests, %zu threads", files,
                  events, registrations, pending, threads);
    return s;
}

std::size_t ThreadCount()
{
    std::error_code ec;
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

Counts Count(sim::Rig& rig)
{
    return {rig.fileCount(), rig.kernel().eventCount(), rig.notificationCount(), rig.pendingRequests(),
            ThreadCount()};
}

DriverSettings ReadDriverSettings(sim::Rig& rig)
{
    DriverSettings out;
    for (std::uint32_t id : rig.presentFwDevices())
        rig.withFwDevice(id, [&](sim::FwDeviceModel& m) {
            out.devices[id] = std::to_string(m.rank) + " " + m.deviceName;
        });
    rig.withControlPanel([&](sim::ControlPanelState& s) {
        std::ostringstream t;
        for (const auto& c : s.channels)
            t << c.deviceId << '/' << c.id << ' ' << c.name << '\n';
        for (const auto& b : s.buffers)
            t << b.minimum << ' ' << b.step << ' ' << b.current << ' ' << b.maximum << '\n';
        t << s.asioNameOption << '\n';
        out.shared = t.str();
    });
    out.shared += "rate " + std::to_string(rig.sampleRates().current) + '\n';
    return out;
}

std::vector<std::string> DriverSettingsChanged(const DriverSettings& before, sim::Rig& rig)
{
    const DriverSettings now = ReadDriverSettings(rig);
    std::vector<std::string> changes;
    for (const auto& [id, was] : before.devices) {
        const auto it = now.devices.find(id);
        if (it != now.devices.end() && it->second != was)
            changes.push_back("device " + std::to_string(id) + " was \"" + was + "\" and is \"" + it->second + "\"");
    }
    if (now.shared != before.shared)
        changes.push_back("the driver's channels, buffers or sampling rate changed");
    return changes;
}

}  // namespace qel::faults
