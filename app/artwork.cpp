#include "app/artwork.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImageReader>
#include <array>
#include <optional>

namespace {

constexpr std::array kIconSizes{256, 128, 64, 48, 32, 24, 16};
constexpr int kHighDensity = 2;  // the second set of bitmaps, name@2x.png

// The application icon with its images decoded, made on first use and shared by the application
// and every dialog (QIcon is implicitly shared): decoding the seven images costs milliseconds,
// once per window otherwise. It goes with the application object, so that no pixmap outlives
// Qt's GUI set-up; a later application makes it anew.
std::optional<QIcon>& ApplicationIcon() {
    static std::optional<QIcon> icon;
    return icon;
}

// Reads one of the compiled-in images, all of them PNG. The format is named, not guessed: guessing
// makes Qt load every image-format plugin it has (GIF, ICO, JPEG, ...) to ask each one whether it
// reads the data, at the wizard's start, where Qt reads PNG itself.
QPixmap ReadPngResource(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

}  // namespace

QString BitmapResourcePath(int bitmapId) {
    switch (bitmapId) {
        case IDB_CHECK:
            return QStringLiteral(":/artwork/check.png");
        case IDB_CROSS:
            return QStringLiteral(":/artwork/cross.png");
        case IDB_EXCLAMATION:
            return QStringLiteral(":/artwork/exclamation.png");
        case IDB_DEVICE:
            return QStringLiteral(":/artwork/device.png");
        case IDB_LOGO:
            return QStringLiteral(":/artwork/logo.png");
        case IDB_DRIVE:
            return QStringLiteral(":/artwork/drive.png");
        default:
            return {};
    }
}

QString BitmapResourcePath(int bitmapId, int density) {
    QString path = BitmapResourcePath(bitmapId);
    if (density > 1 && !path.isEmpty()) {
        path.insert(path.size() - 4, QStringLiteral("@%1x").arg(density));  // before ".png"
    }
    return path;
}

QPixmap LoadBitmapResource(int bitmapId, double devicePixelRatio) {
    // Drawn at 2 pixels a point for screens that show more than one; never a scaled-up bitmap.
    const int density = devicePixelRatio > 1.0 ? kHighDensity : 1;
    const QString path = BitmapResourcePath(bitmapId, density);
    if (path.isEmpty()) {
        return {};
    }
    QPixmap bitmap = ReadPngResource(path);
    bitmap.setDevicePixelRatio(density);
    return bitmap;
}

QPixmap LoadBitmapResource(int bitmapId) {
    return LoadBitmapResource(bitmapId, qApp != nullptr ? qApp->devicePixelRatio() : 1.0);
}

QIcon LoadBitmapIcon(int bitmapId) {
    QIcon icon;
    icon.addPixmap(LoadBitmapResource(bitmapId, 1.0));
    icon.addPixmap(LoadBitmapResource(bitmapId, kHighDensity));
    return icon;
}

QIcon LoadIconResource(int iconId) {
    if (iconId != IDR_MAINFRAME && iconId != IDI_DRIVESCOUT) {
        return {};
    }
    // Both icons carry the same seven images.
    std::optional<QIcon>& icon = ApplicationIcon();
    if (!icon) {
        icon.emplace();
        for (int size : kIconSizes) {
            icon->addPixmap(ReadPngResource(QStringLiteral(":/artwork/icon-%1.png").arg(size)));
        }
        qAddPostRoutine([] { ApplicationIcon().reset(); });
    }
    return *icon;
}
