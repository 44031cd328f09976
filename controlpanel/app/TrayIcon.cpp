#include "controlpanel/app/TrayIcon.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include "controlpanel/app/ControlPanelIds.h"
#include "ui/WindowMessage.h"

namespace {

std::optional<bool> g_availability;

unsigned MouseMessage(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: return kWmLButtonDown;
    case QSystemTrayIcon::DoubleClick: return kWmLButtonDblClk;
    case QSystemTrayIcon::Context: return kWmRButtonDown;
    case QSystemTrayIcon::MiddleClick: return kWmMButtonDown;
    default: return 0;
    }
}

} // namespace

CTrayIcon::~CTrayIcon()
{
    delete m_icon;
}

void CTrayIcon::Init(QWidget* owner, unsigned id)
{
    m_owner = owner;
    m_id = id;
}

bool CTrayIcon::Add(const QIcon& icon, const QString& tip)
{
    if (!m_owner)
        return false;
    if (!m_icon) {
        m_icon = new QSystemTrayIcon;
        QObject::connect(m_icon, &QSystemTrayIcon::activated, m_owner,
                         [owner = m_owner, id = m_id](QSystemTrayIcon::ActivationReason reason) {
                             if (const unsigned message = MouseMessage(reason))
                                 CWindowMessage::Post(owner, UM_TRAY_NOTIFY, id, message);
                         });
    }
    QByteArray bytes = tip.toLocal8Bit();
    bytes.truncate(127);  // the shell's tip holds 128 bytes with the terminator
    m_icon->setIcon(icon);
    m_icon->setToolTip(QString::fromLocal8Bit(bytes));
    m_icon->show();
    return true;
}

bool CTrayIcon::Delete()
{
    if (!m_owner)
        return false;
    delete m_icon;
    m_icon = nullptr;
    return true;
}

bool CTrayIcon::IsShown() const
{
    return m_icon && m_icon->isVisible();
}

QString CTrayIcon::ToolTip() const
{
    return m_icon ? m_icon->toolTip() : QString();
}

bool CTrayIcon::IsAvailable()
{
    return g_availability ? *g_availability : QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::OverrideAvailability(std::optional<bool> available)
{
    g_availability = available;
}
