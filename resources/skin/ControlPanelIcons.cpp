#include "ControlPanelIcons.h"

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

const QColor kInk(0x2B, 0x3A, 0x4E);
const QColor kBlue(0x2F, 0x7F, 0xD8);
const QColor kCyan(0x22, 0xB8, 0xD6);
const QColor kGreen(0x2E, 0xB8, 0x5C);
const QColor kAmber(0xF0, 0xA0, 0x1A);
const QColor kLight(0xE8, 0xEE, 0xF5);

using Draw = std::function<void(QPainter&)>;

bool Render(const QString& out, int id, int size, const Draw& draw)
{
    bool ok = true;
    for (int scale : {1, 2}) {
        QImage image(size * scale, size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(scale, scale);
            draw(p);
        }
        const QString path = scale == 1 ? QStringLiteral("%1/icons/%2.png").arg(out).arg(id)
                                        : QStringLiteral("%1/icons/%2@2x.png").arg(out).arg(id);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
            ok = false;
        }
    }
    return ok;
}

// Program icon: a blue panel with three horizontal setting sliders.
void ProgramIcon(QPainter& p)
{
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, QColor(0x3C, 0x8E, 0xE6));
    g.setColorAt(1, QColor(0x1E, 0x5A, 0xA8));
    p.setPen(QPen(QColor(0x12, 0x3A, 0x70), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    const qreal knobs[] = {20, 11, 16};
    for (int i = 0; i < 3; ++i) {
        const qreal y = 9 + i * 7;
        p.setPen(QPen(kLight, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, y), QPointF(25, y));
        p.setPen(QPen(QColor(0x12, 0x3A, 0x70), 1));
        p.setBrush(i == 1 ? kAmber : kLight);
        p.drawEllipse(QPointF(knobs[i], y), 3, 3);
    }
}

// 130: a settings sheet.
void Sheet(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kLight);
    p.drawRect(QRectF(3.5, 1.5, 9, 13));
    p.setPen(QPen(kBlue, 1));
    for (int y : {5, 8, 11})
        p.drawLine(QPointF(5.5, y + 0.5), QPointF(10.5, y + 0.5));
}

// 131: an audio interface with two knobs and a lamp.
void Device(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0x5A, 0x66, 0x76));
    p.drawRoundedRect(QRectF(0.5, 4.5, 15, 8), 1.5, 1.5);
    p.setBrush(kLight);
    p.drawEllipse(QPointF(4.5, 8.5), 2, 2);
    p.drawEllipse(QPointF(9, 8.5), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(13, 7), 1.1, 1.1);
}

// 132: buffer depths as stacked bars of falling length.
void Buffers(QPainter& p)
{
    p.setPen(QPen(kInk, 1));  // outlined, so the bars show on a selection highlight too
    const qreal lengths[] = {13, 9, 11};
    const QColor colours[] = {kLight, kCyan, kAmber};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(colours[i]);
        p.drawRoundedRect(QRectF(1.5, 2 + i * 4.5, lengths[i], 3), 1, 1);
    }
}

// 135: a channel: two arrows, in and out.
void Channels(QPainter& p)
{
    p.setPen(QPen(kGreen, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(2, 5), QPointF(13, 5));
    p.drawPolyline(QPolygonF({QPointF(10, 2.5), QPointF(13, 5), QPointF(10, 7.5)}));
    p.setPen(QPen(kBlue, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(14, 11), QPointF(3, 11));
    p.drawPolyline(QPolygonF({QPointF(6, 8.5), QPointF(3, 11), QPointF(6, 13.5)}));
}

// 136: a stream: a wave running into a bar.
void Streams(QPainter& p)
{
    QPainterPath wave;
    wave.moveTo(1, 8);
    wave.cubicTo(3, 2, 5, 2, 7, 8);
    wave.cubicTo(9, 14, 11, 14, 13, 8);
    p.setPen(QPen(kCyan, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(QRectF(13.5, 3, 2, 10));
}

// 146: synchronisation: a clock face.
void Clock(QPainter& p)
{
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kLight);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
    p.setPen(QPen(kBlue, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(8, 3.5));
    p.setPen(QPen(kAmber, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(11.5, 9.5));
}

} // namespace

bool DrawControlPanelIcons(const QString& out)
{
    bool ok = Render(out, 128, 32, ProgramIcon);
    ok = Render(out, 130, 16, Sheet) && ok;
    ok = Render(out, 131, 16, Device) && ok;
    ok = Render(out, 132, 16, Buffers) && ok;
    ok = Render(out, 135, 16, Channels) && ok;
    ok = Render(out, 136, 16, Streams) && ok;
    ok = Render(out, 146, 16, Clock) && ok;
    return ok;
}
