#include "controlpanel/app/DlgPgChannels.h"

#include <QLabel>

#include "controlpanel/app/ControlPanelIds.h"
#include "ui/DialogUnits.h"

CDlgPgChannels::CDlgPgChannels(int direction) : CDialogPage(IDD_PG_CHANNELS), m_direction(direction)
{
    setWindowTitle(direction == 0 ? QStringLiteral("Input Channels") : QStringLiteral("Output Channels"));
}

bool CDlgPgChannels::OnInitDialog()
{
    auto* title = new QLabel(windowTitle(), this);
    title->setGeometry(DuRect(7, 7, 200, 10));
    return true;
}
