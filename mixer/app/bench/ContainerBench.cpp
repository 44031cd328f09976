// Timed harness of one mixer surface on the simulated rig (Kavro 1814 on
// FireWire, offscreen platform): the CPU the surface takes with its meters
// running, and the time from a knob turned on the device to the main out
// fader painted at its new place.
//
//   qel_panel_ContainerBench [seconds=30] [turns=200]
//
// Prints, for meters all moving (with peak-hold marks and clip lamps, without
// them, and with them again) and for meters all silent: CPU of the window
// thread and of the whole process (the in-process rig and the event threads
// included) as a share of one core, meter reads and meter paints per second;
// then the knob-to-paint latency (median, 99th percentile, maximum).
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
// The shipped configuration: beside the program (the build copies it there),
// else in the source tree.
std::string ShippedConfigPath()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/KavroMixerPanelConfig.xml");
    if (QFileInfo::exists(beside))
        return beside.toStdString();
    const std::string self = __FILE__;
    const std::size_t at = self.rfind("mixer/app/bench/");
    return (at == std::string::npos ? std::string() : self.substr(0, at)) + "resources/KavroMixerPanelConfig.xml";
}
}  // namespace

#define QEL_SHIPPED_CONFIG ShippedConfigPath()
#include "mixer/app/tests/panel/PanelRig.h"

#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MeterExtras.h"
#include "mixer/controls/MeterLayer.h"
#include "sim/FwFirmware.h"

namespace {

constexpr std::uint32_t kFw1814 = 2;
constexpr std::uint8_t kMasterBlock = 6;
constexpr std::uint32_t kMeters = 18;

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Counts paint events of the watched widgets.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    long paints = 0;
};

// Quits `loop` when the fader is painted at `position`.
class FaderPaintWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && armed && fader->GetPos() == position) {
            painted = std::chrono::steady_clock::now();
            armed = false;
            loop->quit();
        }
        return QObject::eventFilter(watched, event);
    }
    CBitmapSlider* fader = nullptr;
    QEventLoop* loop = nullptr;
    int position = 0;
    bool armed = false;
    std::chrono::steady_clock::time_point painted;
};

void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void SetSignals(qel::mixer::test::PanelRig& r, qel::sim::FwMemory::Signal signal)
{
    r.rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) {
        auto& memory = qel::sim::FwFirmware::of(m)->memory();
        for (std::uint32_t i = 0; i < kMeters; ++i)
            memory.setSignal(i, signal, 90.0);
    });
}

std::uint32_t MeterReads(qel::mixer::test::PanelRig& r)
{
    std::uint32_t reads = 0;
    r.rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) { reads = qel::sim::FwFirmware::of(m)->memory().reads(); });
    return reads;
}

void MeasureCpu(qel::mixer::test::PanelRig& r, CMixerCtrlContainer* c, const char* label, int seconds)
{
    PaintCounter counter;
    const auto meters = c->findChildren<CLevelMeter*>();
    // The surface's meter layer paints its meters; a meter paints itself
    // only when nothing covers it.
    QList<QWidget*> painters{c->MeterLayer()};
    for (CLevelMeter* m : meters)
        painters.append(m);
    for (QWidget* p : painters)
        if (p)
            p->installEventFilter(&counter);
    // Settle: the meters reach their levels, the title ends its slide.
    RunFor(3000);
    counter.paints = 0;
    const std::uint32_t reads0 = MeterReads(r);
    const double thread0 = CpuSeconds(RUSAGE_THREAD);
    const double process0 = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    RunFor(seconds * 1000);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double thread = CpuSeconds(RUSAGE_THREAD) - thread0;
    const double process = CpuSeconds(RUSAGE_SELF) - process0;
    const std::uint32_t reads = MeterReads(r) - reads0;
    std::printf("%-22s %6.1f s  window thread %6.3f%%  process %6.3f%%  meter reads %6.1f/s  meter paints %7.1f/s "
                "(%d meters)\n",
                label, elapsed, 100 * thread / elapsed, 100 * process / elapsed, reads / elapsed,
                double(counter.paints) / elapsed, int(meters.size()));
    for (QWidget* p : painters)
        if (p)
            p->removeEventFilter(&counter);
}

void MeasureKnob(qel::mixer::test::PanelRig& r, CMixerCtrlContainer* c, int turns)
{
    QEventLoop loop;
    FaderPaintWatch watch;
    watch.fader = c->MainOut()->Volume();
    watch.loop = &loop;
    watch.fader->installEventFilter(&watch);
    std::vector<double> ms;
    int lost = 0;
    for (int i = 0; i < turns; ++i) {
        const int position = 10 + (i % 2) * 10;
        watch.position = position;
        watch.armed = true;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(1000);
        const auto turned = std::chrono::steady_clock::now();
        r.rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) {
            qel::sim::FwFirmware::of(m)->knob(kMasterBlock, 0, -position);
        });
        loop.exec();
        if (watch.armed) {
            ++lost;
            watch.armed = false;
            continue;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(watch.painted - turned).count());
        // Between turns, as a hand would: the meters keep running.
        RunFor(20);
    }
    watch.fader->removeEventFilter(&watch);
    if (ms.empty()) {
        std::printf("knob to fader paint: no paint seen in %d turns\n", turns);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size() - 1) + 0.5))]; };
    std::printf("knob to fader paint     %zu turns (%d lost): median %.3f ms  p99 %.3f ms  max %.3f ms  min %.3f ms\n",
                ms.size(), lost, at(0.5), at(0.99), ms.back(), ms.front());
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int turns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;

    qel::mixer::test::PanelRig r;
    CMixerCtrlContainer* c = r.Build(qel::mixer::test::PanelRig::k1814);
    if (c == nullptr || c->MainOut() == nullptr) {
        std::fprintf(stderr, "no Kavro 1814 surface (configuration: %s)\n", ShippedConfigPath().c_str());
        return 1;
    }
    c->show();
    c->Pacer().Flush();

    SetSignals(r, qel::sim::FwMemory::Signal::Sine);
    MeasureCpu(r, c, "meters moving (sine)", seconds);
    // The same without peak-hold marks and clip lamps, then with them again,
    // so that a drift of the machine shows as a difference of the two "on" runs.
    meter::SetExtrasShown(false);
    MeasureCpu(r, c, "  peak hold/clip off", seconds);
    meter::SetExtrasShown(true);
    MeasureCpu(r, c, "  peak hold/clip on", seconds);
    SetSignals(r, qel::sim::FwMemory::Signal::Silence);
    MeasureCpu(r, c, "meters silent", seconds);
    SetSignals(r, qel::sim::FwMemory::Signal::Sine);
    MeasureKnob(r, c, turns);
    return 0;
}
