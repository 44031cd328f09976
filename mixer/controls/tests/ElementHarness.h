#pragma once
// Driving elements in tests: slider messages as the sliders post them, and
// reading back what an element posted to its container.
#include "MessageLog.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"

#include <QTest>

// Delivers what a slider posts to its element.
inline void SliderMessage(QWidget* element, unsigned code, int id, int position)
{
    CWindowMessage message(code, quintptr(id), position);
    QCoreApplication::sendEvent(element, &message);
}

inline void Moved(QWidget* element, int id, int position)
{
    SliderMessage(element, UM_SLIDER_MOVED, id, position);
}

inline void Released(QWidget* element, int id, int position)
{
    SliderMessage(element, UM_SLIDER_RELEASED, id, position);
}

inline void ClickButton(QWidget* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// What a widget receives from a fast double click: press, release, the
// double-click press, release.
inline void DoubleClickButton(QWidget* button)
{
    const QPoint at = button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
    QTest::mouseDClick(button, Qt::LeftButton, {}, at);
    QTest::mouseRelease(button, Qt::LeftButton, {}, at);
}

inline bool Lit(const CBitmapPushButton* button)
{
    return button->GetCheck() & CBitmapPushButton::StateChecked;
}

// A read-out's text without the padding.
inline QString Shown(const CMatrixStatic* display)
{
    return display->Text().trimmed();
}

inline quint16 High(const LoggedMessage& m)
{
    return quint16(m.wParam >> 16);
}

inline quint16 Low(const LoggedMessage& m)
{
    return quint16(m.wParam & 0xFFFF);
}
