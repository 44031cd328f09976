#pragma once
// The clip lamp over a meter pair: lights when a reading of either meter
// reaches full scale (100 % or more, meter position 0 or below) and stays lit
// until clicked or until 5 s have passed without another such reading.
// Drawn as a lit or dark red segment in the meters' style. Tab reaches it
// (with the surface's focus mark) and Space clears it as a click does.
#include "mixer/controls/MeterClock.h"

#include <QBasicTimer>
#include <QWidget>

class CClipLamp : public QWidget {
    Q_OBJECT

public:
    static constexpr qint64 kLitMs = 5000;
    static constexpr int kCheckTimerMs = 250;

    explicit CClipLamp(QWidget* parent = nullptr);

    void SetClock(MeterClock clock);
    // The meter positions given to the pair (100 minus the reading).
    void Observe(int leftPosition, int rightPosition);
    bool IsLit() const { return m_lit; }
    // Puts the lamp out when its time is up; the check timer calls it.
    void Refresh();
    void Clear();
    QString ToolTipText() const;

signals:
    void litChanged(bool lit);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void SetLit(bool lit);

    MeterClock m_clock;
    QBasicTimer m_checkTimer;
    qint64 m_litAt = 0;
    bool m_lit = false;
};
