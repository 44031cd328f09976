#pragma once
// Shared set-up of the page tests: the main frame on its own rig, platform
// and driver object, plus helpers to read the rig's request trace.
#include <QApplication>
#include <QTest>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controlpanel/app/MainFrame.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/app/TrayIcon.h"
#include "controlpanel/driver/Drv.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

class PageFixture {
protected:
    std::unique_ptr<qel::sim::Rig> m_rig;
    std::unique_ptr<qel::os::SimOs> m_os;
    std::unique_ptr<qel::cpl::CDrv> m_drv;
    std::unique_ptr<CMainFrame> m_frame;
    QPointer<QTimer> m_modalWatch;

    void SetUpRig()
    {
        CTrayIcon::OverrideAvailability(true);
        m_rig = qel::sim::Rig::makeDefault();
        m_os = std::make_unique<qel::os::SimOs>(*m_rig);
        m_drv = std::make_unique<qel::cpl::CDrv>(*m_os);
    }
    void TearDownRig()
    {
        delete m_modalWatch.data();
        m_frame.reset();
        m_drv.reset();
        m_os.reset();
        m_rig.reset();
        CTrayIcon::OverrideAvailability(std::nullopt);
    }
    CMainFrame* Start(bool startOnSettings = false)
    {
        m_frame = std::make_unique<CMainFrame>(*m_drv, *m_os, startOnSettings, QIcon());
        return m_frame.get();
    }
    CQEL_CPLView* View() { return m_frame->View(); }
    void DriverAbsent() { m_rig->setVersionAnswer({1, 0}); }

    // The request names of the trace since the last call, without the
    // notificator's event traffic.
    QStringList Requests()
    {
        QStringList names;
        for (const std::string& line : m_rig->takeTrace()) {
            const QStringList parts = QString::fromStdString(line).split(QLatin1Char(' '));
            if (parts.size() > 1 && parts[1] != QLatin1String("QEL_REQ_GET_EVENT"))
                names << parts[1];
        }
        return names;
    }
    // The input bytes (hex) of every request of that name since the last call.
    QStringList InputsOf(const QString& name)
    {
        QStringList inputs;
        for (const std::string& line : m_rig->takeTrace()) {
            const QStringList parts = QString::fromStdString(line).split(QLatin1Char(' '));
            if (parts.size() > 3 && parts[1] == name)
                inputs << parts[3].mid(3);
        }
        return inputs;
    }
    static QString Le32(std::uint32_t v)
    {
        return QString::asprintf("%02x%02x%02x%02x", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF, v >> 24);
    }

    // Runs `act` on the next modal dialog once it is up; the flag tells
    // whether one came up. A new watch ends the previous one.
    std::shared_ptr<bool> OnNextModal(std::function<void(QWidget*)> act)
    {
        delete m_modalWatch.data();
        auto seen = std::make_shared<bool>(false);
        auto* timer = new QTimer(qApp);
        m_modalWatch = timer;
        auto tries = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, seen, tries, act] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                *seen = true;
                timer->stop();
                timer->deleteLater();
                act(modal);
            } else if (++*tries > 100) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start(10);
        return seen;
    }
};
