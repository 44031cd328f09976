#include "controlpanel/app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "controlpanel/app/AboutDlg.h"
#include "ui/DialogFont.h"
#include "ui/PlatformNotice.h"
#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "ui/ControlId.h"
#include "ui/WindowMessage.h"

namespace {

QAction* AddCommand(QMenu* menu, const QString& text, int id, CMainFrame* frame)
{
    QAction* action = menu->addAction(text);
    action->setData(id);
    QObject::connect(action, &QAction::triggered, frame, [frame, id] { frame->OnCommand(id); });
    return action;
}

} // namespace

CMainFrame::CMainFrame(qel::cpl::CDrv& drv, qel::os::IOs& os, bool startOnSettings, const QIcon& icon,
                       QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(WithPlatformNotice(QString::fromLatin1(kWindowTitle), os));
    setWindowIcon(icon);
    setFont(DialogFont());

    // Menu 128.
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* hide = AddCommand(file, QStringLiteral("&Close"), ID_HIDE, this);
    hide->setStatusTip(QStringLiteral("Hide the control panel."));
    hide->setToolTip(QStringLiteral("Hide"));
    AddCommand(file, QStringLiteral("&Quit"), ID_APP_EXIT, this);
    QMenu* info = menuBar()->addMenu(QStringLiteral("&Info"));
    AddCommand(info, QStringLiteral("&About Drevik ControlPanel..."), ID_APP_ABOUT, this);

    // Pane 0 stretches (at least 100 px); panes 1 to 3 are 150, 200 and 200 px.
    QStatusBar* bar = statusBar();
    SetControlId(bar, AFX_IDW_STATUS_BAR);
    bar->setSizeGripEnabled(false);
    const int widths[4] = {100, 150, 200, 200};
    for (int i = 0; i < 4; ++i) {
        m_panes[i] = new QLabel(bar);
        m_panes[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panes[i]->setProperty("paneId", i);
        if (i == 0) {
            m_panes[i]->setMinimumWidth(widths[i]);
            bar->addWidget(m_panes[i], 1);
        } else {
            m_panes[i]->setFixedWidth(widths[i]);
            bar->addPermanentWidget(m_panes[i]);
        }
    }

    m_simulated = os.simulated();
    m_view = new CQEL_CPLView(drv, os, startOnSettings, this);
    m_view->SetStatusSink([this](int pane, const QString& text) { SetPaneText(pane, text); });
    setCentralWidget(m_view);
    layout()->setSizeConstraint(QLayout::SetFixedSize);  // the window takes the form's size

    m_trayIcon.Init(this, kTrayIconId);
    m_trayIcon.Add(icon, WithPlatformNotice(QString::fromLatin1(kWindowTitle), os));

    m_view->OnInitialUpdate();
}

CMainFrame::~CMainFrame()
{
    m_trayIcon.Delete();
    delete m_trayMenu;
}

QString CMainFrame::PaneText(int pane) const
{
    return pane >= 0 && pane < 4 ? m_panes[pane]->text() : QString();
}

void CMainFrame::SetPaneText(int pane, const QString& text)
{
    if (pane >= 0 && pane < 4)
        m_panes[pane]->setText(text);
}

QWidget* CMainFrame::LastActivePopup()
{
    QWidget* modal = QApplication::activeModalWidget();
    for (QWidget* w = modal; w; w = w->parentWidget())
        if (w == this)
            return modal;
    return this;
}

void CMainFrame::ShowWindow()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CMainFrame::HideWindow()
{
    if (CTrayIcon::IsAvailable())
        hide();
    else
        showMinimized();
}

void CMainFrame::OnCommand(int id)
{
    switch (id) {
    case ID_TRAY_OPEN:
        ShowWindow();
        break;
    case ID_TRAY_QUIT:
        QMetaObject::invokeMethod(this, [this] { OnCommand(ID_APP_EXIT); }, Qt::QueuedConnection);
        break;
    case ID_HIDE:
        HideWindow();
        break;
    case ID_APP_EXIT:
        m_exiting = true;
        emit ExitRequested();
        break;
    case ID_APP_ABOUT: {
        CAboutDlg about(m_simulated, this);
        ++m_modalDepth;
        about.exec();
        --m_modalDepth;
        break;
    }
    default:
        break;
    }
}

void CMainFrame::closeEvent(QCloseEvent* e)
{
    if (m_exiting) {
        e->accept();
        return;
    }
    // The caption's close button hides the window; the program stays in the tray.
    e->ignore();
    HideWindow();
}

bool CMainFrame::event(QEvent* e)
{
    if (const CWindowMessage* message = CWindowMessage::From(e)) {
        switch (message->Code()) {
        case UM_TRAY_NOTIFY:
            OnTrayNotify(message->WParam(), message->LParam());
            return true;
        case UM_SHOW_SETTINGS_PAGE:
            if (m_view)
                m_view->SelectSettingsPage();
            return true;
        default:
            break;
        }
    }
    return QMainWindow::event(e);
}

void CMainFrame::OnTrayNotify(quintptr id, qintptr mouseMessage)
{
    if (id != kTrayIconId)
        return;
    switch (mouseMessage) {
    case kWmLButtonDown:
    case kWmLButtonDblClk:
        ShowWindow();
        break;
    case kWmRButtonDown:
    case kWmRButtonDblClk:
        TrackTrayMenu();
        break;
    default:
        break;
    }
}

void CMainFrame::TrackTrayMenu()
{
    // Menu 150, made for this one use and gone when it closes.
    delete m_trayMenu;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddCommand(menu, QStringLiteral("&Open"), ID_TRAY_OPEN, this);
    AddCommand(menu, QStringLiteral("&Quit"), ID_TRAY_QUIT, this);
    m_trayMenu = menu;
    menu->popup(QCursor::pos());
}
