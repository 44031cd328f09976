#pragma once
// The mixer panel's About box: program icon, product line, and the driver
// and panel versions the main window fills in before showing it.
#include <QDialog>
#include <QString>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 100;
    static constexpr int IDC_DRIVER_VERSION = 1076;
    static constexpr int IDC_PANEL_VERSION = 1077;
    static constexpr int kIconId = 179;

    explicit CAboutDlg(QWidget* parent = nullptr);

    // Exchanged with controls 1076 and 1077 when the box is shown.
    QString m_strDriverVersion = QStringLiteral("1.0.0");
    QString m_strPanelVersion = QStringLiteral("1.0.0");
    // Kept with the box; no control shows it.
    QString m_strAppName = QStringLiteral("Application name");
    // On the simulated rig: the title and a line of the box say so.
    bool m_bSimulated = false;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_driverVersion = nullptr;
    QLabel* m_panelVersion = nullptr;
    QLabel* m_platformNotice = nullptr;
};
