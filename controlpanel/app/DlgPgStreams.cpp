#include "controlpanel/app/DlgPgStreams.h"

#include <QLabel>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "controlpanel/driver/StatusText.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"

namespace {

const char* const kPlugLabels[qel::QEL_STREAM_INFO::kPlugs] = {"AudioOutPlug", "AudioInPlug", "SynchOutPlug",
                                                                "SynchInPlug"};

QString RateText(std::uint32_t hz)
{
    switch (hz) {
    case 32000:
    case 44100:
    case 48000:
    case 88200:
    case 96000:
    case 176400:
    case 192000:
        return QString::number(hz);
    default:
        return QStringLiteral("unknown  ");
    }
}

}  // namespace

QString PlugCellText(const qel::QEL_PLUG_STATUS& plug)
{
    switch (plug.state()) {
    case qel::QEL_PLUG_STATUS::kConnected:
        return QStringLiteral("connected") + QString::asprintf(" (%u)", unsigned(plug.streamNumber()));
    case qel::QEL_PLUG_STATUS::kConnectFailed:
        return QStringLiteral("connect failed");
    default:
        return QString();
    }
}

QString RateLine(const qel::QEL_PLUG_STATUS& plug, std::uint32_t highlighted)
{
    QString line = QStringLiteral("Supported sampling rates (Hz): ");
    for (const std::uint32_t hz : plug.rates()) {
        const bool mark = hz == highlighted;
        if (mark)
            line += QLatin1Char('[');
        line += RateText(hz);
        if (mark)
            line += QLatin1Char(']');
        line += QStringLiteral("  ");
    }
    return line;
}

QString PlugReportText(const QString& label, const qel::QEL_PLUG_STATUS& plug)
{
    switch (plug.state()) {
    case qel::QEL_PLUG_STATUS::kConnected:
        return label + QStringLiteral(": ") + QStringLiteral("successfully connected") + QStringLiteral("\n   ") +
               QStringLiteral("Isochronous stream number") + QStringLiteral(": ") +
               QString::asprintf("%d", int(plug.streamNumber())) + QStringLiteral("\n   ") +
               RateLine(plug, plug.currentRate());
    case qel::QEL_PLUG_STATUS::kConnectFailed:
        return label + QStringLiteral(": ") + QStringLiteral("connect failed") +
               QStringLiteral(" (%1)").arg(QString::fromStdString(qel::cpl::statusLine(plug.statusCode()))) +
               QStringLiteral("\n   ") + RateLine(plug, 0);
    default:
        return QString();
    }
}

CDlgPgStreams::CDlgPgStreams() : CDialogPage(IDD_PG_STREAMS)
{
    setWindowTitle(QStringLiteral("Streams"));
}

bool CDlgPgStreams::OnInitDialog()
{
    m_list = new CListCtrlEx(this);
    SetControlId(m_list, IDC_STREAM_LIST);
    m_list->setGeometry(DuRect(7, 7, 336, 85));
    m_list->setAccessibleName(QStringLiteral("Streams"));
    m_reportLabel = new QLabel(this);
    SetControlId(m_reportLabel, IDC_STREAM_REPORT);
    m_reportLabel->setGeometry(DuRect(7, 97, 336, 111));
    m_reportLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_reportLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_reportLabel->setTextFormat(Qt::PlainText);

    m_list->InsertColumn(0, QStringLiteral("Device name"), 140);
    m_list->InsertColumn(1, QStringLiteral("Audio Out Plug"), 90);
    m_list->InsertColumn(2, QStringLiteral("Audio In Plug"), 90);
    m_list->InsertColumn(3, QStringLiteral("Synch Out Plug"), 90);
    m_list->InsertColumn(4, QStringLiteral("Synch In Plug"), 90);
    m_list->SetExtendedStyle(CListCtrlEx::GridLines | CListCtrlEx::HeaderDragDrop | CListCtrlEx::FullRowSelect);
    connect(m_list, &CListCtrlEx::ItemChanged, this, [this](int) { OnItemChanged(); });
    Refresh();
    return true;
}

void CDlgPgStreams::Refresh()
{
    if (!m_list)
        return;
    qel::cpl::CDrv& drv = View()->Drv();
    int selected = m_list->GetSelectedIndex();
    m_report.clear();
    m_list->DeleteAllItems();
    bool streaming = true;
    if (drv.refreshDeviceProperties() == qel::QEL_OK) {
        const auto& devices = drv.deviceProperties();
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const int row = m_list->InsertItem(int(i), View()->Text(devices[i].deviceName()));
            m_list->SetItemData(row, qint64(i));
            qel::QEL_STREAM_INFO info;
            if (drv.getStreamInfo(devices[i].deviceId(), info) != qel::QEL_OK)
                continue;
            for (std::uint32_t p = 0; p < qel::QEL_STREAM_INFO::kPlugs; ++p)
                m_list->SetItemText(row, int(p) + 1, PlugCellText(info.plug(p)));
            if (info.plug(qel::QEL_STREAM_INFO::kAudioOutPlug).state() != qel::QEL_PLUG_STATUS::kConnected ||
                info.plug(qel::QEL_STREAM_INFO::kAudioInPlug).state() != qel::QEL_PLUG_STATUS::kConnected)
                streaming = false;
        }
    }
    const int rows = m_list->GetItemCount();
    if (rows > 0) {
        if (selected < 0 || selected >= rows)
            selected = 0;
        {
            const QSignalBlocker block(m_list);
            m_list->SelectItem(selected);
        }
        OnItemChanged();
    }
    View()->SetPaneText(3, rows == 0     ? QStringLiteral("no streams available")
                           : streaming ? QStringLiteral("streaming")
                                       : QStringLiteral("connect failed"));
    m_reportLabel->setText(m_report);
}

void CDlgPgStreams::OnItemChanged()
{
    m_report.clear();
    const int row = m_list->GetSelectedIndex();
    qel::cpl::CDrv& drv = View()->Drv();
    const qint64 index = row >= 0 ? m_list->GetItemData(row) : -1;
    qel::QEL_STREAM_INFO info;
    if (index >= 0 && std::size_t(index) < drv.deviceProperties().size() &&
        drv.getStreamInfo(drv.deviceProperties()[std::size_t(index)].deviceId(), info) == qel::QEL_OK) {
        QStringList plugs;
        for (std::uint32_t p = 0; p < qel::QEL_STREAM_INFO::kPlugs; ++p)
            plugs << PlugReportText(QString::fromLatin1(kPlugLabels[p]), info.plug(p));
        m_report = plugs.join(QLatin1Char('\n'));
    }
    m_reportLabel->setText(m_report);
}
