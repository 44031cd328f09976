// qel-xshot [--wait SECONDS] FILE.png: saves the whole screen of the X display
// ($DISPLAY) as a PNG. The CI takes its pictures of the Windows programs
// running under Wine on Xvfb with it.
//
// With --wait it grabs twice a second until something is drawn (the screen is
// not one colour) and fails when the screen stays empty that long: a program
// that shows nothing must not pass for one that shows its window.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool hasContent(const QImage& image)
{
    if (image.isNull()) return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const QRgb first = rgb.pixel(0, 0);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if (line[x] != first) return true;
    }
    return false;
}

int usage()
{
    std::fprintf(stderr, "usage: qel-xshot [--wait SECONDS] FILE.png\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int waitSeconds = -1;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wait") == 0) {
            if (i + 1 >= argc) return usage();
            char* end = nullptr;
            const long s = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || s < 0 || s > 3600) return usage();
            waitSeconds = static_cast<int>(s);
        } else if (file == nullptr) {
            file = argv[i];
        } else {
            return usage();
        }
    }
    if (file == nullptr) return usage();

    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "qel-xshot: no screen\n");
        return 1;
    }
    QPixmap shot = screen->grabWindow(0);
    bool drawn = hasContent(shot.toImage());
    for (int tries = waitSeconds * 2; !drawn && tries > 0; --tries) {
        QThread::msleep(500);
        shot = screen->grabWindow(0);
        drawn = hasContent(shot.toImage());
    }
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(file), "PNG")) {
        std::fprintf(stderr, "qel-xshot: could not write %s\n", file);
        return 1;
    }
    std::printf("%s (%dx%d)\n", file, shot.width(), shot.height());
    if (waitSeconds >= 0 && !drawn) {
        std::fprintf(stderr, "qel-xshot: the screen stayed empty for %d s\n", waitSeconds);
        return 1;
    }
    return 0;
}
