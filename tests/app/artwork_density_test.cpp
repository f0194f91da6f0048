// The wizard on a screen of 2 pixels a point (QT_SCALE_FACTOR=2, set before the application
// exists): its bitmaps come from sources drawn at that density, not from scaled-up 1x bitmaps,
// and every page keeps its layout in points.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>

#include "app/artwork.h"
#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/dialog_templates.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_dlg.h"
#include "app/static_control.h"
#include "qt_test_app.h"
#include "wizard_window.h"
#include "wizard_world.h"

namespace {

// Before the test environment makes the application.
[[maybe_unused]] const bool kTwoPixelsAPoint = (::setenv("QT_SCALE_FACTOR", "2", 1), true);

constexpr int kBitmaps[] = {IDB_CHECK, IDB_CROSS, IDB_EXCLAMATION, IDB_DEVICE, IDB_LOGO, IDB_DRIVE};

TEST(ArtworkDensityTest, TheScreenShowsTwoPixelsAPoint) {
    EXPECT_EQ(qApp->devicePixelRatio(), 2.0);
}

TEST(ArtworkDensityTest, EveryBitmapHasADrawnSourceOfTwiceItsSize) {
    for (int id : kBitmaps) {
        SCOPED_TRACE(id);
        const QImage single(BitmapResourcePath(id));
        const QImage twice(BitmapResourcePath(id, 2));
        ASSERT_FALSE(single.isNull());
        ASSERT_FALSE(twice.isNull());
        EXPECT_EQ(twice.size(), single.size() * 2);
        // Drawn again, not the 1x pixels doubled.
        const QImage doubled =
            single.scaled(single.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        EXPECT_NE(twice.convertToFormat(QImage::Format_ARGB32),
                  doubled.convertToFormat(QImage::Format_ARGB32));
    }
}

TEST(ArtworkDensityTest, BitmapsAreLoadedFromThe2xSourceAtTheirSizeInPoints) {
    for (int id : kBitmaps) {
        SCOPED_TRACE(id);
        const QPixmap shown = LoadBitmapResource(id);
        const QPixmap single = LoadBitmapResource(id, 1.0);
        EXPECT_EQ(shown.devicePixelRatio(), 2.0);
        EXPECT_EQ(shown.deviceIndependentSize(), single.deviceIndependentSize());
        EXPECT_EQ(shown.toImage(),
                  QImage(BitmapResourcePath(id, 2)).convertToFormat(shown.toImage().format()));
    }
}

class ArtworkDensityWizardTest : public wizardtest::WizardWorld {};

TEST_F(ArtworkDensityWizardTest, PagesKeepTheirLayoutInPointsWithSharpPictures) {
    wizardtest::Wizard wizard;
    for (CBaseDiscDlg* page : std::initializer_list<CBaseDiscDlg*>{
             &wizard, wizard.DiscoveryPage(), wizard.SignInPage(), wizard.DonePage()}) {
        const DialogTemplate& t = page->Template();
        for (size_t i = 0; i < t.controls.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "template " << t.id << " control " << i);
            auto* label = dynamic_cast<StaticControl*>(page->Controls()[i]);
            if (label != nullptr && !label->Bitmap().isNull()) {
                // A bitmap static takes its bitmap's size in points, as at 100 %.
                EXPECT_EQ(label->Bitmap().devicePixelRatio(), 2.0);
                EXPECT_EQ(label->size(), label->Bitmap().deviceIndependentSize().toSize());
                if (t.controls[i].bitmapId != 0) {
                    EXPECT_EQ(label->size(),
                              LoadBitmapResource(t.controls[i].bitmapId, 1.0).size());
                }
            } else if (label == nullptr && t.controls[i].controlClass != ControlClass::ComboBox) {
                // Texts above may have grown to fit and pushed it down; nothing else moves.
                const QRect at = page->Controls()[i]->geometry();
                const QRect laidOut = page->TemplateControlRect(i);
                EXPECT_EQ(at.x(), laidOut.x());
                EXPECT_GE(at.y(), laidOut.y());
                EXPECT_EQ(at.size(), laidOut.size());
            }
        }
    }
    // The picture of a page is twice as many pixels each way as the page has points.
    const QPixmap picture = wizard.grab();
    EXPECT_EQ(picture.devicePixelRatio(), 2.0);
    EXPECT_EQ(picture.size(), wizard.size() * 2);
}

}  // namespace
