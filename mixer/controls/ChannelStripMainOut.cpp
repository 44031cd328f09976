#include "mixer/controls/ChannelStripMainOut.h"

#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ClipLamp.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/ValueScaling.h"
#include "ui/DialogUnits.h"
#include "ui/WindowMessage.h"

#include <QLabel>

CChannelStripMainOut::CChannelStripMainOut(QWidget* parent) : CMixerElement(kBackgroundId, parent)
{
    // Template 157, 61 x 223 dialog units.
    m_kindLabel = AddLabel(kKindLabelId, m_kindText, DuRect(3, 3, 52, 8), Qt::AlignCenter);
    m_captionLabel = AddLabel(kCaptionLabelId, m_caption, DuRect(1, 10, 56, 8), Qt::AlignCenter);
    m_mute = new CBitmapPushButton(this, kMuteId, CBitmapPushButton::Style::AutoRadioButton);
    m_mute->setText(QStringLiteral("Mute"));
    m_mute->setGeometry(DuRect(12, 22, 33, 9));
    m_balance = new CBitmapSlider(this, kBalanceId);
    m_balance->setGeometry(DuRect(11, 37, 35, 8));
    m_volume = new CBitmapSlider(this, kVolumeId);
    m_volume->setGeometry(DuRect(13, 69, 7, 122));
    m_meterLeft = new CLevelMeter(this, kMeterLeftId);
    m_meterLeft->setGeometry(DuRect(29, 69, 7, 123));
    m_meterRight = new CLevelMeter(this, kMeterRightId);
    m_meterRight->setGeometry(DuRect(39, 69, 7, 123));
    m_clipLamp = new CClipLamp(this);
    m_readout = new CMatrixStatic(this, kReadoutId);
    m_readout->move(DuToPxX(7), DuToPxY(214));

    connect(m_mute, &QPushButton::clicked, this, [this] { OnToggleMute(m_muteWord, BlockId()); });
}

void CChannelStripMainOut::OnInitDialog()
{
    CMixerElement::OnInitDialog();
    m_mute->SetImages(true, 182, 50, 14);
    SkinFader(m_volume);
    SkinPan(m_balance, 153);
    m_balance->SetPos(0);
    for (CLevelMeter* meter : {m_meterLeft, m_meterRight})
        SkinMeter(meter);
    PlaceClipLamp(m_clipLamp, m_meterLeft, m_meterRight);
    m_readout->Setup(kReadoutColumns, QStringLiteral("0.0 dB"));
    OfferTypedValue(m_readout, typed::Readout::Level, m_volume, m_balance);
    m_kindLabel->setFont(LabelFont());
}

void CChannelStripMainOut::DoDataExchange(bool fromControls)
{
    ExchangeText(fromControls, m_kindLabel, m_kindText);
    ExchangeText(fromControls, m_captionLabel, m_caption);
    ExchangeRadio(fromControls, m_mute, m_muteWord);
}

void CChannelStripMainOut::SetVolume(double levelDb, int)
{
    if (m_volume->ShowDeviceValue(scaling::FaderPosFromLevel(levelDb)))
        m_readout->SetText(QString::fromStdString(scaling::FormatLevelDb(levelDb)));
}

void CChannelStripMainOut::SetBalance(double value, int)
{
    m_balance->ShowDeviceValue(scaling::BalancePosFromDevice(value));
}

void CChannelStripMainOut::SetMute(int state, int)
{
    ShowMuteState(m_mute, state);
}

void CChannelStripMainOut::SetMeterLevels(int left, int right)
{
    m_meterLeft->SetPos(left);
    m_meterRight->SetPos(right);
    m_clipLamp->Observe(left, right);
}

void CChannelStripMainOut::SetMeterClock(const MeterClock& clock)
{
    m_meterLeft->SetClock(clock);
    m_meterRight->SetClock(clock);
    m_clipLamp->SetClock(clock);
}

void CChannelStripMainOut::DropMeters()
{
    m_meterLeft->StartFall();
    m_meterRight->StartFall();
}

void CChannelStripMainOut::SetCrossfade(quint32, quint32, double) {}

QString CChannelStripMainOut::GetConnectionName() const
{
    return m_connectionName;
}

void CChannelStripMainOut::customEvent(QEvent* event)
{
    const CWindowMessage* message = CWindowMessage::From(event);
    if (!message) {
        CMixerElement::customEvent(event);
        return;
    }
    const int id = int(message->WParam());
    const int position = int(message->LParam());
    if (message->Code() == UM_SLIDER_MOVED && id == kVolumeId) {
        PostToParent(this, UM_VOLUME, BlockId(), 0, scaling::LevelFromFaderPos(position));
        ShowLevelDb(m_readout, position);
        // The balance follows every volume change, without the dead zone.
        PostToParent(this, UM_BALANCE, BlockId(), 0,
                     scaling::BalanceToDevice(m_balance->GetPos(), false));
    } else if (message->Code() == UM_SLIDER_MOVED && id == kBalanceId) {
        const int shown = scaling::BalanceShown(position, true);
        PostToParent(this, UM_BALANCE, BlockId(), 0, scaling::BalanceToDevice(position, true));
        m_readout->SetText(QString::asprintf("Bal %6d", shown));
    } else if (message->Code() == UM_SLIDER_RELEASED && id == kBalanceId) {
        ShowLevelDb(m_readout, m_volume->GetPos());
    }
}

QString CChannelStripMainOut::ControlName(const QWidget* control) const
{
    const QString kind = m_kindText.simplified();
    const struct { const QWidget* control; const char* part; } parts[] = {
        {m_volume, "volume"},        {m_balance, "balance"},
        {m_meterLeft, "left level"}, {m_meterRight, "right level"},
        {m_mute, "mute"},            {m_readout, "volume read-out"},
        {m_clipLamp, "clip"}};
    for (const auto& p : parts)
        if (p.control == control)
            return kind + QLatin1Char(' ') + QLatin1String(p.part);
    return CMixerElement::ControlName(control);
}
