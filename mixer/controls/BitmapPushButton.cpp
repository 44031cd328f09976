#include "mixer/controls/BitmapPushButton.h"

#include "mixer/controls/FocusMark.h"
#include "ui/ControlId.h"
#include "ui/SkinLoader.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

CBitmapPushButton::CBitmapPushButton(QWidget* parent, int controlId, Style style)
    : QPushButton(parent), m_style(style)
{
    SetControlId(this, controlId);
    setFocusPolicy(Qt::StrongFocus);
    SetButtonStyle(style);
}

void CBitmapPushButton::SetButtonStyle(Style style)
{
    m_style = style;
    // Used only by the plain fallback; with images the state word rules.
    setCheckable(style != Style::PushButton);
}

bool CBitmapPushButton::SetImages(bool shiftOnPress, int bitmapId, int w, int h)
{
    return SetImages(shiftOnPress, CSkin::Bitmap(bitmapId, devicePixelRatioF()), w, h);
}

bool CBitmapPushButton::SetImages(bool shiftOnPress, const QPixmap& bitmap, int w, int h)
{
    m_shiftOnPress = shiftOnPress;
    m_imageShown = 0;
    m_mouseDown = false;
    m_images.clear();
    m_imagesLoaded = !bitmap.isNull() && w > 0 && h > 0;
    if (!m_imagesLoaded) {
        update();
        return false;
    }
    // As many whole images as the bitmap is wide; only a strip of three is drawn.
    const qreal ratio = bitmap.devicePixelRatio();
    const int count = int(bitmap.deviceIndependentSize().width()) / w;
    for (int i = 0; i < count; ++i) {
        QPixmap image = bitmap.copy(QRectF(i * w * ratio, 0, w * ratio, h * ratio).toRect());
        image.setDevicePixelRatio(ratio);
        m_images.append(image);
    }
    m_imageWidth = w;
    m_imageHeight = h;
    resize(w, h);
    update();
    return true;
}

unsigned CBitmapPushButton::GetCheck() const
{
    if (!m_imagesLoaded)
        return isChecked() ? StateChecked : 0;
    return m_state & (StateChecked | StateIndeterminate);
}

void CBitmapPushButton::SetCheck(int check)
{
    if (!m_imagesLoaded) {
        setChecked(check != 0);
        return;
    }
    EndTracking();
    if (check)
        m_state |= StateChecked;
    else
        m_state &= ~StateChecked;
    update();
}

void CBitmapPushButton::SetState(bool highlight)
{
    if (!m_imagesLoaded) {
        setDown(highlight);
        return;
    }
    EndTracking();
}

unsigned CBitmapPushButton::GetState() const
{
    return m_state;
}

void CBitmapPushButton::SetNoFocusOnClick(bool noFocus)
{
    if (noFocus)
        m_state |= StateNoFocus;
    else
        m_state &= ~StateNoFocus;
}

void CBitmapPushButton::EndTracking()
{
    if (m_tracking) {
        m_tracking = false;
        m_state &= ~StatePushed;
        update();
    }
}

void CBitmapPushButton::Click()
{
    if (!m_imagesLoaded) {
        click();
        return;
    }
    switch (m_style) {
    case Style::CheckBox:
    case Style::AutoCheckBox:
    case Style::ThreeState:
    case Style::AutoThreeState: {
        const bool threeState = m_style == Style::ThreeState || m_style == Style::AutoThreeState;
        if (threeState && (m_state & StateIndeterminate))
            m_state &= ~(StateIndeterminate | StateChecked);
        else if (m_state & StateChecked)
            m_state = threeState ? (m_state | StateIndeterminate) : (m_state & ~StateChecked);
        else
            m_state |= StateChecked;
        update();
        break;
    }
    case Style::RadioButton:
    case Style::AutoRadioButton:
        // A radio button never unchecks itself.
        if (!(m_state & StateChecked) && m_style == Style::AutoRadioButton) {
            m_state |= StateChecked;
            update();
        }
        break;
    case Style::PushButton:
        break;
    }
    if (!(m_state & StateNoFocus))
        setFocus(Qt::MouseFocusReason);
    emit clicked(m_state & StateChecked);
}

void CBitmapPushButton::mousePressEvent(QMouseEvent* event)
{
    if (!m_imagesLoaded) {
        QPushButton::mousePressEvent(event);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_mouseDown = true;
    m_focusCue = false;
    QWidget* grabber = QWidget::mouseGrabber();
    if (!grabber || grabber == this) {
        setFocus(Qt::MouseFocusReason);
        m_state |= StatePushed;
        m_tracking = true;
    }
    update();
    event->accept();
}

void CBitmapPushButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_imagesLoaded) {
        QPushButton::mouseMoveEvent(event);
        return;
    }
    if (m_tracking) {
        const bool inside = rect().contains(event->position().toPoint());
        const bool pushed = m_state & StatePushed;
        if (inside != pushed) {
            m_state ^= StatePushed;
            update();
        }
    }
    event->accept();
}

void CBitmapPushButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_imagesLoaded) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_mouseDown = false;
    if (m_tracking) {
        if (rect().contains(event->position().toPoint()))
            Click();
        EndTracking();
    }
    update();
    event->accept();
}

void CBitmapPushButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The press and release before it made the click; the second press and
    // its release do nothing, so a double click is one click.
    event->accept();
}

void CBitmapPushButton::keyPressEvent(QKeyEvent* event)
{
    if (!m_imagesLoaded || event->key() != Qt::Key_Space || event->isAutoRepeat()) {
        QPushButton::keyPressEvent(event);
        return;
    }
    if (!m_focusCue) {
        m_focusCue = true;
        update();
    }
    event->accept();
}

void CBitmapPushButton::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_imagesLoaded || event->key() != Qt::Key_Space || event->isAutoRepeat()) {
        QPushButton::keyReleaseEvent(event);
        return;
    }
    Click();
    event->accept();
}

void CBitmapPushButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QPushButton::changeEvent(event);
}

void CBitmapPushButton::focusInEvent(QFocusEvent* event)
{
    m_focusCue = surface::CueAfterFocusIn(m_focusCue, event->reason());
    QPushButton::focusInEvent(event);
    update();
}

void CBitmapPushButton::focusOutEvent(QFocusEvent* event)
{
    m_focusCue = surface::CueAfterFocusOut(m_focusCue, event->reason());
    QPushButton::focusOutEvent(event);
    update();
}

void CBitmapPushButton::paintEvent(QPaintEvent* event)
{
    if (!m_imagesLoaded) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    DrawItem(painter, rect(), m_state, isEnabled());
    if (ShowsFocusMark())
        surface::DrawFocusMark(painter, rect());
}

void CBitmapPushButton::DrawItem(QPainter& painter, const QRect& client, unsigned state, bool enabled)
{
    painter.fillRect(client, palette().color(QPalette::Button));
    if (m_images.size() != 3)
        return;
    QRect r(0, 0, m_imageWidth, m_imageHeight);
    r.moveCenter(client.center());
    if (m_shiftOnPress && m_mouseDown)
        r.adjust(1, 1, -1, -1);
    // Edge: sunken outer while pushed, else raised inner.
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const bool pushed = state & StatePushed;
    painter.setPen(pushed ? dark : light);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(pushed ? light : dark);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());

    int index = 1;
    if (!enabled)
        index = 0;
    else if (state & (StateChecked | StateIndeterminate | StatePushed))
        index = 2;
    painter.drawPixmap(r.topLeft(), m_images[index]);
    m_imageShown = index;
}
