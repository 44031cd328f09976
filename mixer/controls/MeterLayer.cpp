#include "mixer/controls/MeterLayer.h"

#include "mixer/controls/LevelMeter.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

CMeterLayer::CMeterLayer(QWidget* surface) : QWidget(surface)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Inside its mask every pixel is a meter's: nothing under it is painted.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    surface->installEventFilter(this);
    Fit();
}

CMeterLayer::~CMeterLayer()
{
    Release();
}

void CMeterLayer::Release()
{
    for (const QPointer<CLevelMeter>& m : m_meters)
        if (m) {
            m->removeEventFilter(this);
            m->SetLayer(nullptr);
            m->update();
        }
    m_meters.clear();
    m_shown.clear();
}

void CMeterLayer::Adopt(const QList<CLevelMeter*>& meters)
{
    Release();
    for (CLevelMeter* m : meters) {
        if (!m || !parentWidget()->isAncestorOf(m))
            continue;
        m_meters.append(m);
        m->SetLayer(this);
        m->installEventFilter(this);
    }
    Fit();
    update();
}

QRect CMeterLayer::PlaceOf(const CLevelMeter* meter) const
{
    return QRect(meter->mapTo(parentWidget(), QPoint(0, 0)), meter->size());
}

QRegion CMeterLayer::MeterRegion() const
{
    QRegion region;
    for (const Shown& s : m_shown)
        if (s.meter)
            region += s.place;
    return region;
}

void CMeterLayer::Fit()
{
    QWidget* surface = parentWidget();
    setGeometry(surface->rect());
    m_shown.clear();
    for (const QPointer<CLevelMeter>& m : m_meters)
        if (m && m->isVisibleTo(surface))
            m_shown.append({m, PlaceOf(m)});
    const QRegion region = MeterRegion();
    if (region.isEmpty()) {
        hide();
        return;
    }
    setMask(region);
    raise();
    show();
}

void CMeterLayer::Dirty(const CLevelMeter* meter, const QRect& rect)
{
    for (const Shown& s : m_shown)
        if (s.meter == meter) {
            update(rect.intersected(meter->rect()).translated(s.place.topLeft()));
            return;
        }
}

void CMeterLayer::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRegion& dirty = event->region();
    for (const Shown& s : m_shown) {
        if (!s.meter || !dirty.intersects(s.place))
            continue;
        painter.resetTransform();
        painter.setClipRect(s.place);
        painter.setTransform(QTransform::fromTranslate(s.place.x(), s.place.y()));
        s.meter->PaintMeter(painter);
    }
}

bool CMeterLayer::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        // The meters' places, or the surface's size, changed.
        Fit();
        update();
        break;
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        if (auto* m = qobject_cast<CLevelMeter*>(watched))
            Dirty(m, m->rect());
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
