#include "mixer/app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/ControlId.h"
#include "ui/DialogUnits.h"
#include "ui/PlatformNotice.h"
#include "ui/SkinLoader.h"

namespace {
constexpr int kIdOk = 1;

QLabel* Text(QWidget* parent, const QString& text, QRect rect)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About KavroMixerPanel"));
    setFixedSize(DuToPxX(235), DuToPxY(70));

    auto* icon = new QLabel(this);
    icon->setPixmap(CSkin::Icon(kIconId).pixmap(32, 32));
    icon->setGeometry(DuRect(11, 10, 21, 20));

    Text(this, QStringLiteral("Drevik 1394 & USB Mixer Panel"), DuRect(40, 10, 130, 8));
    Text(this, QStringLiteral("Driver Version:"), DuRect(40, 26, 80, 8));
    Text(this, QStringLiteral("Mixer Panel Version:"), DuRect(40, 40, 80, 8));
    m_driverVersion = Text(this, m_strDriverVersion, DuRect(122, 26, 50, 8));
    SetControlId(m_driverVersion, IDC_DRIVER_VERSION);
    m_panelVersion = Text(this, m_strPanelVersion, DuRect(122, 40, 50, 8));
    SetControlId(m_panelVersion, IDC_PANEL_VERSION);
    m_platformNotice = Text(this, QString::fromLatin1(kSimulatedRigAboutText), DuRect(40, 54, 188, 8));
    m_platformNotice->hide();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    SetControlId(ok, kIdOk);
    ok->setGeometry(DuRect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    // The fields set after construction reach the controls here.
    m_driverVersion->setText(m_strDriverVersion);
    m_panelVersion->setText(m_strPanelVersion);
    m_platformNotice->setVisible(m_bSimulated);
    setWindowTitle(m_bSimulated ? QStringLiteral("About KavroMixerPanel") + QLatin1String(qel::os::kSimulatedRigNotice)
                                : QStringLiteral("About KavroMixerPanel"));
    QDialog::showEvent(event);
}
