#include "platform/trace.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/debugger_output.h"
#include "platform/utf.h"

namespace platform {
namespace {

std::mutex sinkMutex;
TraceSink installedSink;

bool traceToStderr() {
    static const bool enabled = [] {
        const char* value = std::getenv("DRIVESCOUT_TRACE");
        return value && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void defaultSink(std::u16string_view line) {
    writeDebuggerOutput(line);
    if (!traceToStderr())
        return;
    const std::string text = utf16ToUtf8(line);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void trace(std::u16string_view line) {
    std::u16string withEnd(line);
    if (withEnd.size() < 2 || withEnd.compare(withEnd.size() - 2, 2, u"\r\n") != 0)
        withEnd += u"\r\n";
    std::lock_guard lock(sinkMutex);
    if (installedSink)
        installedSink(withEnd);
    else
        defaultSink(withEnd);
}

void traceNarrow(std::string_view line) {
    trace(utf8ToUtf16(line));
}

TraceSink setTraceSink(TraceSink sink) {
    std::lock_guard lock(sinkMutex);
    return std::exchange(installedSink, std::move(sink));
}

struct TraceCapture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

TraceCapture::TraceCapture() : state_(std::make_shared<State>()) {
    previous_ = setTraceSink([state = state_](std::u16string_view line) {
        if (line.size() >= 2 && line.substr(line.size() - 2) == u"\r\n")
            line.remove_suffix(2);
        std::lock_guard lock(state->mutex);
        state->lines.push_back(utf16ToUtf8(line));
    });
}

TraceCapture::~TraceCapture() {
    setTraceSink(std::move(previous_));
}

std::vector<std::string> TraceCapture::lines() const {
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

bool TraceCapture::contains(std::string_view line) const {
    std::lock_guard lock(state_->mutex);
    return std::find(state_->lines.begin(), state_->lines.end(), line) != state_->lines.end();
}

}  // namespace platform
