// The stop event as a Windows manual-reset event; its handle is what `fd()` gives, for a wait
// beside other handles (WaitForMultipleObjects).

#include <windows.h>

#include <system_error>

#include "sdk/stop_event.h"

namespace sdk {
namespace {

HANDLE native(int handle) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

}  // namespace

StopEvent::StopEvent()
    : fd_(static_cast<int>(
          reinterpret_cast<intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr)))) {
    if (fd_ == 0)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "CreateEvent");
}

StopEvent::~StopEvent() {
    ::CloseHandle(native(fd_));
}

void StopEvent::signal() {
    ::SetEvent(native(fd_));
}

bool StopEvent::isSignalled() const {
    return ::WaitForSingleObject(native(fd_), 0) == WAIT_OBJECT_0;
}

void StopEvent::wait() const {
    ::WaitForSingleObject(native(fd_), INFINITE);
}

}  // namespace sdk
