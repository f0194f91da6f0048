// drivescout-screenshot: saves what the X screen shows as a PNG file, all of it or the rectangle
// given in screen pixels (for example a window's, as xdotool reports it). The picture is read
// back from the X server, so it is exactly what a person at that screen would see.
//
//   drivescout-screenshot FILE.png [X Y WIDTH HEIGHT]
//
// It always works in screen pixels: a QT_SCALE_FACTOR meant for another program is ignored.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    qunsetenv("QT_SCALE_FACTOR");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2 && args.size() != 6) {
        std::fprintf(stderr, "usage: drivescout-screenshot FILE.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "drivescout-screenshot: no screen\n");
        return 1;
    }
    int rect[4] = {0, 0, -1, -1};
    for (int i = 0; i < 4 && args.size() == 6; ++i) {
        bool ok = false;
        rect[i] = args[i + 2].toInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "drivescout-screenshot: not a number: %s\n",
                         qPrintable(args[i + 2]));
            return 2;
        }
    }
    // Window 0 is the root window: the whole screen as the X server holds it.
    const QPixmap picture = screen->grabWindow(0, rect[0], rect[1], rect[2], rect[3]);
    if (picture.isNull() || !picture.save(args[1], "PNG")) {
        std::fprintf(stderr, "drivescout-screenshot: cannot save %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
