#pragma once
// Paints all level meters of a surface in one paint event per change,
// instead of one per meter. The layer lies over the surface, masked to the
// meters' rectangles and opaque there, so that the meters under it are
// never painted themselves: a meter's change dirties the layer, which paints
// each dirty meter in place with the meter's own drawing. Mouse events pass
// through it to the meters and what lies under them.
#include <QList>
#include <QPointer>
#include <QWidget>

class CLevelMeter;

class CMeterLayer : public QWidget {
    Q_OBJECT

public:
    explicit CMeterLayer(QWidget* surface);
    ~CMeterLayer() override;

    // The meters to paint from now on (those of the surface, shown or not);
    // meters taken before and not listed paint themselves again.
    void Adopt(const QList<CLevelMeter*>& meters);
    const QList<QPointer<CLevelMeter>>& Meters() const { return m_meters; }
    // Where the layer paints: the rectangles of the meters shown on the surface
    // (as of the last change of their places or visibility).
    QRegion MeterRegion() const;
    // Part `rect` of `meter` (in its own coordinates) needs painting.
    void Dirty(const CLevelMeter* meter, const QRect& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRect PlaceOf(const CLevelMeter* meter) const;
    // Covers the surface, masked to the shown meters, on top of its siblings;
    // takes down where each meter lies.
    void Fit();
    void Release();

    QList<QPointer<CLevelMeter>> m_meters;
    // The shown meters and their places on the surface, as of the last Fit.
    struct Shown {
        QPointer<CLevelMeter> meter;
        QRect place;
    };
    QList<Shown> m_shown;
};
