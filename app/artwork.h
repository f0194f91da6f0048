#pragma once

// The wizard's icons and bitmaps, compiled into the program as Qt resources and addressed by
// the resource ids the dialogs use. UI thread only (QPixmap).

#include <QIcon>
#include <QPixmap>
#include <QString>

enum ArtworkId : int {
    IDR_MAINFRAME = 128,    // application icon
    IDI_DRIVESCOUT = 133,   // the dialogs' big and small icon, same images as 128
    IDB_CHECK = 141,        // green check mark, 22 x 21
    IDB_CROSS = 142,        // red cross, 21 x 26
    IDB_EXCLAMATION = 143,  // red exclamation mark, 4 x 13
    IDB_DEVICE = 144,       // device icon of the discovery list, 20 x 20
    IDB_LOGO = 145,         // the maker's logo, 111 x 36
    IDB_DRIVE = 149,        // drive icon of the done page, 36 x 26
};

// Icon 128 or 133 with all its sizes (256 down to 16 pixels); a null icon for any other id.
QIcon LoadIconResource(int iconId);

// One of the bitmaps 141 to 149 at its own size (in device-independent pixels), drawn for the
// screen's density: from the 2x source when `devicePixelRatio` is above 1, else from the 1x one.
// A null pixmap for an unknown id. The first form takes the application's ratio.
QPixmap LoadBitmapResource(int bitmapId);
QPixmap LoadBitmapResource(int bitmapId, double devicePixelRatio);
// A bitmap with both densities, for item views that pick one as they paint.
QIcon LoadBitmapIcon(int bitmapId);

// The resource path of a bitmap (":/artwork/..."), empty for an unknown id; with `density` 2 the
// path of its 2x source (":/artwork/name@2x.png").
QString BitmapResourcePath(int bitmapId);
QString BitmapResourcePath(int bitmapId, int density);
