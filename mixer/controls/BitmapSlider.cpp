#include "mixer/controls/BitmapSlider.h"

#include "mixer/controls/FocusMark.h"
#include "mixer/controls/MixerMessages.h"
#include "ui/ControlId.h"
#include "ui/SkinLoader.h"
#include "ui/WindowMessage.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

CBitmapSlider::CBitmapSlider(QWidget* parent, int controlId) : QWidget(parent)
{
    SetControlId(this, controlId);
    setFocusPolicy(Qt::StrongFocus);
}

QPixmap CBitmapSlider::Keyed(const QPixmap& pixmap, quint32 colour)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    const QRgb key = colour == kTopLeftColour ? image.pixel(0, 0) & 0xFFFFFF : colour & 0xFFFFFF;
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == key)
                line[x] = 0;
    }
    QPixmap keyed = QPixmap::fromImage(image);
    keyed.setDevicePixelRatio(pixmap.devicePixelRatio());
    return keyed;
}

bool CBitmapSlider::SetTrack(int trackId, int secondId, bool transparent, quint32 colour)
{
    const qreal ratio = devicePixelRatioF();
    const QPixmap second = secondId ? CSkin::Bitmap(secondId, ratio) : QPixmap();
    const bool ok = SetTrack(CSkin::Bitmap(trackId, ratio), second, transparent, colour) &&
                    (secondId == 0 || m_hasSecondTrack);
    if (!ok) {
        m_hasTrack = m_hasSecondTrack = false;
        m_track = m_secondTrack = QPixmap();
        m_plainBar = secondId != 0;
        m_transparent = transparent; // the plain groove lies on the skin
        m_trackWidth = width();
        m_trackHeight = height();
    }
    return ok;
}

bool CBitmapSlider::SetTrack(const QPixmap& track, const QPixmap& second, bool transparent,
                             quint32 colour)
{
    if (track.isNull())
        return false;
    QPixmap first = transparent ? Keyed(track, colour) : track;
    m_hasSecondTrack = !second.isNull();
    m_secondTrack = m_hasSecondTrack ? (transparent ? Keyed(second, colour) : second) : QPixmap();
    m_track = first;
    const QSize size = m_track.deviceIndependentSize().toSize();
    m_trackWidth = size.width();
    m_trackHeight = size.height();
    resize(size);
    m_transparent = transparent;
    // An opaque track covers the whole widget: nothing under it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent, !transparent);
    m_hasTrack = true;
    m_plainBar = false;
    update();
    return true;
}

bool CBitmapSlider::SetThumb(int thumbId)
{
    return SetThumb(CSkin::Bitmap(thumbId, devicePixelRatioF()));
}

bool CBitmapSlider::SetThumb(const QPixmap& thumb)
{
    const bool loaded = !thumb.isNull();
    if (loaded) {
        m_thumb = Keyed(thumb, kTopLeftColour);
    } else {
        // A plain cap across the slider, so the control stays usable.
        const bool tall = height() >= width();
        const QSize size = tall ? QSize(std::max(width(), 6), 9) : QSize(7, std::max(height(), 6));
        QPixmap plain(size);
        plain.fill(palette().color(QPalette::Button));
        QPainter p(&plain);
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(plain.rect().adjusted(0, 0, -1, -1));
        m_thumb = plain;
    }
    const QSize size = m_thumb.deviceIndependentSize().toSize();
    m_thumbWidth = size.width();
    m_thumbHeight = size.height();
    if (!m_hasTrack) {
        m_trackWidth = width();
        m_trackHeight = height();
    }
    m_thumbMasked = true;
    m_hasThumb = true;
    update();
    return loaded;
}

void CBitmapSlider::SetRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    update();
}

void CBitmapSlider::SetVertical(bool vertical)
{
    m_vertical = vertical;
    update();
}

void CBitmapSlider::SetMargins(int left, int top, int right, int bottom)
{
    m_leftMargin = left;
    m_topMargin = top;
    m_rightMargin = right;
    m_bottomMargin = bottom;
    update();
}

void CBitmapSlider::SetTrackWidthOverride(int width)
{
    m_trackWidthOverride = width;
    update();
}

void CBitmapSlider::StorePos(int position)
{
    // With minimum above maximum the minimum wins, as a plain clamp would.
    const int from = m_position;
    m_position = std::max(m_minimum, std::min(position, m_maximum));
    RepaintMove(from, m_position);
}

void CBitmapSlider::RepaintMove(int, int)
{
    update();
}

void CBitmapSlider::SetPos(int position)
{
    StorePos(position);
}

bool CBitmapSlider::ShowDeviceValue(int position)
{
    if (m_dragging)
        return false;
    SetPos(position);
    return true;
}

int CBitmapSlider::PosToPixel(int position) const
{
    const std::int64_t range = std::int64_t(m_maximum) - m_minimum;
    const int offset = range == 0 ? 0 : int(std::int64_t(Span()) * (position - m_minimum) / range);
    return NearMargin() + offset + ThumbLength() / 2;
}

int CBitmapSlider::PixelToPos(int pixel) const
{
    const int span = Span();
    if (span == 0)
        return m_minimum;
    const double position =
        double(pixel - ThumbLength() / 2 - NearMargin()) / span * (double(m_maximum) - m_minimum) +
        m_minimum;
    return static_cast<int>(position);
}

void CBitmapSlider::PostToParent(unsigned code) const
{
    CWindowMessage::PostToParent(this, code, quintptr(ControlId(this)), m_position);
}

void CBitmapSlider::DragTo(int pixel)
{
    m_tracking = true;
    const int low = NearMargin() + ThumbLength() / 2;
    const int high = TrackLength() - FarMargin() - ThumbLength() / 2;
    const int c = std::max(low, std::min(pixel - m_grabOffset, high));
    const int position = PixelToPos(c);
    if (position != m_position)
        SetPos(position);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event)
{
    if (!isEnabled() || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragTimer.start(kDragTimerMs, Qt::PreciseTimer, this);
    SetFocusCue(false);
    setFocus(Qt::MouseFocusReason);
    m_dragging = true;
    const int c = Along(event->position().toPoint());
    const int centre = PosToPixel(m_position);
    m_grabOffset = std::abs(c - centre) <= ThumbLength() / 2 ? c - centre : 0;
    DragTo(c);
    update();
    event->accept();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        DragTo(Along(event->position().toPoint()));
    event->accept();
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragTimer.stop();
    PostToParent(UM_SLIDER_MOVED);
    PostToParent(UM_SLIDER_RELEASED);
    m_dragging = false;
    m_tracking = false;
    update();
    event->accept();
}

void CBitmapSlider::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_dragTimer.timerId())
        PostToParent(UM_SLIDER_MOVED);
    else
        QWidget::timerEvent(event);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* event)
{
    int position = m_position;
    switch (event->key()) {
    case Qt::Key_PageUp: position -= m_pageStep; break;
    case Qt::Key_PageDown: position += m_pageStep; break;
    case Qt::Key_End: position = m_maximum; break;
    case Qt::Key_Home: position = m_minimum; break;
    case Qt::Key_Left:
    case Qt::Key_Up: position -= 1; break;
    case Qt::Key_Right:
    case Qt::Key_Down: position += 1; break;
    default: QWidget::keyPressEvent(event); return;
    }
    SetFocusCue(true);
    MoveByUser(position);
    event->accept();
}

void CBitmapSlider::MoveByUser(int position)
{
    SetPos(position);
    PostToParent(UM_SLIDER_MOVED);
}

void CBitmapSlider::PlaceByUser(int position)
{
    SetPos(position);
    PostToParent(UM_SLIDER_MOVED);
    PostToParent(UM_SLIDER_RELEASED);
}

void CBitmapSlider::focusInEvent(QFocusEvent* event)
{
    m_hasFocus = true;
    m_focusCue = surface::CueAfterFocusIn(m_focusCue, event->reason());
    update();
    QWidget::focusInEvent(event);
}

void CBitmapSlider::focusOutEvent(QFocusEvent* event)
{
    m_hasFocus = false;
    m_focusCue = surface::CueAfterFocusOut(m_focusCue, event->reason());
    update();
    QWidget::focusOutEvent(event);
}

void CBitmapSlider::SetFocusCue(bool cue)
{
    if (cue == m_focusCue)
        return;
    m_focusCue = cue;
    update();
}

void CBitmapSlider::resizeEvent(QResizeEvent* event)
{
    if (!m_hasTrack) {
        m_trackWidth = width();
        m_trackHeight = height();
    }
    QWidget::resizeEvent(event);
}

void CBitmapSlider::DrawPart(QPainter& painter, const QPixmap& pixmap, const QRect& logical)
{
    if (logical.isEmpty())
        return;
    const qreal ratio = pixmap.devicePixelRatio();
    const QRectF source(logical.x() * ratio, logical.y() * ratio, logical.width() * ratio,
                        logical.height() * ratio);
    painter.drawPixmap(QRectF(logical), pixmap, source);
}

void CBitmapSlider::PaintPlainTrack(QPainter& painter) const
{
    const QRect r = rect();
    const QColor groove = palette().color(QPalette::Dark);
    if (m_vertical)
        painter.fillRect(QRect(r.center().x() - 1, r.top(), 3, r.height()), groove);
    else
        painter.fillRect(QRect(r.left(), r.center().y() - 1, r.width(), 3), groove);
    if (m_plainBar) {
        // Meter without pictures: the part after the position pixel is lit.
        const int pixel = PosToPixel(m_position);
        const QRect lit = m_vertical ? QRect(r.left(), pixel, r.width(), r.bottom() + 1 - pixel)
                                     : QRect(pixel, r.top(), r.right() + 1 - pixel, r.height());
        painter.fillRect(lit, palette().color(QPalette::Highlight));
    }
}

void CBitmapSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintSlider(painter);
}

void CBitmapSlider::PaintSlider(QPainter& painter)
{
    // An opaque track picture covers the slider by itself.
    const bool covered = m_hasTrack && !m_transparent && m_trackWidth >= width() && m_trackHeight >= height();
    if (!m_transparent && !covered)
        painter.fillRect(rect(), palette().color(QPalette::Window));

    if (m_hasTrack) {
        if (m_hasSecondTrack && isEnabled()) {
            const int pixel = PosToPixel(m_position);
            if (m_vertical) {
                DrawPart(painter, m_secondTrack, QRect(0, 0, m_trackWidth, pixel));
                DrawPart(painter, m_track, QRect(0, pixel, m_trackWidth, m_trackHeight - pixel));
            } else {
                DrawPart(painter, m_secondTrack, QRect(0, 0, pixel, m_trackHeight));
                DrawPart(painter, m_track, QRect(pixel, 0, m_trackWidth - pixel, m_trackHeight));
            }
        } else {
            if (m_trackWidthOverride != 0)
                m_trackWidth = m_trackWidthOverride;
            DrawPart(painter, m_track, QRect(0, 0, m_trackWidth, m_trackHeight));
        }
    } else {
        PaintPlainTrack(painter);
    }

    if (m_hasThumb && isEnabled()) {
        const int centre = PosToPixel(m_position);
        const QPoint at = m_vertical ? QPoint(m_leftMargin, centre - m_thumbHeight / 2)
                                     : QPoint(centre - m_thumbWidth / 2, m_topMargin);
        painter.drawPixmap(at, m_thumb);
    }
    if (ShowsFocusMark())
        surface::DrawFocusMark(painter, rect());
}
