#include "app/dialog_units.h"

#include <gtest/gtest.h>

#include <QFontInfo>

#include "app/dialog_templates.h"
#include "qt_test_app.h"

namespace {

TEST(MulDivTest, RoundsHalfAwayFromZero) {
    struct Case {
        int a, b, c, expected;
    };
    for (const Case& c : {Case{52, 13, 8, 85},                   // 84.5
                          Case{42, 13, 8, 68},                   // 68.25
                          Case{20, 6, 4, 30}, Case{3, 6, 4, 5},  // 4.5
                          Case{-3, 6, 4, -5}, Case{3, -6, 4, -5}, Case{3, 6, -4, -5},
                          Case{0, 13, 8, 0}, Case{7, 1, 0, -1}}) {
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
    }
}

TEST(DialogUnitsTest, ConvertsEachEdgeOnItsOwn) {
    // The base units of the platform's 8-point shell font: 6 x 13 pixels.
    const DialogBaseUnits units{6, 13};
    struct Case {
        DialogRect rect;
        QRect expected;
    };
    for (const Case& c : {
             Case{{20, 52, 360, 182}, QRect(30, 85, 540, 295)},  // the page area
             Case{{20, 20, 74, 22}, QRect(30, 33, 111, 35)},     // the logo: 111 pixels wide
             Case{{98, 29, 286, 14}, QRect(147, 47, 429, 23)},   // the header line
             Case{{0, 0, 400, 250}, QRect(0, 0, 600, 406)},      // the main dialog
         }) {
        EXPECT_EQ(DialogRectToPixels(c.rect, units), c.expected)
            << c.rect.x << "," << c.rect.y << "," << c.rect.cx << "," << c.rect.cy;
    }
    // Adjacent rectangles stay adjacent whatever the rounding.
    const QRect left = DialogRectToPixels({0, 0, 3, 3}, units);
    const QRect right = DialogRectToPixels({3, 3, 3, 3}, units);
    EXPECT_EQ(left.right() + 1, right.left());
    EXPECT_EQ(left.bottom() + 1, right.top());
}

TEST(DialogUnitsTest, TheShellDialogFontIsEightPointArial) {
    const QFont font = DialogFont(GetDialogTemplate(IDD_DRIVESCOUT_DIALOG));
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
    // Arial resolves to a real face (Liberation Sans on Debian), not a fallback of another size.
    EXPECT_EQ(QFontInfo(font).pixelSize(), 11);
    const DialogBaseUnits units = MeasureBaseUnits(font);
    EXPECT_GE(units.cx, 5);
    EXPECT_LE(units.cx, 7);
    EXPECT_GE(units.cy, 12);
    EXPECT_LE(units.cy, 14);
}

TEST(DialogTemplatesTest, UnknownIdIsRefused) {
    EXPECT_THROW(GetDialogTemplate(151), std::out_of_range);
}

}  // namespace
