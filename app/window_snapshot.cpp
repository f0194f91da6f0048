#include "app/window_snapshot.h"

#include <QDir>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

namespace {

int g_snapshotCount = 0;

}  // namespace

QString SnapshotFolder() {
    return qEnvironmentVariable("DRIVESCOUT_SNAPSHOT_DIR");
}

QString SaveWindowSnapshot(QWidget& window, const QString& step) {
    const QString folder = SnapshotFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        return {};
    }
    ++g_snapshotCount;
    const QString path = QDir(folder).filePath(QStringLiteral("drivescout-%1-%2.png")
                                                   .arg(g_snapshotCount, 2, 10, QLatin1Char('0'))
                                                   .arg(step));
    const QPixmap picture = window.window()->grab();
    return picture.save(path, "PNG") ? path : QString();
}

void ScheduleWindowSnapshot(QWidget& window, const QString& step) {
    if (SnapshotFolder().isEmpty()) {
        return;
    }
    if (window.window()->isVisible()) {
        SaveWindowSnapshot(window, step);
        return;
    }
    QTimer::singleShot(0, &window, [target = QPointer<QWidget>(&window), step] {
        if (target) {
            SaveWindowSnapshot(*target, step);
        }
    });
}
