#include "mixer/controls/LevelMeter.h"

#include "mixer/controls/MeterExtras.h"
#include "mixer/controls/MeterLayer.h"
#include "mixer/controls/MeterTick.h"

#include "mixer/controls/SurfaceAccessible.h"

#include <QElapsedTimer>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

MeterClock SteadyMeterClock()
{
    return [] {
        static QElapsedTimer started = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return started.elapsed();
    };
}

namespace {

constexpr double kSilent = -std::numeric_limits<double>::infinity();

} // namespace

CLevelMeter::CLevelMeter(QWidget* parent, int controlId)
    : CBitmapSlider(parent, controlId), m_clock(SteadyMeterClock()), m_peakDb(kSilent)
{
    setFocusPolicy(Qt::NoFocus);
}

CLevelMeter::~CLevelMeter()
{
    if (CMeterTick* tick = CMeterTick::IfAny())
        tick->Cancel(this);
}

void CLevelMeter::SetClock(MeterClock clock)
{
    m_clock = clock ? std::move(clock) : SteadyMeterClock();
}

void CLevelMeter::SetPos(int position)
{
    // Every reading counts for the peak, also one the falling bar ignores.
    TrackPeak(DbAt(std::max(Minimum(), std::min(position, Maximum()))));
    if (m_falling && position < GetPos()) {
        AskTick(true);
        return;
    }
    m_falling = false;
    const int next = std::max(Minimum(), std::min({position, GetPos() + kFallStep, Maximum()}));
    // A reading that leaves the meter where it is paints nothing.
    if (next != GetPos())
        StorePos(next);
    TrackPeak(kSilent);
    AskTick(true);
}

void CLevelMeter::StartFall()
{
    m_falling = true;
    CMeterTick::Instance().Request(this, kFallTimerMs);
}

void CLevelMeter::OnTick()
{
    if (m_falling) {
        StorePos(GetPos() + kFallStep);
        if (GetPos() >= Maximum())
            m_falling = false;
    }
    TrackPeak(kSilent);
    AskTick(false);
}

void CLevelMeter::AskTick(bool fed)
{
    CMeterTick& tick = CMeterTick::Instance();
    if (m_falling) {
        // Readings do not move a falling bar's steps.
        if (!fed || !tick.Requested(this))
            tick.Request(this, kFallTimerMs);
    } else if (m_markPixel >= 0) {
        tick.Request(this, fed ? kPeakIdleMs : kPeakTimerMs);
    } else {
        tick.Cancel(this);
    }
}

bool CLevelMeter::IsPeakTickPending() const
{
    return m_markPixel >= 0 && CMeterTick::Instance().Requested(this);
}

void CLevelMeter::RepaintMove(int from, int to)
{
    if (from == to)
        return;
    if (HasThumb() || !isEnabled()) {
        Dirty(rect());
        return;
    }
    // Only the rows (columns) between the old and the new edge of the lit part change.
    const int a = PosToPixel(from);
    const int b = PosToPixel(to);
    const int low = std::min(a, b);
    const int span = std::abs(a - b) + 1;
    Dirty(IsVertical() ? QRect(0, low, width(), span) : QRect(low, 0, span, height()));
}

double CLevelMeter::DbAt(int position) const
{
    const int range = Maximum() - Minimum();
    if (range <= 0)
        return kSilent;
    const double fraction = double(Maximum() - position) / range;
    return fraction <= 0 ? kSilent : 20.0 * std::log10(fraction);
}

double CLevelMeter::LevelDb() const
{
    return DbAt(GetPos());
}

double CLevelMeter::PeakDbAt(qint64 now) const
{
    if (!std::isfinite(m_peakDb))
        return kSilent;
    const qint64 falling = now - m_peakAt - kPeakHoldMs;
    const double db = falling <= 0 ? m_peakDb : m_peakDb - kPeakFallDbPerSecond * falling / 1000.0;
    return db < kPeakFloorDb ? kSilent : db;
}

double CLevelMeter::PeakDb() const
{
    return std::max(PeakDbAt(m_clock()), LevelDb());
}

int CLevelMeter::PixelForDb(double db) const
{
    // The position the level would show at, as a real number, on the bar's pixel scale.
    const double fraction = std::pow(10.0, db / 20.0);
    const double position = Maximum() - fraction * (Maximum() - Minimum());
    const int low = PosToPixel(Minimum());
    const int high = PosToPixel(Maximum());
    const double span = Maximum() - Minimum();
    // The slack keeps a peak the bar shows from landing a row above the bar.
    return low + int(std::floor((high - low) * (position - Minimum()) / span + 1e-6));
}

void CLevelMeter::TrackPeak(double readingDb)
{
    if (!meter::ExtrasShown()) {
        if (m_markPixel >= 0)
            Dirty(QRect(0, m_markPixel, width(), kPeakMarkHeight));
        m_markPixel = -1;
        m_peakDb = kSilent;
        return;
    }
    const qint64 now = m_clock();
    const double peak = PeakDbAt(now);
    if (std::isfinite(readingDb) && readingDb >= peak) {
        m_peakDb = readingDb;
        m_peakAt = now;
    } else if (!std::isfinite(peak)) {
        m_peakDb = kSilent;
    }

    const double shown = PeakDbAt(now);
    const int bar = PosToPixel(GetPos());
    int mark = std::isfinite(shown) && Maximum() > Minimum() ? PixelForDb(shown) : -1;
    if (mark >= bar)
        mark = -1;
    if (mark != m_markPixel) {
        if (m_markPixel >= 0)
            Dirty(QRect(0, m_markPixel, width(), kPeakMarkHeight));
        if (mark >= 0)
            Dirty(QRect(0, mark, width(), kPeakMarkHeight));
        m_markPixel = mark;
    }
}

void CLevelMeter::UpdatePeak()
{
    TrackPeak(kSilent);
    // A falling bar's steps move the mark as well.
    if (!m_falling)
        AskTick(false);
}

QString CLevelMeter::FormatDb(double db)
{
    if (!std::isfinite(db))
        return QStringLiteral("-inf dB");
    // Whole dB; "-0" reads as 0.
    const int whole = int(std::lround(db));
    return QLocale::c().toString(whole) + QStringLiteral(" dB");
}

QString CLevelMeter::ToolTipText() const
{
    return QStringLiteral("Level %1, peak %2").arg(FormatDb(LevelDb()), FormatDb(PeakDb()));
}

bool CLevelMeter::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // Built when asked, so readings cost nothing for it.
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), surface::ControlToolTip(this), this);
        return true;
    }
    return CBitmapSlider::event(event);
}

QColor CLevelMeter::MarkColour(int pixel)
{
    const QPixmap& lit = TrackPixmap();
    if (m_rowColours.empty() && !lit.isNull()) {
        // The lit picture's segments with their gaps: each row takes the
        // colour of the nearest lit segment below or at it.
        const QImage image = lit.toImage().convertToFormat(QImage::Format_RGB32);
        const qreal ratio = lit.devicePixelRatio();
        const int rows = int(image.height() / ratio);
        m_rowColours.assign(std::size_t(std::max(rows, 0)), 0);
        QRgb below = 0;
        for (int row = rows - 1; row >= 0; --row) {
            const QRgb c = image.pixel(image.width() / 2, std::min(int(row * ratio), image.height() - 1));
            if (qGray(c) > 0x30)
                below = c;
            m_rowColours[std::size_t(row)] = below;
        }
    }
    if (pixel >= 0 && std::size_t(pixel) < m_rowColours.size() && m_rowColours[std::size_t(pixel)])
        return QColor(m_rowColours[std::size_t(pixel)]).lighter(125);
    return palette().color(QPalette::Highlight);
}

void CLevelMeter::SetLayer(CMeterLayer* layer)
{
    m_layer = layer;
}

void CLevelMeter::Dirty(const QRect& rect)
{
    if (m_layer)
        m_layer->Dirty(this, rect);
    else
        update(rect);
}

void CLevelMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintMeter(painter);
}

void CLevelMeter::PaintMeter(QPainter& painter)
{
    PaintSlider(painter);
    if (m_markPixel < 0 || !isEnabled())
        return;
    const QRect mark(1, m_markPixel, std::max(width() - 2, 1), kPeakMarkHeight);
    painter.fillRect(mark, MarkColour(m_markPixel));
}

void CLevelMeter::mousePressEvent(QMouseEvent* event)
{
    event->ignore();
}

void CLevelMeter::mouseMoveEvent(QMouseEvent* event)
{
    event->ignore();
}

void CLevelMeter::mouseReleaseEvent(QMouseEvent* event)
{
    event->ignore();
}

void CLevelMeter::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}
