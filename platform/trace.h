#pragma once

// The trace sink: diagnostic lines of the SDK and the stack, the way a developer follows them in
// a debugger's output. Each line is wide text ending in CR LF. Lines go to stderr (as UTF-8) when
// DRIVESCOUT_TRACE=1 and are dropped otherwise; tests install a sink of their own to read them.
// Safe to call from any thread. Passwords never go into a trace line.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using TraceSink = std::function<void(std::u16string_view line)>;

// Sends one line; a missing trailing CR LF is added.
void trace(std::u16string_view line);
// Narrow text is taken as UTF-8.
void traceNarrow(std::string_view line);

// Installs `sink` (an empty function restores the default) and returns the one it replaced.
TraceSink setTraceSink(TraceSink sink);

// Captures every trace line for as long as it lives (tests).
class TraceCapture {
  public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Lines without their CR LF, as UTF-8, in the order they were written.
    std::vector<std::string> lines() const;
    bool contains(std::string_view line) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
    TraceSink previous_;
};

}  // namespace platform
