#include "app/wizard_event_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Entry {
    WizardEventType type;
    std::vector<std::string> strings;
};

class RecordingSink : public EventLogSink {
  public:
    explicit RecordingSink(bool opens = true) : opens_(opens) { previous_ = SetEventLogSink(this); }
    ~RecordingSink() override { SetEventLogSink(previous_); }

    bool Open(const std::string& source) override {
        calls.push_back("open " + source);
        return opens_;
    }
    void Write(WizardEventType type, const std::vector<std::string>& strings) override {
        calls.push_back("write");
        entries.push_back({type, strings});
    }
    void Close() override { calls.push_back("close"); }

    std::vector<std::string> calls;
    std::vector<Entry> entries;

  private:
    bool opens_;
    EventLogSink* previous_;
};

TEST(WizardEventLogTest, OneEntryWithTheTitleAsSourceAndTheTwoStrings) {
    struct Case {
        WizardEventType type;
        const char* message;
    };
    for (const Case& c :
         {Case{kWizardEventError,
               "Can't map public folder of NAS(10.0.0.2), "
               "error code:53"},
          // The first string says "error" for information entries too.
          Case{kWizardEventInformation, "Map public folder of NAS(10.0.0.2) successfully!"}}) {
        RecordingSink sink;
        ReportWizardEvent(c.type, LBString(c.message));
        EXPECT_EQ(sink.calls, (std::vector<std::string>{"open Drive Scout", "write", "close"}));
        ASSERT_EQ(sink.entries.size(), 1u);
        EXPECT_EQ(sink.entries[0].type, c.type);
        EXPECT_EQ(sink.entries[0].strings,
                  (std::vector<std::string>{"Drive Scout error", c.message}));
    }
}

TEST(WizardEventLogTest, NothingIsWrittenWhenTheLogCannotBeOpened) {
    RecordingSink sink(false);
    ReportWizardEvent(kWizardEventError, u"Login NAS with user bob");
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"open Drive Scout"}));
    EXPECT_TRUE(sink.entries.empty());
}

TEST(WizardEventLogTest, MessageIsNeverAFormat) {
    RecordingSink sink;
    ReportWizardEvent(kWizardEventError, u"Login device %s(%n) with user %d");
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].strings[1], "Login device %s(%n) with user %d");
}

TEST(WizardEventLogTest, SystemLogRecordIsOneLine) {
    struct Case {
        std::vector<std::string> strings;
        std::string record;
    };
    for (const Case& c : {
             Case{{"Drive Scout error", "Login NAS with user bob"},
                  "Drive Scout error: Login NAS with user bob"},
             // A device name from the network cannot start a forged second line.
             Case{{"Drive Scout error", "Map public folder of A\r\nB\t(1.2.3.4) successfully!"},
                  "Drive Scout error: Map public folder of A  B (1.2.3.4) successfully!"},
             Case{{"Drive Scout error", "Ger\xC3\xA4t"}, "Drive Scout error: Ger\xC3\xA4t"},
             Case{{"only"}, "only"},
         }) {
        EXPECT_EQ(FormatSystemLogRecord(c.strings), c.record);
    }
}

}  // namespace
