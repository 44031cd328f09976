#pragma once
// The notification-area icon. Mouse activity on it reaches the owner window
// as UM_TRAY_NOTIFY with the icon identifier and the mouse message, so the
// owner's handling does not depend on a notification area being present.
#include <QIcon>
#include <QString>

#include <optional>

class QSystemTrayIcon;
class QWidget;

class CTrayIcon {
public:
    CTrayIcon() = default;
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    void Init(QWidget* owner, unsigned id);
    // Shows the icon with its tool tip (cut to 127 bytes). False without an owner.
    bool Add(const QIcon& icon, const QString& tip);
    // Removes the icon. False without an owner.
    bool Delete();

    unsigned Id() const { return m_id; }
    bool IsShown() const;
    QString ToolTip() const;

    // Whether the desktop has a notification area; tests may decide instead.
    static bool IsAvailable();
    static void OverrideAvailability(std::optional<bool> available);

private:
    QWidget* m_owner = nullptr;
    unsigned m_id = 0;
    QSystemTrayIcon* m_icon = nullptr;
};
