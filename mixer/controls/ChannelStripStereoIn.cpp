#include "mixer/controls/ChannelStripStereoIn.h"

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
#include <QTimerEvent>

namespace {

using Style = CBitmapPushButton::Style;

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

CBitmapPushButton* MakeButton(QWidget* parent, int id, Style style, const char* text, QPoint du)
{
    auto* button = new CBitmapPushButton(parent, id, style);
    button->setText(QString::fromLatin1(text));
    button->setGeometry(DuRect(du.x(), du.y(), 20, 10));
    return button;
}

CBitmapSlider* MakeSlider(QWidget* parent, int id, const QRect& du)
{
    auto* slider = new CBitmapSlider(parent, id);
    slider->setGeometry(DuRect(du.x(), du.y(), du.width(), du.height()));
    return slider;
}

} // namespace

CChannelStripStereoIn::CChannelStripStereoIn(QWidget* parent) : CMixerElement(kBackgroundId, parent)
{
    // Template 131, 59 x 228 dialog units.
    m_kindLabel = AddLabel(kKindLabelId, m_kindText, DuRect(3, 3, 52, 8), Qt::AlignCenter);
    m_captionLabel = AddLabel(kCaptionLabelId, m_caption, DuRect(1, 10, 56, 8), Qt::AlignCenter);
    m_muteLeft = MakeButton(this, kMuteLeftId, Style::AutoRadioButton, "M", {7, 21});
    m_muteRight = MakeButton(this, kMuteRightId, Style::AutoRadioButton, "M", {31, 21});
    m_soloLeft = MakeButton(this, kSoloLeftId, Style::AutoRadioButton, "S", {7, 33});
    m_soloRight = MakeButton(this, kSoloRightId, Style::AutoRadioButton, "S", {31, 33});
    m_link = new CBitmapPushButton(this, kLinkId, Style::AutoCheckBox);
    m_link->setText(QStringLiteral("link"));
    m_link->setGeometry(DuRect(6, 46, 45, 7));
    m_panLeft = MakeSlider(this, kPanLeftId, QRect(5, 57, 22, 8));
    m_panRight = MakeSlider(this, kPanRightId, QRect(31, 57, 22, 8));
    m_volumeLeft = MakeSlider(this, kVolumeLeftId, QRect(5, 69, 7, 122));
    m_volumeRight = MakeSlider(this, kVolumeRightId, QRect(46, 69, 7, 122));
    m_meterLeft = new CLevelMeter(this, kMeterLeftId);
    m_meterLeft->setGeometry(DuRect(21, 69, 7, 123));
    m_meterRight = new CLevelMeter(this, kMeterRightId);
    m_meterRight->setGeometry(DuRect(30, 69, 7, 123));
    m_clipLamp = new CClipLamp(this);
    m_readoutLeft = new CMatrixStatic(this, kReadoutLeftId);
    m_readoutLeft->move(DuToPxX(4), DuToPxY(197));
    m_readoutRight = new CMatrixStatic(this, kReadoutRightId);
    m_readoutRight->move(DuToPxX(31), DuToPxY(197));
    m_connection = new CMatrixStatic(this, kConnectionId);
    m_connection->move(DuToPxX(1), DuToPxY(214));

    connect(m_muteLeft, &QPushButton::clicked, this,
            [this] { PostToParent(this, UM_MUTE, 0, 0, LeftMeterIndex()); });
    connect(m_muteRight, &QPushButton::clicked, this,
            [this] { PostToParent(this, UM_MUTE, 0, 0, RightMeterIndex()); });
    connect(m_soloLeft, &QPushButton::clicked, this,
            [this] { PostToParent(this, UM_SOLO, 0, 0, LeftMeterIndex()); });
    connect(m_soloRight, &QPushButton::clicked, this,
            [this] { PostToParent(this, UM_SOLO, 0, 0, RightMeterIndex()); });
    connect(m_link, &QPushButton::clicked, this, [this] { OnLinkClicked(); });
}

void CChannelStripStereoIn::OnInitDialog()
{
    CMixerElement::OnInitDialog();
    m_link->SetImages(true, 144, 68, 12);
    m_soloLeft->SetImages(true, 156, 30, 16);
    m_soloRight->SetImages(true, 156, 30, 16);
    m_muteLeft->SetImages(true, 149, 30, 16);
    m_muteRight->SetImages(true, 149, 30, 16);

    for (CBitmapSlider* pan : {m_panLeft, m_panRight})
        SkinPan(pan, 152);
    for (CBitmapSlider* fader : {m_volumeLeft, m_volumeRight})
        SkinFader(fader);
    for (CLevelMeter* meter : {m_meterLeft, m_meterRight})
        SkinMeter(meter);
    PlaceClipLamp(m_clipLamp, m_meterLeft, m_meterRight);

    m_readoutLeft->Setup(5, QStringLiteral("0.0"));
    m_readoutRight->Setup(5, QStringLiteral("0.0"));
    m_connection->Setup(13, QStringLiteral("      -      "));
    OfferTypedValue(m_readoutLeft, typed::Readout::Level, m_volumeLeft, m_panLeft);
    OfferTypedValue(m_readoutRight, typed::Readout::Level, m_volumeRight, m_panRight);

    // Hard left and hard right.
    m_panLeft->SetPos(scaling::kPanMin);
    m_panRight->SetPos(scaling::kPanMax);

    m_kindLabel->setFont(LabelFont());
    m_blinkTimer.start(kBlinkTimerMs, this);
}

void CChannelStripStereoIn::DoDataExchange(bool fromControls)
{
    ExchangeText(fromControls, m_kindLabel, m_kindText);
    ExchangeText(fromControls, m_captionLabel, m_caption);
    ExchangeRadio(fromControls, m_muteLeft, m_muteLeftWord);
    ExchangeRadio(fromControls, m_muteRight, m_muteRightWord);
    ExchangeRadio(fromControls, m_soloLeft, m_soloLeftWord);
    ExchangeRadio(fromControls, m_soloRight, m_soloRightWord);
    ExchangeCheck(fromControls, m_link, m_linkCheck);
}

void CChannelStripStereoIn::SetVolume(double levelDb, int channel)
{
    CBitmapSlider* fader = channel == 1 ? m_volumeLeft : channel == 2 ? m_volumeRight : nullptr;
    CMatrixStatic* readout = channel == 1 ? m_readoutLeft : m_readoutRight;
    if (!fader || !fader->ShowDeviceValue(scaling::FaderPosFromLevel(levelDb)))
        return;
    readout->SetText(Text(scaling::FormatLevel(levelDb)));
}

void CChannelStripStereoIn::SetBalance(double value, int channel)
{
    if (CBitmapSlider* pan = channel == 1 ? m_panLeft : channel == 2 ? m_panRight : nullptr)
        pan->ShowDeviceValue(scaling::BalancePosFromDevice(value));
}

void CChannelStripStereoIn::SetMute(int state, int channel)
{
    CBitmapPushButton* button = channel == 1 ? m_muteLeft : channel == 2 ? m_muteRight : nullptr;
    if (!button)
        return;
    UpdateData(false);
    button->SetCheck(state & 0xFF);
    UpdateData(true);
}

void CChannelStripStereoIn::SetMeterLevels(int left, int right)
{
    m_meterLeft->SetPos(left);
    m_meterRight->SetPos(right);
    m_clipLamp->Observe(left, right);
}

void CChannelStripStereoIn::SetMeterClock(const MeterClock& clock)
{
    m_meterLeft->SetClock(clock);
    m_meterRight->SetClock(clock);
    m_clipLamp->SetClock(clock);
}

void CChannelStripStereoIn::DropMeters()
{
    m_meterLeft->StartFall();
    m_meterRight->StartFall();
}

void CChannelStripStereoIn::SetCrossfade(quint32, quint32, double) {}

QString CChannelStripStereoIn::GetConnectionName() const
{
    return m_connectionName;
}

void CChannelStripStereoIn::SendVolume(quint8 blockId, int channel, int level)
{
    level = scaling::Clamp(level, scaling::kVolumeMin, scaling::kVolumeMax);
    PostToParent(this, UM_VOLUME, blockId, quint16(channel), level);
    CMatrixStatic* readout = channel == 1 ? m_readoutLeft : m_readoutRight;
    readout->SetText(Text(scaling::FormatLevel(scaling::ReadoutFromLevel(level))));
}

void CChannelStripStereoIn::SendPan(quint8 blockId, int channel, int value)
{
    PostToParent(this, UM_PAN, blockId, quint16(channel), scaling::PanToDevice(value));
}

void CChannelStripStereoIn::SetConnection(const QString& name)
{
    m_connectionName = name;
    m_connection->setVisible(name == QLatin1String("COAX_SPDIF") || name == QLatin1String("OPT_SPDIF"));
}

void CChannelStripStereoIn::ShowChannels(bool show, const QString& text)
{
    const QList<QWidget*> controls = {m_muteLeft,   m_muteRight,   m_soloLeft,   m_soloRight,
                                      m_link,       m_panLeft,     m_panRight,   m_volumeLeft,
                                      m_volumeRight, m_meterLeft,  m_meterRight, m_readoutLeft,
                                      m_readoutRight, m_clipLamp};
    for (QWidget* control : controls)
        control->setVisible(show);
    if (!show) {
        // Only the first hiding saves: a second one must not save its own text.
        if (!m_captionSaved) {
            m_savedCaption = m_caption;
            m_captionSaved = true;
        }
        m_caption = text;
    } else if (m_captionSaved) {
        m_caption = m_savedCaption;
    }
    UpdateData(false);
    repaint();
}

void CChannelStripStereoIn::SetStatusText(const QString& text)
{
    if (!m_alert && m_blinkCountdown <= 0)
        m_connection->SetText(text);
    m_statusText = text;
}

void CChannelStripStereoIn::StartAlert(const QString& text)
{
    m_alert = true;
    m_blinkCountdown = kAlertCountdown;
    m_alertText = text;
}

void CChannelStripStereoIn::StopAlert(const QString& text)
{
    m_alert = false;
    m_blinkCountdown = 0;
    m_blinkPhase = true;
    SetStatusText(text);
}

void CChannelStripStereoIn::BlinkTick()
{
    if (m_alert || m_blinkCountdown > 0) {
        if (m_blinkPhase) {
            m_connection->SetText(m_alertText);
            m_blinkPhase = false;
        } else {
            m_connection->SetText(m_statusText);
            m_blinkPhase = true;
        }
        if (m_blinkCountdown > 0)
            --m_blinkCountdown;
    } else if (!m_statusText.isEmpty()) {
        m_connection->SetText(m_statusText);
    }
}

void CChannelStripStereoIn::ShowLevel(CMatrixStatic* readout, int faderPosition)
{
    const int level = scaling::LevelFromFaderPos(faderPosition);
    readout->SetText(Text(scaling::FormatLevel(scaling::ReadoutFromLevel(level))));
}

void CChannelStripStereoIn::OnSliderMoved(int id, int position)
{
    // The link check word is left alone: the link button keeps showing the
    // coupling, which only the link button changes.
    switch (id) {
    case kPanLeftId:
        SendPan(BlockId(), 1, position);
        m_readoutLeft->SetText(QStringLiteral("Pan L"));
        m_readoutRight->SetText(QString::asprintf("%i", position));
        break;
    case kPanRightId:
        SendPan(BlockId(), 2, position);
        m_readoutLeft->SetText(QStringLiteral("Pan R"));
        m_readoutRight->SetText(QString::asprintf("%i", position));
        break;
    case kVolumeLeftId:
        if (m_linked) {
            m_volumeRight->SetPos(position);
            SendVolume(BlockId(), 2, -position);
        }
        SendVolume(BlockId(), 1, -position);
        break;
    case kVolumeRightId:
        if (m_linked) {
            m_volumeLeft->SetPos(position);
            SendVolume(BlockId(), 1, -position);
        }
        SendVolume(BlockId(), 2, -position);
        break;
    default:
        break;
    }
}

void CChannelStripStereoIn::OnSliderReleased(int id)
{
    if (id != kPanLeftId && id != kPanRightId)
        return;
    ShowLevel(m_readoutLeft, m_volumeLeft->GetPos());
    ShowLevel(m_readoutRight, m_volumeRight->GetPos());
}

void CChannelStripStereoIn::OnLinkClicked()
{
    UpdateData(true);
    m_linked = m_linkCheck != 0;
    UpdateData(false);
}

void CChannelStripStereoIn::customEvent(QEvent* event)
{
    const CWindowMessage* message = CWindowMessage::From(event);
    if (!message) {
        CMixerElement::customEvent(event);
        return;
    }
    if (message->Code() == UM_SLIDER_MOVED)
        OnSliderMoved(int(message->WParam()), int(message->LParam()));
    else if (message->Code() == UM_SLIDER_RELEASED)
        OnSliderReleased(int(message->WParam()));
}

void CChannelStripStereoIn::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_blinkTimer.timerId())
        BlinkTick();
    else
        CMixerElement::timerEvent(event);
}

QString CChannelStripStereoIn::ControlName(const QWidget* control) const
{
    // "Input 1/2": the kind and the channel numbers of the pair.
    QString pair = m_kindText.simplified();
    if (LeftMeterIndex() >= 0 && RightMeterIndex() >= 0)
        pair += QStringLiteral(" %1/%2").arg(LeftMeterIndex() + 1).arg(RightMeterIndex() + 1);
    else
        pair += QLatin1Char(' ') + m_caption.simplified();
    const struct { const QWidget* control; const char* part; } parts[] = {
        {m_volumeLeft, "left volume"}, {m_volumeRight, "right volume"},
        {m_panLeft, "left pan"},       {m_panRight, "right pan"},
        {m_meterLeft, "left level"},   {m_meterRight, "right level"},
        {m_muteLeft, "left mute"},     {m_muteRight, "right mute"},
        {m_soloLeft, "left solo"},     {m_soloRight, "right solo"},
        {m_link, "link"},              {m_readoutLeft, "left volume read-out"},
        {m_readoutRight, "right volume read-out"}, {m_connection, "digital input status"},
        {m_clipLamp, "clip"}};
    for (const auto& p : parts)
        if (p.control == control)
            return pair + QLatin1Char(' ') + QLatin1String(p.part);
    return CMixerElement::ControlName(control);
}
