#include "controlpanel/app/QEL_CPLApp.h"

#include <QApplication>
#include <QTimer>

#include "controlpanel/app/CommandLine.h"
#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/MainFrame.h"
#include "controlpanel/driver/Drv.h"
#include "os/Os.h"
#include "sim/host/PlatformHost.h"
#include "ui/SkinLoader.h"
#include "ui/WindowMessage.h"

CQEL_CPLApp::CQEL_CPLApp() : CQEL_CPLApp(Options{}) {}

CQEL_CPLApp::CQEL_CPLApp(Options options)
    : m_instance(options.instanceName.isEmpty() ? QString::fromLatin1(kInstanceName) : options.instanceName,
                 options.instanceDirectory.isEmpty() ? CSingleInstance::DefaultDirectory()
                                                     : options.instanceDirectory)
{
    m_os = options.platform;
    if (!m_os) {
        // The shared rig process when it runs, else the program's own rig.
        m_host = std::make_unique<qel::sim::CPlatformHost>();
        m_os = &m_host->platform();
    }
    m_drv = std::make_unique<qel::cpl::CDrv>(*m_os);
    connect(&m_instance, &CSingleInstance::RequestReceived, this, &CQEL_CPLApp::OnRequest);
}

CQEL_CPLApp::~CQEL_CPLApp()
{
    // Before the driver objects it uses; also one whose exit is still pending.
    delete m_leaving;
    delete m_frame;
}

bool CQEL_CPLApp::InitInstance(const QStringList& arguments)
{
    const CCommandLine commandLine(arguments);
    if (commandLine.Exit()) {
        m_instance.Send(CSingleInstance::Request::Exit);
        return false;
    }
    if (commandLine.Asio())
        m_bStartOnSettings = true;
    // A lock that cannot be made counts as a running instance.
    if (m_instance.Acquire() != CSingleInstance::Result::Owner) {
        HandOver();
        return false;
    }
    m_hIcon = CSkin::Icon(IDR_MAINFRAME);
    // Without a notification area a hidden window could not be reached.
    const bool show = !commandLine.Hide() || !CTrayIcon::IsAvailable();

    m_frame = new CMainFrame(*m_drv, *m_os, m_bStartOnSettings, m_hIcon);
    connect(m_frame, &CMainFrame::ExitRequested, this, &CQEL_CPLApp::OnExit);
    if (show)
        m_frame->ShowWindow();
    return true;
}

void CQEL_CPLApp::HandOver()
{
    m_instance.Send(m_bStartOnSettings ? CSingleInstance::Request::OpenSettings : CSingleInstance::Request::Open);
}

QWidget* CQEL_CPLApp::FindMainWindow()
{
    // Its title on the drivers, or on the simulated rig.
    const QString title = QString::fromLatin1(kWindowTitle);
    const QString onRig = title + QLatin1String(qel::os::kSimulatedRigNotice);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && (w->windowTitle() == title || w->windowTitle() == onRig))
            return w;
    return nullptr;
}

void CQEL_CPLApp::OnRequest(CSingleInstance::Request request)
{
    QWidget* window = FindMainWindow();
    if (!window)
        return;
    auto* frame = qobject_cast<CMainFrame*>(window);
    if (request == CSingleInstance::Request::Exit) {
        if (frame)
            QMetaObject::invokeMethod(frame, [frame] { frame->OnCommand(ID_TRAY_QUIT); }, Qt::QueuedConnection);
        return;
    }
    QWidget* popup = frame ? frame->LastActivePopup() : window;
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    if (request == CSingleInstance::Request::OpenSettings)
        CWindowMessage::Post(window, UM_SHOW_SETTINGS_PAGE, 0, 0);
    popup->show();
    popup->raise();
    popup->activateWindow();
}

void CQEL_CPLApp::OnExit()
{
    if (!m_frame)
        return;
    QPointer<CMainFrame> frame = m_frame;
    m_leaving = frame;
    m_frame = nullptr;
    // An open dialog of the window ends first.
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    frame->hide();
    frame->TrayIcon().Delete();
    DestroyFrame(frame);
    emit Exited();
}

void CQEL_CPLApp::DestroyFrame(QPointer<CMainFrame> frame)
{
    if (!frame)
        return;
    // Not while a dialog's loop (or the exit command itself) still runs on the window.
    QTimer::singleShot(0, this, [this, frame] {
        if (frame && frame->InModalLoop())
            DestroyFrame(frame);
        else
            delete frame.data();
    });
}

CMainFrame* CQEL_CPLApp::MainFrame() const
{
    return m_frame;
}
