#include "controlpanel/app/DlgPgChannels.h"

#include <map>
#include <optional>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "device/Requests.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"

namespace {

constexpr int kDisplayNameLength = 32;

template <class W>
W* Place(W* widget, int id, const QRect& du)
{
    widget->setGeometry(du);
    if (id)
        SetControlId(widget, id);
    return widget;
}

}  // namespace

CSubDlgChannelNameEdit::CSubDlgChannelNameEdit(qel::QEL_CHANNEL_PROPERTIES& record, const QString& name,
                                               ToCodePage toCodePage, QWidget* parent)
    : CSubDlgNameEdit(QStringLiteral("Edit Channel Name"), QStringLiteral("Channel name"), IDC_CHANNEL_NAME_EDIT, name,
                      std::move(toCodePage), parent),
      m_record(record)
{
}

void CSubDlgChannelNameEdit::Store(const std::string& name)
{
    m_record.setChannelName(name);
}

QString AsioDisplayName(const QString& device, const QString& channel, bool withDevice)
{
    const QString name = withDevice ? device + QStringLiteral(" - ") + channel : channel;
    return name.left(kDisplayNameLength);
}

CDlgPgChannels::CDlgPgChannels(int direction) : CDialogPage(IDD_PG_CHANNELS), m_direction(direction)
{
    setWindowTitle(direction == 0 ? QStringLiteral("Input Channels") : QStringLiteral("Output Channels"));
}

bool CDlgPgChannels::OnInitDialog()
{
    m_list = Place(new CListCtrlEx(this), IDC_CHANNEL_LIST, DuRect(7, 7, 336, 160));
    m_check = Place(new QCheckBox(QStringLiteral("Include device name in\nASIO display name"), this),
                    IDC_ASIO_NAME_OPTION, DuRect(7, 172, 130, 20));
    m_edit = Place(new QPushButton(QStringLiteral("Edit Channel Name"), this), IDC_EDIT_CHANNEL_NAME,
                   DuRect(263, 172, 80, 14));
    m_hardwareLabel = Place(new QLabel(QStringLiteral("Hardware name of selected channel:"), this),
                            IDC_HARDWARE_NAME_LABEL, DuRect(7, 199, 200, 8));
    m_hardware = Place(new QLineEdit(this), IDC_HARDWARE_NAME, DuRect(7, 209, 200, 12));
    m_hardware->setReadOnly(true);
    m_hardwareLabel->setBuddy(m_hardware);
    m_list->setAccessibleName(windowTitle());

    m_list->InsertColumn(0, QStringLiteral("Device name"), 160);
    m_list->InsertColumn(1, QStringLiteral("Channel name"), 160);
    m_list->InsertColumn(2, QStringLiteral("ASIO display name"), 180);
    m_list->SetExtendedStyle(CListCtrlEx::GridLines | CListCtrlEx::HeaderDragDrop | CListCtrlEx::FullRowSelect);

    connect(m_list, &CListCtrlEx::ItemChanged, this, [this](int) { UpdateSelection(); });
    connect(m_list, &CListCtrlEx::ItemDoubleClicked, this, [this](int) { OnEditName(); });
    connect(m_edit, &QPushButton::clicked, this, &CDlgPgChannels::OnEditName);
    connect(m_check, &QCheckBox::clicked, this, &CDlgPgChannels::OnOptionClicked);

    m_edit->setEnabled(false);
    qel::cpl::CDrv& drv = View()->Drv();
    if (drv.getAsioNameOption() == qel::QEL_OK)
        m_option = drv.asioNameOption() != 0 ? 1 : 0;
    Refresh();
    m_check->setChecked(m_option != 0);
    return true;
}

void CDlgPgChannels::Refresh()
{
    if (!m_list)
        return;
    qel::cpl::CDrv& drv = View()->Drv();
    const int selected = m_list->GetSelectedIndex();
    m_list->DeleteAllItems();
    const auto which = std::uint32_t(m_direction);
    m_refreshFailed = drv.refreshChannels(which) != qel::QEL_OK;
    if (!m_refreshFailed) {
        const auto& channels = drv.channels(which);
        // One device-properties request per device, not per channel: on a
        // slow driver a refresh of 48 channels took 48 requests.
        std::map<std::uint32_t, std::optional<qel::QEL_DEVICE_PROPERTIES>> devices;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const std::uint32_t id = channels[i].deviceId();
            auto known = devices.find(id);
            if (known == devices.end()) {
                qel::QEL_DEVICE_PROPERTIES record;
                known = devices.emplace(id, drv.getDeviceProperties(id, record) == qel::QEL_OK
                                                ? std::optional<qel::QEL_DEVICE_PROPERTIES>(record)
                                                : std::nullopt)
                            .first;
            }
            if (!known->second)
                continue;
            const qel::QEL_DEVICE_PROPERTIES& device = *known->second;
            const int row = m_list->InsertItem(int(i), View()->Text(device.deviceName()));
            m_list->SetItemText(row, 1, View()->Text(channels[i].channelName()));
            m_list->SetItemData(row, qint64(i));
        }
    }
    ComposeDisplayNames();
    if (selected >= 0)
        m_list->SelectItem(selected);
    UpdateSelection();
}

void CDlgPgChannels::ComposeDisplayNames()
{
    for (int row = 0; row < m_list->GetItemCount(); ++row)
        m_list->SetItemText(row, 2,
                            AsioDisplayName(m_list->GetItemText(row, 0), m_list->GetItemText(row, 1), m_option != 0));
}

void CDlgPgChannels::UpdateSelection()
{
    const int row = m_list->GetSelectedIndex();
    const auto& channels = View()->Drv().channels(std::uint32_t(m_direction));
    const qint64 index = row >= 0 ? m_list->GetItemData(row) : -1;
    const bool selected = index >= 0 && std::size_t(index) < channels.size();
    m_hardwareName = selected ? QStringLiteral(" ") + View()->Text(channels[std::size_t(index)].hardwareName())
                              : QString();
    m_edit->setEnabled(selected);
    m_hardwareLabel->setEnabled(selected);
    m_hardware->setEnabled(selected);
    m_hardware->setText(m_hardwareName);
}

void CDlgPgChannels::SetAsioNameOption(int value)
{
    m_option = value != 0 ? 1 : 0;
    if (!m_list)
        return;
    m_check->setChecked(m_option != 0);
    ComposeDisplayNames();
}

void CDlgPgChannels::OnOptionClicked()
{
    const int value = m_check->isChecked() ? 1 : 0;
    View()->Drv().setAsioNameOption(std::uint32_t(value));
    for (CDlgPgChannels* page : {View()->InputChannelsPage(), View()->OutputChannelsPage()})
        if (page)
            page->SetAsioNameOption(value);
}

void CDlgPgChannels::OnEditName()
{
    const int row = m_list->GetSelectedIndex();
    const auto& channels = View()->Drv().channels(std::uint32_t(m_direction));
    const qint64 index = row >= 0 ? m_list->GetItemData(row) : -1;
    if (index < 0 || std::size_t(index) >= channels.size())
        return;
    qel::QEL_CHANNEL_PROPERTIES copy = channels[std::size_t(index)];
    CSubDlgChannelNameEdit dlg(copy, View()->Text(copy.channelName()),
                               [this](const QString& text) { return View()->CodePageText(text); }, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    View()->Drv().setChannelProperties(copy);
    Refresh();
}
