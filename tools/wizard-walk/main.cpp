// drivescout-walk: the Drive Scout wizard walked through its whole flow by itself, as a user
// would: it searches and counts down until the one NAS found is chosen, signs in with a wrong
// password and then the right one, and presses "Done". With DRIVESCOUT_SNAPSHOT_DIR set every
// page is saved as a PNG (and the page with the wrong-password error too).
//
//   drivescout-walk --user NAME --password SECRET [--time-scale F] [--timeout SECONDS]
//                   [LANGUAGE=code] [Qt options such as -platform offscreen]
//
// Discovery is the program's own (the SDK's), so run it where the NAS can be found: inside the
// private network namespace of scripts/demo. On the offscreen platform "Done" prints the address
// it would open instead of starting a browser. Exit status 0 when the done page was reached and
// "Done" pressed, 1 otherwise.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_globals.h"
#include "app/artwork.h"
#include "app/device_disc_dlg.h"
#include "app/device_login_dlg.h"
#include "app/disc_done_dlg.h"
#include "app/drive_scout_app.h"
#include "app/drive_scout_dlg.h"
#include "app/window_snapshot.h"
#include "app/window_timers.h"
#include "app/wizard_event_log.h"
#include "platform/resources.h"
#include "resources/drivescout_resources.h"

namespace {

constexpr int kUserList = 1008;
constexpr int kPassword = 1010;
constexpr int kSignIn = 1007;
constexpr int kDone = 1012;
constexpr int kReasonsText = 1034;

// The wizard's system-log entries, shown as they are written (and still written to the log).
class EchoingEventLog final : public EventLogSink {
  public:
    bool Open(const std::string& source) override {
        m_open = SystemEventLogSink().Open(source);
        return true;
    }
    void Write(WizardEventType type, const std::vector<std::string>& strings) override {
        std::printf("walk: event (%s): %s\n", type == kWizardEventError ? "error" : "information",
                    strings.size() > 1 ? strings[1].c_str() : "");
        if (m_open) {
            SystemEventLogSink().Write(type, strings);
        }
    }
    void Close() override {
        if (m_open) {
            SystemEventLogSink().Close();
        }
        m_open = false;
    }

  private:
    bool m_open = false;
};

struct WalkOptions {
    QString user;
    QString password;
    double timeScale = 0.05;  // the 120-second countdown in 6 seconds
    int timeoutSeconds = 120;
};

bool ParseOptions(const QStringList& args, WalkOptions& options) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QStringLiteral("--user") && hasValue) {
            options.user = args[++i];
        } else if (arg == QStringLiteral("--password") && hasValue) {
            options.password = args[++i];
        } else if (arg == QStringLiteral("--time-scale") && hasValue) {
            options.timeScale = args[++i].toDouble();
        } else if (arg == QStringLiteral("--timeout") && hasValue) {
            options.timeoutSeconds = args[++i].toInt();
        }
    }
    return !options.user.isEmpty() && options.timeScale > 0 && options.timeoutSeconds > 0;
}

// One step of the walk per tick; each step acts only on the page it expects.
class Walk {
  public:
    Walk(CDriveScoutDlg& wizard, WalkOptions options)
        : m_wizard(wizard), m_options(std::move(options)) {}

    bool Finished() const { return m_finished; }

    void Tick() {
        CDeviceDiscDlg& discovery = *m_wizard.DiscoveryPage();
        CDeviceLoginDlg& signIn = *m_wizard.SignInPage();
        CDiscDoneDlg& done = *m_wizard.DonePage();
        switch (m_step) {
            case Step::Searching:
                if (!m_foundPictured && !discovery.Devices().empty() &&
                    discovery.isVisibleTo(&m_wizard)) {
                    // The list as the user sees it during the countdown.
                    SaveWindowSnapshot(m_wizard, QStringLiteral("discover-found"));
                    m_foundPictured = true;
                }
                if (signIn.isVisibleTo(&m_wizard) || done.isVisibleTo(&m_wizard)) {
                    std::printf("walk: chose %s\n",
                                discovery.RowTexts().empty()
                                    ? "the device"
                                    : discovery.RowTexts().front().toUtf8().constData());
                    m_step = signIn.isVisibleTo(&m_wizard) ? Step::WrongPassword : Step::Done;
                } else if (discovery.GetDlgItem(kReasonsText)->isVisibleTo(&discovery)) {
                    std::printf("walk: no device was found\n");
                    SaveWindowSnapshot(m_wizard, QStringLiteral("no-device"));
                    m_wizard.EndDialog(IDCANCEL);
                }
                break;
            case Step::WrongPassword:
                ChooseUser(signIn, m_options.password + QStringLiteral("-wrong"));
                signIn.GetDlgItemAs<QPushButton>(kSignIn)->click();
                std::printf("walk: signed in as %s with a wrong password\n",
                            m_options.user.toUtf8().constData());
                m_step = Step::Picture;
                break;
            case Step::Picture:
                SaveWindowSnapshot(m_wizard, QStringLiteral("sign-in-wrong-password"));
                m_step = Step::RightPassword;
                break;
            case Step::RightPassword:
                ChooseUser(signIn, m_options.password);
                signIn.GetDlgItemAs<QPushButton>(kSignIn)->click();
                std::printf("walk: signed in as %s with the right password\n",
                            m_options.user.toUtf8().constData());
                m_step = done.isVisibleTo(&m_wizard) ? Step::Done : Step::Failed;
                break;
            case Step::Done:
                // One tick on the done page first, so its picture is taken.
                m_step = Step::PressDone;
                break;
            case Step::PressDone:
                std::printf("walk: Done\n");
                m_finished = true;
                done.GetDlgItemAs<QPushButton>(kDone)->click();
                break;
            case Step::Failed:
                std::printf("walk: the sign-in did not reach the done page\n");
                SaveWindowSnapshot(m_wizard, QStringLiteral("sign-in-failed"));
                m_wizard.EndDialog(IDCANCEL);
                break;
        }
        std::fflush(stdout);
    }

  private:
    enum class Step { Searching, WrongPassword, Picture, RightPassword, Done, PressDone, Failed };

    void ChooseUser(CDeviceLoginDlg& page, const QString& password) {
        auto* users = page.GetDlgItemAs<QComboBox>(kUserList);
        const int index = users->findText(m_options.user);
        if (index >= 0) {
            users->setCurrentIndex(index);
        }
        page.GetDlgItemAs<QLineEdit>(kPassword)->setText(password);
    }

    CDriveScoutDlg& m_wizard;
    WalkOptions m_options;
    Step m_step = Step::Searching;
    bool m_finished = false;
    bool m_foundPictured = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("drivescout"));
    platform::installExecutableResources(&resources::driveScoutResources());

    WalkOptions options;
    if (!ParseOptions(QCoreApplication::arguments(), options)) {
        std::fprintf(stderr,
                     "usage: drivescout-walk --user NAME --password SECRET [--time-scale F] "
                     "[--timeout SECONDS] [LANGUAGE=code]\n");
        return 2;
    }
    WindowTimers::SetTimeScale(options.timeScale);
    EchoingEventLog eventLog;
    SetEventLogSink(&eventLog);

    CDriveScoutApp app;
    app.SetAppName(g_strAppTitle);
    app.SelectLanguage(QCoreApplication::arguments());

    CDriveScoutDlg wizard;
    wizard.Create(nullptr);
    wizard.show();
    Walk walk(wizard, options);
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &wizard, [&walk] { walk.Tick(); });
    ticks.start(250);
    QTimer::singleShot(options.timeoutSeconds * 1000, &wizard, [&wizard] {
        CDeviceDiscDlg& discovery = *wizard.DiscoveryPage();
        std::printf(
            "walk: gave up after the time limit (%zu device(s) listed, countdown at %d, "
            "%s)\n",
            discovery.Devices().size(), discovery.SecondsLeft(),
            discovery.IsTimerRunning(CDeviceDiscDlg::kScanTimer) ? "running" : "stopped");
        SaveWindowSnapshot(wizard, QStringLiteral("timeout"));
        wizard.EndDialog(IDCANCEL);
    });
    const int result = wizard.DoModal();
    if (!SnapshotFolder().isEmpty()) {
        std::printf("walk: pictures in %s\n", SnapshotFolder().toUtf8().constData());
    }
    SetEventLogSink(nullptr);
    return result == IDOK && walk.Finished() ? 0 : 1;
}
