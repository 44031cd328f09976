#pragma once
// The dialog font that layouts in dialog units are made for. Their base
// units (a 4 x 8 unit cell is 6 x 13 px at 96 dpi) are those of the 8-point
// "MS Shell Dlg" face; where the 8-point face at hand is wider on average,
// it is taken a half point smaller until it matches, so that the texts the
// layouts were made for show whole. A window sets it on itself; its children
// inherit it.
#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QScreen>

inline QFont DialogFont()
{
    QFont font = QApplication::font();
#ifdef _WIN32
    font.setFamily(QStringLiteral("MS Shell Dlg 2"));
#endif
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal scale = screen ? screen->logicalDotsPerInchX() / 96.0 : 1.0;
    // The average width of the letters, as Windows takes a dialog font's base unit.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    for (qreal points = 8.0; points >= 6.0; points -= 0.5) {
        font.setPointSizeF(points);
        if (QFontMetricsF(font).horizontalAdvance(letters) / letters.size() <= 6.2 * scale)
            break;
    }
    return font;
}
