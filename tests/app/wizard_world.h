#pragma once

// The world the wizard meets in a test, without any network: the SDK's no-network
// discovery stack (devices are announced by calling the SDK core's device handler, as the control
// point does), an in-memory Windows network with one NAS at 127.0.0.1 (shares Public for guests,
// alice and bob for their owners), a loopback HTTP server answering the NAS's web requests, a
// temporary user, a scaled clock, and recorders for system-log entries, message boxes and opened
// addresses. Everything is put back when the fixture goes.
//
// Used on the test's main thread (announcements may also come from other threads).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <QTest>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/device_disc_dlg.h"
#include "app/disc_done_dlg.h"
#include "app/nas/nas_context.h"
#include "app/tkx_win_app.h"
#include "app/window_timers.h"
#include "app/wizard_event_log.h"
#include "platform/memory_network_provider.h"
#include "platform/network_provider.h"
#include "sdk/discovery_stack.h"
#include "sdk/upnp_sdk.h"
#include "support/http_fixture.h"
#include "support/temp_user_dirs.h"
#include "upnp/device_record.h"
#include "wait_until.h"

namespace wizardtest {

// The maker's UDN prefix; a device's UDN is this prefix, "-" and its suffix.
inline constexpr const char* kMakerPrefix = "3b2b54a3-5512-4a2b-93f2";
inline constexpr const char* kNasHost = "127.0.0.1";
// Scaled periods: 15 s become 15 ms, 5 s 5 ms.
inline constexpr double kTimeScale = 0.001;

struct LoggedEvent {
    WizardEventType type;
    std::string message;
};

class RecordingEventLog final : public EventLogSink {
  public:
    bool Open(const std::string&) override { return true; }
    void Write(WizardEventType type, const std::vector<std::string>& strings) override {
        std::lock_guard lock(mutex_);
        events_.push_back({type, strings.size() > 1 ? strings[1] : std::string()});
    }
    void Close() override {}
    std::vector<LoggedEvent> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<LoggedEvent> events_;
};

struct ShownMessageBox {
    QString caption;
    QString text;
    unsigned type;
};

inline upnp::DeviceRecord MakeRecord(const std::string& udnPrefix, const std::string& udnSuffix,
                                     const std::string& name, const std::string& host = kNasHost) {
    upnp::DeviceRecord record;
    record.UDN = udnPrefix + "-" + udnSuffix;
    record.FriendlyName = name;
    record.LocationURL = "http://" + host + ":49152/description.xml";
    return record;
}

// A get_users answer listing `users` in order.
inline std::string UserListXml(const std::vector<std::string>& users) {
    std::string xml = "<?xml version=\"1.0\"?><users>";
    for (const std::string& user : users) {
        xml += "<user username=\"" + user + "\"/>";
    }
    return xml + "</users>";
}

class WizardWorld : public ::testing::Test {
  protected:
    void SetUp() override {
        WindowTimers::SetTimeScale(kTimeScale);
        previousStack_ = sdk::setDiscoveryStack(sdk::makeNoNetworkStack());
        auto provider = std::make_unique<platform::MemoryNetworkProvider>();
        network_ = provider.get();
        network_->addShare(u"127.0.0.1", u"Public", {true, {}});
        network_->addShare(u"127.0.0.1", u"alice", {false, {u"alice"}});
        network_->addShare(u"127.0.0.1", u"bob", {false, {u"bob"}});
        network_->addAccount(u"127.0.0.1", u"alice", u"wonderland");
        network_->addAccount(u"127.0.0.1", u"bob", u"builder");
        network_->setLocalDrives(u"C");
        previousNetwork_ = platform::setNetworkProvider(std::move(provider));

        web_.emplace(kNasHost);
        web_->setDefaultReply(ds::test::HttpReply::withBody(200, UserListXml({"bob", "alice"})));
        previousSettings_ = WizardWebApiSettings();
        WizardWebApiSettings().port = web_->port();
        WizardWebApiSettings().retryWait = [](std::chrono::milliseconds) {};

        previousSink_ = SetEventLogSink(&log_);
        previousPresenter_ = CTkxWinApp::SetMessageBoxPresenter(
            [this](const QString& caption, const QString& text, unsigned type) {
                boxes_.push_back({caption, text, type});
                if (beforeAnswer_) {
                    beforeAnswer_(boxes_.size());
                }
                int answer = IDOK;
                if (!answers_.empty()) {
                    answer = answers_.front();
                    answers_.erase(answers_.begin());
                }
                return answer;
            });
        previousOpener_ = CDiscDoneDlg::SetUrlOpener(
            [this](const QString& url) { opened_.push_back(url.toStdString()); });
        g_NasContext = NasContext{};
    }

    void TearDown() override {
        CDiscDoneDlg::SetUrlOpener(std::move(previousOpener_));
        CTkxWinApp::SetMessageBoxPresenter(std::move(previousPresenter_));
        SetEventLogSink(previousSink_);
        WizardWebApiSettings() = previousSettings_;
        web_.reset();
        g_NasContext = NasContext{};
        platform::setNetworkProvider(std::move(previousNetwork_));
        WindowTimers::SetTimeScale(1.0);
        // Whatever a test left, the SDK is empty for the next one.
        EXPECT_FALSE(CUPnPSDK::ChainIsRunning());
        CUPnPSDK::ReleaseAll();
        sdk::setDiscoveryStack(std::move(previousStack_));
    }

    // The control point's report of a device that arrived or left (the SDK core's handler).
    static void Announce(const upnp::DeviceRecord& record) {
        CUPnPSDK::OnDeviceChanged(&record, DEVICE_ADDED);
    }
    static void Withdraw(const upnp::DeviceRecord& record) {
        CUPnPSDK::OnDeviceChanged(&record, DEVICE_REMOVED);
    }
    // Lets the user-interface thread handle what is queued.
    static void Settle() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const LoggedEvent& event : log_.events()) {
            messages.push_back(event.message);
        }
        return messages;
    }

    ds::test::TempUserDirs user_;
    platform::MemoryNetworkProvider* network_ = nullptr;
    std::optional<ds::test::HttpFixture> web_;
    RecordingEventLog log_;
    std::vector<ShownMessageBox> boxes_;
    std::vector<int> answers_;  // buttons the next message boxes are answered with
    // Called with the number of boxes shown so far, before each is answered.
    std::function<void(size_t)> beforeAnswer_;
    std::vector<std::string> opened_;

  private:
    std::unique_ptr<sdk::DiscoveryStack> previousStack_;
    std::unique_ptr<platform::NetworkProvider> previousNetwork_;
    nas::NasWebApiSettings previousSettings_;
    EventLogSink* previousSink_ = nullptr;
    CTkxWinApp::MessageBoxPresenter previousPresenter_;
    CDiscDoneDlg::UrlOpener previousOpener_;
};

}  // namespace wizardtest
