// Timed harness of the mixer panel's start-up: from process start to the
// first paint of a mixer, with one and with three devices on the built-in
// rig, offscreen. The harness starts itself once per run as a child that runs
// the panel as the program does; the parent times each child from its start
// to the child's "painted" line and prints the median of the runs.
//
//   qel_panel_StartupBench [RUNS]
//
// One device: a configuration that describes only the Kavro 610 and names no
// USB interface class, so the device list takes in the 610 alone (the 1814
// is not described, USB is not enumerated). Three devices: the shipped file.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "mixer/app/KavroMixerPanelApp.h"
#include "mixer/app/KavroMixerPanelDlg.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace {

constexpr int kDefaultRuns = 11;
constexpr int kChildTimeoutMs = 30000;
const char* const kConfigName = "KavroMixerPanelConfig.xml";

// Ends the panel once the first mixer has been painted.
class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_seen && event->type() == QEvent::Paint && qobject_cast<CMixerCtrlContainer*>(watched)) {
            m_seen = true;
            // After this paint has finished.
            QTimer::singleShot(0, [] {
                std::printf("painted\n");
                std::fflush(stdout);
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* dlg = qobject_cast<CKavroMixerPanelDlg*>(w))
                        dlg->done(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

int Child(int argc, char** argv, const QString& dir)
{
    QApplication application(argc, argv);
    if (!QDir::setCurrent(dir))
        return 1;
    auto rig = qel::sim::Rig::makeDefault();
    qel::os::SimOs os(*rig);
    FirstPaint filter;
    application.installEventFilter(&filter);
    CKavroMixerPanelApp app(os, QStringLiteral("KavroMixerPanel"));
    app.InitInstance();
    return 0;
}

// The shipped file cut down to the Kavro 610, without the USB class.
bool WriteOneDeviceConfig(const QString& shipped, const QString& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(QFile::encodeName(shipped).constData()))
        return false;
    pugi::xml_node root = doc.child("QelDeviceConfig");
    root.child("IID").remove_attribute("GUID_USB");
    for (pugi::xml_node d = root.child("Device"); d;) {
        const pugi::xml_node next = d.next_sibling("Device");
        if (std::string(d.attribute("Name").value()) != "Kavro 610")
            root.remove_child(d);
        d = next;
    }
    return doc.save_file(QFile::encodeName(path).constData());
}

bool CopyFile(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

// Milliseconds from the child's start to its "painted" line; negative on failure.
double TimeOneRun(const QString& program, const QString& dir)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    child.start(program, {QStringLiteral("--child"), dir});
    double ms = -1;
    while (child.waitForReadyRead(kChildTimeoutMs)) {
        if (child.readAll().contains("painted")) {
            ms = double(clock.nsecsElapsed()) / 1e6;
            break;
        }
    }
    if (!child.waitForFinished(kChildTimeoutMs))
        child.kill();
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--child")
        return Child(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRuns;
    const QString shipped = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kConfigName);
    QTemporaryDir one, three;
    if (!one.isValid() || !three.isValid() || !WriteOneDeviceConfig(shipped, one.filePath(kConfigName)) ||
        !CopyFile(shipped, three.filePath(kConfigName))) {
        std::fprintf(stderr, "cannot prepare the configuration files from %s\n", qPrintable(shipped));
        return 1;
    }

    std::printf("Start-up of the mixer panel to the first painted mixer (offscreen, built-in rig), %d runs each:\n",
                runs);
    const QString self = QCoreApplication::applicationFilePath();
    int status = 0;
    for (const auto& [name, dir] : {std::pair{"1 device ", one.path()}, std::pair{"3 devices", three.path()}}) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            const double t = TimeOneRun(self, dir);
            if (t < 0) {
                std::fprintf(stderr, "%s: run %d did not paint a mixer\n", name, i + 1);
                status = 1;
                continue;
            }
            ms.push_back(t);
        }
        if (ms.empty())
            continue;
        std::sort(ms.begin(), ms.end());
        std::printf("  %s  median %7.1f ms   min %7.1f ms   max %7.1f ms   (%zu runs)\n", name, ms[ms.size() / 2],
                    ms.front(), ms.back(), ms.size());
    }
    return status;
}
