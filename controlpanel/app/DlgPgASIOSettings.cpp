#include "controlpanel/app/DlgPgASIOSettings.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimerEvent>

#include <climits>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/QEL_CPLView.h"
#include "controlpanel/driver/Drv.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"

namespace {

constexpr int kStatisticsPeriodMs = 1000;

template <class W>
W* Place(W* widget, int id, const QRect& du)
{
    widget->setGeometry(du);
    if (id)
        SetControlId(widget, id);
    return widget;
}

int ToInt(std::uint32_t v)
{
    return v > std::uint32_t(INT_MAX) ? INT_MAX : int(v);
}

// Microseconds as milliseconds with one decimal, truncated.
QString MsText(std::uint32_t us)
{
    return QString::asprintf("%d.%01d %s", ToInt(us / 1000), ToInt((us % 1000) / 100), "ms");
}

QSlider* MakeSlider(QWidget* parent, int id, const QRect& du)
{
    auto* slider = Place(new QSlider(Qt::Horizontal, parent), id, du);
    slider->setTickPosition(QSlider::TicksBothSides);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    return slider;
}

}  // namespace

CDlgPgASIOSettings::CDlgPgASIOSettings() : CDialogPage(IDD_PG_ASIO_SETTINGS)
{
    setWindowTitle(QStringLiteral("Settings"));
}

bool CDlgPgASIOSettings::OnInitDialog()
{
    Place(new QGroupBox(QStringLiteral("Isochronous Streaming"), this), 0, DuRect(7, 7, 336, 50));
    QLabel* streamCaption =
        Place(new QLabel(QStringLiteral("Stream buffer depth:"), this), IDC_STREAM_LABEL, DuRect(14, 20, 120, 8));
    m_streamSlider = MakeSlider(this, IDC_STREAM_SLIDER, DuRect(14, 30, 200, 20));
    m_streamLabel = Place(new QLabel(this), IDC_STREAM_TEXT, DuRect(218, 31, 66, 18));
    m_streamApply = Place(new QPushButton(QStringLiteral("Apply"), this), IDC_STREAM_APPLY, DuRect(286, 33, 50, 14));

    Place(new QGroupBox(QStringLiteral("Audio Buffers"), this), 0, DuRect(7, 62, 336, 100));
    QLabel* asioCaption =
        Place(new QLabel(QStringLiteral("ASIO buffer depth:"), this), IDC_ASIO_LABEL, DuRect(14, 75, 120, 8));
    m_asioSlider = MakeSlider(this, IDC_ASIO_SLIDER, DuRect(14, 85, 200, 20));
    m_asioLabel = Place(new QLabel(this), IDC_ASIO_TEXT, DuRect(218, 86, 66, 18));
    m_asioApply = Place(new QPushButton(QStringLiteral("Apply"), this), IDC_ASIO_APPLY, DuRect(286, 88, 50, 14));
    QLabel* wdmCaption =
        Place(new QLabel(QStringLiteral("WDM sound buffer depth:"), this), IDC_WDM_LABEL, DuRect(14, 114, 120, 8));
    m_wdmSlider = MakeSlider(this, IDC_WDM_SLIDER, DuRect(14, 124, 200, 20));
    m_wdmLabel = Place(new QLabel(this), IDC_WDM_TEXT, DuRect(218, 125, 66, 18));
    m_wdmApply = Place(new QPushButton(QStringLiteral("Apply"), this), IDC_WDM_APPLY, DuRect(286, 127, 50, 14));

    Place(new QGroupBox(QStringLiteral("ASIO Statistics"), this), 0, DuRect(7, 168, 336, 28));
    Place(new QLabel(QStringLiteral("Drop outs detected:"), this), 0, DuRect(14, 180, 80, 8));
    m_dropoutsLabel = Place(new QLabel(this), IDC_DROPOUTS_TEXT, DuRect(96, 180, 80, 8));

    // A screen reader names each slider by its caption and reads its value
    // as the read-out beside it shows it; the three Apply buttons say what
    // they apply.
    streamCaption->setBuddy(m_streamSlider);
    asioCaption->setBuddy(m_asioSlider);
    wdmCaption->setBuddy(m_wdmSlider);
    m_streamApply->setAccessibleName(QStringLiteral("Apply stream buffer depth"));
    m_asioApply->setAccessibleName(QStringLiteral("Apply ASIO buffer depth"));
    m_wdmApply->setAccessibleName(QStringLiteral("Apply WDM sound buffer depth"));

    m_streamLabel->setText(m_streamText);
    m_asioLabel->setText(m_asioText);
    m_wdmLabel->setText(m_wdmText);

    for (QSlider* slider : {m_streamSlider, m_asioSlider, m_wdmSlider})
        connect(slider, &QSlider::valueChanged, this, [this] { UpdateTexts(); });
    connect(m_streamApply, &QPushButton::clicked, this, &CDlgPgASIOSettings::OnApplyStream);
    connect(m_asioApply, &QPushButton::clicked, this, &CDlgPgASIOSettings::OnApplyAsio);
    connect(m_wdmApply, &QPushButton::clicked, this, &CDlgPgASIOSettings::OnApplyWdm);

    Refresh();
    return true;
}

int CDlgPgASIOSettings::AudioTickFrequency(std::uint32_t minimum, std::uint32_t step)
{
    if (step == 0)
        return 1;
    // A minimum above the limit leaves a single position (no wrap-around).
    const std::uint32_t n = minimum <= kAudioLimit ? (kAudioLimit - minimum) / step + 1 : 1;
    return n <= 40 ? 1 : ToInt((n - 41) / 40 + 2);
}

void CDlgPgASIOSettings::SetUpStreamSlider()
{
    const std::uint32_t step = m_stream.step();  // never 0: the driver object refuses such a record
    const QSignalBlocker block(m_streamSlider);
    m_streamSlider->setRange(ToInt(m_stream.minimum() / step), ToInt(kStreamLimit / step));
    m_streamSlider->setTickInterval(1);
    m_streamSlider->setValue(ToInt(m_stream.currentDepth() / step));
}

void CDlgPgASIOSettings::SetUpAudioSlider(QSlider* slider, const qel::QEL_AUDIO_BUFFER& record)
{
    const std::uint32_t step = record.step();
    const QSignalBlocker block(slider);
    slider->setRange(ToInt(record.minimum() / step), ToInt(kAudioLimit / step));
    slider->setTickInterval(AudioTickFrequency(record.minimum(), step));
    slider->setValue(ToInt(record.currentDepth() / step));
}

void CDlgPgASIOSettings::Refresh()
{
    if (!m_streamSlider)
        return;
    qel::cpl::CDrv& drv = View()->Drv();
    int read = 0;
    if (drv.getStreamBuffer(m_stream) == qel::QEL_OK) {
        SetUpStreamSlider();
        m_streamSlider->setEnabled(true);
        ++read;
    } else {
        m_streamSlider->setEnabled(false);
        m_streamText.clear();
    }
    if (drv.getAsioBuffer(m_asio) == qel::QEL_OK) {
        SetUpAudioSlider(m_asioSlider, m_asio);
        m_asioSlider->setEnabled(true);
        ++read;
    } else {
        m_asioSlider->setEnabled(false);
        m_asioText.clear();
    }
    if (drv.getWdmBuffer(m_wdm) == qel::QEL_OK) {
        SetUpAudioSlider(m_wdmSlider, m_wdm);
        m_wdmSlider->setEnabled(true);
        ++read;
    } else {
        m_wdmSlider->setEnabled(false);
        m_wdmText.clear();
    }
    m_streamApply->setEnabled(false);
    m_asioApply->setEnabled(false);
    m_wdmApply->setEnabled(false);
    if (read > 0)
        UpdateTexts();
}

void CDlgPgASIOSettings::UpdateAudioText(QSlider* slider, qel::QEL_AUDIO_BUFFER& record, QPushButton* apply,
                                         QString& text)
{
    if (!slider->isEnabled())
        return;
    const std::uint32_t depth = std::uint32_t(slider->value()) * record.step();
    if (depth != record.currentDepth()) {
        record.setCurrentDepth(depth);
        apply->setEnabled(true);
    }
    // The sample count is the driver's answer to an applied depth.
    text = MsText(depth);
    if (!apply->isEnabled())
        text += QString::asprintf("\n%d %s", ToInt(record.samples()), "samples");
}

void CDlgPgASIOSettings::UpdateTexts()
{
    UpdateAudioText(m_asioSlider, m_asio, m_asioApply, m_asioText);
    UpdateAudioText(m_wdmSlider, m_wdm, m_wdmApply, m_wdmText);
    if (m_streamSlider->isEnabled()) {
        const std::uint32_t previous = m_stream.currentDepth();
        const std::uint32_t depth = std::uint32_t(m_streamSlider->value()) * m_stream.step();
        m_stream.setCurrentDepth(depth);
        m_streamText = QString::asprintf("%d %s", ToInt(depth), "µs");
        if (depth != previous)
            m_streamApply->setEnabled(true);
    }
    WriteTexts();
}

void CDlgPgASIOSettings::WriteTexts()
{
    m_streamLabel->setText(m_streamText);
    m_asioLabel->setText(m_asioText);
    m_wdmLabel->setText(m_wdmText);
    m_dropoutsLabel->setText(m_dropoutsText);
    const auto spoken = [](const QString& text) { return QString(text).replace(QLatin1Char('\n'), QLatin1String(", ")); };
    m_streamSlider->setAccessibleDescription(spoken(m_streamText));
    m_asioSlider->setAccessibleDescription(spoken(m_asioText));
    m_wdmSlider->setAccessibleDescription(spoken(m_wdmText));
}

void CDlgPgASIOSettings::showEvent(QShowEvent* e)
{
    CDialogPage::showEvent(e);
    if (!m_statisticsTimer.isActive())
        m_statisticsTimer.start(kStatisticsPeriodMs, this);
    Refresh();
}

void CDlgPgASIOSettings::hideEvent(QHideEvent* e)
{
    CDialogPage::hideEvent(e);
    m_statisticsTimer.stop();
    Refresh();
}

void CDlgPgASIOSettings::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != m_statisticsTimer.timerId()) {
        CDialogPage::timerEvent(e);
        return;
    }
    qel::QEL_STATISTICS statistics;
    if (View()->Drv().getStatistics(statistics) == qel::QEL_OK)
        m_dropoutsText = QString::asprintf("%u", unsigned(statistics.dropouts()));
    else
        m_dropoutsText.clear();
    WriteTexts();
}

void CDlgPgASIOSettings::OnApplyStream()
{
    qel::cpl::CDrv& drv = View()->Drv();
    drv.setStreamBuffer(m_stream);
    drv.beginSyncChange();
    drv.endSyncChange();
    Refresh();
}

void CDlgPgASIOSettings::OnApplyWdm()
{
    qel::cpl::CDrv& drv = View()->Drv();
    drv.setWdmBuffer(m_wdm);
    drv.beginSyncChange();
    drv.endSyncChange();
    Refresh();
}

void CDlgPgASIOSettings::OnApplyAsio()
{
    View()->Drv().setAsioBuffer(m_asio);
    Refresh();
}
