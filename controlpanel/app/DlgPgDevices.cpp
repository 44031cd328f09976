#include "controlpanel/app/DlgPgDevices.h"

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"

CDlgPgDevices::CDlgPgDevices() : CDialogPage(IDD_PG_DEVICES)
{
    setWindowTitle(QStringLiteral("Devices"));
}

bool CDlgPgDevices::OnInitDialog()
{
    m_list = new CListCtrlEx(this);
    SetControlId(m_list, IDC_DEVICE_LIST);
    m_list->setGeometry(DuRect(7, 7, 282, 160));
    m_list->InsertColumn(0, QStringLiteral("Device name"), 235);
    m_list->InsertColumn(1, QStringLiteral("Serial number"), 220);
    m_list->SetExtendedStyle(CListCtrlEx::GridLines | CListCtrlEx::HeaderDragDrop | CListCtrlEx::FullRowSelect);
    Refresh();
    return true;
}

void CDlgPgDevices::Refresh()
{
    qel::cpl::CDrv& drv = View()->Drv();
    const int selected = m_list->GetSelectedIndex();
    m_list->DeleteAllItems();
    if (drv.refreshDeviceProperties() == qel::QEL_OK) {
        const auto& records = drv.deviceProperties();
        for (int i = 0; i < int(records.size()); ++i) {
            const int row = m_list->InsertItem(i, View()->Text(records[i].deviceName()));
            m_list->SetItemText(row, 1, View()->Text(records[i].serial()));
            m_list->SetItemData(row, i);
        }
    }
    if (selected >= 0)
        m_list->SelectItem(selected);
    View()->SetPaneText(1, QString::asprintf("%i ", int(drv.deviceProperties().size())) +
                               QStringLiteral("Device(s) connected."));
}
