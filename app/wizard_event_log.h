#pragma once

// ReportWizardEvent: one entry in the system log per device choice and per sign-in attempt,
// with the title as its source. The entry carries two strings, "<title> error" (also for
// information entries) and the message. Where entries go is a sink: the system log (syslog) by
// default, a test's own sink when one is installed. Nothing is shown to the user, and nothing is
// written when the log cannot be opened. User-interface thread.

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/LBString.h"

enum WizardEventType : std::uint16_t {
    kWizardEventError = 1,
    kWizardEventWarning = 2,
    kWizardEventInformation = 4,
};

class EventLogSink {
  public:
    virtual ~EventLogSink() = default;
    // Opens the log for `source` (UTF-8); false when it cannot be opened.
    virtual bool Open(const std::string& source) = 0;
    // Writes one entry of `type` carrying `strings` (UTF-8), in order.
    virtual void Write(WizardEventType type, const std::vector<std::string>& strings) = 0;
    virtual void Close() = 0;
};

// The system log: one syslog record per entry (facility user, LOG_ERR for errors, LOG_WARNING
// for warnings, LOG_INFO otherwise), ident = the source, text = the strings joined by ": ".
// Control characters in the strings (a device name can carry any) become blanks, so an entry is
// always one line.
EventLogSink& SystemEventLogSink();

// Installs `sink` (borrowed; it must outlive its use; null restores the system log) and returns
// the previous one (null for the system log).
EventLogSink* SetEventLogSink(EventLogSink* sink);

void ReportWizardEvent(WizardEventType type, const LBString& message);

// The record text the system log writes for `strings`.
std::string FormatSystemLogRecord(const std::vector<std::string>& strings);
