#include "mixer/controls/ControlSection.h"

#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapStatusDisplay.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "ui/DialogUnits.h"

#include <QTimerEvent>

namespace {

using Style = CBitmapPushButton::Style;

const QString kNotSupported = QStringLiteral("notSupported");

// Template 159, 138 x 258 dialog units: a round button at x 17 with its label at x 28.
constexpr int kButtonX = 17;
constexpr int kLabelX = 28;
constexpr int kLabelW = 90;

QRect ButtonRect(int y)
{
    return DuRect(kButtonX, y, 7, 7);
}

QRect LabelRect(int buttonY)
{
    return DuRect(kLabelX, buttonY - 1, kLabelW, 9);
}

QRect HeadingRect(int y)
{
    return DuRect(3, y, 114, 8);
}

} // namespace

CControlSection::CControlSection(QWidget* parent) : CMixerElement(kBackgroundId, parent)
{
    AddLabel(kHostHeadingId, QStringLiteral("- Host Connection -"), HeadingRect(2), Qt::AlignCenter);
    m_usbLamp = new CBitmapStatusDisplay(this, kUsbLampId);
    m_usbLamp->setGeometry(ButtonRect(14));
    AddLabel(kUsbLabelId, QStringLiteral("USB 2.0"), LabelRect(14));
    m_fireWireLamp = new CBitmapStatusDisplay(this, kFireWireLampId);
    m_fireWireLamp->setGeometry(ButtonRect(25));
    AddLabel(kFireWireLabelId, QStringLiteral("1394a"), LabelRect(25));

    AddLabel(kSyncHeadingId, QStringLiteral("- Sync Source -"), HeadingRect(37), Qt::AlignCenter);
    const char* syncLabels[] = {"Device", "Coax SPDIF ", "Optical SPDIF", "Word Clock", "PC"};
    for (int i = 0; i < 5; ++i) {
        const int y = 48 + 10 * i;
        auto* button = new CBitmapPushButton(this, kSyncFirstId + i, Style::AutoCheckBox);
        button->setGeometry(ButtonRect(y));
        AddLabel(kSyncLabelFirstId + i, QString::fromLatin1(syncLabels[i]), LabelRect(y));
        m_syncGroup.append(button);
        connect(button, &QPushButton::clicked, this, [this, i] {
            SelectInGroup(Group::Sync, i);
            PostToParent(this, UM_SYNC_SOURCE, 0, 0, i);
        });
    }

    AddLabel(kDigitalHeadingId, QStringLiteral("- Digital I/O Selection -"), HeadingRect(100),
             Qt::AlignCenter);
    AddLabel(kAdatHeadingId, QStringLiteral("- ADAT -"), HeadingRect(133), Qt::AlignCenter);
    struct Digital { int id; int labelId; const char* text; int y; };
    // In group order: SPDIF, ADAT, SMUX, HS-SPDIF.
    const Digital digital[] = {{kSpdifId, 1049, "SPDIF", 111},
                               {kAdatId, 1054, "ADAT   (44.1 / 48 kHz)", 144},
                               {kSmuxId, 1055, "SMUX   (88.2 / 96 kHz)", 154},
                               {kHsSpdifId, 1050, "HS-SPDIF (176.4 / 192kHz)", 121}};
    for (int i = 0; i < 4; ++i) {
        auto* button = new CBitmapPushButton(this, digital[i].id, Style::AutoCheckBox);
        button->setGeometry(ButtonRect(digital[i].y));
        AddLabel(digital[i].labelId, QString::fromLatin1(digital[i].text), LabelRect(digital[i].y));
        m_digitalGroup.append(button);
        connect(button, &QPushButton::clicked, this, [this, i] {
            SelectInGroup(Group::Digital, i);
            PostToParent(this, UM_DIGITAL_MODE, 0, 0, i);
        });
    }

    AddLabel(kRateHeadingId, QStringLiteral("- Sample Rate -"), HeadingRect(166), Qt::AlignCenter);
    m_rateReadout = new CMatrixStatic(this, kRateReadoutId);
    m_rateReadout->move(DuToPxX(34), DuToPxY(177));
    m_rateDown = new CBitmapPushButton(this, kRateDownId, Style::PushButton);
    m_rateDown->setGeometry(DuRect(34, 190, 11, 9));
    m_rateUp = new CBitmapPushButton(this, kRateUpId, Style::PushButton);
    m_rateUp->setGeometry(DuRect(47, 190, 11, 9));
    m_apply = new CBitmapPushButton(this, kApplyId, Style::PushButton);
    m_apply->setGeometry(DuRect(64, 190, 19, 9));
    connect(m_rateDown, &QPushButton::clicked, this, [this] { StepRate(-1); });
    connect(m_rateUp, &QPushButton::clicked, this, [this] { StepRate(+1); });
    connect(m_apply, &QPushButton::clicked, this, [this] { ApplyRate(); });
}

void CControlSection::OnInitDialog()
{
    CMixerElement::OnInitDialog();
    m_usbLamp->SetImages(false, 134, 11, 11);
    m_fireWireLamp->SetImages(false, 134, 11, 11);
    for (int i = 0; i < m_syncGroup.size(); ++i)
        m_syncGroup[i]->SetImages(i == 4, 134, 11, 11); // PC shifts when pressed
    for (CBitmapPushButton* button : m_digitalGroup)
        button->SetImages(false, 134, 11, 11);
    m_rateReadout->Setup(kRateColumns, QStringLiteral(" -- "));
    m_rateDown->SetImages(false, 154, 17, 14);
    m_rateUp->SetImages(false, 148, 16, 14);
    m_apply->SetImages(false, 155, 28, 14);

    m_usbLamp->SetCheck(1);
    m_syncGroup[0]->SetCheck(1);
    m_lampMode = -1;
    SetAllLamps(true);
    m_sectionTimer.start(kSectionTimerMs, this);
}

void CControlSection::SetMeterLevels(int, int) {}

void CControlSection::DropMeters() {}

void CControlSection::SetCrossfade(quint32, quint32, double) {}

QString CControlSection::GetConnectionName() const
{
    return m_connectionName;
}

CBitmapPushButton* CControlSection::SyncButton(int index) const
{
    return index >= 0 && index < m_syncGroup.size() ? m_syncGroup[index] : nullptr;
}

CBitmapPushButton* CControlSection::DigitalButton(int index) const
{
    return index >= 0 && index < m_digitalGroup.size() ? m_digitalGroup[index] : nullptr;
}

QList<CBitmapPushButton*> CControlSection::GroupButtons(Group group) const
{
    switch (group) {
    case Group::Lamp:
        return {m_usbLamp, m_fireWireLamp};
    case Group::Sync:
        return m_syncGroup;
    case Group::Digital:
        return m_digitalGroup;
    }
    return {};
}

void CControlSection::ShowHostConnection(int type)
{
    int lamp = 0;
    int label = 0;
    if (type == kHostUsb) {
        ShowControl(kFireWireLampId, false);
        ShowControl(kFireWireLabelId, false);
        lamp = kUsbLampId;
        label = kUsbLabelId;
    } else if (type == kHostFireWire) {
        ShowControl(kUsbLampId, false);
        ShowControl(kUsbLabelId, false);
        lamp = kFireWireLampId;
        label = kFireWireLabelId;
    } else {
        return;
    }
    PlaceControl(lamp, 25, 40);
    PlaceControl(label, 42, 38);
}

void CControlSection::SetAllLamps(bool invert)
{
    // Read once, so every lamp ends in the same state.
    const bool lit = invert && !(m_usbLamp->GetCheck() & CBitmapPushButton::StateChecked);
    for (CBitmapPushButton* lamp : GroupButtons(Group::Lamp))
        lamp->SetCheck(lit);
}

void CControlSection::SetHostLamp(int mode)
{
    m_lampMode = mode;
    switch (mode) {
    case 0:
        SetAllLamps(false);
        m_usbLamp->SetCheck(1);
        break;
    case 1:
        SetAllLamps(false);
        m_fireWireLamp->SetCheck(1);
        break;
    case 2:
        // There is no third lamp: all dark.
        SetAllLamps(false);
        break;
    default:
        SetAllLamps(true);
        break;
    }
}

void CControlSection::SelectInGroup(Group group, int index)
{
    const QList<CBitmapPushButton*> buttons = GroupButtons(group);
    for (CBitmapPushButton* button : buttons)
        button->SetCheck(0);
    if (index >= 0 && index < buttons.size())
        buttons[index]->SetCheck(1);
}

QString CControlSection::FormatRate(quint32 rate)
{
    return QString::asprintf("%d.%d kHz", int(rate / 1000), int((rate % 1000) / 100));
}

int CControlSection::IndexOfRate(quint32 rate) const
{
    return int(m_rates.indexOf(rate));
}

void CControlSection::StartBlinking()
{
    m_rateBlinking = true;
}

bool CControlSection::SetCurrentRate(quint32 rate)
{
    const bool supported = ShowRate(rate);
    if (supported)
        m_currentRate = rate;
    else
        m_selectedRate = m_currentRate;
    return supported;
}

bool CControlSection::ShowRate(quint32 rate)
{
    if (m_rates.isEmpty())
        return false;
    m_rateMessage.clear();
    m_rateReadout->SetText(FormatRate(rate));
    if (IndexOfRate(rate) >= 0) {
        m_rateBlinking = false;
        return true;
    }
    m_apply->setEnabled(false);
    StartBlinking();
    if (rate != m_selectedRate)
        m_rateMessage = kNotSupported;
    BlinkRate();
    return false;
}

void CControlSection::StepRate(int direction)
{
    if (m_selectedRate == 0)
        m_selectedRate = m_currentRate;
    const int i = IndexOfRate(m_selectedRate);
    if (i >= 0) {
        m_apply->setEnabled(true);
        m_rateMessage.clear();
        const int next = i + direction;
        if (next >= 0 && next < m_rates.size())
            m_selectedRate = m_rates[next];
        m_blinkCount = 0;
        if (m_selectedRate == m_currentRate) {
            m_rateBlinking = false;
            SetCurrentRate(m_currentRate);
        } else {
            StartBlinking();
            BlinkRate();
        }
        return;
    }
    m_rateMessage = kNotSupported;
    bool found = false;
    quint32 best = 0;
    for (quint32 rate : m_rates) {
        if (direction < 0 && rate < m_currentRate && (!found || rate > best)) {
            best = rate;
            found = true;
        } else if (direction > 0 && rate > m_currentRate && (!found || rate < best)) {
            best = rate;
            found = true;
        }
    }
    if (!found)
        return;
    m_selectedRate = best;
    m_rateMessage.clear();
    m_apply->setEnabled(true);
    // A fresh selection blinks its full time, however long the unsupported rate blinked.
    m_blinkCount = 0;
    StartBlinking();
    BlinkRate();
}

void CControlSection::BlinkRate()
{
    ++m_blinkCount;
    if (m_blinkCount > kBlinkLimit && m_rateMessage.isEmpty()) {
        m_selectedRate = 0;
        m_rateBlinking = false;
        m_blinkCount = 0;
        SetCurrentRate(m_currentRate);
        return;
    }
    if (m_blinkPhase)
        // Without a selection there is no rate to blink: the message blinks alone.
        m_rateReadout->SetText(m_selectedRate ? FormatRate(m_selectedRate) : QString());
    else
        m_rateReadout->SetText(m_rateMessage);
    m_blinkPhase = !m_blinkPhase;
}

void CControlSection::ApplyRate()
{
    if (m_selectedRate == 0)
        return;
    ShowRate(m_selectedRate);
    PostToParent(this, UM_SAMPLE_RATE, 0, 0, qintptr(m_selectedRate));
}

void CControlSection::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_sectionTimer.timerId()) {
        CMixerElement::timerEvent(event);
        return;
    }
    if (m_rateBlinking)
        BlinkRate();
}

QString CControlSection::ControlName(const QWidget* control) const
{
    if (control == m_rateReadout)
        return QStringLiteral("Sample rate");
    if (control == m_rateDown)
        return QStringLiteral("Lower sample rate");
    if (control == m_rateUp)
        return QStringLiteral("Higher sample rate");
    if (control == m_apply)
        return QStringLiteral("Apply sample rate");
    // The lamps and the group buttons take the label beside them.
    return CMixerElement::ControlName(control);
}
