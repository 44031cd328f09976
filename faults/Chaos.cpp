// The chaos soak (see Chaos.h).
#include "faults/Chaos.h"

// Before Qt, whose `signals` keyword is a member name there.
#include "sim/RigFile.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "faults/Harness.h"
#include "faults/ProgramUnderTest.h"
#include "ui/MessageBoxRecorder.h"

namespace qel::faults {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

constexpr Ms kFaultPhase = 7s;
constexpr Ms kRound = 10s;
constexpr Ms kCheckAt = 9500ms;  // after 2.5 s of quiet
constexpr std::chrono::seconds kLeakWait = 15s;

// The faults of one round, drawn from `random`: the fault matrix's kinds on
// the default rig's devices (1 and 2 on FireWire, 16 on USB). A device taken
// off the bus is back before the quiet phase; the quiet phase begins with
// every injected fault cleared.
class FaultDraw {
public:
    explicit FaultDraw(std::mt19937& random) : m_random(random) {}

    sim::Timeline Round()
    {
        m_events.clear();
        m_busyUntil.clear();
        for (Ms t = Pick(20, 300); t < kFaultPhase - 200ms; t += Pick(20, 300))
            One(t);
        Add(kFaultPhase, {"clear-faults"});
        std::stable_sort(m_events.begin(), m_events.end(),
                         [](const sim::RigEvent& a, const sim::RigEvent& b) { return a.at < b.at; });
        return m_events;
    }

private:
    Ms Pick(int low, int high) { return Ms(std::uniform_int_distribution<int>(low, high)(m_random)); }
    int Number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    std::string Device(std::initializer_list<const char*> ids)
    {
        std::vector<const char*> v(ids);
        return v[std::size_t(Number(0, int(v.size()) - 1))];
    }
    static std::string Hex(int v)
    {
        char s[8];
        std::snprintf(s, sizeof s, "%02x", v & 0xFF);
        return s;
    }
    void Add(Ms at, std::vector<std::string> words) { m_events.push_back({at, 0, std::move(words)}); }
    // Off the bus from `at`, back within 1.5 s (and before the quiet phase).
    void Away(Ms at, const std::string& device)
    {
        if (m_busyUntil[device] > at)
            return;
        const Ms back = std::min(at + Pick(50, 1500), kFaultPhase - 100ms);
        m_busyUntil[device] = back + 1ms;
        Add(at, {"unplug", device});
        Add(back, {"plug", device});
    }

    void One(Ms t)
    {
        static const char* const kRequests[] = {"QEL_REQ_AVC_TRANSACTION", "QEL_REQ_ASYNC_READ_BLOCK",
                                                "QEL_USB_REQ_CONTROL_TRANSFER", "QEL_REQ_GET_DEVICE_PROPERTIES",
                                                "QEL_REQ_GET_SAMPLE_RATE_INFO", "QEL_REQ_GET_NOTIFY_RESPONSE"};
        const std::string request = kRequests[Number(0, 5)];
        switch (Number(0, 13)) {
        case 0: Add(t, {"bus-reset"}); break;
        case 1: Add(t, {"streaming-restarted"}); break;
        case 2: Add(t, {"configuration-changed"}); break;
        case 3: {
            static const char* const kWatched[][3] = {{"1", "3", "0"}, {"2", "6", "0"}, {"2", "8", "0"}};
            const auto& w = kWatched[Number(0, 2)];
            Add(t, {"knob", w[0], w[1], w[2], std::to_string(Number(-40, 0))});
            break;
        }
        case 4: Away(t, Device({"1", "2", "16"})); break;
        case 5: {
            static const char* const kHsci[][2] = {{"endless", ""}, {"zero-step", "1"}, {"short", "1"},
                                                   {"broken", ""}, {"version", "7"}};
            const auto& h = kHsci[Number(0, 4)];
            const std::string device = Device({"1", "2"});
            std::vector<std::string> words{"hsci", device, h[0]};
            if (*h[1] != '\0') words.emplace_back(h[1]);
            Add(t, words);
            Add(std::min(t + Pick(100, 1500), kFaultPhase - 100ms), {"hsci", device, "ok"});
            break;
        }
        case 6: {
            // REJECTED or NOT IMPLEMENTED. An INTERIM that no final answer
            // follows cannot be told from a NOTIFY armed: when it meets a
            // re-arm, the block's changes stay unseen, by any program.
            static const char* const kCodes[] = {"0x0A", "0x08"};
            Add(t, {"avc-reply", Device({"1", "2"}), kCodes[Number(0, 1)]});
            break;
        }
        case 7: {
            std::vector<std::string> words{"answer", "QEL_REQ_AVC_TRANSACTION"};
            for (int n = Number(0, 16); n > 0; --n) words.push_back(Hex(Number(0, 255)));
            Add(t, words);
            break;
        }
        case 8:
            // A failed fetch of a NOTIFY response ends the device's AV/C
            // thread with a box, as it is meant to; the soak leaves it out.
            if (request != "QEL_REQ_GET_NOTIFY_RESPONSE")
                Add(t, {"fail", request, std::to_string(Number(1, 5)), "0xE0000001"});
            break;
        case 9:
            Add(t, {"delay", request, std::to_string(Number(2, 10))});
            Add(std::min(t + Pick(100, 800), kFaultPhase - 100ms), {"delay", request, "0"});
            break;
        case 10: Add(t, {"message", Device({"2", "16"}), "0x0" + std::to_string(Number(1, 7))}); break;
        case 11: Add(t, {"input", "2", std::to_string(Number(1, 2)), Number(0, 1) ? "locked" : "unlocked",
                         std::to_string(Number(0, 1) ? 4 : 15)});
            break;
        case 12: Away(t, "16"); break;
        default: Add(t, {"event", std::to_string(Number(0, 200))}); break;
        }
    }

    std::mt19937& m_random;
    sim::Timeline m_events;
    std::map<std::string, Ms> m_busyUntil;
};

}  // namespace

int RunChaos(std::chrono::seconds length, std::uint32_t seed, bool verbose)
{
    std::printf("chaos %s: seed %u, %lld s\n", ProgramName(), seed, static_cast<long long>(length.count()));
    std::fflush(stdout);
    std::mt19937 random(seed);
    FaultDraw draw(random);
    auto rig = sim::Rig::makeDefault();
    CMessageBoxRecorder boxes;
    const Counts before = Count(*rig);
    const DriverSettings settingsBefore = ReadDriverSettings(*rig);
    std::vector<std::string> failures;
    qint64 longest = 0;
    int rounds = 0;
    std::size_t faults = 0, actions = 0;
    {
        InProcessPlatform platform(*rig);
        auto program = MakeProgram(platform);
        if (!program->Start()) {
            std::printf("FAIL chaos %s seed %u: the program ended at start-up\n", ProgramName(), seed);
            return 1;
        }
        QElapsedTimer clock;
        clock.start();
        while (failures.empty() && clock.elapsed() < std::chrono::duration_cast<Ms>(length).count()) {
            ++rounds;
            const sim::Timeline timeline = draw.Round();
            faults += timeline.size();
            if (verbose)
                for (const sim::RigEvent& e : timeline) {
                    std::string words;
                    for (const std::string& w : e.words) words += " " + w;
                    std::printf("  round %d at %lldms%s\n", rounds + 0, static_cast<long long>(e.at.count()), words.c_str());
                }
            // The user's actions of the round, drawn before it runs.
            std::vector<std::pair<Ms, std::uint32_t>> plan;
            for (Ms t = Ms(std::uniform_int_distribution<int>(50, 400)(random)); t < kFaultPhase;
                 t += Ms(std::uniform_int_distribution<int>(50, 400)(random)))
                plan.emplace_back(t, random());
            actions += plan.size();

            // The rig's request trace of this round only: its AV/C and USB
            // control requests are printed with --verbose when the round
            // fails (kept whole, the trace would grow for hours).
            rig->takeTrace();
            StallMeter stalls;
            stalls.Start();
            QElapsedTimer round;
            round.start();
            sim::TimelineRunner runner(*rig, timeline);
            runner.start();
            std::size_t next = 0;
            QTimer user;
            QObject::connect(&user, &QTimer::timeout, [&] {
                for (; next < plan.size() && round.elapsed() >= plan[next].first.count(); ++next) {
                    std::mt19937 act(plan[next].second);
                    program->UserAction(act);
                }
            });
            user.start(10);
            PumpUntil([&] { return round.elapsed() >= kCheckAt.count(); }, kRound);
            user.stop();
            runner.wait();
            stalls.Stop();
            longest = std::max(longest, stalls.LongestMs());
            if (stalls.LongestMs() > kStallLimitMs)
                failures.push_back("the window thread stalled " + std::to_string(stalls.LongestMs()) + " ms");
            for (std::string& f : program->Check(Expectations{}))
                failures.push_back(std::move(f));
            for (std::string& f : DriverSettingsChanged(settingsBefore, *rig))
                failures.push_back(std::move(f));
            if (!failures.empty()) {
                failures.insert(failures.begin(), "round " + std::to_string(rounds) + ":");
                if (verbose)
                    for (const std::string& line : rig->takeTrace())
                        if (line.find("AVC_TRANSACTION") != std::string::npos ||
                            line.find("CONTROL_TRANSFER") != std::string::npos)
                            std::printf("  trace: %s\n", line.c_str());
            }
            Pump(kRound - Ms(round.elapsed()) > 0ms ? kRound - Ms(round.elapsed()) : 0ms);
        }
        program->Stop();
    }
    Counts after;
    PumpUntil([&] { return (after = Count(*rig)) == before; }, kLeakWait);
    if (!(after == before))
        failures.push_back("left behind: " + after.Text() + "; before: " + before.Text());

    std::printf("%s chaos %s seed %u: %d rounds, %zu faults, %zu user actions, %zu boxes, longest stall %lld ms\n",
                failures.empty() ? "PASS" : "FAIL", ProgramName(), seed, rounds, faults, actions,
                static_cast<std::size_t>(boxes.Entries().size()), static_cast<long long>(longest));
    for (const std::string& f : failures)
        std::printf("  %s\n", f.c_str());
    return failures.empty() ? 0 : 1;
}

}  // namespace qel::faults
