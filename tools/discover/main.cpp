// drivescout-discover: runs the SDK's discovery for a number of seconds and prints one
// tab-separated line per device event, flushed at once so that scripts can follow it:
//
//   added<TAB>UDN prefix<TAB>UDN suffix<TAB>IP address<TAB>location URL<TAB>friendly name
//   removed<TAB>...
//
//   drivescout-discover [--seconds N] [--filter PREFIX]
//   drivescout-discover --version
//
// Exit 0 after the time is up; errors go to stderr with a non-zero exit. Discovery sends SSDP
// multicast: run it inside a private network namespace (scripts/in-netns) unless you mean to
// search the real network.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "sdk/include/drivescout/sdk.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitSdk = 3;

volatile std::sig_atomic_t g_interrupted = 0;

void onSignal(int) {
    g_interrupted = 1;
}

std::string utf8(const char16_t* text) {
    return text == nullptr ? std::string() : LBString(text).ToUtf8();
}

// Runs on the SDK's discovery thread, one call at a time; the device lives during the call only.
void onDeviceEvent(int32_t kind, CAbstractUPnPDevice* device, void*) {
    if (device == nullptr || (kind != DEVICE_ADDED && kind != DEVICE_REMOVED))
        return;
    std::string line = kind == DEVICE_ADDED ? "added" : "removed";
    for (const char16_t* field :
         {device->GetUDNPrefix(), device->GetUDNSuffix(), device->GetIPAddress(),
          device->GetLocationURL(), device->GetFriendlyName()}) {
        std::string text = utf8(field);
        // A tab or line break inside a field would break the line format.
        for (char& c : text)
            if (c == '\t' || c == '\n' || c == '\r')
                c = ' ';
        line += '\t';
        line += text;
    }
    line += '\n';
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

void usage(std::FILE* out) {
    std::fputs(
        "usage: drivescout-discover [--seconds N] [--filter PREFIX]\n"
        "       drivescout-discover --version\n"
        "  --seconds N      run discovery for N seconds (default 10, at most 86400)\n"
        "  --filter PREFIX  report only devices whose UDN prefix begins with PREFIX\n"
        "  --version        print the program's version and end\n",
        out);
}

bool parseSeconds(const char* text, long& seconds) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 86400)
        return false;
    seconds = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    long seconds = 10;
    std::string filter;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("drivescout-discover " DRIVESCOUT_VERSION);
            return 0;
        }
        if ((arg == "--seconds" || arg == "--filter") && i + 1 >= argc) {
            std::fprintf(stderr, "drivescout-discover: %s needs a value\n", arg.c_str());
            return kExitUsage;
        }
        if (arg == "--seconds") {
            if (!parseSeconds(argv[++i], seconds)) {
                std::fprintf(stderr, "drivescout-discover: not a number of seconds: %s\n", argv[i]);
                return kExitUsage;
            }
        } else if (arg == "--filter") {
            filter = argv[++i];
        } else {
            std::fprintf(stderr, "drivescout-discover: unknown argument: %s\n", arg.c_str());
            usage(stderr);
            return kExitUsage;
        }
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    UPnPSession session = nullptr;
    if (fnUPnPOpenSession(&session) != 0 || session == nullptr) {
        std::fputs("drivescout-discover: cannot open an SDK session\n", stderr);
        return kExitSdk;
    }
    if (fnUPnPRegisterEventMonitor(session, LBStringArgFromUtf8(filter.c_str()), onDeviceEvent,
                                   nullptr) != 0) {
        std::fputs("drivescout-discover: cannot register the event monitor\n", stderr);
        fnUPnPCloseSession(session);
        return kExitSdk;
    }
    if (fnUPnPStartEventMonitor(session) != 0) {
        std::fputs("drivescout-discover: cannot start discovery\n", stderr);
        fnUPnPUnRegisterEventMonitor(session);
        fnUPnPCloseSession(session);
        return kExitSdk;
    }

    // Sleeps in small steps so that an interrupt ends the run promptly.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!g_interrupted && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    fnUPnPStopEventMonitor(session);
    fnUPnPUnRegisterEventMonitor(session);
    fnUPnPCloseSession(session);
    return 0;
}
