#pragma once
// A level display built on the slider: rises at once, falls by at most 3 per
// reading, and after StartFall drops 3 every 25 ms until dark. Range 0..100,
// 0 fully lit. Clicks do nothing.
#include "mixer/controls/BitmapSlider.h"

class CLevelMeter : public CBitmapSlider {
    Q_OBJECT

public:
    static constexpr int kFallTimerMs = 25;
    static constexpr int kFallStep = 3;

    explicit CLevelMeter(QWidget* parent = nullptr, int controlId = 0);

    void SetPos(int position) override;
    void StartFall();
    bool IsFalling() const { return m_fallTimer.isActive(); }

protected:
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QBasicTimer m_fallTimer;
};
