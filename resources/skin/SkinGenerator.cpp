// Draws the mixer's skin pictures (backgrounds, slider tracks and thumbs,
// meter bars, button strips, the LED character bitmap) and program icons at
// 1x and 2x into <out>/skin and <out>/icons. Deterministic: same input, same PNGs.
#include "ControlPanelIcons.h"
#include "PixelFont.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

// Palette: dark anodised panels, light-grey legends, coloured lights.
const QColor kMatte(0x30, 0x34, 0x3A);
const QColor kPanelTop(0x3A, 0x3E, 0x45);
const QColor kPanelBottom(0x2A, 0x2D, 0x33);
const QColor kBand(0x24, 0x27, 0x2C);
const QColor kSlot(0x0C, 0x0D, 0x0F);
const QColor kLegend(0xC9, 0xCE, 0xD6);
const QColor kLegendDim(0x80, 0x87, 0x91);
const QColor kTick(0x8A, 0x91, 0x9B);
const QColor kRed(0xFF, 0x4A, 0x3D);
const QColor kAmber(0xFF, 0xB4, 0x1F);
const QColor kGreen(0x3A, 0xE0, 0x6E);
const QColor kCyan(0x22, 0xD3, 0xEE);

using Draw = std::function<void(QPainter&)>;

QString g_out;
int g_failures = 0;

void Save(const QImage& image, const QString& path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

// Opaque pixels stay as drawn; fully transparent ones become the white key
// colour; partly covered edge pixels are blended onto the matte so no light
// fringe shows after the white is masked out.
QImage FlattenOnWhite(const QImage& src, const QColor& matte)
{
    QImage out(src.size(), QImage::Format_RGB32);
    const QImage argb = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a == 0) {
                o[x] = qRgb(255, 255, 255);
                continue;
            }
            const auto mix = [a](int s, int m) { return (s * a + m * (255 - a) + 127) / 255; };
            QRgb c = qRgb(mix(qRed(in[x]), matte.red()), mix(qGreen(in[x]), matte.green()),
                          mix(qBlue(in[x]), matte.blue()));
            if (c == qRgb(255, 255, 255))
                c = qRgb(254, 254, 254);
            o[x] = c;
        }
    }
    return out;
}

// Renders draw at both scales. Transparent pictures are keyed on white.
void Picture(const QString& dir, int id, int w, int h, const Draw& draw, bool keyedOnWhite,
             const QColor& matte = kMatte)
{
    for (int scale : {1, 2}) {
        QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(scale, scale);
            draw(p);
        }
        const QImage out = keyedOnWhite ? FlattenOnWhite(image, matte)
                                        : image.convertToFormat(QImage::Format_RGB32);
        const QString name = scale == 1 ? QStringLiteral("%1/%2/%3.png").arg(g_out, dir).arg(id)
                                        : QStringLiteral("%1/%2/%3@2x.png").arg(g_out, dir).arg(id);
        Save(out, name);
    }
}

// Pixel-font legend; each dot is one logical pixel.
int TextWidth(const char* text)
{
    int n = 0;
    while (text[n])
        ++n;
    return n > 0 ? n * 6 - 1 : 0;
}

void DrawDots(QPainter& p, const char* text, qreal x, qreal y, const QColor& colour, qreal dot = 1)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; text[i]; ++i)
        for (int col = 0; col < 5; ++col)
            for (int row = 0; row < 7; ++row)
                if (GlyphDot(text[i], col, row))
                    p.fillRect(QRectF(x + (i * 6 + col) * dot, y + row * dot, dot, dot), colour);
    p.restore();
}

// Brushed panel: vertical gradient, fine deterministic grain, bevelled edge.
void Panel(QPainter& p, int w, int h, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(QRectF(0, 0, w, h), g);
    unsigned seed = 0x1234567u;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y = 0; y < h; ++y) {
        seed = seed * 1103515245u + 12345u;
        const int grain = static_cast<int>((seed >> 16) % 9);
        p.fillRect(QRectF(0, y, w, 1), QColor(255, 255, 255, grain));
    }
    p.restore();
    p.fillRect(QRectF(0, 0, w, 1), QColor(255, 255, 255, 28));
    p.fillRect(QRectF(0, 0, 1, h), QColor(255, 255, 255, 18));
    p.fillRect(QRectF(0, h - 1, w, 1), QColor(0, 0, 0, 110));
    p.fillRect(QRectF(w - 1, 0, 1, h), QColor(0, 0, 0, 90));
}

void Band(QPainter& p, qreal y, int w, qreal h)
{
    p.fillRect(QRectF(1, y, w - 2, h), kBand);
    p.fillRect(QRectF(1, y + h, w - 2, 1), QColor(255, 255, 255, 20));
    p.fillRect(QRectF(1, y, w - 2, 1), QColor(0, 0, 0, 60));
}

void Screw(QPainter& p, qreal cx, qreal cy)
{
    QRadialGradient g(cx - 1, cy - 1, 3.5);
    g.setColorAt(0, QColor(0x6A, 0x70, 0x78));
    g.setColorAt(1, QColor(0x26, 0x29, 0x2E));
    p.setPen(QPen(QColor(0x15, 0x16, 0x19), 0.6));
    p.setBrush(g);
    p.drawEllipse(QPointF(cx, cy), 2.6, 2.6);
    p.setPen(QPen(QColor(0x15, 0x16, 0x19), 0.8));
    p.drawLine(QPointF(cx - 1.6, cy + 1.6), QPointF(cx + 1.6, cy - 1.6));
}

void Backgrounds()
{
    Picture("skin", 151, 1024, 512, [](QPainter& p) {
        Panel(p, 1024, 512, QColor(0x1D, 0x1F, 0x23), QColor(0x14, 0x15, 0x18));
    }, false);
    Picture("skin", 132, 795, 28, [](QPainter& p) {
        Panel(p, 795, 28, kPanelTop, kPanelBottom);
        DrawDots(p, "KAVRO", 12, 7, kLegend, 2);
        p.fillRect(QRectF(76, 7, 1, 14), kLegendDim);
        DrawDots(p, "MIXER PANEL", 84, 11, kLegendDim);
        p.fillRect(QRectF(160, 13, 5, 3), kCyan);
    }, false);
    const auto strip = [](int w, int h) {
        return [w, h](QPainter& p) {
            Panel(p, w, h, kPanelTop, kPanelBottom);
            Band(p, 3, w, 26);
            Band(p, h - 22, w, 18);
            Screw(p, 6, h - 13);
            Screw(p, w - 6, h - 13);
        };
    };
    Picture("skin", 133, 86, 368, strip(86, 368), false);
    Picture("skin", 181, 56, 368, strip(56, 368), false);
    Picture("skin", 135, 179, 422, [](QPainter& p) {
        Panel(p, 179, 422, kPanelTop, kPanelBottom);
        Band(p, 3, 179, 14);
        Screw(p, 6, 412);
        Screw(p, 173, 412);
    }, false);
    Picture("skin", 137, 614, 52, [](QPainter& p) {
        Panel(p, 614, 52, kPanelTop, kPanelBottom);
        Screw(p, 6, 26);
        Screw(p, 608, 26);
    }, false);
}

void CapGradient(QGradient& g)
{
    g.setColorAt(0, QColor(0xE6, 0xE9, 0xED));
    g.setColorAt(0.45, QColor(0xA4, 0xAA, 0xB2));
    g.setColorAt(1, QColor(0x62, 0x68, 0x70));
}

void HorizontalTrack(int id, int w)
{
    Picture("skin", id, w, 13, [w](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kSlot);
        p.drawRoundedRect(QRectF(1, 5, w - 2, 3), 1.5, 1.5);
        p.fillRect(QRectF(2, 8, w - 4, 0.6), QColor(0x5A, 0x60, 0x68));
        const qreal mid = w / 2.0;
        p.fillRect(QRectF(mid - 0.5, 0.5, 1, 3), kLegend);
        p.fillRect(QRectF(mid - 0.5, 9.5, 1, 3), kLegend);
        for (qreal x : {1.0, static_cast<qreal>(w - 2)}) {
            p.fillRect(QRectF(x, 1.5, 1, 2), kTick);
            p.fillRect(QRectF(x, 9.5, 1, 2), kTick);
        }
    }, true);
}

void Sliders()
{
    // Volume fader track: slot with a tick every 6 dB at the thumb-centre pixels.
    Picture("skin", 141, 10, 199, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kSlot);
        p.drawRoundedRect(QRectF(3, 9, 4, 181), 2, 2);
        p.fillRect(QRectF(6.4, 11, 0.6, 177), QColor(0x5A, 0x60, 0x68));
        for (int db = 0; db <= 63; db += (db == 60 ? 3 : 6)) {
            const qreal y = 12 + (174 * db) / 63;
            const QColor c = db == 0 ? kLegend : kTick;
            p.fillRect(QRectF(0, y, 2, 1), c);
            p.fillRect(QRectF(8, y, 2, 1), c);
        }
    }, true);
    Picture("skin", 139, 10, 25, [](QPainter& p) {
        QLinearGradient g(0, 0, 0, 25);
        CapGradient(g);
        p.setPen(QPen(QColor(0x1A, 0x1C, 0x1F), 0.8));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(0.5, 0.5, 9, 24), 2, 2);
        for (qreal y : {4.5, 7.5, 17.5, 20.5})
            p.fillRect(QRectF(1.5, y, 7, 0.8), QColor(0x4A, 0x4F, 0x57, 160));
        p.fillRect(QRectF(1, 12, 8, 1), QColor(0xFA, 0xFA, 0xFA));
    }, true);
    HorizontalTrack(152, 33);
    HorizontalTrack(153, 52);
    HorizontalTrack(136, 351);
    Picture("skin", 150, 7, 13, [](QPainter& p) {
        QLinearGradient g(0, 0, 7, 0);
        CapGradient(g);
        p.setPen(QPen(QColor(0x1A, 0x1C, 0x1F), 0.8));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(0.5, 0.5, 6, 12), 1.5, 1.5);
        p.fillRect(QRectF(3, 1.5, 1, 10), QColor(0xFA, 0xFA, 0xFA));
    }, true);
}

void MeterBar(int id, bool lit)
{
    Picture("skin", id, 10, 200, [lit](QPainter& p) {
        p.fillRect(QRectF(0, 0, 10, 200), QColor(0x0A, 0x0B, 0x0C));
        p.setRenderHint(QPainter::Antialiasing, false);
        for (int y = 1; y + 3 <= 200; y += 4) {
            const qreal f = y / 200.0;
            QColor c = f < 0.12 ? kRed : f < 0.30 ? kAmber : kGreen;
            if (!lit)
                c = QColor((c.red() * 2 + 0x0A * 8) / 10, (c.green() * 2 + 0x0B * 8) / 10,
                           (c.blue() * 2 + 0x0C * 8) / 10);
            p.fillRect(QRectF(1, y, 8, 3), c);
            p.fillRect(QRectF(1, y, 8, 1), lit ? c.lighter(125) : c);
        }
    }, false);
}

enum class Look { Disabled, Off, On };

void Key(QPainter& p, qreal x, qreal w, qreal h, Look look, const QColor& light)
{
    QLinearGradient g(0, 0, 0, h);
    QColor legend;
    switch (look) {
    case Look::Disabled:
        g.setColorAt(0, QColor(0x33, 0x36, 0x3B));
        g.setColorAt(1, QColor(0x2C, 0x2F, 0x34));
        legend = QColor(0x58, 0x5D, 0x65);
        break;
    case Look::Off:
        g.setColorAt(0, QColor(0x55, 0x5A, 0x62));
        g.setColorAt(1, QColor(0x36, 0x3A, 0x40));
        legend = kLegend;
        break;
    case Look::On:
        g.setColorAt(0, light.lighter(118));
        g.setColorAt(1, light.darker(135));
        legend = QColor(0x16, 0x17, 0x1A);
        break;
    }
    p.setPen(QPen(QColor(0x14, 0x15, 0x18), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(x + 0.5, 0.5, w - 1, h - 1), 2.5, 2.5);
    p.fillRect(QRectF(x + 2, 1.5, w - 4, 0.7),
               QColor(255, 255, 255, look == Look::Disabled ? 10 : look == Look::On ? 90 : 45));
    p.setPen(legend);
    p.setBrush(legend);
}

void KeyStrip(int id, int w, int h, const char* legend, const QColor& light)
{
    Picture("skin", id, 3 * w, h, [=](QPainter& p) {
        p.fillRect(QRectF(0, 0, 3 * w, h), kMatte);
        int i = 0;
        for (Look look : {Look::Disabled, Look::Off, Look::On}) {
            const qreal x = i++ * w;
            Key(p, x, w, h, look, light);
            const QColor c = p.pen().color();
            DrawDots(p, legend, x + (w - TextWidth(legend)) / 2, (h - 7) / 2, c);
        }
    }, false);
}

void ArrowStrip(int id, int w, int h, int direction)
{
    Picture("skin", id, 3 * w, h, [=](QPainter& p) {
        p.fillRect(QRectF(0, 0, 3 * w, h), kMatte);
        int i = 0;
        for (Look look : {Look::Disabled, Look::Off, Look::On}) {
            const qreal x = i++ * w;
            Key(p, x, w, h, look, kCyan);
            const qreal cx = x + w / 2.0, cy = h / 2.0;
            QPainterPath arrow;
            arrow.moveTo(cx + 2.5 * direction, cy - 3.5);
            arrow.lineTo(cx - 2.5 * direction, cy);
            arrow.lineTo(cx + 2.5 * direction, cy + 3.5);
            arrow.closeSubpath();
            p.setPen(Qt::NoPen);
            p.drawPath(arrow);
        }
    }, false);
}

void Buttons()
{
    KeyStrip(149, 30, 16, "M", kRed);
    KeyStrip(156, 30, 16, "S", kAmber);
    KeyStrip(144, 68, 12, "LINK", kCyan);
    KeyStrip(182, 50, 14, "MUTE", kRed);
    KeyStrip(155, 28, 14, "SET", kCyan);
    ArrowStrip(154, 17, 14, +1);
    ArrowStrip(148, 16, 14, -1);
    // Round lamp: disabled, dark, lit.
    Picture("skin", 134, 33, 11, [](QPainter& p) {
        p.fillRect(QRectF(0, 0, 33, 11), kMatte);
        for (int i = 0; i < 3; ++i) {
            const QPointF c(i * 11 + 5.5, 5.5);
            p.setPen(QPen(QColor(0x14, 0x15, 0x18), 1));
            p.setBrush(QColor(0x4A, 0x4F, 0x57));
            p.drawEllipse(c, 5, 5);
            QRadialGradient g(c.x() - 1, c.y() - 1, 4);
            if (i == 0) {
                g.setColorAt(0, QColor(0x3C, 0x3F, 0x44));
                g.setColorAt(1, QColor(0x2E, 0x31, 0x35));
            } else if (i == 1) {
                g.setColorAt(0, QColor(0x24, 0x4A, 0x30));
                g.setColorAt(1, QColor(0x0F, 0x1F, 0x14));
            } else {
                g.setColorAt(0, QColor(0xC8, 0xFF, 0xD6));
                g.setColorAt(0.45, kGreen);
                g.setColorAt(1, QColor(0x12, 0x8A, 0x38));
            }
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(c, 3.6, 3.6);
        }
    }, false);
}

// LED characters: 3 rows of 32 cells of 6 x 9, printable ASCII. Dots are lit
// cyan or unlit dark blue, the sixth column and ninth row are black.
void LedCharacters()
{
    for (int scale : {1, 2}) {
        QImage image(192 * scale, 27 * scale, QImage::Format_RGB32);
        image.fill(qRgb(0, 0, 0));
        for (int code = 32; code < 128; ++code) {
            const int cx = ((code - 32) % 32) * 6, cy = ((code - 32) / 32) * 9;
            for (int col = 0; col < 5; ++col)
                for (int row = 0; row < 8; ++row) {
                    const QRgb c = GlyphDot(static_cast<char>(code), col, row) ? qRgb(0, 0xFF, 0xFF)
                                                                               : qRgb(0, 0x33, 0x66);
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            image.setPixel((cx + col) * scale + dx, (cy + row) * scale + dy, c);
                }
        }
        Save(image, scale == 1 ? g_out + "/skin/147.png" : g_out + "/skin/147@2x.png");
    }
}

void FaderIcon(QPainter& p, qreal size)
{
    const qreal k = size / 32.0;
    p.scale(k, k);
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, QColor(0x44, 0x49, 0x51));
    g.setColorAt(1, QColor(0x22, 0x25, 0x2A));
    p.setPen(QPen(QColor(0x10, 0x11, 0x13), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    p.fillRect(QRectF(6, 5, 20, 3), kCyan);
    const qreal caps[] = {19, 12, 16};
    for (int i = 0; i < 3; ++i) {
        const qreal x = 8 + i * 8;
        p.fillRect(QRectF(x - 1, 10, 2, 17), kSlot);
        QLinearGradient cg(0, caps[i] - 3, 0, caps[i] + 3);
        CapGradient(cg);
        p.setPen(QPen(QColor(0x10, 0x11, 0x13), 0.8));
        p.setBrush(cg);
        p.drawRoundedRect(QRectF(x - 3, caps[i] - 3, 6, 6), 1.2, 1.2);
    }
}

void BusIcon(QPainter& p, bool firewire, bool active)
{
    const QColor c = active ? (firewire ? kCyan : kGreen) : kLegendDim;
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    if (firewire) {
        // Three arms from a hub.
        const QPointF hub(8, 9);
        p.drawLine(hub, QPointF(8, 14.5));
        p.drawLine(hub, QPointF(3, 3.5));
        p.drawLine(hub, QPointF(13, 3.5));
        p.setBrush(c);
        p.drawEllipse(hub, 1.6, 1.6);
    } else {
        // Trident: stem, arrow head, two side branches.
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(8, 11), QPointF(4, 8));
        p.drawLine(QPointF(4, 8), QPointF(4, 6));
        p.drawLine(QPointF(8, 9.5), QPointF(12, 7));
        p.setBrush(c);
        p.drawEllipse(QPointF(8, 13.5), 1.6, 1.6);
        p.drawEllipse(QPointF(4, 5.5), 1.1, 1.1);
        p.drawRect(QRectF(11, 5, 2, 2));
        QPainterPath head;
        head.moveTo(8, 1);
        head.lineTo(10, 4);
        head.lineTo(6, 4);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.drawPath(head);
    }
}

void Icons()
{
    for (int scale : {1, 2}) {
        QImage icon(32 * scale, 32 * scale, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        {
            QPainter p(&icon);
            p.setRenderHint(QPainter::Antialiasing);
            FaderIcon(p, 32 * scale);
        }
        Save(icon, scale == 1 ? g_out + "/icons/179.png" : g_out + "/icons/179@2x.png");
    }
    // Tab images: FireWire and USB, each active and inactive.
    struct Tab { int id; bool firewire; bool active; };
    for (const Tab& t : {Tab{177, true, true}, Tab{178, true, false}, Tab{175, false, true},
                         Tab{176, false, false}}) {
        for (int scale : {1, 2}) {
            QImage icon(16 * scale, 16 * scale, QImage::Format_ARGB32_Premultiplied);
            icon.fill(Qt::transparent);
            {
                QPainter p(&icon);
                p.setRenderHint(QPainter::Antialiasing);
                p.scale(scale, scale);
                BusIcon(p, t.firewire, t.active);
            }
            Save(icon, scale == 1 ? QStringLiteral("%1/icons/%2.png").arg(g_out).arg(t.id)
                                  : QStringLiteral("%1/icons/%2@2x.png").arg(g_out).arg(t.id));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qel-skingen OUTPUT_DIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_out + "/skin") || !QDir().mkpath(g_out + "/icons")) {
        std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    Backgrounds();
    Sliders();
    MeterBar(143, true);
    MeterBar(142, false);
    Buttons();
    LedCharacters();
    Icons();
    if (!DrawControlPanelIcons(g_out))
        ++g_failures;
    return g_failures == 0 ? 0 : 1;
}
