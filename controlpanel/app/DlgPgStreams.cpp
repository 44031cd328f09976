#include "controlpanel/app/DlgPgStreams.h"

#include <QLabel>

#include "controlpanel/app/ControlPanelIds.h"
#include "ui/DialogUnits.h"

CDlgPgStreams::CDlgPgStreams() : CDialogPage(IDD_PG_STREAMS)
{
    setWindowTitle(QStringLiteral("Streams"));
}

bool CDlgPgStreams::OnInitDialog()
{
    auto* title = new QLabel(windowTitle(), this);
    title->setGeometry(DuRect(7, 7, 200, 10));
    return true;
}
