// The application: switch matching, the one-instance rule and the hand-over
// between a first and a later start (both in this process, sharing a private
// instance directory), "-exit", "-hide" with "-asio", a stale lock.
#include <QtTest>

#include <QLocalServer>
#include <QLockFile>
#include <QTemporaryDir>

#include <memory>

#include "controlpanel/app/CommandLine.h"
#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DialogPage.h"
#include "controlpanel/app/InstanceMutex.h"
#include "controlpanel/app/MainFrame.h"
#include "controlpanel/app/QEL_CPLApp.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

class AppTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<qel::sim::Rig> m_rig;
    std::unique_ptr<qel::os::SimOs> m_os;

    std::unique_ptr<CQEL_CPLApp> MakeApp()
    {
        CQEL_CPLApp::Options options;
        options.platform = m_os.get();
        options.instanceDirectory = m_dir->path();
        return std::make_unique<CQEL_CPLApp>(options);
    }
    QString LockPath() const { return m_dir->filePath(QString::fromLatin1(kInstanceName) + ".lock"); }
    static QString ShownPage(CQEL_CPLApp& app)
    {
        CDialogPage* page = app.MainFrame()->View()->VisiblePage();
        return page ? page->windowTitle() : QString();
    }

private slots:
    void init()
    {
        CTrayIcon::OverrideAvailability(true);
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_rig = qel::sim::Rig::makeDefault();
        m_os = std::make_unique<qel::os::SimOs>(*m_rig);
    }
    void cleanup()
    {
        m_os.reset();
        m_rig.reset();
        m_dir.reset();
        CTrayIcon::OverrideAvailability(std::nullopt);
    }

    void switches_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("exit");
        QTest::addColumn<bool>("asio");
        QTest::addColumn<bool>("hide");
        QTest::newRow("none") << QStringList() << false << false << false;
        QTest::newRow("-EXIT") << QStringList({"-EXIT"}) << true << false << false;
        QTest::newRow("-Hide") << QStringList({"-Hide"}) << false << false << true;
        QTest::newRow("-aSiO and -hide") << QStringList({"-aSiO", "-hide"}) << false << true << true;
        QTest::newRow("-hidden") << QStringList({"-hidden"}) << false << false << false;
        QTest::newRow("x-hide") << QStringList({"x-hide"}) << false << false << false;
        QTest::newRow("hide without dash") << QStringList({"hide", "exit"}) << false << false << false;
        QTest::newRow("-exit-now") << QStringList({"-exit-now", "--exit"}) << false << false << false;
        QTest::newRow("blank-separated in one") << QStringList({"x -asio\t-exit"}) << true << true << false;
    }
    void switches()
    {
        QFETCH(QStringList, arguments);
        const CCommandLine commandLine(arguments);
        QTEST(commandLine.Exit(), "exit");
        QTEST(commandLine.Asio(), "asio");
        QTEST(commandLine.Hide(), "hide");
    }

    void exitWithoutInstanceLeavesNothing()
    {
        auto app = MakeApp();
        QVERIFY(!app->InitInstance({"-exit", "-asio"}));
        QVERIFY(!app->MainFrame());
        QVERIFY(!CQEL_CPLApp::FindMainWindow());
        QVERIFY(!QFile::exists(LockPath()));
        // While the "-exit" process still runs, a normal start becomes the instance.
        auto first = MakeApp();
        QVERIFY(first->InitInstance({}));
        QVERIFY(first->Instance().IsOwner());
    }

    void secondStartRestoresAndFrontsTheFirst()
    {
        auto first = MakeApp();
        QVERIFY(first->InitInstance({}));
        CMainFrame* frame = first->MainFrame();
        QVERIFY(frame->isVisible());
        QCOMPARE(ShownPage(*first), QStringLiteral("Devices"));
        frame->showMinimized();
        QVERIFY(frame->isMinimized());

        auto second = MakeApp();
        QVERIFY(!second->InitInstance({}));
        QVERIFY(!second->MainFrame());
        QTRY_VERIFY(!frame->isMinimized());
        QVERIFY(frame->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), frame);
        QTest::qWait(50);
        QCOMPARE(ShownPage(*first), QStringLiteral("Devices"));

        // From the tray: "-asio" shows the window on "Settings".
        frame->hide();
        auto third = MakeApp();
        QVERIFY(!third->InitInstance({"-ASIO"}));
        QTRY_VERIFY(frame->isVisible());
        QTRY_COMPARE(ShownPage(*first), QStringLiteral("Settings"));
        QCOMPARE(frame->PaneText(0), QStringLiteral("Settings"));
        QVERIFY(first->Instance().IsOwner());
    }

    void secondStartFrontsAnOpenDialog()
    {
        auto first = MakeApp();
        QVERIFY(first->InitInstance({}));
        CMainFrame* frame = first->MainFrame();
        QString fronted;
        QTimer::singleShot(0, this, [&] {
            QWidget* about = QApplication::activeModalWidget();
            frame->activateWindow();  // something else in front of the box
            auto second = MakeApp();
            second->InitInstance({});
            QTest::qWait(20);
            for (int i = 0; i < 100 && QApplication::activeWindow() != about; ++i)
                QTest::qWait(10);
            if (QWidget* active = QApplication::activeWindow())
                fronted = active->windowTitle();
            if (about)
                about->close();
        });
        frame->OnCommand(ID_APP_ABOUT);
        QCOMPARE(fronted, QStringLiteral("About Drevik Control Panel (simulated rig)"));  // the test runs on the rig
    }

    void hideWithAsio()
    {
        auto first = MakeApp();
        QVERIFY(first->InitInstance({"-hide", "-asio"}));
        CMainFrame* frame = first->MainFrame();
        QVERIFY(!frame->isVisible());
        QVERIFY(frame->TrayIcon().IsShown());
        frame->OnCommand(ID_TRAY_OPEN);
        QVERIFY(frame->isVisible());
        QCOMPARE(ShownPage(*first), QStringLiteral("Settings"));
        QCOMPARE(frame->PaneText(0), QStringLiteral("Settings"));
    }

    void hideWithoutNotificationAreaShows()
    {
        CTrayIcon::OverrideAvailability(false);
        auto first = MakeApp();
        QVERIFY(first->InitInstance({"-hide"}));
        QVERIFY(first->MainFrame()->isVisible());
    }

    void exitHandsOverAndEnds()
    {
        auto first = MakeApp();
        QVERIFY(first->InitInstance({"-hide"}));
        QSignalSpy exited(first.get(), &CQEL_CPLApp::Exited);
        QPointer<CMainFrame> frame = first->MainFrame();
        QVERIFY(first->Drv().isOpen());

        auto second = MakeApp();
        QVERIFY(!second->InitInstance({"-exit"}));
        QVERIFY(!second->Instance().IsOwner());
        QTRY_COMPARE(exited.count(), 1);
        QVERIFY(!first->MainFrame());
        QTRY_VERIFY(!frame);  // the window went, with its icon and its driver connection
        QVERIFY(!first->Drv().isOpen());
    }

    void exitWhileTheAboutBoxIsOpen()
    {
        auto first = MakeApp();
        QVERIFY(first->InitInstance({}));
        QSignalSpy exited(first.get(), &CQEL_CPLApp::Exited);
        QPointer<CMainFrame> frame = first->MainFrame();
        QTimer::singleShot(0, this, [&] {
            auto second = MakeApp();
            second->InitInstance({"-exit"});
        });
        // The box's loop ends with the exit; the window goes only after it returned.
        frame->OnCommand(ID_APP_ABOUT);
        QCOMPARE(exited.count(), 1);
        QVERIFY(!QApplication::activeModalWidget());
        QTRY_VERIFY(!frame);
        QVERIFY(!first->Drv().isOpen());
    }

    void theNamedMutexDecidesWhereTheSystemHasThem()
    {
        const QString name = QStringLiteral("A5E54AA6-E04A-4dd5-BED7-B72EA29857EB-test-%1")
                                 .arg(QCoreApplication::applicationPid());
        {
            CInstanceMutex probe;
            if (probe.Create(name) == CInstanceMutex::Result::Unsupported)
                QSKIP("no named mutexes on this system: the lock file alone decides");
        }
        QTemporaryDir otherDir;
        auto first = std::make_unique<CSingleInstance>(name, m_dir->path());
        QCOMPARE(first->Acquire(), CSingleInstance::Result::Owner);
        {
            // Another program finds the mutex while the instance runs.
            CInstanceMutex other;
            QCOMPARE(other.Create(name), CInstanceMutex::Result::Exists);
            QVERIFY(!other.IsHeld());
            // A start whose lock file lives elsewhere still counts the instance as running.
            CSingleInstance second(name, otherDir.path());
            QCOMPARE(second.Acquire(), CSingleInstance::Result::Running);
        }
        first.reset();
        CInstanceMutex after;
        QCOMPARE(after.Create(name), CInstanceMutex::Result::Created);  // the owner's went with it
    }

    void staleLockIsTakenOver()
    {
        // A crashed instance left its lock (with a process id that runs no more) and its socket.
        {
            QFile lock(LockPath());
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write("2147483646\nDrevik_ControlPanel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        }
#ifndef Q_OS_WIN
        {
            QFile socket(m_dir->filePath(QString::fromLatin1(kInstanceName)));
            QVERIFY(socket.open(QIODevice::WriteOnly));
        }
#endif
        auto first = MakeApp();
        QVERIFY(first->InitInstance({}));
        QVERIFY(first->Instance().IsOwner());
        // And it answers later starts.
        first->MainFrame()->hide();
        auto second = MakeApp();
        QVERIFY(!second->InitInstance({}));
        QTRY_VERIFY(first->MainFrame()->isVisible());
    }

    void lockGoesWithTheInstance()
    {
        {
            auto first = MakeApp();
            QVERIFY(first->InitInstance({}));
            QVERIFY(QFile::exists(LockPath()));
            auto second = MakeApp();
            QVERIFY(!second->InitInstance({}));
        }
        QVERIFY(!QFile::exists(LockPath()));
        QLockFile probe(LockPath());
        QVERIFY(probe.tryLock(0));
    }
};

QTEST_MAIN(AppTest)
#include "AppTest.moc"
