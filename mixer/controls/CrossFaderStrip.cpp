#include "mixer/controls/CrossFaderStrip.h"

#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/ValueScaling.h"
#include "ui/DialogUnits.h"
#include "ui/WindowMessage.h"

#include <QLabel>

CCrossFaderStrip::CCrossFaderStrip(QWidget* parent) : CMixerElement(kBackgroundId, parent)
{
    // Template 160, 526 x 40 dialog units.
    m_titleLabel = AddLabel(kTitleLabelId, QStringLiteral("CrossFader"), DuRect(8, 2, 80, 9));
    AddLabel(0, QStringLiteral("Monitor in"), DuRect(8, 14, 50, 9));
    m_slider = new CBitmapSlider(this, kSliderId);
    m_slider->setGeometry(DuRect(59, 14, 234, 8));
    m_readout = new CMatrixStatic(this, kReadoutId);
    m_readout->move(DuToPxX(164), DuToPxY(3));
    AddLabel(kRightLabelId, QStringLiteral("Line 1/2 PC"), DuRect(299, 14, 60, 9));
}

void CCrossFaderStrip::OnInitDialog()
{
    CMixerElement::OnInitDialog();
    SkinPan(m_slider, 136);
    m_readout->Setup(kReadoutColumns, QStringLiteral("0"));
    OfferTypedValue(m_readout, typed::Readout::Crossfade, nullptr, m_slider);
    m_titleLabel->setFont(LabelFont());
    // Posted once the build has run, so that it carries the block id the
    // container gives the strip after creating it.
    QMetaObject::invokeMethod(
        this, [this] { PostToParent(this, UM_CROSSFADE, BlockId(), 0, 0); }, Qt::QueuedConnection);
}

void CCrossFaderStrip::SetMeterLevels(int, int) {}

void CCrossFaderStrip::DropMeters() {}

void CCrossFaderStrip::SetCrossfade(quint32, quint32, double value)
{
    if (m_dragging)
        return;
    m_slider->SetPos(scaling::CrossfadePosFromDevice(value));
    // The position the slider took: a value beyond the range shows the end.
    m_readout->SetText(QString::asprintf("%i", m_slider->GetPos()));
    // The device holds this value now: a move back to the value sent last
    // must reach it again.
    m_lastSent = scaling::CrossfadeToDevice(m_slider->GetPos());
}

QString CCrossFaderStrip::GetConnectionName() const
{
    return m_connectionName;
}

int CCrossFaderStrip::SliderTrackWidth() const
{
    return m_slider->TrackSize().width();
}

void CCrossFaderStrip::SetSliderTrackWidth(int width)
{
    m_slider->SetTrackWidthOverride(width);
}

void CCrossFaderStrip::customEvent(QEvent* event)
{
    const CWindowMessage* message = CWindowMessage::From(event);
    if (!message) {
        CMixerElement::customEvent(event);
        return;
    }
    if (int(message->WParam()) != kSliderId)
        return;
    if (message->Code() == UM_SLIDER_RELEASED) {
        m_dragging = false;
        return;
    }
    if (message->Code() != UM_SLIDER_MOVED)
        return;
    const int position = int(message->LParam());
    // Held only while the pointer drags it: a key step is not a hold.
    m_dragging = m_slider->IsDragging();
    const int value = scaling::CrossfadeToDevice(position);
    if (value == m_lastSent)
        return;
    PostToParent(this, UM_CROSSFADE, BlockId(), 0, value);
    m_lastSent = value;
    m_readout->SetText(QString::asprintf("%i", position));
}

QString CCrossFaderStrip::ControlName(const QWidget* control) const
{
    if (control == m_slider)
        return QStringLiteral("Crossfader");
    if (control == m_readout)
        return QStringLiteral("Crossfader read-out");
    return CMixerElement::ControlName(control);
}
