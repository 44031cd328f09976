#include "mixer/controls/ChannelStripHeadPhoneOut.h"

#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/ValueScaling.h"
#include "ui/DialogUnits.h"
#include "ui/WindowMessage.h"

#include <QFontMetrics>
#include <QLabel>

CChannelStripHeadPhoneOut::CChannelStripHeadPhoneOut(QWidget* parent)
    : CMixerElement(kBackgroundId, parent)
{
    // Template 180, 45 x 223 dialog units.
    m_kindLabel = AddLabel(kKindLabelId, m_kindText, DuRect(1, 3, 36, 8), Qt::AlignCenter);
    m_mute = new CBitmapPushButton(this, kMuteId, CBitmapPushButton::Style::AutoRadioButton);
    m_mute->setText(QStringLiteral("Radio1"));
    m_mute->setGeometry(DuRect(2, 22, 33, 9));
    m_balance = new CBitmapSlider(this, kBalanceId);
    m_balance->setGeometry(DuRect(1, 37, 35, 8));
    m_volume = new CBitmapSlider(this, kVolumeId);
    m_volume->setGeometry(DuRect(15, 69, 7, 122));
    m_readout = new CMatrixStatic(this, kReadoutId);
    m_readout->move(DuToPxX(1), DuToPxY(214));

    connect(m_mute, &QPushButton::clicked, this, [this] { OnToggleMute(m_muteWord, OwnBlockId()); });
}

void CChannelStripHeadPhoneOut::OnInitDialog()
{
    CMixerElement::OnInitDialog();
    m_mute->SetImages(true, 182, 50, 14);
    SkinFader(m_volume);
    SkinPan(m_balance, 153);
    m_balance->SetPos(0);
    m_readout->Setup(kReadoutColumns, QStringLiteral("0.0 dB"));
    OfferTypedValue(m_readout, typed::Readout::Level, m_volume, m_balance);
    m_kindLabel->setFont(LabelFont());
}

void CChannelStripHeadPhoneOut::DoDataExchange(bool fromControls)
{
    ExchangeText(fromControls, m_kindLabel, m_kindText);
    ExchangeRadio(fromControls, m_mute, m_muteWord);
    if (!fromControls)
        FitKindLabel();
}

void CChannelStripHeadPhoneOut::FitKindLabel()
{
    // The narrow skin leaves the label less room than a word like
    // "Headphone" needs at the label font: step the font down until it fits.
    QFont font = LabelFont();
    const int room = m_kindLabel->width();
    int size = font.pixelSize();
    while (size > kMinKindPixelSize && QFontMetrics(font).horizontalAdvance(m_kindText) > room)
        font.setPixelSize(--size);
    m_kindLabel->setFont(font);
}

void CChannelStripHeadPhoneOut::SetVolume(double levelDb, int channel)
{
    if (channel == 0 && m_volume->ShowDeviceValue(scaling::FaderPosFromLevel(levelDb)))
        m_readout->SetText(QString::fromStdString(scaling::FormatLevel(levelDb)));
}

void CChannelStripHeadPhoneOut::SetBalance(double value, int)
{
    m_balance->ShowDeviceValue(scaling::BalancePosFromDevice(value));
}

void CChannelStripHeadPhoneOut::SetMute(int state, int)
{
    ShowMuteState(m_mute, state);
}

void CChannelStripHeadPhoneOut::SetMeterLevels(int, int) {}

void CChannelStripHeadPhoneOut::DropMeters() {}

void CChannelStripHeadPhoneOut::SetCrossfade(quint32, quint32, double) {}

QString CChannelStripHeadPhoneOut::GetConnectionName() const
{
    return m_connectionName;
}

void CChannelStripHeadPhoneOut::customEvent(QEvent* event)
{
    const CWindowMessage* message = CWindowMessage::From(event);
    if (!message) {
        CMixerElement::customEvent(event);
        return;
    }
    const int id = int(message->WParam());
    const int position = int(message->LParam());
    if (message->Code() == UM_SLIDER_MOVED && id == kVolumeId) {
        PostToParent(this, UM_VOLUME, OwnBlockId(), 0, scaling::LevelFromFaderPos(position));
        ShowLevelDb(m_readout, position);
    } else if (message->Code() == UM_SLIDER_MOVED && id == kBalanceId) {
        PostToParent(this, UM_BALANCE, OwnBlockId(), 0, scaling::BalanceToDevice(position, false));
        m_readout->SetText(QString::asprintf("Bal %4d", position));
    } else if (message->Code() == UM_SLIDER_RELEASED && id == kBalanceId) {
        ShowLevelDb(m_readout, m_volume->GetPos());
    }
}

QString CChannelStripHeadPhoneOut::ControlName(const QWidget* control) const
{
    const QString kind = m_kindText.simplified();
    const struct { const QWidget* control; const char* part; } parts[] = {
        {m_volume, "volume"}, {m_balance, "balance"}, {m_mute, "mute"}, {m_readout, "volume read-out"}};
    for (const auto& p : parts)
        if (p.control == control)
            return kind + QLatin1Char(' ') + QLatin1String(p.part);
    return CMixerElement::ControlName(control);
}
