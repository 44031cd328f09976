#include "controlpanel/app/DlgPgSynchronisation.h"

#include <QLabel>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "ui/DialogUnits.h"

CDlgPgSynchronisation::CDlgPgSynchronisation() : CDialogPage(IDD_PG_SYNCHRONISATION)
{
    setWindowTitle(QStringLiteral("Synchronisation"));
}

bool CDlgPgSynchronisation::OnInitDialog()
{
    auto* title = new QLabel(windowTitle(), this);
    title->setGeometry(DuRect(7, 7, 200, 10));
    m_rate = new QLabel(this);
    m_rate->setGeometry(DuRect(7, 22, 200, 10));
    Refresh();
    return true;
}

void CDlgPgSynchronisation::Refresh()
{
    RefreshList();
    RefreshRate();
}

void CDlgPgSynchronisation::RefreshRate()
{
    qel::cpl::CDrv& drv = View()->Drv();
    QString rate = QStringLiteral("unknown");
    if (drv.refreshDeviceProperties() == qel::QEL_OK && !drv.deviceProperties().empty() &&
        drv.getSampleRateInfo() == qel::QEL_OK) {
        const int hz = int(drv.sampleRateInfo().currentRate());
        rate = QString::asprintf("%d.%d kHz", hz / 1000, (hz % 1000) / 100);
    }
    const QString text = QStringLiteral("Current sampling rate: ") + rate;
    m_rate->setText(text);
    View()->SetPaneText(2, text);
}
