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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mixer/app/bench/SurfaceTiming.h"

using qel::mixer::bench::CpuSeconds;
using qel::mixer::bench::MeasureKnobToPaint;
using qel::mixer::bench::RunFor;
using qel::mixer::bench::ShippedConfigPath;

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
    MeasureKnobToPaint(c->MainOut()->Volume(), [&](int position) {
        r.rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) {
            qel::sim::FwFirmware::of(m)->knob(kMasterBlock, 0, -position);
        });
    }, turns);
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
