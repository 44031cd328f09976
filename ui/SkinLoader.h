#pragma once
// Skin pictures by resource id: ":/skin/<id>.png", with "<id>@2x.png" used on
// screens with a device pixel ratio above 1. A picture that is missing gives a
// null pixmap/image; callers then draw a plain control.
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

class CSkin {
public:
    // Resource path of bitmap id at scale 1 or 2.
    static QString BitmapPath(int id, int scale = 1);
    // Resource path of icon id at scale 1 or 2.
    static QString IconPath(int id, int scale = 1);

    // The bitmap at the scale for ratio (the application's when 0), with its
    // device pixel ratio set so that its logical size is the 1x size.
    static QPixmap Bitmap(int id, qreal ratio = 0);
    static QImage Image(int id, qreal ratio = 0);
    // The icon with both scales.
    static QIcon Icon(int id);

    // 2 on high-density screens, else 1.
    static int ScaleFor(qreal ratio);
};
