#include "mixer/controls/ClipLamp.h"

#include "mixer/controls/FocusMark.h"
#include "mixer/controls/MeterExtras.h"
#include "mixer/controls/SurfaceAccessible.h"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QToolTip>

#include <algorithm>

namespace {

// The meter pictures' red, lit and dimmed, and their dark slot.
const QColor kLitRed(0xFF, 0x4A, 0x3D);
const QColor kDarkRed(0x3A, 0x17, 0x16);
const QColor kSlot(0x0A, 0x0B, 0x0C);

} // namespace

CClipLamp::CClipLamp(QWidget* parent) : QWidget(parent), m_clock(SteadyMeterClock())
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setCursor(Qt::PointingHandCursor);
    // By Tab only: a click clears the lamp without taking the focus.
    setFocusPolicy(Qt::TabFocus);
}

void CClipLamp::SetClock(MeterClock clock)
{
    m_clock = clock ? std::move(clock) : SteadyMeterClock();
}

void CClipLamp::Observe(int leftPosition, int rightPosition)
{
    if (std::min(leftPosition, rightPosition) > 0 || !meter::ExtrasShown())
        return;
    m_litAt = m_clock();
    SetLit(true);
}

void CClipLamp::Refresh()
{
    if (m_lit && m_clock() - m_litAt >= kLitMs)
        SetLit(false);
}

void CClipLamp::Clear()
{
    SetLit(false);
}

void CClipLamp::SetLit(bool lit)
{
    if (lit)
        m_checkTimer.start(kCheckTimerMs, this);
    else
        m_checkTimer.stop();
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
    emit litChanged(lit);
}

QString CClipLamp::ToolTipText() const
{
    return m_lit ? QStringLiteral("Clip: on (click to clear)") : QStringLiteral("Clip: off");
}

bool CClipLamp::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), surface::ControlToolTip(this), this);
        return true;
    }
    return QWidget::event(event);
}

void CClipLamp::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        Clear();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CClipLamp::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        Clear();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CClipLamp::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void CClipLamp::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void CClipLamp::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_checkTimer.timerId())
        Refresh();
    else
        QWidget::timerEvent(event);
}

void CClipLamp::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kSlot, 1));
    p.setBrush(m_lit ? kLitRed : kDarkRed);
    p.drawRoundedRect(r, 1.5, 1.5);
    if (m_lit && height() > 3) {
        // The highlight along the top, as the lit meter segments have.
        p.setPen(Qt::NoPen);
        p.setBrush(kLitRed.lighter(135));
        p.drawRect(QRectF(1.5, 1, width() - 3, 1));
    }
    if (hasFocus())
        surface::DrawFocusMark(p, rect());
}
