#include "controlpanel/app/DlgPgSynchronisation.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <iterator>
#include <cstring>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBoxService.h"

namespace {

constexpr std::uint32_t kWdmInUse = 0xE0000047;

template <class W>
W* Place(W* widget, int id, const QRect& du)
{
    widget->setGeometry(du);
    if (id)
        SetControlId(widget, id);
    return widget;
}

}  // namespace

QString ClockSourceText(const qel::QEL_SYNC_MODE_ENTRY& entry, const QString& name)
{
    static const char* const kKinds[] = {"Unspecified", "CSP", "SYT", "SYT", "Digital Input", "External Clock"};
    QString text = entry.mode < std::size(kKinds) ? QString::fromLatin1(kKinds[entry.mode]) : QString();
    if (!name.isEmpty())
        text += QStringLiteral(" (") + name + QLatin1Char(')');
    return text;
}

QString SampleRateText(std::uint32_t hz)
{
    return QString::asprintf("%d.%d kHz", int(hz / 1000), int((hz % 1000) / 100));
}

// ---------------------------------------------------------------- CSubDlgDeviceSynch

CSubDlgDeviceSynch::CSubDlgDeviceSynch(qel::QEL_DEVICE_SYNCH_MODE_INFO& record, TextFn text, QWidget* parent)
    : QDialog(parent), m_record(record)
{
    setWindowTitle(QStringLiteral("Device Synchronisation Mode"));
    setFixedSize(DuToPxX(224), DuToPxY(122));
    m_list = Place(new CListCtrlEx(this), IDC_CLOCK_LIST, DuRect(7, 7, 210, 86));
    m_list->setAccessibleName(QStringLiteral("Device Synchronisation Mode"));
    auto* ok = Place(new QPushButton(QStringLiteral("OK"), this), kIdOk, DuRect(113, 101, 50, 14));
    auto* cancel = Place(new QPushButton(QStringLiteral("Cancel"), this), 2, DuRect(167, 101, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_list->SetExtendedStyle(CListCtrlEx::CheckBoxes);
    m_list->InsertColumn(0, QString(), 20);
    m_list->InsertColumn(1, QStringLiteral("Mode"), 290);
    const std::vector<qel::QEL_SYNC_MODE_ENTRY> entries = record.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int row = m_list->InsertItem(int(i), QString());
        m_list->SetItemText(row, 1, ClockSourceText(entries[i], text(entries[i].name)));
        m_list->SetItemData(row, qint64(i));
        m_list->SetCheck(row, false);
    }
    const std::uint32_t current = record.current().code;
    const auto match = std::find_if(entries.begin(), entries.end(),
                                    [current](const qel::QEL_SYNC_MODE_ENTRY& e) { return e.code == current; });
    if (match != entries.end())
        m_list->SetCheck(int(match - entries.begin()), true);
    connect(m_list, &CListCtrlEx::ItemChanged, this, &CSubDlgDeviceSynch::OnItemChanged);
    m_notify = true;
}

void CSubDlgDeviceSynch::OnItemChanged(int row)
{
    if (!m_notify || row < 0 || row >= m_list->GetItemCount())
        return;
    m_notify = false;
    if (m_list->GetCheck(row)) {
        for (int r = 0; r < m_list->GetItemCount(); ++r)
            if (r != row)
                m_list->SetCheck(r, false);
    } else {
        m_list->SetCheck(row, true);
    }
    m_notify = true;
    // The whole 48-byte entry (kind, code, name) becomes the current entry.
    const auto entry = std::uint32_t(m_list->GetItemData(row));
    if (entry < std::min(m_record.count(), qel::QEL_DEVICE_SYNCH_MODE_INFO::kMaxEntries)) {
        const std::size_t from = qel::QEL_DEVICE_SYNCH_MODE_INFO::kEntriesOffset + entry * qel::QEL_SYNC_MODE_ENTRY::kSize;
        std::memmove(m_record.bytes.data() + qel::QEL_DEVICE_SYNCH_MODE_INFO::kCurrentOffset,
                     m_record.bytes.data() + from, qel::QEL_SYNC_MODE_ENTRY::kSize);
    }
}

// ---------------------------------------------------------------- CDlgPgSynchronisation

CDlgPgSynchronisation::CDlgPgSynchronisation() : CDialogPage(IDD_PG_SYNCHRONISATION)
{
    setWindowTitle(QStringLiteral("Synchronisation"));
}

bool CDlgPgSynchronisation::OnInitDialog()
{
    Place(new QGroupBox(QStringLiteral("Synchronisation Settings"), this), 0, DuRect(7, 7, 336, 160));
    m_list = Place(new CListCtrlEx(this), IDC_CLOCK_LIST, DuRect(14, 20, 322, 96));
    m_list->setAccessibleName(QStringLiteral("Synchronisation Settings"));
    m_changeMode = Place(new QPushButton(QStringLiteral("Change Synchronisation Mode"), this), IDC_CHANGE_SYNC_MODE,
                         DuRect(14, 121, 136, 14));
    m_applySync = Place(new QPushButton(QStringLiteral("Apply"), this), IDC_SYNC_APPLY, DuRect(286, 121, 50, 14));
    m_manual = Place(new QRadioButton(QStringLiteral("Sampling rate is set manually"), this), IDC_RATE_MANUAL,
                     DuRect(14, 140, 320, 10));
    m_automatic = Place(new QRadioButton(QStringLiteral("Sampling rate is set automatically as defined by the clock master"),
                                         this),
                        IDC_RATE_AUTOMATIC, DuRect(14, 152, 320, 10));
    Place(new QGroupBox(QStringLiteral("Sampling Rate"), this), 0, DuRect(7, 174, 336, 36));
    m_rates = Place(new QComboBox(this), IDC_SAMPLE_RATE_COMBO, DuRect(14, 189, 120, 14));
    m_applyRate = Place(new QPushButton(QStringLiteral("Apply"), this), IDC_RATE_APPLY, DuRect(286, 189, 50, 14));
    m_rates->setAccessibleName(QStringLiteral("Sampling Rate"));
    m_applySync->setAccessibleName(QStringLiteral("Apply synchronisation settings"));
    m_applyRate->setAccessibleName(QStringLiteral("Apply sampling rate"));

    m_list->SetExtendedStyle(CListCtrlEx::GridLines | CListCtrlEx::CheckBoxes | CListCtrlEx::FullRowSelect);
    m_list->InsertColumn(0, QStringLiteral("Clk Master"), 70);
    m_list->InsertColumn(1, QStringLiteral("Devices"), 160);
    m_list->InsertColumn(2, QStringLiteral("Current Synchronisation Source"), 250);

    connect(m_list, &CListCtrlEx::ItemChanged, this, &CDlgPgSynchronisation::OnClockItemChanged);
    connect(m_list, &CListCtrlEx::ItemDoubleClicked, this, [this](int) { OnChangeSyncMode(); });
    connect(m_changeMode, &QPushButton::clicked, this, &CDlgPgSynchronisation::OnChangeSyncMode);
    connect(m_applySync, &QPushButton::clicked, this, &CDlgPgSynchronisation::OnApplySync);
    connect(m_manual, &QRadioButton::clicked, this, &CDlgPgSynchronisation::OnRadio);
    connect(m_automatic, &QRadioButton::clicked, this, &CDlgPgSynchronisation::OnRadio);
    connect(m_rates, &QComboBox::currentIndexChanged, this, &CDlgPgSynchronisation::OnRateSelChange);
    connect(m_applyRate, &QPushButton::clicked, this, &CDlgPgSynchronisation::OnApplyRate);

    m_manual->setEnabled(false);
    m_automatic->setEnabled(false);
    RefreshList();
    RefreshRate();
    m_applySync->setEnabled(false);
    m_applyRate->setEnabled(false);
    m_notify = true;
    return true;
}

void CDlgPgSynchronisation::Refresh()
{
    RefreshList();
    RefreshRate();
}

QString CDlgPgSynchronisation::MasterKindText() const
{
    switch (View()->Drv().syncSettings().masterKind()) {
    case 0:
        return QStringLiteral("Internal");
    case 1:
        return QStringLiteral("External");
    default:
        return QString();
    }
}

void CDlgPgSynchronisation::RefreshList()
{
    if (!m_list)
        return;
    qel::cpl::CDrv& drv = View()->Drv();
    m_notify = false;
    const int selected = m_list->GetSelectedIndex();
    m_masterRow = -1;
    m_list->DeleteAllItems();

    if (drv.refreshDeviceProperties() == qel::QEL_OK && drv.refreshSyncModes() == qel::QEL_OK &&
        !drv.deviceProperties().empty()) {
        m_list->InsertItem(0, QString());
        m_list->SetItemText(0, 1, QStringLiteral("PC Driver"));
        m_list->SetItemData(0, -1);
        if (drv.getSyncSettings() == qel::QEL_OK)
            m_list->SetItemText(0, 2, MasterKindText());
        const qel::QEL_SYNC_SETTINGS& settings = drv.syncSettings();
        if (settings.masterKind() == 0) {
            m_list->SetCheck(0, true);
            m_masterRow = 0;
        }
        const auto& devices = drv.deviceProperties();
        const auto& modes = drv.syncModes();
        for (std::size_t e = 0; e < devices.size(); ++e) {
            const int row = m_list->InsertItem(int(e) + 1, QString());
            m_list->SetItemText(row, 1, View()->Text(devices[e].deviceName()));
            if (e < modes.size()) {
                const qel::QEL_SYNC_MODE_ENTRY current = modes[e].current();
                m_list->SetItemText(row, 2, ClockSourceText(current, View()->Text(current.name)));
            }
            m_list->SetItemData(row, qint64(e));
            m_list->SetCheck(row, false);
            if (settings.masterKind() == 1 && devices[e].deviceId() == settings.masterDevice()) {
                m_list->SetCheck(row, true);
                m_masterRow = row;
            }
        }
    }
    if (selected >= 0)
        m_list->SelectItem(selected);

    drv.getSyncParameter();
    UpdateControls();
    m_notify = true;
}

void CDlgPgSynchronisation::RefreshRate()
{
    if (!m_rates)
        return;
    qel::cpl::CDrv& drv = View()->Drv();
    QString rate = QStringLiteral("unknown");
    const QSignalBlocker block(m_rates);
    m_rates->clear();
    if (drv.refreshDeviceProperties() == qel::QEL_OK && !drv.deviceProperties().empty() &&
        drv.getSampleRateInfo() == qel::QEL_OK) {
        const std::uint32_t current = drv.sampleRateInfo().currentRate();
        rate = SampleRateText(current);
        for (const std::uint32_t hz : drv.sampleRateInfo().rates())
            m_rates->addItem(SampleRateText(hz), qint64(hz));
        m_rates->setCurrentIndex(-1);
        const int match = m_rates->findData(qint64(current));
        if (match >= 0) {
            m_rates->setCurrentIndex(match);
        } else {
            m_rates->addItem(QString::asprintf("%d.%d kHz (%s)", int(current / 1000), int((current % 1000) / 100),
                                               "unavailable"),
                             qint64(0));
            m_rates->setCurrentIndex(m_rates->count() - 1);
        }
    }
    View()->SetPaneText(2, QStringLiteral("Current sampling rate: ") + rate);
    EnableRateList();
}

void CDlgPgSynchronisation::WriteRadio()
{
    m_manual->setChecked(m_radio == 0);
    m_automatic->setChecked(m_radio != 0);
}

void CDlgPgSynchronisation::EnableRateList()
{
    m_rates->setEnabled(m_rates->count() > 0 && View()->Drv().syncParameter() != 1);
}

void CDlgPgSynchronisation::UpdateControls()
{
    qel::cpl::CDrv& drv = View()->Drv();
    m_radio = drv.syncParameter() != 0 ? 1 : 0;
    WriteRadio();
    const bool deviceMaster = drv.syncSettings().masterKind() == 1;
    m_manual->setEnabled(deviceMaster);
    m_automatic->setEnabled(deviceMaster);
    EnableRateList();
    m_changeMode->setEnabled(m_list->GetSelectedIndex() > 0);
}

void CDlgPgSynchronisation::OnClockItemChanged(int row)
{
    if (m_notify && row >= 0 && row < m_list->GetItemCount()) {
        m_notify = false;
        if (m_list->GetCheck(row) && row != m_masterRow) {
            m_masterRow = row;
            for (int r = 0; r < m_list->GetItemCount(); ++r)
                if (r != row)
                    m_list->SetCheck(r, false);
            m_applySync->setEnabled(true);
        } else if (!m_list->GetCheck(row) && row == m_masterRow) {
            // Exactly one clock master: it cannot be unchecked.
            m_list->SetCheck(row, true);
        }
        if (m_masterRow >= m_list->GetItemCount())
            m_masterRow = -1;
        if (m_masterRow >= 0) {
            qel::cpl::CDrv& drv = View()->Drv();
            qel::QEL_SYNC_SETTINGS& settings = drv.syncSettings();
            const qint64 data = m_list->GetItemData(m_masterRow);
            if (data == -1) {
                // The computer as master sets the rate itself: manual mode.
                settings.setWord(8, 0);
                drv.keepSyncParameter(0);
                settings.setWord(4, 0);
            } else if (data >= 0 && std::size_t(data) < drv.deviceProperties().size()) {
                settings.setWord(8, drv.deviceProperties()[std::size_t(data)].deviceId());
                settings.setWord(4, 1);
            }
            m_list->SetItemText(0, 2, MasterKindText());
        }
        m_notify = true;
    }
    UpdateControls();
}

void CDlgPgSynchronisation::OnRadio()
{
    m_radio = m_automatic->isChecked() ? 1 : 0;
    View()->Drv().keepSyncParameter(m_radio != 0 ? 1 : 0);
    m_rates->setEnabled(m_radio == 0);
    m_applySync->setEnabled(true);
}

void CDlgPgSynchronisation::OnChangeSyncMode()
{
    const int row = m_list->GetSelectedIndex();
    if (row < 0)
        return;
    const qint64 data = m_list->GetItemData(row);
    auto& modes = View()->Drv().syncModes();
    if (data < 0 || std::size_t(data) >= modes.size())
        return;
    qel::QEL_DEVICE_SYNCH_MODE_INFO copy = modes[std::size_t(data)];
    CSubDlgDeviceSynch dlg(copy, [this](const std::string& s) { return View()->Text(s); }, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    // The list may have been refreshed while the dialog ran.
    if (std::size_t(data) >= modes.size() || row >= m_list->GetItemCount())
        return;
    modes[std::size_t(data)] = copy;
    m_notify = false;
    const qel::QEL_SYNC_MODE_ENTRY current = copy.current();
    m_list->SetItemText(row, 2, ClockSourceText(current, View()->Text(current.name)));
    m_notify = true;
    m_applySync->setEnabled(true);
}

void CDlgPgSynchronisation::OnApplySync()
{
    qel::cpl::CDrv& drv = View()->Drv();
    if (drv.beginSyncChange() == qel::QEL_OK) {
        drv.setSyncSettings();
        drv.setSyncParameter(drv.syncParameter());
        drv.writeSyncModes();
        drv.endSyncChange();
        RefreshList();
        RefreshRate();
    }
    m_applySync->setEnabled(false);
}

void CDlgPgSynchronisation::OnRateSelChange()
{
    const int index = m_rates->currentIndex();
    m_applyRate->setEnabled(index >= 0 && m_rates->itemData(index).toLongLong() != 0);
}

void CDlgPgSynchronisation::OnApplyRate()
{
    const int index = m_rates->currentIndex();
    if (index >= 0) {
        const auto hz = std::uint32_t(m_rates->itemData(index).toLongLong());
        if (View()->Drv().setSampleRate(hz) == kWdmInUse)
            QelMessageBox(this, QStringLiteral("A WDM sound device is currently in use.\nSampling rate cannot be changed."),
                          QString::fromLatin1(kAppTitle), CMessageBoxService::Icon::Warning,
                          CMessageBoxService::Buttons::Ok);
    }
    RefreshList();
    RefreshRate();
    m_applyRate->setEnabled(false);
}
