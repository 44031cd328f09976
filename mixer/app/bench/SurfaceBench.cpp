// Timed harness of the mixer panel's main window on the simulated rig under a
// real display server (run it under xvfb-run with QT_QPA_PLATFORM=xcb; `make
// bench-gui` does). It measures what the window costs while it sits open:
//
//   qel_panel_SurfaceBench [seconds=30] [turns=200] [case...]
//
// Cases (all by default): moving (the Kavro 1814 alone, every meter on a
// sine), silent (the same, every meter silent), hidden (the rig's three
// devices, the 1814's tab shown, two tabs hidden), minimised (the 1814 alone,
// meters moving, the window minimised), knob (knob-to-fader-paint latency),
// floor (no mixer: an empty window with a timer that does nothing 20 times a
// second, as often as the meters are read: what the wake-ups alone cost here).
//
// For each case: CPU of the window thread, of the whole process (the
// in-process rig and the event threads included) and of the X server, each as
// a share of one core; widget paint events, window flushes and meter reads
// per second. The rig keeps no trace, as a program's rig does not. The knob case prints the median, 99th percentile and maximum time
// from a knob turned on the device to the main out fader painted.
//
// The X server is found in /proc by the display number in DISPLAY; without
// one its column reads "n/a".
#include <QApplication>
#include <QTabBar>
#include <QWindow>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mixer/app/bench/SurfaceTiming.h"

using qel::mixer::bench::CpuSeconds;
using qel::mixer::bench::MeasureKnobToPaint;
using qel::mixer::bench::RunFor;
using qel::mixer::bench::ShippedConfigPath;
#define QEL_SHIPPED_CONFIG ShippedConfigPath()
#include "mixer/app/tests/panel/MainWindowRig.h"

#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/LevelMeter.h"
#include "sim/FwMemory.h"

namespace {

using qel::mixer::test::ConfigFolder;

constexpr std::uint32_t kFw610 = 1;
constexpr std::uint32_t kFw1814 = 2;
constexpr std::uint32_t kUsbU410 = 0x10;
constexpr std::uint8_t kMasterBlock = 6;
constexpr std::uint32_t kMeters = 18;

// The X server of DISPLAY: the Xvfb or Xorg process whose command line names
// the display; 0 when there is none.
pid_t FindXServer()
{
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        return 0;
    std::string want = display;
    if (const std::size_t dot = want.find('.', want.find(':')); dot != std::string::npos)
        want.resize(dot);
    want = want.substr(want.find(':'));
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return 0;
    pid_t found = 0;
    while (dirent* e = readdir(proc)) {
        const pid_t pid = pid_t(std::strtol(e->d_name, nullptr, 10));
        if (pid <= 0)
            continue;
        std::ifstream in("/proc/" + std::string(e->d_name) + "/cmdline", std::ios::binary);
        std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        std::istringstream split(cmdline);
        for (std::string a; std::getline(split, a, '\0');)
            args.push_back(a);
        if (args.empty())
            continue;
        const std::string name = args[0].substr(args[0].rfind('/') + 1);
        if (name != "Xvfb" && name != "Xorg" && name != "X")
            continue;
        if (std::find(args.begin() + 1, args.end(), want) != args.end()) {
            found = pid;
            break;
        }
    }
    closedir(proc);
    return found;
}

// CPU seconds of another process from /proc/PID/stat; negative when unreadable.
double ProcessCpuSeconds(pid_t pid)
{
    if (pid <= 0)
        return -1;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The fields after the command name, which is in parentheses and may hold blanks.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::strtoull(f.c_str(), nullptr, 10);
        if (i == 15)
            stime = std::strtoull(f.c_str(), nullptr, 10);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// CPU of this window thread, this process and the X server over a span of
// wall time, as shares of one core.
struct CpuSpan {
    explicit CpuSpan(pid_t xServer) : xServer(xServer)
    {
        thread0 = CpuSeconds(RUSAGE_THREAD);
        process0 = CpuSeconds(RUSAGE_SELF);
        x0 = ProcessCpuSeconds(xServer);
        wall.start();
    }
    // "... s  window thread ...%  process ...%  X server ...%"
    std::string Figures() const
    {
        const double elapsed = Seconds();
        const double thread = CpuSeconds(RUSAGE_THREAD) - thread0;
        const double process = CpuSeconds(RUSAGE_SELF) - process0;
        const double x1 = ProcessCpuSeconds(xServer);
        char x[32] = "n/a";
        if (x0 >= 0 && x1 >= 0)
            std::snprintf(x, sizeof x, "%6.3f%%", 100 * (x1 - x0) / elapsed);
        char text[160];
        std::snprintf(text, sizeof text, "%5.1f s  window thread %6.3f%%  process %6.3f%%  X server %s", elapsed,
                      100 * thread / elapsed, 100 * process / elapsed, x);
        return text;
    }
    double Seconds() const { return double(wall.nsecsElapsed()) / 1e9; }

    pid_t xServer;
    double thread0 = 0, process0 = 0, x0 = 0;
    QElapsedTimer wall;
};

// Counts paint events of the window's widgets (each one a widget painted
// with a painter of its own) and update requests (one per flush of the
// window's backing store) of the window.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            ++byClass[watched->metaObject()->className()];
        } else if (event->type() == QEvent::UpdateRequest) {
            ++flushes;
        }
        return QObject::eventFilter(watched, event);
    }
    long paints = 0;
    long flushes = 0;
    std::map<std::string, long> byClass;
};

// The main window on a rig of its own, in a folder with the shipped
// configuration, showing the Kavro 1814.
struct Window {
    explicit Window(bool threeDevices)
        : folder(ConfigFolder::WithShippedConfig()), rig(qel::sim::Rig::makeDefault()), os(*rig), context(os),
          dlg(context, qel::mixer::test::kProgram)
    {
        // As a program's rig: no trace is kept.
        rig->setTraceEnabled(false);
        if (!threeDevices) {
            rig->unplug(kFw610);
            rig->usbRemove(kUsbU410);
        }
    }

    bool Start()
    {
        if (!folder->Valid() || !dlg.OnInitDialog())
            return false;
        for (int i = 0; i < dlg.Containers().size(); ++i)
            if (dlg.Containers().at(i)->MainOut() != nullptr && dlg.Containers().at(i)->findChildren<CLevelMeter*>().size() >= 12)
                mixer = dlg.Containers().at(i);
        if (mixer == nullptr)
            return false;
        dlg.TabCtrl()->setCurrentIndex(int(dlg.Containers().indexOf(mixer)));
        dlg.show();
        QCoreApplication::sendPostedEvents();
        mixer->Pacer().Flush();
        return mixer->isVisible();
    }

    void SetSignals(qel::sim::FwMemory::Signal signal)
    {
        for (std::uint32_t id : rig->presentFwDevices())
            rig->withFwDevice(id, [&](qel::sim::FwDeviceModel& m) {
                auto& memory = qel::sim::FwFirmware::of(m)->memory();
                for (std::uint32_t i = 0; i < kMeters; ++i)
                    memory.setSignal(i, signal, 90.0);
            });
    }

    std::uint32_t MeterReads()
    {
        std::uint32_t reads = 0;
        rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) { reads = qel::sim::FwFirmware::of(m)->memory().reads(); });
        return reads;
    }

    std::unique_ptr<ConfigFolder> folder;
    std::unique_ptr<qel::sim::Rig> rig;
    qel::os::SimOs os;
    qel::QelContext context;
    CKavroMixerPanelDlg dlg;
    CMixerCtrlContainer* mixer = nullptr;
};

void MeasureCpu(Window& w, const char* label, int seconds, pid_t xServer)
{
    PaintCounter counter;
    const auto widgets = w.dlg.findChildren<QWidget*>();
    for (QWidget* m : widgets)
        m->installEventFilter(&counter);
    w.dlg.installEventFilter(&counter);
    if (QWindow* handle = w.dlg.windowHandle())
        handle->installEventFilter(&counter);
    // Settle: the meters reach their levels, the title ends its slide.
    RunFor(3000);
    counter.paints = 0;
    counter.flushes = 0;
    counter.byClass.clear();
    const std::uint32_t reads0 = w.MeterReads();
    const CpuSpan span(xServer);
    RunFor(seconds * 1000);
    const std::string figures = span.Figures();
    const double elapsed = span.Seconds();
    const std::uint32_t reads = w.MeterReads() - reads0;
    std::printf("%-34s %s  widget paints %6.1f/s  flushes %5.1f/s  reads %4.1f/s\n", label, figures.c_str(),
                double(counter.paints) / elapsed, double(counter.flushes) / elapsed, reads / elapsed);
    if (!counter.byClass.empty()) {
        std::string who = "    painted:";
        for (const auto& [name, n] : counter.byClass) {
            char one[96];
            std::snprintf(one, sizeof one, " %s %.1f/s", name.c_str(), double(n) / elapsed);
            who += one;
        }
        std::printf("%s\n", who.c_str());
    }
    std::fflush(stdout);
    for (QWidget* m : widgets)
        m->removeEventFilter(&counter);
    w.dlg.removeEventFilter(&counter);
    if (QWindow* handle = w.dlg.windowHandle())
        handle->removeEventFilter(&counter);
}

// An empty window and a 50 ms timer that does nothing.
void MeasureFloor(int seconds, pid_t xServer)
{
    QWidget window;
    window.resize(400, 300);
    window.show();
    QTimer timer;
    long ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    RunFor(3000);
    ticks = 0;
    const CpuSpan span(xServer);
    RunFor(seconds * 1000);
    const std::string figures = span.Figures();
    std::printf("%-34s %s  timer %.1f/s\n", "floor: empty window, 20 Hz timer", figures.c_str(),
                double(ticks) / span.Seconds());
    std::fflush(stdout);
}

void MeasureKnob(Window& w, int turns)
{
    RunFor(3000);
    MeasureKnobToPaint(w.mixer->MainOut()->Volume(), [&](int position) {
        w.rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) {
            qel::sim::FwFirmware::of(m)->knob(kMasterBlock, 0, -position);
        });
    }, turns);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int turns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    std::vector<std::string> cases;
    for (int i = 3; i < argc; ++i)
        cases.emplace_back(argv[i]);
    if (cases.empty())
        cases = {"floor", "moving", "silent", "hidden", "minimised", "knob"};
    const pid_t xServer = FindXServer();
    std::printf("platform %s, X server %s\n", qPrintable(QGuiApplication::platformName()),
                xServer > 0 ? std::to_string(xServer).c_str() : "not found");

    for (const std::string& c : cases) {
        if (c == "floor") {
            MeasureFloor(seconds, xServer);
            continue;
        }
        const bool three = c == "hidden";
        Window w(three);
        if (!w.Start()) {
            std::fprintf(stderr, "%s: no Kavro 1814 surface (configuration: %s)\n", c.c_str(),
                         ShippedConfigPath().c_str());
            return 1;
        }
        w.SetSignals(c == "silent" ? qel::sim::FwMemory::Signal::Silence : qel::sim::FwMemory::Signal::Sine);
        if (c == "moving")
            MeasureCpu(w, "one device, meters moving", seconds, xServer);
        else if (c == "silent")
            MeasureCpu(w, "one device, meters silent", seconds, xServer);
        else if (c == "hidden")
            MeasureCpu(w, "three devices, two tabs hidden", seconds, xServer);
        else if (c == "minimised") {
            w.dlg.showMinimized();
            MeasureCpu(w, "one device, window minimised", seconds, xServer);
        } else if (c == "knob")
            MeasureKnob(w, turns);
        else {
            std::fprintf(stderr, "unknown case '%s' (floor, moving, silent, hidden, minimised, knob)\n", c.c_str());
            return 2;
        }
    }
    return 0;
}
