#include "controlpanel/app/DlgPgDevices.h"

#include <QLabel>
#include <QPushButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"

namespace {

template <class W>
W* Place(W* widget, int id, const QRect& du)
{
    widget->setGeometry(du);
    if (id)
        SetControlId(widget, id);
    return widget;
}

}  // namespace

CSubDlgDeviceNameEdit::CSubDlgDeviceNameEdit(qel::QEL_DEVICE_PROPERTIES& record, const QString& name,
                                             ToCodePage toCodePage, QWidget* parent)
    : CSubDlgNameEdit(QStringLiteral("Edit Device Name"), QStringLiteral("Device name"), IDC_DEVICE_NAME_EDIT, name,
                      std::move(toCodePage), parent),
      m_record(record)
{
}

void CSubDlgDeviceNameEdit::Store(const std::string& name)
{
    qel::setDeviceName(m_record, name);
}

CDlgPgDevices::CDlgPgDevices() : CDialogPage(IDD_PG_DEVICES)
{
    setWindowTitle(QStringLiteral("Devices"));
}

bool CDlgPgDevices::OnInitDialog()
{
    m_list = Place(new CListCtrlEx(this), IDC_DEVICE_LIST, DuRect(7, 7, 256, 160));
    m_list->setAccessibleName(QStringLiteral("Devices"));
    m_edit = Place(new QPushButton(QStringLiteral("Edit Device Name"), this), IDC_EDIT_DEVICE_NAME,
                   DuRect(268, 7, 75, 14));
    m_up = Place(new QPushButton(QStringLiteral("Up"), this), IDC_DEVICE_UP, DuRect(268, 26, 75, 14));
    m_down = Place(new QPushButton(QStringLiteral("Down"), this), IDC_DEVICE_DOWN, DuRect(268, 44, 75, 14));
    m_hint = Place(new QLabel(this), IDC_DEVICES_HINT, DuRect(7, 172, 336, 30));
    m_hint->setWordWrap(true);
    m_apply = Place(new QPushButton(QStringLiteral("Apply"), this), IDC_DEVICES_APPLY, DuRect(293, 217, 50, 14));

    m_list->InsertColumn(0, QStringLiteral("Device name"), 235);
    m_list->InsertColumn(1, QStringLiteral("Serial number"), 220);
    m_list->SetExtendedStyle(CListCtrlEx::GridLines | CListCtrlEx::HeaderDragDrop | CListCtrlEx::FullRowSelect);
    m_hint->setText(QStringLiteral("Use Up and Down buttons to change device ranking and press Apply to store "
                                   "settings.\nDevice ranking defines the order of channels shown in ASIO hosts."));

    connect(m_list, &CListCtrlEx::ItemChanged, this, [this](int) { UpdateButtons(); });
    connect(m_list, &CListCtrlEx::ItemDoubleClicked, this, [this](int) { OnEditName(); });
    connect(m_edit, &QPushButton::clicked, this, &CDlgPgDevices::OnEditName);
    connect(m_up, &QPushButton::clicked, this, [this] { Move(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { Move(+1); });
    connect(m_apply, &QPushButton::clicked, this, &CDlgPgDevices::OnApply);

    m_apply->setEnabled(false);
    Refresh();
    return true;
}

void CDlgPgDevices::Refresh()
{
    if (!m_list)
        return;
    qel::cpl::CDrv& drv = View()->Drv();
    const int selected = m_list->GetSelectedIndex();
    m_list->DeleteAllItems();
    m_refreshFailed = drv.refreshDeviceProperties() != qel::QEL_OK;
    if (!m_refreshFailed) {
        const auto& records = drv.deviceProperties();
        for (int i = 0; i < int(records.size()); ++i) {
            const int row = m_list->InsertItem(i, View()->Text(records[i].deviceName()));
            m_list->SetItemText(row, 1, View()->Text(records[i].serial()));
            m_list->SetItemData(row, i);
        }
    }
    if (selected >= 0)
        m_list->SelectItem(selected);
    UpdateButtons();
    View()->SetPaneText(1, QString::asprintf("%i ", int(drv.deviceProperties().size())) +
                               QStringLiteral("Device(s) connected."));
}

void CDlgPgDevices::UpdateButtons()
{
    const int selected = m_list->GetSelectedIndex();
    const int rows = m_list->GetItemCount();
    m_edit->setEnabled(selected >= 0);
    m_up->setEnabled(selected >= 0 && rows >= 2 && selected > 0);
    m_down->setEnabled(selected >= 0 && rows >= 2 && selected < rows - 1);
    m_hint->setVisible(m_up->isEnabled() || m_down->isEnabled());
}

void CDlgPgDevices::Move(int delta)
{
    const int row = m_list->GetSelectedIndex();
    if (row < 0)
        return;
    const int target = qBound(0, row + delta, m_list->GetItemCount() - 1);
    const QString name = m_list->GetItemText(row, 0);
    const QString serial = m_list->GetItemText(row, 1);
    const qint64 data = m_list->GetItemData(row);
    m_list->DeleteItem(row);
    const int inserted = m_list->InsertItem(target, name);
    m_list->SetItemText(inserted, 1, serial);
    m_list->SetItemData(inserted, data);
    m_list->SelectItem(inserted);
    UpdateButtons();
    m_apply->setEnabled(true);
}

void CDlgPgDevices::OnApply()
{
    qel::cpl::CDrv& drv = View()->Drv();
    auto& records = drv.deviceProperties();
    for (int row = 0; row < m_list->GetItemCount(); ++row) {
        const qint64 index = m_list->GetItemData(row);
        if (index >= 0 && std::size_t(index) < records.size())
            records[std::size_t(index)].setWord(4, std::uint32_t(row));
    }
    drv.writeDeviceProperties();
    Refresh();
    View()->RefreshAfterDeviceChange();
    m_apply->setEnabled(false);
}

void CDlgPgDevices::OnEditName()
{
    const int row = m_list->GetSelectedIndex();
    qel::cpl::CDrv& drv = View()->Drv();
    const qint64 index = row >= 0 ? m_list->GetItemData(row) : -1;
    if (index < 0 || std::size_t(index) >= drv.deviceProperties().size())
        return;
    qel::QEL_DEVICE_PROPERTIES copy = drv.deviceProperties()[std::size_t(index)];
    CSubDlgDeviceNameEdit dlg(copy, View()->Text(copy.deviceName()),
                              [this](const QString& text) { return View()->CodePageText(text); }, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    drv.setDeviceProperties(copy);
    Refresh();
    View()->RefreshAfterDeviceChange();
}
