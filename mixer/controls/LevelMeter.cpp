#include "mixer/controls/LevelMeter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimerEvent>

#include <algorithm>

CLevelMeter::CLevelMeter(QWidget* parent, int controlId) : CBitmapSlider(parent, controlId)
{
    setFocusPolicy(Qt::NoFocus);
}

void CLevelMeter::SetPos(int position)
{
    if (m_fallTimer.isActive() && position < GetPos())
        return;
    m_fallTimer.stop();
    const int next = std::max(Minimum(), std::min({position, GetPos() + kFallStep, Maximum()}));
    // A reading that leaves the meter where it is paints nothing.
    if (next != GetPos())
        StorePos(next);
}

void CLevelMeter::StartFall()
{
    m_fallTimer.start(kFallTimerMs, this);
}

void CLevelMeter::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_fallTimer.timerId()) {
        CBitmapSlider::timerEvent(event);
        return;
    }
    StorePos(GetPos() + kFallStep);
    if (GetPos() >= Maximum())
        m_fallTimer.stop();
}

void CLevelMeter::mousePressEvent(QMouseEvent* event)
{
    event->ignore();
}

void CLevelMeter::mouseMoveEvent(QMouseEvent* event)
{
    event->ignore();
}

void CLevelMeter::mouseReleaseEvent(QMouseEvent* event)
{
    event->ignore();
}

void CLevelMeter::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}
