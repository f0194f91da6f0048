#pragma once

// Pictures of the wizard for support and documentation: when the environment variable
// DRIVESCOUT_SNAPSHOT_DIR names a folder, each page shown saves a PNG of the whole window there
// as "drivescout-<nn>-<step>.png" (nn counts from 01 in the order the pages were shown).
// UI thread only.

#include <QString>
#include <QWidget>

// The folder from DRIVESCOUT_SNAPSHOT_DIR, empty when not set.
QString SnapshotFolder();

// Saves `window` now as the next snapshot named after `step`; returns the file written, or an
// empty text when snapshots are off or the file cannot be written.
QString SaveWindowSnapshot(QWidget& window, const QString& step);

// Saves the snapshot at once when the window is on screen; a window still being opened is
// taken once the event loop has run (nothing happens when it is gone by then).
void ScheduleWindowSnapshot(QWidget& window, const QString& step);
