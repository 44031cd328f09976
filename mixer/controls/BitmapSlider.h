#pragma once
// A slider drawn from skin bitmaps: a track (optionally a second track that
// shows from the start edge to the position, for meters) and a thumb.
// Reports to its parent with UM_SLIDER_MOVED every 30 ms while dragged and
// UM_SLIDER_RELEASED on release; SetPos from code posts nothing.
#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>

class CBitmapSlider : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDragTimerMs = 30;
    // As transparent colour: take the colour of the image's top-left pixel.
    static constexpr quint32 kTopLeftColour = 0xFF000000;

    explicit CBitmapSlider(QWidget* parent = nullptr, int controlId = 0);

    // Loads the track (and the second track when secondId is not 0); when
    // transparent, pixels of colour (0x00RRGGBB or kTopLeftColour) are cut
    // out. Sizes the widget to the track. False, keeping nothing, on failure.
    bool SetTrack(int trackId, int secondId = 0, bool transparent = false,
                  quint32 colour = kTopLeftColour);
    bool SetTrack(const QPixmap& track, const QPixmap& second, bool transparent,
                  quint32 colour = kTopLeftColour);
    // Loads the thumb, cut out on the colour of its top-left pixel. On failure
    // a plain thumb is drawn instead and false is returned.
    bool SetThumb(int thumbId);
    bool SetThumb(const QPixmap& thumb);

    virtual void SetPos(int position);
    // A value the device reports: SetPos, unless the user holds the slider
    // (the hand wins; the drag's next report gives the device its value).
    // Whether it was shown.
    bool ShowDeviceValue(int position);
    // A move made by the user other than by dragging (keys, screen readers):
    // SetPos, then UM_SLIDER_MOVED with the new position, as a key press does.
    void MoveByUser(int position);
    // A value given by the user in one go (a typed value): SetPos, then
    // UM_SLIDER_MOVED and UM_SLIDER_RELEASED, as a drag that ends there.
    void PlaceByUser(int position);
    int GetPos() const { return m_position; }
    void SetRange(int minimum, int maximum);
    int Minimum() const { return m_minimum; }
    int Maximum() const { return m_maximum; }
    void SetVertical(bool vertical);
    bool IsVertical() const { return m_vertical; }
    void SetPageStep(int step) { m_pageStep = step; }
    void SetMargins(int left, int top, int right, int bottom);
    // When not 0, the track is cut at this width (sliders without a second track).
    void SetTrackWidthOverride(int width);

    // Thumb-centre pixel along the slider for a position, and back.
    int PosToPixel(int position) const;
    int PixelToPos(int pixel) const;

    bool IsDragging() const { return m_dragging; }
    // The keyboard-focus mark is drawn (focus came by keyboard).
    bool ShowsFocusMark() const { return m_hasFocus && m_focusCue; }
    bool IsTracking() const { return m_tracking; }
    int GrabOffset() const { return m_grabOffset; }
    bool HasTrack() const { return m_hasTrack; }
    bool HasSecondTrack() const { return m_hasSecondTrack; }
    bool HasThumb() const { return m_hasThumb; }
    bool IsTransparent() const { return m_transparent; }
    QSize TrackSize() const { return QSize(m_trackWidth, m_trackHeight); }
    QSize ThumbSize() const { return QSize(m_thumbWidth, m_thumbHeight); }

protected:
    // Stores position clamped to the range and repaints what the move changed.
    void StorePos(int position);
    // Asks for the repaint of a move from one stored position to another
    // (the whole slider here).
    virtual void RepaintMove(int from, int to);
    void PostToParent(unsigned code) const;
    // The first track picture (the lit one on a meter); null when none is loaded.
    const QPixmap& TrackPixmap() const { return m_track; }

    void paintEvent(QPaintEvent* event) override;
    // The slider's picture, on a painter whose origin is the slider's top left.
    void PaintSlider(QPainter& painter);
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int Along(const QPoint& point) const { return m_vertical ? point.y() : point.x(); }
    int TrackLength() const { return m_vertical ? m_trackHeight : m_trackWidth; }
    int ThumbLength() const { return m_vertical ? m_thumbHeight : m_thumbWidth; }
    int NearMargin() const { return m_vertical ? m_topMargin : m_leftMargin; }
    int FarMargin() const { return m_vertical ? m_bottomMargin : m_rightMargin; }
    int Span() const { return TrackLength() - FarMargin() - ThumbLength() - NearMargin(); }
    void DragTo(int pixel);
    void SetFocusCue(bool cue);
    void PaintPlainTrack(QPainter& painter) const;
    static void DrawPart(QPainter& painter, const QPixmap& pixmap, const QRect& logical);
    static QPixmap Keyed(const QPixmap& pixmap, quint32 colour);

    bool m_tracking = false;
    int m_maximum = 100;
    int m_minimum = 0;
    int m_position = 0;
    int m_pageStep = 10;
    int m_trackWidthOverride = 0;
    int m_trackWidth = 0;
    int m_trackHeight = 0;
    int m_thumbWidth = 0;
    int m_thumbHeight = 0;
    int m_leftMargin = 0;
    int m_rightMargin = 0;
    int m_topMargin = 0;
    int m_bottomMargin = 0;
    int m_grabOffset = 0;
    bool m_vertical = false;
    bool m_hasSecondTrack = false;
    bool m_transparent = false;
    bool m_thumbMasked = false;
    bool m_hasThumb = false;
    bool m_hasTrack = false;
    bool m_dragging = false;
    bool m_hasFocus = false;
    bool m_focusCue = false; // the focus came by keyboard: draw the mark
    bool m_plainBar = false; // second track wanted but not loaded: draw the fill plainly
    QBasicTimer m_dragTimer;
    QPixmap m_track;
    QPixmap m_secondTrack;
    QPixmap m_thumb;
};
