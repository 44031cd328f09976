#include "mixer/controls/BitmapStatusDisplay.h"

#include <QKeyEvent>
#include <QMouseEvent>

CBitmapStatusDisplay::CBitmapStatusDisplay(QWidget* parent, int controlId)
    : CBitmapPushButton(parent, controlId, Style::AutoCheckBox)
{
    setFocusPolicy(Qt::NoFocus);
}

void CBitmapStatusDisplay::Click() {}

void CBitmapStatusDisplay::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void CBitmapStatusDisplay::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void CBitmapStatusDisplay::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void CBitmapStatusDisplay::focusInEvent(QFocusEvent*) {}

void CBitmapStatusDisplay::focusOutEvent(QFocusEvent*) {}

void CBitmapStatusDisplay::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

void CBitmapStatusDisplay::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
}
