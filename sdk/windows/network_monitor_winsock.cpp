// NetworkMonitorLoopThread on Windows: an overlapped WSAIoctl(SIO_ADDRESS_LIST_CHANGE) on a
// datagram socket completes when the computer's address list changes; the thread waits for it
// and for the stop event together, tells the control point (CUPnPSDK::AddressesChanged) and asks
// again.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "platform/socket_calls.h"
#include "platform/trace.h"
#include "sdk/upnp_sdk.h"

namespace {

// Owns the socket and the completion event for the thread's run.
struct ChangeNotice {
    int handle = platform::openSocket(SOCK_DGRAM);
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WSAOVERLAPPED overlapped{};

    ~ChangeNotice() {
        if (handle >= 0)
            platform::closeSocket(handle);  // cancels a request in flight
        if (event != nullptr)
            ::CloseHandle(event);
    }

    // True when a request is pending (or completed at once).
    bool request() {
        ::ResetEvent(event);
        overlapped = WSAOVERLAPPED{};
        overlapped.hEvent = event;
        DWORD returned = 0;
        if (::WSAIoctl(static_cast<SOCKET>(handle), SIO_ADDRESS_LIST_CHANGE, nullptr, 0, nullptr, 0,
                       &returned, &overlapped, nullptr) == 0)
            return true;
        const int error = ::WSAGetLastError();
        if (error == WSA_IO_PENDING)
            return true;
        traceSubscriptionFailure(error);
        return false;
    }

    static void traceSubscriptionFailure(int error) {
        platform::traceNarrow(">>>CUPnPSDK::NetworkMonitorLoopThread WSAIoctl return " +
                              std::to_string(error) + "\r\n");
    }
};

}  // namespace

int32_t CUPnPSDK::NetworkMonitorLoopThread(std::shared_ptr<sdk::StopEvent> stop) {
    ChangeNotice notice;
    if (notice.handle < 0 || notice.event == nullptr)
        return 0;
    bool subscribed = notice.request();
    if (!stop)
        return 0;
    const HANDLE stopHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(stop->fd()));
    while (true) {
        const HANDLE waits[2] = {stopHandle, notice.event};
        const DWORD ready = ::WaitForMultipleObjects(subscribed ? 2 : 1, waits, FALSE, INFINITE);
        if (ready != WAIT_OBJECT_0 + 1 || stop->isSignalled())
            break;
        AddressesChanged();
        subscribed = notice.request();
    }
    return 0;
}
