// The mixer panel on the built-in rig, offscreen, for a few seconds of a
// scripted tour: meters moving, a knob turned on the device, a device plugged
// in. Each step is grabbed into DIR as a PNG; the paths are printed.
//
//   KavroMixerPanelTour DIR
//
// Runs in the folder of the program (where the build puts the shipped
// configuration) and ends by itself.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTabBar>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "device/QelContext.h"
#include "mixer/app/KavroMixerPanelDlg.h"
#include "os/sim/SimOs.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"
#include "sim/UsbDevice.h"
#include "ui/MessageBoxService.h"

namespace {

constexpr std::uint32_t k610 = 1;
constexpr std::uint32_t k1814 = 2;
constexpr std::uint8_t k610MainOut = 3;  // block of the 610's main output strip
constexpr int kLevelPeriodMs = 50;

constexpr int kWatchdogMs = 20000;

// Nobody is there to close a box: it is printed and answered OK.
class PrintedBoxes final : public CMessageBoxService {
public:
    int Show(QWidget*, const QString& text, const QString& caption, Icon, Buttons) override
    {
        std::printf("  message box \"%s\": %s\n", qPrintable(caption), qPrintable(text));
        return ResultOk;
    }
};

struct Step {
    int atMs;
    std::function<void()> run;
};

// Signals on every meter of a FireWire device, a different one per channel.
void StartSignals(qel::sim::Rig& rig, std::uint32_t device)
{
    rig.withFwDevice(device, [](qel::sim::FwDeviceModel& m) {
        if (auto* fw = qel::sim::FwFirmware::of(m)) {
            const std::uint32_t n = fw->memory().meterCount();
            for (std::uint32_t i = 0; i < n; ++i)
                fw->memory().setSignal(i, i % 3 == 2 ? qel::sim::FwMemory::Signal::Noise
                                                     : qel::sim::FwMemory::Signal::Sine,
                                       40.0 + 12.0 * double(i % 5));
        }
    });
}

// The USB device's levels follow slow waves.
void MoveUsbLevels(qel::sim::Rig& rig, double t)
{
    for (std::uint32_t id : rig.presentUsbDevices())
        rig.withUsbDevice(id, [t](qel::sim::UsbDeviceModel& m) {
            for (std::size_t i = 0; i < m.levels.size(); ++i) {
                const double v = 0.45 + 0.4 * std::sin(t * (1.5 + 0.3 * double(i)) + double(i));
                m.levels[i] = std::uint32_t(v * 0x7FFFFFFF);
            }
        });
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: KavroMixerPanelTour DIR\n");
        return 2;
    }
    const QString outDir = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "KavroMixerPanelTour: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    // The shipped configuration lies beside the program.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    PrintedBoxes boxes;
    CMessageBoxService* const previous = CMessageBoxService::Install(&boxes);

    auto rig = qel::sim::Rig::makeDefault();
    rig->unplug(k1814);  // plugged in during the tour
    StartSignals(*rig, k610);
    MoveUsbLevels(*rig, 0);
    qel::os::SimOs os(*rig);
    qel::QelContext context(os);

    CKavroMixerPanelDlg dlg(context, QStringLiteral("KavroMixerPanel"));
    if (!dlg.OnInitDialog()) {
        std::fprintf(stderr, "KavroMixerPanelTour: the panel ended at start-up\n");
        return 1;
    }
    dlg.show();

    int failures = 0;
    auto grab = [&](const char* name, const char* what) {
        const QString path = outDir + QLatin1Char('/') + QLatin1String(name);
        if (dlg.grab().save(path))
            std::printf("  %-40s %s\n", what, qPrintable(path));
        else {
            std::fprintf(stderr, "KavroMixerPanelTour: cannot write %s\n", qPrintable(path));
            ++failures;
        }
        std::fflush(stdout);
    };

    QTimer levels;
    double t = 0;
    QObject::connect(&levels, &QTimer::timeout, [&] {
        t += kLevelPeriodMs / 1000.0;
        MoveUsbLevels(*rig, t);
    });
    levels.start(kLevelPeriodMs);

    const std::vector<Step> steps = {
        {1200, [&] { grab("tour-1-kavro610.png", "Kavro 610 (tab 1), meters moving"); }},
        {1300,
         [&] {
             std::printf("  knob: main out of the Kavro 610 to -24 dB on the device\n");
             rig->withFwDevice(k610, [](qel::sim::FwDeviceModel& m) {
                 if (auto* fw = qel::sim::FwFirmware::of(m)) {
                     fw->knob(k610MainOut, 0, -24.0);  // the block's master channel
                 }
             });
         }},
        {2200, [&] { grab("tour-2-kavro610-knob.png", "Kavro 610 after the knob turn"); }},
        {2300,
         [&] {
             std::printf("  plug: Kavro 1814 (the panel looks once a second)\n");
             rig->plug(k1814);
             StartSignals(*rig, k1814);
         }},
        {4000, [&] { grab("tour-3-kavro1814-plugged.png", "Kavro 1814, its new tab shown"); }},
        {4100, [&] { dlg.TabCtrl()->setCurrentIndex(1); }},
        {5000, [&] { grab("tour-4-kavroU410.png", "Kavro U410 (USB)"); }},
        {5100, [&] { dlg.done(0); }},
    };
    std::printf("Mixer panel tour, offscreen, on the built-in rig:\n");
    for (const Step& s : steps)
        QTimer::singleShot(s.atMs, &dlg, s.run);
    QObject::connect(&dlg, &QDialog::finished, &application, &QCoreApplication::quit);
    QTimer::singleShot(kWatchdogMs, &application, [&] {
        std::fprintf(stderr, "KavroMixerPanelTour: stopped by the watchdog\n");
        ++failures;
        QCoreApplication::exit(1);
    });
    application.exec();
    levels.stop();
    CMessageBoxService::Install(previous);
    std::printf("Screenshots are in %s\n", qPrintable(outDir));
    return failures == 0 ? 0 : 1;
}
