#include "controlpanel/app/DlgPgASIOSettings.h"

#include <QLabel>

#include "controlpanel/app/ControlPanelIds.h"
#include "ui/DialogUnits.h"

CDlgPgASIOSettings::CDlgPgASIOSettings() : CDialogPage(IDD_PG_ASIO_SETTINGS)
{
    setWindowTitle(QStringLiteral("Settings"));
}

bool CDlgPgASIOSettings::OnInitDialog()
{
    auto* title = new QLabel(windowTitle(), this);
    title->setGeometry(DuRect(7, 7, 200, 10));
    return true;
}
