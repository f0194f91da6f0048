#include "app/base_disc_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <typeinfo>

#include "app/artwork.h"
#include "app/dialog_templates.h"
#include "app/static_control.h"
#include "qt_test_app.h"

namespace {

constexpr int kWatchdogMs = 5000;

// A wizard dialog of any template, with the base's behaviour and a record of what reached it.
class TestDialog : public CBaseDiscDlg {
  public:
    using CBaseDiscDlg::CBaseDiscDlg;
    using CBaseDiscDlg::m_fontBold;
    using CBaseDiscDlg::m_fontList;
    using CBaseDiscDlg::m_fontText;
    using CBaseDiscDlg::m_fontTitle;
    using CBaseDiscDlg::m_hIcon;

    std::vector<unsigned> timerTicks;

  protected:
    void OnTimer(unsigned id) override { timerTicks.push_back(id); }
};

// A dialog that chooses its own colours, as every page does.
class ColouringDialog : public TestDialog {
  public:
    using TestDialog::TestDialog;

  protected:
    QColor OnCtlColor(const QWidget& control, int controlId) override {
        return controlId == 1026 ? QColor(190, 18, 17) : TestDialog::OnCtlColor(control, controlId);
    }
};

bool IsOfClass(const QWidget* widget, ControlClass controlClass) {
    switch (controlClass) {
        case ControlClass::Static:
            return dynamic_cast<const StaticControl*>(widget) != nullptr;
        case ControlClass::Button:
            return dynamic_cast<const QPushButton*>(widget) != nullptr;
        case ControlClass::Edit:
            return dynamic_cast<const QLineEdit*>(widget) != nullptr ||
                   dynamic_cast<const QPlainTextEdit*>(widget) != nullptr;
        case ControlClass::ListView:
            return dynamic_cast<const QTreeWidget*>(widget) != nullptr;
        case ControlClass::ProgressBar:
            return dynamic_cast<const QProgressBar*>(widget) != nullptr;
        case ControlClass::ComboBox:
            return dynamic_cast<const QComboBox*>(widget) != nullptr;
    }
    return false;
}

void ExpectLaidOut(int templateId) {
    SCOPED_TRACE(templateId);
    QWidget parent;  // destroyed last: a page is its child
    TestDialog dialog(templateId);
    ASSERT_TRUE(dialog.Create(templateId == IDD_DRIVESCOUT_DIALOG ? nullptr : &parent));
    const DialogTemplate& t = GetDialogTemplate(templateId);
    const DialogBaseUnits units = dialog.BaseUnits();
    EXPECT_EQ(dialog.size(), DialogRectToPixels({0, 0, t.cx, t.cy}, units).size());
    ASSERT_EQ(dialog.Controls().size(), t.controls.size());
    for (size_t i = 0; i < t.controls.size(); ++i) {
        const ControlTemplate& control = t.controls[i];
        const QWidget* widget = dialog.Controls()[i];
        SCOPED_TRACE(testing::Message()
                     << "template " << t.id << " control " << i << " id " << control.id);
        EXPECT_TRUE(IsOfClass(widget, control.controlClass));
        EXPECT_EQ(CBaseDiscDlg::ControlId(*widget), control.id);
        if (control.id != IDC_STATIC) {
            EXPECT_EQ(dialog.GetDlgItem(control.id), widget);
        }
        const QRect expected = DialogRectToPixels(control.rect, units);
        EXPECT_EQ(dialog.TemplateControlRect(i), expected);
        EXPECT_EQ(widget->pos(), expected.topLeft());
        if (control.bitmapId != 0) {
            // A bitmap static takes its bitmap's size.
            EXPECT_EQ(widget->size(), LoadBitmapResource(control.bitmapId).size());
        } else if (control.controlClass == ControlClass::ComboBox) {
            EXPECT_EQ(widget->width(), expected.width());
        } else {
            EXPECT_EQ(widget->size(), expected.size());
        }
        EXPECT_EQ(widget->isVisibleTo(&dialog), !(control.style & kStyleHidden));
    }
}

TEST(TemplateLayoutTest, ControlsSitAtTheirTemplateRectangles) {
    for (int templateId :
         {IDD_DRIVESCOUT_DIALOG, IDD_DEVICE_DISCOVERY, IDD_DEVICE_LOGIN, IDD_DISCOVERY_DONE}) {
        ExpectLaidOut(templateId);
    }
}

TEST(BaseDiscDlgTest, WhiteBackgroundIconAndFonts) {
    QWidget parent;
    TestDialog dialog(IDD_DEVICE_LOGIN);
    ASSERT_TRUE(dialog.Create(&parent));
    EXPECT_FALSE(dialog.Create(&parent));  // once only
    EXPECT_TRUE(dialog.autoFillBackground());
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(Qt::white));
    // Icon 133 with its seven sizes, as big and small icon alike.
    const QList<QSize> sizes = dialog.windowIcon().availableSizes();
    for (int size : {256, 128, 64, 48, 32, 24, 16}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
    struct FontCase {
        const QFont& font;
        int pixels;
        bool bold;
    };
    for (const FontCase& c :
         {FontCase{dialog.m_fontTitle, 16, true}, FontCase{dialog.m_fontText, 13, false},
          FontCase{dialog.m_fontBold, 13, true}, FontCase{dialog.m_fontList, 13, false}}) {
        EXPECT_EQ(c.font.family(), QStringLiteral("Arial"));
        EXPECT_EQ(c.font.pixelSize(), c.pixels);
        EXPECT_EQ(c.font.bold(), c.bold);
    }
}

// Decoding the icon's seven images costs milliseconds: the wizard's four dialogs and the
// application share one decoded icon instead of decoding it once each.
TEST(BaseDiscDlgTest, EveryDialogSharesTheApplicationIconDecodedOnce) {
    TestDialog main(IDD_DRIVESCOUT_DIALOG);
    TestDialog page(IDD_DEVICE_DISCOVERY);
    EXPECT_EQ(main.m_hIcon.cacheKey(), page.m_hIcon.cacheKey());
    EXPECT_EQ(main.m_hIcon.cacheKey(), LoadIconResource(IDR_MAINFRAME).cacheKey());
    EXPECT_EQ(page.m_hIcon.availableSizes().size(), 7);
}

TEST(BaseDiscDlgTest, TextIsGreyUnlessTheDialogChoosesOtherwise) {
    QWidget parent;  // destroyed last: the pages are its children
    TestDialog plain(IDD_DEVICE_LOGIN);
    ColouringDialog coloured(IDD_DEVICE_LOGIN);
    plain.Create(&parent);
    coloured.Create(&parent);
    for (int id : {1013, 1015, 1026, 1035}) {
        EXPECT_EQ(dynamic_cast<StaticControl*>(plain.GetDlgItem(id))->TextColor(),
                  QColor(102, 102, 102))
            << id;
    }
    // The most derived dialog's choice is the one drawn.
    EXPECT_EQ(dynamic_cast<StaticControl*>(coloured.GetDlgItem(1026))->TextColor(),
              QColor(190, 18, 17));
    EXPECT_EQ(dynamic_cast<StaticControl*>(coloured.GetDlgItem(1013))->TextColor(),
              QColor(102, 102, 102));
}

TEST(BaseDiscDlgTest, StaticTextIsDrawnWithoutABackground) {
    QWidget parent;
    TestDialog dialog(IDD_DISCOVERY_DONE);
    dialog.Create(&parent);
    dialog.SetDlgItemText(1037, QStringLiteral("Congratulations"));
    QWidget* line = dialog.GetDlgItem(1037);
    EXPECT_FALSE(line->autoFillBackground());
    // Painted on its own over nothing, the static leaves its empty parts transparent.
    QImage picture(line->size(), QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    line->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(picture.pixelColor(picture.width() - 1, picture.height() - 1).alpha(), 0);
}

TEST(BaseDiscDlgTest, TextsOfEveryKindOfControl) {
    QWidget parent;
    TestDialog dialog(IDD_DEVICE_DISCOVERY);
    dialog.Create(&parent);
    for (int id : {1002, 1006, 1034, 1023}) {
        dialog.SetDlgItemText(id, QStringLiteral("text %1").arg(id));
        EXPECT_EQ(dialog.GetDlgItemText(id), QStringLiteral("text %1").arg(id));
    }
    EXPECT_EQ(dialog.GetDlgItemText(4242), QString());
    dialog.SetDlgItemText(4242, QStringLiteral("nowhere"));  // no such control: nothing
    dialog.ShowDlgItem(1004, false);
    EXPECT_FALSE(dialog.GetDlgItem(1004)->isVisibleTo(&dialog));
}

TEST(BaseDiscDlgTest, BitmapIntoAStatic) {
    QWidget parent;
    TestDialog dialog(IDD_DEVICE_DISCOVERY);
    dialog.Create(&parent);
    const QPoint corner = dialog.GetDlgItem(1001)->pos();
    dialog.SetStaticBitmap(1001, IDB_CROSS);
    auto* icon = dynamic_cast<StaticControl*>(dialog.GetDlgItem(1001));
    EXPECT_EQ(icon->size(), QSize(21, 26));  // the cross's size, the corner kept
    EXPECT_EQ(icon->pos(), corner);
    EXPECT_EQ(icon->Bitmap().toImage(), LoadBitmapResource(IDB_CROSS).toImage());
    // A text static becomes a bitmap static.
    dialog.SetStaticBitmap(1002, IDB_CHECK);
    EXPECT_TRUE(dynamic_cast<StaticControl*>(dialog.GetDlgItem(1002))->Style() & kStaticBitmap);
}

TEST(BaseDiscDlgTest, EnterAndEscapeInsideAPageDoNothing) {
    QDialog mainWindow;
    TestDialog page(IDD_DEVICE_LOGIN);
    page.Create(&mainWindow);
    QSignalSpy finished(&mainWindow, &QDialog::finished);
    mainWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow, kWatchdogMs));
    auto* skip = dynamic_cast<QPushButton*>(page.GetDlgItem(1009));
    QSignalSpy clicked(skip, &QPushButton::clicked);
    for (int id : {1010, 1008, 1009}) {  // password edit, user list, a button
        QWidget* control = page.GetDlgItem(id);
        control->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(control, key);
        }
    }
    EXPECT_TRUE(page.isVisible());
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(clicked.count(), 0);  // Enter does not press the focused button
}

TEST(BaseDiscDlgTest, WindowTimersReachOnTimer) {
    WindowTimers::SetTimeScale(0.001);
    QWidget parent;
    TestDialog dialog(IDD_DEVICE_DISCOVERY);
    dialog.Create(&parent);
    EXPECT_EQ(dialog.SetTimer(2, 5000), 2u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.timerTicks.empty(); }, kWatchdogMs));
    EXPECT_TRUE(dialog.KillTimer(2));
    EXPECT_EQ(dialog.timerTicks.front(), 2u);
    WindowTimers::SetTimeScale(1.0);
}

}  // namespace
