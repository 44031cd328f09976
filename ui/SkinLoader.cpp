#include "ui/SkinLoader.h"

#include <QFile>
#include <QGuiApplication>

namespace {

QString ScaledPath(const QString& base, int id, int scale)
{
    return scale > 1 ? QStringLiteral("%1/%2@2x.png").arg(base).arg(id)
                     : QStringLiteral("%1/%2.png").arg(base).arg(id);
}

qreal AppRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

} // namespace

QString CSkin::BitmapPath(int id, int scale)
{
    return ScaledPath(QStringLiteral(":/skin"), id, scale);
}

QString CSkin::IconPath(int id, int scale)
{
    return ScaledPath(QStringLiteral(":/icons"), id, scale);
}

int CSkin::ScaleFor(qreal ratio)
{
    return ratio > 1.0 ? 2 : 1;
}

QImage CSkin::Image(int id, qreal ratio)
{
    int scale = ScaleFor(ratio > 0 ? ratio : AppRatio());
    QImage image;
    if (scale > 1 && QFile::exists(BitmapPath(id, 2)))
        image.load(BitmapPath(id, 2));
    if (image.isNull()) {
        scale = 1;
        image.load(BitmapPath(id, 1));
    }
    if (!image.isNull())
        image.setDevicePixelRatio(scale);
    return image;
}

QPixmap CSkin::Bitmap(int id, qreal ratio)
{
    const QImage image = Image(id, ratio);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QIcon CSkin::Icon(int id)
{
    QIcon icon;
    for (int scale : {1, 2}) {
        if (QFile::exists(IconPath(id, scale)))
            icon.addFile(IconPath(id, scale));
    }
    return icon;
}
