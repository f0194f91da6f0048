// The discovery page inside the wizard, with devices reported through the SDK core as the
// control point reports them, an in-memory Windows network and a loopback web server for the NAS.

#include "app/device_disc_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "app/artwork.h"
#include "app/device_login_dlg.h"
#include "app/dialog_templates.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_dlg.h"
#include "app/static_control.h"
#include "qt_test_app.h"
#include "wizard_window.h"
#include "wizard_world.h"

namespace wizardtest {
namespace {

constexpr int kResultIcon = 1001;
constexpr int kResultText = 1002;
constexpr int kDeviceList = 1004;
constexpr int kSearchAgain = 1006;
constexpr int kProgress = 1021;
constexpr int kCountdownText = 1023;
constexpr int kReasonsText = 1034;

const QColor kGreen(115, 190, 42);
const QColor kRed(190, 18, 17);

bool Shown(const CBaseDiscDlg& page, int id) {
    return page.GetDlgItem(id)->isVisibleTo(&page);
}

std::vector<std::string> Rows(const CDeviceDiscDlg& page) {
    std::vector<std::string> rows;
    for (const QString& row : page.RowTexts()) {
        rows.push_back(row.toStdString());
    }
    return rows;
}

QImage ResultIcon(const CDeviceDiscDlg& page) {
    return dynamic_cast<StaticControl*>(page.GetDlgItem(kResultIcon))->Bitmap().toImage();
}

QImage Bitmap(int id) {
    return LoadBitmapResource(id).toImage();
}

using DeviceDiscDlgTest = WizardWorld;

TEST_F(DeviceDiscDlgTest, OpensScanningWithTheCountdownAt120Seconds) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    EXPECT_NE(page.Session(), nullptr);
    EXPECT_TRUE(CUPnPSDK::ChainIsRunning());
    EXPECT_EQ(wizard.Header(), "Drive Scout: Discover");
    EXPECT_EQ(Text(page, kCountdownText), "Scanning: 120 seconds");
    EXPECT_EQ(Text(page, kSearchAgain), "Search again");
    EXPECT_TRUE(Shown(page, kProgress));
    EXPECT_TRUE(Shown(page, kCountdownText));
    EXPECT_EQ(page.GetDlgItemAs<QProgressBar>(kProgress)->maximum(), 0);  // marquee
    for (int id : {kResultIcon, kResultText, kDeviceList, kReasonsText}) {
        EXPECT_FALSE(Shown(page, id)) << id;
    }
    EXPECT_TRUE(page.IsTimerRunning(CDeviceDiscDlg::kScanTimer));
}

struct FilterCase {
    const char* udnPrefix;
    bool listed;
};

TEST_F(DeviceDiscDlgTest, ListsOnlyDevicesWhosePrefixBeginsWithTheMakersAfterBlanks) {
    const FilterCase cases[] = {
        {"3b2b54a3-5512-4a2b-93f2", true},
        {"3b2b54a3-5512-4a2b-93f2-0011", true},  // whatever follows the filter
        {"  \t3b2b54a3-5512-4a2b-93f2", true},   // leading blanks
        {"3B2B54A3-5512-4A2B-93F2", false},      // capitals
        {"x3b2b54a3-5512-4a2b-93f2", false},     // found later than at the start
        {"3b2b54a3-5512-4a2b", false},           // too short
        {"", false},
    };
    Wizard wizard;
    std::vector<std::string> expected;
    int n = 0;
    for (const FilterCase& c : cases) {
        const std::string name = "NAS " + std::to_string(n);
        Announce(MakeRecord(c.udnPrefix, "00000000000" + std::to_string(n), name));
        if (c.listed) {
            expected.push_back(name);
        }
        ++n;
    }
    Settle();
    EXPECT_EQ(Rows(wizard.Discovery()), expected);
    EXPECT_EQ(wizard.Discovery().Devices().size(), expected.size());
}

TEST_F(DeviceDiscDlgTest, TwoDevicesListedInArrivalOrderAndNothingChosenWhenTheCountdownEnds) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    Announce(MakeRecord(kMakerPrefix, "000000000002", "Zeta"));
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Alpha"));
    Settle();
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"Zeta", "Alpha"}));
    EXPECT_EQ(Text(page, kResultText), "2 network drive(s) found. Select a drive. ");
    EXPECT_EQ(page.ControlTextColor(*page.GetDlgItem(kResultText)), kGreen);
    EXPECT_EQ(ResultIcon(page), Bitmap(IDB_CHECK));
    EXPECT_TRUE(Shown(page, kDeviceList));
    EXPECT_FALSE(Shown(page, kProgress));

    // Well past 120 scaled seconds: the countdown keeps ticking without effect.
    ASSERT_TRUE(WaitUntil([&] { return page.SecondsLeft() < -60; }));
    EXPECT_TRUE(wizard.OnDiscovery());
    EXPECT_TRUE(g_NasContext.strName.IsEmpty());
    EXPECT_TRUE(page.IsTimerRunning(CDeviceDiscDlg::kScanTimer));
    EXPECT_TRUE(network_->connections().empty());
}

TEST_F(DeviceDiscDlgTest, OneDeviceIsChosenWhenTheCountdownEnds) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
    Settle();
    EXPECT_EQ(Text(page, kResultText), "Found 1 network drive.");
    EXPECT_TRUE(wizard.OnDiscovery());

    ASSERT_TRUE(WaitUntil([&] { return wizard.OnSignIn(); }));
    EXPECT_LE(page.SecondsLeft(), 0);
    EXPECT_FALSE(page.IsTimerRunning(CDeviceDiscDlg::kScanTimer));
    EXPECT_EQ(wizard.Header(), "Drive Scout: Sign in");
    EXPECT_EQ(g_NasContext.strName.ToUtf8(), "Homevault");
    EXPECT_EQ(g_NasContext.strAddress.ToUtf8(), kNasHost);
    EXPECT_EQ(g_NasContext.bPublicMapped, 1);
    EXPECT_EQ(g_NasContext.strPublicDrive.ToUtf8(), "Z:");
    EXPECT_EQ(
        Messages(),
        (std::vector<std::string>{"Map public folder of Homevault(127.0.0.1) successfully!"}));
    EXPECT_EQ(log_.events()[0].type, kWizardEventInformation);
    // The NAS's user names, in the order it sent them.
    auto* users = wizard.SignInPage()->GetDlgItemAs<QComboBox>(1008);
    ASSERT_EQ(users->count(), 2);
    EXPECT_EQ(users->itemText(0).toStdString(), "bob");
    EXPECT_EQ(users->itemText(1).toStdString(), "alice");
    EXPECT_EQ(Text(*wizard.SignInPage(), 1013), "Homevault");
}

TEST_F(DeviceDiscDlgTest, NoDeviceShowsTheReasonsAfterTheCountdown) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    ASSERT_TRUE(WaitUntil([&] { return Shown(page, kReasonsText); }));
    EXPECT_EQ(page.SecondsLeft(), 0);
    EXPECT_EQ(Text(page, kCountdownText), "Scanning: 0 seconds");
    EXPECT_FALSE(page.IsTimerRunning(CDeviceDiscDlg::kScanTimer));
    EXPECT_EQ(Text(page, kResultText), "No network drive found");
    EXPECT_EQ(page.ControlTextColor(*page.GetDlgItem(kResultText)), kRed);
    EXPECT_EQ(ResultIcon(page), Bitmap(IDB_CROSS));
    EXPECT_TRUE(Shown(page, kResultIcon));
    EXPECT_FALSE(Shown(page, kDeviceList));
    EXPECT_FALSE(Shown(page, kProgress));
    EXPECT_FALSE(Shown(page, kCountdownText));
    EXPECT_EQ(page.GetDlgItem(kReasonsText)->geometry(), page.GetDlgItem(kDeviceList)->geometry());
    EXPECT_EQ(Text(page, kReasonsText),
              "Firewalls may prevent you from detecting Homevault.\n\nMake sure that Homevault has "
              "power, check the network connection between your computer and Homevault, and then "
              "try to search for the device again.");
    // The monitor is stopped: a device reported now does not reach the page.
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Late"));
    Settle();
    EXPECT_TRUE(Rows(page).empty());
}

TEST_F(DeviceDiscDlgTest, DevicesThatLeaveAreTakenOffTheListByTheirSuffix) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    const auto first = MakeRecord(kMakerPrefix, "00000000000A", "First");
    const auto second = MakeRecord(kMakerPrefix, "00000000000B", "Second");
    Announce(first);
    Announce(second);
    Settle();
    ASSERT_EQ(Rows(page).size(), 2u);

    // A removal of a device that is not listed refreshes the header only.
    Withdraw(MakeRecord(kMakerPrefix, "0000000000FF", "Stranger"));
    Settle();
    EXPECT_EQ(Rows(page).size(), 2u);

    Withdraw(first);
    Settle();
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"Second"}));
    EXPECT_EQ(Text(page, kResultText), "Found 1 network drive.");

    Withdraw(second);
    Settle();
    EXPECT_TRUE(Rows(page).empty());
    // The result view stays, with the red cross and text 150 in red, until the countdown ends.
    EXPECT_EQ(Text(page, kResultText), "No network drive found");
    EXPECT_EQ(page.ControlTextColor(*page.GetDlgItem(kResultText)), kRed);
    EXPECT_EQ(ResultIcon(page), Bitmap(IDB_CROSS));
    EXPECT_TRUE(Shown(page, kDeviceList));
    ASSERT_TRUE(WaitUntil([&] { return Shown(page, kReasonsText); }));
}

// Two devices of the same name: a removal takes off the one whose UDN suffix is the removed
// device's, whatever the rows are called.
TEST_F(DeviceDiscDlgTest, ARemovalIsMatchedByIdentityNotByName) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    const auto first = MakeRecord(kMakerPrefix, "00000000000A", "Homevault", "127.0.0.1");
    const auto second = MakeRecord(kMakerPrefix, "00000000000B", "Homevault", "127.0.0.2");
    Announce(first);
    Announce(second);
    Settle();
    ASSERT_EQ(Rows(page).size(), 2u);

    Withdraw(second);
    Settle();
    ASSERT_EQ(page.Devices().size(), 1u);
    EXPECT_EQ(LBString(page.Devices()[0]->GetUDNSuffix()).ToUtf8(), "00000000000A");
    EXPECT_EQ(LBString(page.Devices()[0]->GetIPAddress()).ToUtf8(), "127.0.0.1");
}

// Events still queued when the countdown ends without a device (the monitor stopped) are
// dropped: the No-device view stays and no row appears that nothing would ever take away.
TEST_F(DeviceDiscDlgTest, EventsQueuedBeforeTheMonitorStoppedAreDropped) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Late"));  // posted, not yet handled
    page.StopScan();                                             // as the countdown's end does
    page.ShowNoDeviceView();
    Settle();
    EXPECT_TRUE(Rows(page).empty());
    EXPECT_TRUE(page.Devices().empty());
    EXPECT_TRUE(Shown(page, kReasonsText));
    EXPECT_FALSE(Shown(page, kDeviceList));
    EXPECT_EQ(Text(page, kResultText), "No network drive found");
}

// The countdown shows every step from 120 down to 0 seconds while nothing is found.
TEST_F(DeviceDiscDlgTest, TheCountdownShowsEachStep) {
    WindowTimers::SetTimeScale(0.02);  // 300 ms a step: each text is seen
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    std::vector<std::string> seen;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string text = Text(page, kCountdownText);
            if (seen.empty() || seen.back() != text) {
                seen.push_back(text);
            }
            return Shown(page, kReasonsText);
        },
        30000));
    std::vector<std::string> expected;
    for (int seconds = 120; seconds >= 0; seconds -= 15) {
        expected.push_back("Scanning: " + std::to_string(seconds) + " seconds");
    }
    EXPECT_EQ(seen, expected);
}

// Two devices keep the countdown ticking past zero; when one leaves, the next tick chooses the
// one that is left.
TEST_F(DeviceDiscDlgTest, TwoDevicesDroppingToOneAfterZeroChooseTheOneLeft) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    const auto leaving = MakeRecord(kMakerPrefix, "000000000002", "Leaving", "127.0.0.2");
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
    Announce(leaving);
    Settle();
    ASSERT_TRUE(WaitUntil([&] { return page.SecondsLeft() < 0; }));
    EXPECT_TRUE(wizard.OnDiscovery());
    Withdraw(leaving);
    ASSERT_TRUE(WaitUntil([&] { return wizard.OnSignIn(); }));
    EXPECT_EQ(g_NasContext.strName.ToUtf8(), "Homevault");
}

TEST_F(DeviceDiscDlgTest, ACopyOutlivesTheSdksDevice) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    const auto record = MakeRecord(kMakerPrefix, "000000000001", "Homevault");
    Announce(record);
    Withdraw(record);  // the SDK destroys its device now; the added event is still queued
    Settle();
    // The add arrived with its own copy and the removal took it off again.
    EXPECT_TRUE(Rows(page).empty());
    EXPECT_TRUE(CUPnPSDK::GetDeviceList()->empty());
}

TEST_F(DeviceDiscDlgTest, SearchAgainIsLockedForFiveSecondsAndStartsOver) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
    Announce(MakeRecord(kMakerPrefix, "000000000002", "Other"));
    Settle();
    const auto generation = page.SessionGeneration();

    auto* button = page.GetDlgItemAs<QPushButton>(kSearchAgain);
    button->click();
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(Rows(page).empty());
    EXPECT_TRUE(page.Devices().empty());
    EXPECT_NE(page.Session(), nullptr);
    EXPECT_GT(page.SessionGeneration(), generation);
    EXPECT_EQ(page.SecondsLeft(), 120);
    EXPECT_EQ(Text(page, kCountdownText), "Scanning: 120 seconds");
    EXPECT_TRUE(Shown(page, kProgress));
    EXPECT_FALSE(Shown(page, kDeviceList));
    EXPECT_TRUE(page.IsTimerRunning(CDeviceDiscDlg::kSearchAgainTimer));
    // A second press while locked does nothing.
    button->click();
    EXPECT_EQ(page.SessionGeneration(), generation + 1);

    ASSERT_TRUE(WaitUntil([&] { return button->isEnabled(); }));
    EXPECT_FALSE(page.IsTimerRunning(CDeviceDiscDlg::kSearchAgainTimer));
    // The new session hears of devices.
    Announce(MakeRecord(kMakerPrefix, "000000000003", "Third"));
    Settle();
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"Third"}));
}

TEST_F(DeviceDiscDlgTest, SearchAgainDropsEventsStillQueuedFromTheClosedSession) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Old"));  // posted, not yet handled
    page.OnSearchAgain();
    Settle();
    EXPECT_TRUE(Rows(page).empty());
    Announce(MakeRecord(kMakerPrefix, "000000000002", "New"));
    Settle();
    EXPECT_EQ(Rows(page), (std::vector<std::string>{"New"}));
}

TEST_F(DeviceDiscDlgTest, AClickOnARowChoosesItAtOnce) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
    Announce(MakeRecord("3b2b54a3-5512-4a2b-93f2", "000000000002", "Second", "127.0.0.2"));
    Settle();
    auto* list = page.GetDlgItemAs<QTreeWidget>(kDeviceList);
    // Empty space below the rows: nothing happens.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 3));
    EXPECT_TRUE(wizard.OnDiscovery());

    const QRect row = list->visualItemRect(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_TRUE(wizard.OnSignIn());
    EXPECT_EQ(g_NasContext.strName.ToUtf8(), "Homevault");
    EXPECT_FALSE(page.IsTimerRunning(CDeviceDiscDlg::kScanTimer));
}

TEST_F(DeviceDiscDlgTest, AFailedPublicMappingWritesAnErrorAndLeavesThePage) {
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
    Announce(MakeRecord(kMakerPrefix, "000000000002", "Other"));
    Settle();
    network_->failNextAdd(53);
    page.OnListClick(0);
    EXPECT_TRUE(wizard.OnDiscovery());
    EXPECT_EQ(Rows(page).size(), 2u);
    EXPECT_FALSE(page.IsTimerRunning(CDeviceDiscDlg::kScanTimer));
    ASSERT_EQ(log_.events().size(), 1u);
    EXPECT_EQ(log_.events()[0].type, kWizardEventError);
    EXPECT_EQ(log_.events()[0].message,
              "Can't map public folder of Homevault(127.0.0.1), error code:53");
    EXPECT_TRUE(web_->requests().empty());  // no users asked for
    // A later click goes on.
    page.OnListClick(0);
    EXPECT_TRUE(wizard.OnSignIn());
}

TEST_F(DeviceDiscDlgTest, ANasWithoutUsersLeadsStraightToTheDonePage) {
    struct Case {
        const char* name;
        ds::test::HttpReply reply;
    };
    const Case cases[] = {
        {"no names", ds::test::HttpReply::withBody(200, UserListXml({}))},
        {"request failed", ds::test::HttpReply::withBody(500, "")},
        {"not XML", ds::test::HttpReply::withBody(200, "nobody")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        web_->setDefaultReply(c.reply);
        Wizard wizard;
        Announce(MakeRecord(kMakerPrefix, "000000000001", "Homevault"));
        Settle();
        wizard.Discovery().OnListClick(0);
        EXPECT_TRUE(wizard.OnDone());
        EXPECT_EQ(wizard.Header(), "Drive Scout: Assign");
        EXPECT_EQ(Text(*wizard.DonePage(), 1031), "Z: Public");
        EXPECT_FALSE(Shown(*wizard.DonePage(), 1033));
    }
}

// Regression guard for the callback's design: devices flap on another thread while "Search
// again" closes and reopens sessions and rows are clicked; nothing deadlocks, nothing is used
// after it is freed (run under the sanitizers), and rows never name a device of a closed session.
TEST_F(DeviceDiscDlgTest, SearchAgainHammeredWhileADeviceFlaps) {
    web_->setDefaultReply(ds::test::HttpReply::withBody(500, ""));
    Wizard wizard;
    CDeviceDiscDlg& page = wizard.Discovery();
    std::atomic<bool> stop{false};
    std::thread flapper([&stop] {
        const auto record = MakeRecord(kMakerPrefix, "0000000000AA", "Flapper");
        for (int i = 0; i < 3000 && !stop; ++i) {
            Announce(record);
            Withdraw(record);
        }
    });
    for (int round = 0; round < 60; ++round) {
        page.OnSearchAgain();
        QCoreApplication::processEvents();
        if (!page.Devices().empty() && round % 7 == 0) {
            page.OnListClick(0);  // a copy the SDK may already have destroyed: still ours
            wizard.ShowDiscoveryPage();
        }
        for (const DeviceCopy& device : page.Devices()) {
            EXPECT_EQ(LBString(device->GetFriendlyName()).ToUtf8(), "Flapper");
        }
    }
    stop = true;
    flapper.join();
    Settle();
    EXPECT_LE(page.Devices().size(), 1u);
    EXPECT_EQ(page.RowTexts().size(), page.Devices().size());
}

}  // namespace
}  // namespace wizardtest
