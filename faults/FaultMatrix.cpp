// The fault matrix: each scenario file runs one program's window (the mixer
// panel's main window or the control panel's main frame, see
// ProgramUnderTest.h) offscreen in this process, on a rig loaded from the
// file; the file's timeline injects the fault while the window thread keeps
// running. After the fault ends it checks:
//
//   - the window thread's longest stall (a 5 ms timer's longest gap), at
//     most 250 ms while the fault runs;
//   - nothing lost: the driver's names, ranks, channels and buffers are as
//     they were, and the program shows what the device holds (the program's
//     own check);
//   - nothing leaked: once the window is gone, the rig's open handles,
//     kernel events, device-change registrations, pending requests and this
//     process's threads are back to where they were before;
//   - the user was told what the scenario's "#:" lines say (boxes, tabs,
//     connection state).
//
//   qel_faults_mixer [--verbose] FILE...
//   qel_faults_cpl [--verbose] FILE...
//   qel_faults_mixer --chaos SECONDS [--seed N]     the chaos soak (Chaos.h)
//   qel_faults_mixer --rig-process SOCKET --until FILE SCENARIO
//       a "#: rig-process" scenario on the rig process at SOCKET, which a
//       script kills and starts again meanwhile (rig-process.sh): the
//       program runs until FILE exists, then is checked against the rig
//       process as it is then
//
// Prints one line per scenario and exits 1 when any failed.

// Before Qt, whose `signals` keyword is a member name there.
#include "sim/RigFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <mutex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "faults/Chaos.h"
#include "faults/FaultScenario.h"
#include "faults/Harness.h"
#include "faults/ProgramUnderTest.h"
#include "sim/RigCommands.h"
#include "ui/MessageBoxRecorder.h"

namespace {

using namespace std::chrono_literals;
using namespace qel::faults;
using qel::faults::Expectations;

constexpr std::chrono::milliseconds kTimelineLimit = 120s;
constexpr std::chrono::milliseconds kLeakWait = 15s;
// A device's event threads get 10 s to stop when it closes.
constexpr qint64 kStopLimitMs = 10500;

struct Result {
    std::string name;
    std::vector<std::string> failures;
    qint64 startMs = 0;
    qint64 longestStallMs = 0;
    qint64 stopMs = 0;
    std::size_t events = 0;
};

// A scenario file's text and expectations, for a run on a rig of the
// harness or (`onRigProcess`) on the rig process; nullopt with a failure noted.
std::optional<Expectations> ReadScenario(const std::string& path, bool onRigProcess, std::string& text, Result& result)
{
    result.name = std::filesystem::path(path).stem().string();
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (!in) {
        result.failures.push_back("cannot read " + path);
        return std::nullopt;
    }
    text = all.str();
    std::string error;
    auto expect = qel::faults::parseExpectations(text, error);
    if (!expect) {
        result.failures.push_back(path + ": " + error);
        return std::nullopt;
    }
    if (!qel::faults::isFor(*expect, qel::faults::ProgramName())) {
        result.failures.push_back(std::string("not a scenario of the ") + qel::faults::ProgramName());
        return std::nullopt;
    }
    if (expect->rigProcess != onRigProcess) {
        result.failures.push_back(onRigProcess ? "not a scenario of the rig process (#: rig-process)"
                                               : "a scenario of the rig process: faults/rig-process.sh runs it");
        return std::nullopt;
    }
    if (onRigProcess && !expect->steps.empty()) {
        result.failures.push_back("user steps on the rig process are not supported");
        return std::nullopt;
    }
    return expect;
}

// What the user was told against what the scenario says.
void CheckBoxes(const Expectations& expect, const CMessageBoxRecorder& boxes, bool verbose, Result& result)
{
    for (const std::string& want : expect.boxes) {
        const bool seen = std::any_of(boxes.Entries().begin(), boxes.Entries().end(),
                                      [&](const auto& e) { return e.text.toStdString() == want; });
        if (!seen)
            result.failures.push_back("no box said \"" + want + "\"");
    }
    if (expect.noBoxes && !boxes.Entries().isEmpty())
        result.failures.push_back("a box said \"" + boxes.Entries().first().text.toStdString() + "\"");
    if (verbose)
        for (const auto& e : boxes.Entries())
            std::printf("  box: %s\n", qPrintable(e.text));
}

// One program's run through a fault: started, shown tab by tab or page by
// page while `fault` runs, settled, checked (its own check, then `checks`
// and the boxes), closed within the stop limit.
void RunProgram(Platform& platform, const Expectations& expect, const CMessageBoxRecorder& boxes, bool verbose,
                Result& result, const std::function<void(ProgramUnderTest&)>& fault,
                const std::function<void()>& checks)
{
    std::unique_ptr<ProgramUnderTest> program = qel::faults::MakeProgram(platform);
    QElapsedTimer start;
    start.start();
    if (!program->Start()) {
        result.failures.push_back(std::string("the ") + qel::faults::ProgramName() + " ended at start-up");
        return;
    }
    result.startMs = start.elapsed();
    Pump(200ms);

    StallMeter stalls;
    stalls.Start();
    QTimer user;
    int ticks = 0;
    QObject::connect(&user, &QTimer::timeout, [&] { program->Tick(ticks++); });
    user.start(250);
    fault(*program);
    Pump(expect.settle);
    user.stop();
    stalls.Stop();
    result.longestStallMs = stalls.LongestMs();
    if (result.longestStallMs > kStallLimitMs)
        result.failures.push_back("the window thread stalled " + std::to_string(result.longestStallMs) +
                                  " ms (limit 250 ms)");

    for (std::string& f : program->Check(expect))
        result.failures.push_back(std::move(f));
    checks();
    CheckBoxes(expect, boxes, verbose, result);

    QElapsedTimer stop;
    stop.start();
    program->Stop();
    result.stopMs = stop.elapsed();
    if (result.stopMs > kStopLimitMs)
        result.failures.push_back("closing took " + std::to_string(result.stopMs) + " ms (limit 10.5 s)");
}

Result Run(const std::string& path, bool verbose)
{
    Result result;
    auto fail = [&](std::string what) { result.failures.push_back(std::move(what)); };
    std::string text;
    const auto expect = ReadScenario(path, false, text, result);
    if (!expect)
        return result;
    std::string error;
    qel::sim::Timeline timeline;
    std::unique_ptr<qel::sim::Rig> rig = qel::sim::loadRig(text, error, &timeline);
    if (!rig) {
        fail(path + ": " + error);
        return result;
    }
    result.events = timeline.size();
    if (verbose)
        std::printf("%s: %s\n", result.name.c_str(), expect->summary.c_str());

    CMessageBoxRecorder boxes;
    const Counts before = Count(*rig);
    const DriverSettings settingsBefore = ReadDriverSettings(*rig);
    InProcessPlatform platform(*rig);
    // The timeline on its thread; the user's steps on the window thread, timed
    // from the timeline's start.
    const auto fault = [&](ProgramUnderTest& program) {
        qel::sim::TimelineRunner runner(*rig, timeline);
        std::mutex refusedMutex;
        std::vector<std::size_t> refusedLines;
        runner.setObserver([&](const qel::sim::RigEvent& e, bool applied) {
            if (applied) return;
            std::lock_guard lock(refusedMutex);
            refusedLines.push_back(e.line);
        });
        QElapsedTimer since;
        std::size_t nextStep = 0;
        QTimer stepper;
        QObject::connect(&stepper, &QTimer::timeout, [&] {
            for (; nextStep < expect->steps.size() && since.elapsed() >= expect->steps[nextStep].at.count(); ++nextStep) {
                const UserStep& step = expect->steps[nextStep];
                if (std::string why = program.Perform(step.words); !why.empty())
                    fail("line " + std::to_string(step.line) + ": " + why);
            }
        });
        since.start();
        stepper.start(5);
        runner.start();
        if (!PumpUntil([&] { return runner.fired() >= timeline.size() && nextStep == expect->steps.size(); },
                       kTimelineLimit))
            fail("the timeline did not end within 120 s");
        runner.wait();
        // Every event of a scenario acts: one the rig refused was no fault.
        if (!refusedLines.empty())
            fail("the rig refused " + std::to_string(refusedLines.size()) + " event(s), the first on line " +
                 std::to_string(refusedLines.front()));
    };
    // The driver's settings are as they were: no program writes them unless
    // the user does.
    const auto settings = [&] {
        for (std::string& f : DriverSettingsChanged(settingsBefore, *rig))
            fail(std::move(f));
    };
    RunProgram(platform, *expect, boxes, verbose, result, fault, settings);

    // Nothing leaked: what closes late (a request that ignores its cancel)
    // may take its time.
    Counts after;
    PumpUntil([&] { return (after = Count(*rig)) == before; }, kLeakWait);
    if (!(after == before))
        fail("left behind: " + after.Text() + "; before: " + before.Text());
    return result;
}

Result RunOnRigProcess(const std::string& path, const std::string& socket, const std::string& until, bool verbose)
{
    Result result;
    std::string text;
    const auto expect = ReadScenario(path, true, text, result);
    if (!expect)
        return result;
    if (verbose)
        std::printf("%s: %s\n", result.name.c_str(), expect->summary.c_str());

    CMessageBoxRecorder boxes;
    const std::size_t threadsBefore = ThreadCount();
    {
        RigProcessPlatform platform(socket);
        const auto restarts = [&](ProgramUnderTest&) {
            if (!PumpUntil([&] { return std::filesystem::exists(until); }, kTimelineLimit * 3))
                result.failures.push_back("the script did not end its restarts within 360 s");
        };
        RunProgram(platform, *expect, boxes, verbose, result, restarts, [] {});
    }
    // The rig process holds the program's handles and closes them when the
    // program's session ends; here the program's own threads must end.
    std::size_t threads = 0;
    if (!PumpUntil([&] { return (threads = ThreadCount()) <= threadsBefore; }, kLeakWait))
        result.failures.push_back("left behind " + std::to_string(threads - threadsBefore) + " thread(s)");
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Arguments: scenario files, or --chaos SECONDS [--seed N].
    bool verbose = false;
    std::vector<std::string> files;
    std::optional<std::uint32_t> chaosSeconds, seed;
    std::string socket, until;
    bool bad = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--verbose") {
            verbose = true;
        } else if ((a == "--rig-process" || a == "--until") && i + 1 < argc && argv[i + 1][0] != '\0') {
            (a == "--rig-process" ? socket : until) = argv[++i];
        } else if ((a == "--chaos" || a == "--seed") && i + 1 < argc) {
            const auto n = qel::sim::rigNumber(argv[++i]);
            bad = bad || !n || (a == "--chaos" && (*n == 0 || *n > 7 * 24 * 3600));
            (a == "--chaos" ? chaosSeconds : seed) = n;
        } else if (!a.empty() && a[0] == '-') {
            bad = true;
        } else {
            files.push_back(a);
        }
    }
    const bool rigProcess = !socket.empty() || !until.empty();
    if (bad || (files.empty() == !chaosSeconds) || (seed && !chaosSeconds) ||
        (rigProcess && (socket.empty() || until.empty() || files.size() != 1))) {
        const char* name = std::strcmp(qel::faults::ProgramName(), "mixer") == 0 ? "mixer" : "cpl";
        std::fprintf(stderr,
                     "usage: qel_faults_%s [--verbose] FILE...\n"
                     "       qel_faults_%s --chaos SECONDS [--seed N]\n"
                     "       qel_faults_%s [--verbose] --rig-process SOCKET --until FILE SCENARIO\n",
                     name, name, name);
        return 2;
    }
    for (std::string& f : files)
        f = std::filesystem::absolute(f).string();

    // The window reads its configuration from the current folder.
    QTemporaryDir folder;
    QFile::copy(QStringLiteral(QEL_SHIPPED_CONFIG), folder.filePath(QStringLiteral("KavroMixerPanelConfig.xml")));
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        std::fprintf(stderr, "qel_faults: no folder for the configuration\n");
        return 2;
    }

    // Qt starts a few threads of its own with the first window and keeps
    // them: one run on a quiet rig first, so that they are there before the
    // first scenario counts threads.
    {
        auto rig = qel::sim::Rig::makeDefault();
        InProcessPlatform platform(*rig);
        auto program = qel::faults::MakeProgram(platform);
        if (program->Start())
            Pump(300ms);
        program->Stop();
    }

    if (chaosSeconds)
        return RunChaos(std::chrono::seconds(*chaosSeconds), seed ? *seed : std::random_device{}(), verbose);

    int failed = 0;
    for (const std::string& f : files) {
        const Result r = rigProcess ? RunOnRigProcess(f, socket, until, verbose) : Run(f, verbose);
        std::printf("%s %s %s: start %lld ms, longest stall %lld ms, close %lld ms, %zu events\n",
                    r.failures.empty() ? "PASS" : "FAIL", qel::faults::ProgramName(), r.name.c_str(),
                    static_cast<long long>(r.startMs), static_cast<long long>(r.longestStallMs),
                    static_cast<long long>(r.stopMs), r.events);
        for (const std::string& why : r.failures)
            std::printf("  %s\n", why.c_str());
        failed += r.failures.empty() ? 0 : 1;
    }
    std::printf("%zu passed, %d failed\n", files.size() - std::size_t(failed), failed);
    return failed == 0 ? 0 : 1;
}
