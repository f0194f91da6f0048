// The drivescout program: the Drive Scout wizard. Qt's own options (for example
// "-platform offscreen") are taken by QApplication; the wizard reads LANGUAGE=code.
// --version is answered before Qt starts, so it needs no display.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/artwork.h"
#include "app/drive_scout_app.h"
#include "platform/resources.h"
#include "resources/drivescout_resources.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("drivescout " DRIVESCOUT_VERSION);
            return 0;
        }
    }

    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("drivescout"));
    QGuiApplication::setDesktopFileName(QStringLiteral("drivescout"));
    QApplication::setWindowIcon(LoadIconResource(IDR_MAINFRAME));
    platform::installExecutableResources(&resources::driveScoutResources());

    // The application object lives inside main, so that the framework's process-wide
    // localization state is there for its whole life.
    CDriveScoutApp app;
    app.InitInstance();
    return 0;
}
