#pragma once
// A level display built on the slider: rises at once, falls by at most 3 per
// reading, and after StartFall drops 3 every 25 ms until dark. Range 0..100,
// 0 fully lit. Clicks do nothing.
//
// On top of the bar a peak mark shows the highest reading for 1.5 s and then
// falls at 20 dB/s until it meets the bar. The mark is repainted only when
// its pixel row changes, and a move of the bar repaints only the rows between
// its old and new edge. Readings move bar and mark; the clock (the shared
// meter tick) is asked for only while the bar falls, or while a mark shows
// and no reading has come for a while.
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/MeterClock.h"

#include <vector>

class CMeterLayer;

class CLevelMeter : public CBitmapSlider {
    Q_OBJECT

public:
    static constexpr int kFallTimerMs = 25;
    static constexpr int kFallStep = 3;
    static constexpr qint64 kPeakHoldMs = 1500;
    static constexpr double kPeakFallDbPerSecond = 20.0;
    // A mark that has fallen this far is gone.
    static constexpr double kPeakFloorDb = -60.0;
    // Period of the mark's tick once readings have stopped, and how long a
    // mark waits for the next reading before the clock moves it.
    static constexpr int kPeakTimerMs = 50;
    static constexpr int kPeakIdleMs = 75;
    static constexpr int kPeakMarkHeight = 2;

    explicit CLevelMeter(QWidget* parent = nullptr, int controlId = 0);
    ~CLevelMeter() override;

    void SetPos(int position) override;
    void StartFall();
    bool IsFalling() const { return m_falling; }

    void SetClock(MeterClock clock);
    // The shown level in dB of full scale (position 0 = 0 dB); -inf when dark.
    double LevelDb() const;
    // The peak as the mark shows it now; -inf when there is none.
    double PeakDb() const;
    // Top row of the mark, -1 when no mark shows above the bar.
    int PeakMarkPixel() const { return m_markPixel; }
    // A mark shows and the meter has asked the tick to move it.
    bool IsPeakTickPending() const;
    // Moves the mark to where the clock says.
    void UpdatePeak();
    // The shared meter tick: a fall step, then the mark.
    void OnTick();
    QString ToolTipText() const;

    // Painted by a surface's meter layer instead of by itself (null: by itself).
    void SetLayer(CMeterLayer* layer);
    CMeterLayer* Layer() const { return m_layer; }
    // The meter's picture: bar and mark, at the painter's origin.
    void PaintMeter(QPainter& painter);

    // A level in dB as the tooltip and screen readers show it.
    static QString FormatDb(double db);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void RepaintMove(int from, int to) override;

private:
    double DbAt(int position) const;
    double PeakDbAt(qint64 now) const;
    int PixelForDb(double db) const;
    // After a reading (-inf for none) or a move of the bar or the clock: a
    // reading at or above the shown peak becomes the new peak; the mark's
    // rows are repainted when they moved.
    void TrackPeak(double readingDb);
    QColor MarkColour(int pixel);
    // Asks for part of the meter to be painted: by its layer when it has one.
    void Dirty(const QRect& rect);
    // Asks the tick for what the meter needs next: a fall step, a move of the
    // mark (`fed`: after a reading, which moves it as well), or nothing.
    void AskTick(bool fed);

    bool m_falling = false;
    CMeterLayer* m_layer = nullptr;
    MeterClock m_clock;
    double m_peakDb;
    qint64 m_peakAt = 0;
    int m_markPixel = -1;
    // Colour of the lit picture per pixel row, taken when first needed.
    std::vector<QRgb> m_rowColours;
};
