#pragma once
// The control panel application: the switches, the one-instance rule and the
// hand-over to a running instance, the driver objects and the main window.
// Without a platform given it runs on the rig process when that runs, else
// on the built-in simulated rig.
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

#include "controlpanel/app/SingleInstance.h"

namespace qel::sim {
class CPlatformHost;
}
namespace qel::os {
class IOs;
}
namespace qel::cpl {
class CDrv;
}
class CMainFrame;

class CQEL_CPLApp : public QObject {
    Q_OBJECT
public:
    struct Options {
        qel::os::IOs* platform = nullptr;  // null: the rig process, else the built-in rig
        QString instanceName;              // empty: the program's mutex name
        QString instanceDirectory;         // empty: CSingleInstance::DefaultDirectory()
    };

    CQEL_CPLApp();
    explicit CQEL_CPLApp(Options options);
    ~CQEL_CPLApp() override;

    // The start-up: false when this process is to end at once (an "-exit"
    // start, a hand-over to a running instance, or a failure).
    bool InitInstance(const QStringList& arguments);

    CMainFrame* MainFrame() const;
    bool StartOnSettings() const { return m_bStartOnSettings; }
    CSingleInstance& Instance() { return m_instance; }
    qel::os::IOs& Platform() { return *m_os; }
    qel::cpl::CDrv& Drv() { return *m_drv; }
    // The top-level window titled "Drevik Control Panel" (with the rig notice on the rig), or null.
    static QWidget* FindMainWindow();

signals:
    // The exit command ran: the window and the icon are gone.
    void Exited();

private:
    void HandOver();
    void OnRequest(CSingleInstance::Request request);
    void OnExit();
    void DestroyFrame(QPointer<CMainFrame> frame);

    std::unique_ptr<qel::sim::CPlatformHost> m_host;
    qel::os::IOs* m_os = nullptr;
    std::unique_ptr<qel::cpl::CDrv> m_drv;
    CSingleInstance m_instance;
    QIcon m_hIcon;
    bool m_bStartOnSettings = false;
    QPointer<CMainFrame> m_frame;
    QPointer<CMainFrame> m_leaving;  // exited, destroyed once no dialog loop runs on it
};
