#include "app/artwork.h"

#include <array>

namespace {

constexpr std::array kIconSizes{256, 128, 64, 48, 32, 24, 16};

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

QPixmap LoadBitmapResource(int bitmapId) {
    const QString path = BitmapResourcePath(bitmapId);
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}

QIcon LoadIconResource(int iconId) {
    if (iconId != IDR_MAINFRAME && iconId != IDI_DRIVESCOUT) {
        return {};
    }
    // Both icons carry the same seven images.
    QIcon icon;
    for (int size : kIconSizes) {
        icon.addFile(QStringLiteral(":/artwork/icon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
