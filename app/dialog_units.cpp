#include "app/dialog_units.h"

#include <QFontMetrics>
#include <QString>
#include <cstdint>
#include <cstdlib>

namespace {

// The shell dialog face is an alias the platform resolves to its own sans-serif face.
constexpr const char* kShellDialogFace = "MS Shell Dlg";
constexpr const char* kShellDialogSubstitute = "Arial";

}  // namespace

QFont DialogFont(const DialogTemplate& dialogTemplate) {
    QString face = QString::fromUtf8(dialogTemplate.fontFace);
    if (face == QLatin1String(kShellDialogFace)) {
        face = QString::fromLatin1(kShellDialogSubstitute);
    }
    QFont font(face);
    font.setStyleHint(QFont::SansSerif);
    // Point size at 96 dpi: 8 points are 11 pixels (rounded as the platform rounds).
    font.setPixelSize(MulDiv(dialogTemplate.fontPointSize, 96, 72));
    font.setWeight(dialogTemplate.fontWeight >= 700 ? QFont::Bold : QFont::Normal);
    return font;
}

DialogBaseUnits MeasureBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int MulDiv(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    const std::int64_t product = std::int64_t(a) * b;
    const std::int64_t half = std::llabs(c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t magnitude = (std::llabs(product) + half) / std::llabs(c);
    return int(negative ? -magnitude : magnitude);
}

QRect DialogRectToPixels(const DialogRect& rect, DialogBaseUnits units) {
    const int left = MulDiv(rect.x, units.cx, 4);
    const int top = MulDiv(rect.y, units.cy, 8);
    const int right = MulDiv(rect.x + rect.cx, units.cx, 4);
    const int bottom = MulDiv(rect.y + rect.cy, units.cy, 8);
    return QRect(left, top, right - left, bottom - top);
}
