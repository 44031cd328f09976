// qel-xshot FILE.png: saves the whole screen of the X display ($DISPLAY) as a
// PNG. The CI takes its pictures of the Windows programs running under Wine
// on Xvfb with it.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qel-xshot FILE.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "qel-xshot: no screen\n");
        return 1;
    }
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "qel-xshot: could not write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s (%dx%d)\n", argv[1], shot.width(), shot.height());
    return 0;
}
