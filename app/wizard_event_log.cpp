#include "app/wizard_event_log.h"

#include <syslog.h>

#include "app/app_globals.h"

namespace {

class SyslogSink final : public EventLogSink {
  public:
    bool Open(const std::string& source) override {
        // openlog keeps the pointer it is given: the ident must live until closelog.
        m_ident = source;
        openlog(m_ident.c_str(), LOG_PID, LOG_USER);
        return true;
    }

    void Write(WizardEventType type, const std::vector<std::string>& strings) override {
        int priority = LOG_INFO;
        if (type == kWizardEventError) {
            priority = LOG_ERR;
        } else if (type == kWizardEventWarning) {
            priority = LOG_WARNING;
        }
        // The text is an argument, never the format: messages carry names from the network.
        syslog(priority, "%s", FormatSystemLogRecord(strings).c_str());
    }

    void Close() override { closelog(); }

  private:
    std::string m_ident;
};

EventLogSink* g_installedSink = nullptr;

}  // namespace

EventLogSink& SystemEventLogSink() {
    static SyslogSink sink;
    return sink;
}

EventLogSink* SetEventLogSink(EventLogSink* sink) {
    EventLogSink* previous = g_installedSink;
    g_installedSink = sink;
    return previous;
}

std::string FormatSystemLogRecord(const std::vector<std::string>& strings) {
    std::string record;
    for (const std::string& text : strings) {
        if (!record.empty()) {
            record += ": ";
        }
        for (char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            record += (byte < 0x20 || byte == 0x7f) ? ' ' : c;
        }
    }
    return record;
}

void ReportWizardEvent(WizardEventType type, const LBString& message) {
    EventLogSink& sink = g_installedSink != nullptr ? *g_installedSink : SystemEventLogSink();
    const std::string source = g_strAppTitle.ToUtf8();
    if (!sink.Open(source)) {
        return;
    }
    LBString first;
    first.Format(u"%s error", g_strAppTitle.GetString());
    sink.Write(type, {first.ToUtf8(), message.ToUtf8()});
    sink.Close();
}
