// The mixer panel on the rig process: qel-simd serves one rig on a socket of
// the test's own, qelctl runs beside the panel as a program of its own, and
// what one program does to the rig is what the others see. A rename through
// the control panel's requests names the tab of a panel started afterwards, a
// knob turned from qelctl moves the running panel's fader, and a rig process
// that dies shows as lost devices that come back by themselves once it is
// started again on the same socket (the devices open again there although the
// driver handles the program held went stale with the old one).
#include "mixer/app/KavroMixerPanelDlg.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/prctl.h>

#include "device/Device.h"
#include "device/QelContext.h"
#include "device/Status.h"
#include "mixer/app/DeviceList.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/XmlDom.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MixerPanelTop.h"
#include "os/Os.h"
#include "os/remote/Socket.h"
#include "sim/host/PlatformHost.h"
#include "ui/MessageBoxRecorder.h"

namespace {

const QString kProgram = QStringLiteral("/opt/kavro/KavroMixerPanel");
// Tabs of the default rig, in order: Kavro 610 and 1814 on FireWire, U410 on USB.
constexpr int k610Tab = 0;
constexpr int k1814Tab = 1;
constexpr int kU410Tab = 2;
// The 1814's main out block.
constexpr int k1814Master = 6;

// Bounds of the waits: far above anything seen, so a loaded machine does not
// fail the test. Nothing is asserted about the time taken.
constexpr int kStartWaitMs = 20000;
constexpr int kWaitMs = 20000;

std::string ReadFile(const QString& path)
{
    std::ifstream in(path.toStdString());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WriteFile(const QString& path, const std::string& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(text.data(), qint64(text.size())) == qint64(text.size());
}

// Children die with the test even when it crashes.
void DieWithParent(QProcess& p)
{
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// The panel as the program runs it: its platform host (the rig process, found
// by its socket), a device-layer context over it and the main window.
struct Panel {
    qel::sim::CPlatformHost host;
    qel::QelContext context{host.platform()};
    CKavroMixerPanelDlg dlg{context, kProgram};
};

}  // namespace

class SharedRigTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    QString m_socket;
    std::unique_ptr<QProcess> m_simd;
    std::unique_ptr<CMessageBoxRecorder> m_boxes;

    QString Path(const QString& name) const { return m_dir->filePath(name); }

    bool RigAnswers() const
    {
        const int fd = qel::os::remote::connectSocket(m_socket.toStdString());
        qel::os::remote::closeSocket(fd);
        return fd >= 0;
    }

    // The built-in rig with lines added to sections of it, as a rig file.
    QString RigFileWith(const QString& name, const std::vector<std::pair<std::string, std::string>>& added)
    {
        std::string text = ReadFile(QStringLiteral(QEL_RIGS_DIR "/default.rig"));
        for (const auto& [section, lines] : added) {
            const std::string header = "[" + section + "]\n";
            const std::size_t at = text.find(header);
            if (at == std::string::npos)
                return {};
            text.insert(at + header.size(), lines);
        }
        return WriteFile(Path(name), text) ? Path(name) : QString();
    }

    // Starts qel-simd on the test's socket (the built-in rig, or `rigFile`)
    // and waits until it answers.
    void StartRig(const QString& rigFile = {})
    {
        QVERIFY(!m_simd);
        m_simd = std::make_unique<QProcess>();
        DieWithParent(*m_simd);
        m_simd->setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{QStringLiteral("--socket"), m_socket};
        if (!rigFile.isEmpty())
            args << QStringLiteral("--rig") << rigFile;
        m_simd->start(QStringLiteral(QEL_SIMD_PROGRAM), args);
        QVERIFY2(m_simd->waitForStarted(kStartWaitMs), qPrintable(m_simd->errorString()));
        QTRY_VERIFY2_WITH_TIMEOUT(RigAnswers() || m_simd->state() == QProcess::NotRunning,
                                  "qel-simd does not answer", kStartWaitMs);
        QVERIFY2(m_simd->state() == QProcess::Running, m_simd->readAll().constData());
    }

    // Ends qel-simd at once, as a crash would.
    void KillRig()
    {
        if (!m_simd)
            return;
        m_simd->kill();
        m_simd->waitForFinished(kWaitMs);
        m_simd.reset();
    }

    // Runs qelctl to its end: its exit code, with what it printed.
    int Qelctl(const QStringList& args, QByteArray& out, const QByteArray& input = {})
    {
        QProcess p;
        DieWithParent(p);
        p.setWorkingDirectory(m_dir->path());
        p.start(QStringLiteral(QELCTL_PROGRAM), args);
        if (!p.waitForStarted(kStartWaitMs))
            return -1;
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(kWaitMs)) {
            p.kill();
            p.waitForFinished(kWaitMs);
            return -1;
        }
        out = p.readAllStandardOutput();
        const QByteArray err = p.readAllStandardError();
        if (!err.isEmpty())
            qWarning("qelctl %s: %s", qPrintable(args.join(QLatin1Char(' '))), err.constData());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // A rig command from a qelctl run of its own.
    void RigCommand(const QByteArray& line)
    {
        QByteArray out;
        QCOMPARE(Qelctl({QStringLiteral("-")}, out, line + '\n'), 0);
        QCOMPARE(out, QByteArray());
    }

    // The message boxes shown so far, one a line, but for `except`.
    QString Boxes(const QString& except = {}) const
    {
        QStringList lines;
        for (const CMessageBoxRecorder::Entry& e : m_boxes->Entries())
            if (except.isEmpty() || e.text != except)
                lines << e.caption + QStringLiteral(": ") + e.text;
        return lines.join(QLatin1Char('\n'));
    }

    void StartPanel(Panel& panel)
    {
        QVERIFY(panel.host.usesRigProcess());
        QVERIFY(panel.dlg.OnInitDialog());
        QCOMPARE(Boxes(), QString());
        QCOMPARE(panel.dlg.Containers().size(), 3);
        for (CMixerCtrlContainer* c : panel.dlg.Containers())
            QTRY_VERIFY2_WITH_TIMEOUT(c->Connected(), qPrintable(c->Title()), kWaitMs);
    }

private slots:
    void initTestCase()
    {
        // A socket of the test's own: never the session's rig process, and
        // every test program may run at the same time.
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_socket = Path(QStringLiteral("simd.sock"));
        qputenv("QEL_SIM_SOCKET", m_socket.toLocal8Bit());
        // The panel reads the shipped file named after it in the current directory.
        m_previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        QVERIFY(WriteFile(Path(QStringLiteral("KavroMixerPanelConfig.xml")), ReadFile(QStringLiteral(QEL_SHIPPED_CONFIG))));
    }

    void cleanupTestCase()
    {
        KillRig();
        QDir::setCurrent(m_previousDir);
        m_dir.reset();
    }

    void init() { m_boxes = std::make_unique<CMessageBoxRecorder>(); }

    void cleanup()
    {
        // Also after a failed check: no qel-simd outlives its case.
        KillRig();
        m_boxes.reset();
    }

    void renameByTheControlPanelNamesTheTabOfAPanelStartedLater()
    {
        StartRig();
        if (QTest::currentTestFailed())
            return;
        QByteArray out;
        QCOMPARE(Qelctl({QStringLiteral("rename-device"), QStringLiteral("2"), QStringLiteral("Rack B 1814")}, out), 0);
        QCOMPARE(out, QByteArray("device 2 name=\"Rack B 1814\"\n"));

        Panel panel;
        StartPanel(panel);
        if (QTest::currentTestFailed())
            return;
        QTabBar* tabs = panel.dlg.TabCtrl();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(k610Tab), QStringLiteral("Studio 610"));
        QCOMPARE(tabs->tabText(k1814Tab), QStringLiteral("Rack B 1814"));
        QCOMPARE(tabs->tabText(kU410Tab), QStringLiteral("Desk U410"));
        QCOMPARE(panel.dlg.Containers().at(k1814Tab)->TopPanel()->Title(), QStringLiteral("Rack B 1814"));
        // The model still picks the mixer's description.
        tabs->setCurrentIndex(k1814Tab);
        QCOMPARE(panel.dlg.windowTitle(), QStringLiteral("Kavro 1814 MixerPanel (simulated rig)"));
    }

    void knobTurnedFromQelctlMovesTheRunningFader()
    {
        StartRig();
        if (QTest::currentTestFailed())
            return;
        Panel panel;
        StartPanel(panel);
        if (QTest::currentTestFailed())
            return;
        CMixerCtrlContainer* mixer = panel.dlg.Containers().at(k1814Tab);
        CBitmapSlider* fader = mixer->MainOut()->Volume();
        QTRY_VERIFY_WITH_TIMEOUT(mixer->Pacer().Idle(), kWaitMs);
        QCOMPARE(fader->GetPos(), 0);

        // Several turns, each from a qelctl run of its own; the time from the
        // run's start and from its end until the fader shows the turn.
        std::vector<qint64> fromStart, fromExit;
        for (int db = 11; db <= 20; ++db) {
            QElapsedTimer started;
            started.start();
            RigCommand("sim knob 2 " + QByteArray::number(k1814Master) + " 0 -" + QByteArray::number(db));
            const qint64 ran = started.nsecsElapsed();
            if (QTest::currentTestFailed())
                return;
            QTRY_COMPARE_WITH_TIMEOUT(fader->GetPos(), db, kWaitMs);
            fromStart.push_back(started.nsecsElapsed() / 1000);
            fromExit.push_back((started.nsecsElapsed() - ran) / 1000);
        }
        std::sort(fromStart.begin(), fromStart.end());
        std::sort(fromExit.begin(), fromExit.end());
        qInfo("knob to fader over %zu turns, from qelctl's start: min %lld us, median %lld us, max %lld us; "
              "from its end: min %lld us, median %lld us, max %lld us",
              fromStart.size(), fromStart.front(), fromStart[fromStart.size() / 2], fromStart.back(),
              fromExit.front(), fromExit[fromExit.size() / 2], fromExit.back());

        // The rig holds what the fader shows, and the other mixers saw nothing.
        QByteArray out;
        QCOMPARE(Qelctl({QStringLiteral("volume"), QStringLiteral("2"), QString::number(k1814Master), QStringLiteral("0")}, out), 0);
        QCOMPARE(out, QByteArray("volume 6 0 -20\n"));
        QCOMPARE(panel.dlg.Containers().at(k610Tab)->MainOut()->Volume()->GetPos(), 0);
        QCOMPARE(mixer->InputStrips().at(0)->VolumeLeft()->GetPos(), 0);
    }

    void devicesOpenAgainOnTheNextRigProcess()
    {
        // The driver handles the program holds go stale with the rig process;
        // a device opened again after it came back must not use them.
        StartRig();
        if (QTest::currentTestFailed())
            return;
        qel::sim::CPlatformHost host;
        QVERIFY(host.usesRigProcess());
        qel::QelContext context(host.platform());
        qel::mixer::XmlDocument doc;
        QVERIFY(doc.loadText(ReadFile(QStringLiteral(QEL_SHIPPED_CONFIG))));
        qel::mixer::CDeviceList list(context, std::move(doc));
        // The list opened them.
        QCOMPARE(list.size(), std::size_t(3));
        double db = 1;
        QCOMPARE(list.device(1)->fireWire()->getVolume(std::uint8_t(k1814Master), 0, db), qel::QEL_OK);

        KillRig();
        for (std::size_t i = 0; i < list.size(); ++i)
            QVERIFY(list.device(i)->openMixerDevice() != qel::QEL_OK);

        StartRig();
        if (QTest::currentTestFailed())
            return;
        // The program's connection to the rig process comes back in the background.
        for (std::size_t i = 0; i < list.size(); ++i)
            QTRY_COMPARE_WITH_TIMEOUT(list.device(i)->openMixerDevice(), qel::QEL_OK, kWaitMs);
        // And the devices answer there.
        db = 1;
        QCOMPARE(list.device(1)->fireWire()->getVolume(std::uint8_t(k1814Master), 0, db), qel::QEL_OK);
        QCOMPARE(db, 0.0);
    }

    void rigDyingShowsTheDevicesLostAndTheyComeBackWithTheNextRig()
    {
        // Full meters on the 1814 show the drop; the second rig also starts
        // with an input volume of its own.
        const QString first = RigFileWith(QStringLiteral("first.rig"), {{"firewire 2", "meter all constant 100\n"}});
        const QString second = RigFileWith(QStringLiteral("second.rig"), {{"firewire 2", "meter all constant 100\nvolume 1 1 -30\n"}});
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        StartRig(first);
        if (QTest::currentTestFailed())
            return;
        Panel panel;
        StartPanel(panel);
        if (QTest::currentTestFailed())
            return;
        const QVector<CMixerCtrlContainer*> mixers = panel.dlg.Containers();
        CMixerCtrlContainer* mixer = mixers.at(k1814Tab);
        CLevelMeter* meter = mixer->InputStrips().at(0)->MeterLeft();
        QTRY_COMPARE_WITH_TIMEOUT(meter->GetPos(), 0, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(mixer->Pacer().Idle(), kWaitMs);
        QCOMPARE(mixer->InputStrips().at(0)->VolumeLeft()->GetPos(), 0);
        for (CMixerCtrlContainer* c : mixers)
            QCOMPARE(c->ControlSection()->LampMode(), c->BusKind());

        // The rig process dies: every mixer drops its device and tries again.
        QElapsedTimer clock;
        clock.start();
        KillRig();
        for (CMixerCtrlContainer* c : mixers)
            QTRY_VERIFY2_WITH_TIMEOUT(!c->Connected(), qPrintable(c->Title()), kWaitMs);
        const qint64 lostUs = clock.nsecsElapsed() / 1000;
        for (CMixerCtrlContainer* c : mixers) {
            QVERIFY(c->ReconnectTimerActive());
            QVERIFY(!c->MeterTimerActive());
            QVERIFY(!c->UsbStateTimerActive());
            QVERIFY(!c->UsbMessageTimerActive());
            // The lamps blink together while the device is away.
            QTRY_COMPARE_WITH_TIMEOUT(c->ControlSection()->LampMode(), -1, kWaitMs);
        }
        // The meters fall dark.
        QTRY_COMPARE_WITH_TIMEOUT(meter->GetPos(), 100, kWaitMs);
        QVERIFY(!meter->IsFalling());
        QCOMPARE(mixer->MainOut()->MeterLeft()->GetPos(), 100);
        // The event threads of the FireWire devices, woken by the platform
        // as the rig goes, find it gone and say so; nothing else is shown.
        const QString gone = QString::asprintf("GetNotifyResponse failed, ErrorCode=0x%08X\n",
                                               unsigned(qel::os::kErrorDeviceNotConnected));
        QCOMPARE(Boxes(gone), QString());
        QVERIFY(m_boxes->Entries().size() <= 2);

        // The next rig process on the same socket: the mixers come back by
        // themselves and show the new rig's values.
        StartRig(second);
        if (QTest::currentTestFailed())
            return;
        clock.restart();
        for (CMixerCtrlContainer* c : mixers)
            QTRY_VERIFY2_WITH_TIMEOUT(c->Connected(), qPrintable(c->Title()), kWaitMs);
        const qint64 backUs = clock.nsecsElapsed() / 1000;
        qInfo("rig process killed: all three mixers lost after %lld us; "
              "next rig process answering: all three connected again after %lld us",
              lostUs, backUs);
        for (CMixerCtrlContainer* c : mixers) {
            QVERIFY(!c->ReconnectTimerActive());
            QVERIFY(c->MeterTimerActive());
            QCOMPARE(c->UsbStateTimerActive(), c->BusKind() == CMixerCtrlContainer::kBusUsb);
            QCOMPARE(c->ControlSection()->LampMode(), c->BusKind());
        }
        QTRY_COMPARE_WITH_TIMEOUT(mixer->InputStrips().at(0)->VolumeLeft()->GetPos(), 30, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(meter->GetPos(), 0, kWaitMs);

        // Notifications reach the panel from the new rig.
        RigCommand("sim knob 2 " + QByteArray::number(k1814Master) + " 0 -12");
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(mixer->MainOut()->Volume()->GetPos(), 12, kWaitMs);

        // The devices came back to their own mixers: no tab is added for them.
        panel.dlg.PollDeviceArrival();
        QCOMPARE(panel.dlg.TabCtrl()->count(), 3);
        QCOMPARE(panel.dlg.Containers().size(), 3);
        // The way back shows nothing.
        QCOMPARE(Boxes(gone), QString());
        QVERIFY(m_boxes->Entries().size() <= 2);
    }

    void devicesArrivingWithTheNextRigProcessGetTabs()
    {
        // The panel starts with the USB device alone; the next rig process
        // has the FireWire devices on the bus as well.
        const QString usbOnly = RigFileWith(QStringLiteral("usb-only.rig"),
                                            {{"firewire 1", "present no\n"}, {"firewire 2", "present no\n"}});
        QVERIFY(!usbOnly.isEmpty());
        StartRig(usbOnly);
        if (QTest::currentTestFailed())
            return;
        Panel panel;
        QVERIFY(panel.dlg.OnInitDialog());
        QCOMPARE(Boxes(), QString());
        QTabBar* tabs = panel.dlg.TabCtrl();
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Desk U410"));
        QVERIFY(panel.dlg.ArrivalPollActive());

        KillRig();
        QTRY_VERIFY_WITH_TIMEOUT(!panel.dlg.Containers().at(0)->Connected(), kWaitMs);
        StartRig();
        if (QTest::currentTestFailed())
            return;
        // The window's poll takes them in, one a round.
        QTRY_COMPARE_WITH_TIMEOUT(tabs->count(), 3, kWaitMs);
        QCOMPARE(tabs->tabText(1), QStringLiteral("Studio 610"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Stage 1814"));
        for (CMixerCtrlContainer* c : panel.dlg.Containers())
            QTRY_VERIFY2_WITH_TIMEOUT(c->Connected(), qPrintable(c->Title()), kWaitMs);
        QCOMPARE(Boxes(), QString());
    }
};

QTEST_MAIN(SharedRigTest)
#include "SharedRigTest.moc"
