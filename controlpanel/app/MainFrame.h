#pragma once
// The main window: fixed size, title "Drevik Control Panel", a menu, a status
// bar with four panes, the view as its content and the notification-area
// icon. Closing it hides it; only the exit command ends the program.
#include <QMainWindow>
#include <QPointer>

#include <array>

#include "controlpanel/app/TrayIcon.h"
#include "controlpanel/driver/Drv.h"

class CQEL_CPLView;
class QLabel;
#include <QMenu>

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(qel::cpl::CDrv& drv, qel::os::IOs& os, bool startOnSettings, const QIcon& icon,
               QWidget* parent = nullptr);
    // Removes the icon from the notification area.
    ~CMainFrame() override;

    CQEL_CPLView* View() const { return m_view; }
    CTrayIcon& TrayIcon() { return m_trayIcon; }
    QString PaneText(int pane) const;
    void SetPaneText(int pane, const QString& text);
    // The tray pop-up menu while it is open.
    QMenu* TrayMenu() const { return m_trayMenu; }
    // The window a hand-over brings to the front: an open modal dialog of
    // this window, else the window itself.
    QWidget* LastActivePopup();
    // Hides the window; without a notification area it is minimised instead,
    // so it stays reachable.
    void HideWindow();
    // Shows the window activated and brings it to the front.
    void ShowWindow();
    // True while a modal dialog of this window runs its loop (the window must
    // not be destroyed then).
    bool InModalLoop() const { return m_modalDepth > 0; }

public slots:
    void OnCommand(int id);

signals:
    // The application-exit command: the program is to end.
    void ExitRequested();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void OnTrayNotify(quintptr id, qintptr mouseMessage);
    void TrackTrayMenu();

    CQEL_CPLView* m_view = nullptr;
    std::array<QLabel*, 4> m_panes{};
    CTrayIcon m_trayIcon;
    QPointer<QMenu> m_trayMenu;
    bool m_exiting = false;
    int m_modalDepth = 0;
    bool m_simulated = false;  // on the simulated rig: the About box says so
};
