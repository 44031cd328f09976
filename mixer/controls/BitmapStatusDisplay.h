#pragma once
// A lamp: the image button made deaf to the user. Only SetCheck changes it
// (image 2 lit, 1 dark, 0 disabled).
#include "mixer/controls/BitmapPushButton.h"

class CBitmapStatusDisplay : public CBitmapPushButton {
    Q_OBJECT

public:
    explicit CBitmapStatusDisplay(QWidget* parent = nullptr, int controlId = 0);

    void Click() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};
