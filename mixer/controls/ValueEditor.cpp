#include "mixer/controls/ValueEditor.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include <algorithm>

CValueEditor::CValueEditor(QWidget* parent) : QLineEdit(parent)
{
    // The read-outs' colours: lit blue on black, a lit frame.
    setStyleSheet(QStringLiteral(
        "QLineEdit { background: #000000; color: #3FB5FF; border: 1px solid #3FB5FF;"
        " padding: 0px 1px; selection-background-color: #3FB5FF; selection-color: #000000; }"));
    QFont led(QStringLiteral("Monospace"));
    led.setStyleHint(QFont::TypeWriter);
    led.setPixelSize(10);
    led.setBold(true);
    setFont(led);
    setMaxLength(kMaxLength);
    setFrame(false);
    hide();
}

void CValueEditor::Open(const QRect& over, const QString& text)
{
    const QWidget* area = parentWidget();
    QRect r = over;
    r.setWidth(std::max(r.width(), kMinWidth));
    r.setHeight(std::max(r.height(), 14));
    r.moveCenter(over.center());
    if (area) {
        r.moveRight(std::min(r.right(), area->width() - 1));
        r.moveLeft(std::max(r.left(), 0));
        r.moveBottom(std::min(r.bottom(), area->height() - 1));
        r.moveTop(std::max(r.top(), 0));
    }
    setGeometry(r);
    setText(text);
    selectAll();
    m_open = true;
    m_returnFocus = window() ? window()->focusWidget() : nullptr;
    if (m_returnFocus == this)
        m_returnFocus = nullptr;
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
}

void CValueEditor::Finish(bool apply)
{
    if (!m_open)
        return;
    m_open = false;
    const QString typed = text();
    // Hidden with the focus, the editor would hand it on to the next control.
    if (window()->focusWidget() == this) {
        if (m_returnFocus && m_returnFocus->isVisible() && m_returnFocus->isEnabled())
            m_returnFocus->setFocus(Qt::OtherFocusReason);
        else
            clearFocus();
    }
    hide();
    if (apply)
        emit entered(typed);
    else
        emit cancelled();
}

void CValueEditor::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Finish(true);
        event->accept();
        return;
    case Qt::Key_Escape:
        Finish(false);
        event->accept();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void CValueEditor::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // A pop-up (the line's own menu) takes the focus only for a while.
    if (event->reason() != Qt::PopupFocusReason)
        Finish(false);
}
