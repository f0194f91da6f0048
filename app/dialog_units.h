#pragma once

// Dialog units to pixels, as the platform lays out dialog templates: a horizontal unit is a
// quarter of the dialog font's average character width and a vertical unit an eighth of its
// character height. UI thread only (font metrics).

#include <QFont>
#include <QRect>

#include "app/dialog_template.h"

struct DialogBaseUnits {
    int cx = 0;  // average character width in pixels
    int cy = 0;  // character height in pixels
};

// The dialog font of a template: its face (the shell dialog face resolves to Arial, which
// fontconfig maps to the metric-compatible Liberation Sans), its point size at 96 dots per inch
// given as a pixel size so that the layout does not depend on the screen, and its weight.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// The base units of a font: the average width of the 52 Latin letters, rounded, and the
// font's height (ascent plus descent).
DialogBaseUnits MeasureBaseUnits(const QFont& font);

// a * b / c rounded half away from zero, as the platform's dialog manager rounds.
int MulDiv(int a, int b, int c);

// The pixel rectangle of a dialog-unit rectangle: each edge converted on its own, so adjacent
// controls stay adjacent.
QRect DialogRectToPixels(const DialogRect& rect, DialogBaseUnits units);
