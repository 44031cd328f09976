#include "mixer/controls/MixerPanelTop.h"

#include "mixer/controls/MatrixStatic.h"

#include <QTimerEvent>

CMixerPanelTop::CMixerPanelTop(QWidget* parent)
    : CMixerElement(132, parent), m_display(new CMatrixStatic(this, kDisplayId))
{
}

void CMixerPanelTop::OnInitDialog()
{
    CMixerElement::OnInitDialog();
    m_display->Setup(kColumns, m_title);
    // Right end of the bar, as the container places it.
    m_display->move(ElementWidth() - 4 - m_display->width(), 5);
}

void CMixerPanelTop::SetMeterLevels(int, int) {}

void CMixerPanelTop::DropMeters() {}

void CMixerPanelTop::SetCrossfade(quint32, quint32, double) {}

QString CMixerPanelTop::GetConnectionName() const
{
    return m_connectionName;
}

void CMixerPanelTop::ShowMessage(const QString& text, int durationMs)
{
    if (text.isEmpty())
        return;
    m_display->SetLeftAligned(false);
    m_display->SetText(text);
    m_messageTimer.start(durationMs, this);
}

void CMixerPanelTop::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_messageTimer.timerId()) {
        CMixerElement::timerEvent(event);
        return;
    }
    m_messageTimer.stop();
    m_display->SetLeftAligned(false);
    m_display->SetText(m_title);
}

QString CMixerPanelTop::ControlName(const QWidget* control) const
{
    if (control == m_display)
        return QStringLiteral("Status display");
    return CMixerElement::ControlName(control);
}
