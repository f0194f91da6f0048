// sdk_discover: discovers devices for a few seconds through the Drive Scout SDK, prints them with
// their shares, and optionally maps a share to a drive name and unmaps it again.
//
//   sdk_discover [seconds] [--map \\host\share Z: [user password]]
//
// Discovery sends SSDP multicast: run it inside a private network namespace (scripts/in-netns)
// unless you mean to search the real network.

#include <drivescout/sdk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string utf8(const char16_t* text) {
    return LBString(text).ToUtf8();
}

// Copies of the devices heard of, kept by the program itself: the SDK's list is live and may
// change under a reader, and a device handed to a callback lives only during the call.
struct DeviceCopies {
    std::mutex mutex;
    std::vector<CAbstractUPnPDevice*> devices;

    ~DeviceCopies() {
        for (CAbstractUPnPDevice* device : devices)
            fnDeleteUPnPDeviceObject(device);
    }
};

bool sameDevice(CAbstractUPnPDevice* a, CAbstractUPnPDevice* b) {
    return LBString(a->GetUDNSuffix()).CompareNoCase(b->GetUDNSuffix()) == 0 &&
           LBString(a->GetIPAddress()).CompareNoCase(b->GetIPAddress()) == 0;
}

// Runs on the SDK's discovery thread with the SDK's monitor lock held: copy and return.
void DRIVESCOUT_CALLBACK onDeviceEvent(int32_t kind, CAbstractUPnPDevice* device, void* context) {
    auto* copies = static_cast<DeviceCopies*>(context);
    if (device == nullptr)
        return;
    std::lock_guard lock(copies->mutex);
    if (kind == DEVICE_ADDED) {
        CAbstractUPnPDevice* copy = fnCreateUPnPDeviceObject();
        if (copy == nullptr)
            return;
        copy->CopyFrom(device);
        copies->devices.push_back(copy);
        std::printf("+ %s (%s) uuid:%s-%s\n", utf8(device->GetFriendlyName()).c_str(),
                    utf8(device->GetIPAddress()).c_str(), utf8(device->GetUDNPrefix()).c_str(),
                    utf8(device->GetUDNSuffix()).c_str());
    } else if (kind == DEVICE_REMOVED) {
        for (auto it = copies->devices.begin(); it != copies->devices.end(); ++it) {
            if (sameDevice(*it, device)) {
                fnDeleteUPnPDeviceObject(*it);
                copies->devices.erase(it);
                break;
            }
        }
        std::printf("- %s (%s)\n", utf8(device->GetFriendlyName()).c_str(),
                    utf8(device->GetIPAddress()).c_str());
    }
    std::fflush(stdout);
}

void printSharesOf(UPnPSession session, CAbstractUPnPDevice* copy) {
    CAbstractUPnPDevice* listed = nullptr;
    if (fnUPnPGetProperties(session, LBStringArgFromUtf16(copy->GetUDNSuffix()),
                            LBStringArgFromUtf16(copy->GetIPAddress()), &listed) != 0 ||
        listed == nullptr) {
        std::printf("    (no longer listed)\n");
        return;
    }
    // Keep what we print: the listed device may go at any time.
    CAbstractUPnPDevice* snapshot = fnCreateUPnPDeviceObject();
    if (snapshot == nullptr)
        return;
    snapshot->CopyFrom(listed);
    for (const LBString& share : *snapshot->GetShareList())
        std::printf("    \\\\%s\\%s\n", utf8(snapshot->GetIPAddress()).c_str(),
                    share.ToUtf8().c_str());
    if (snapshot->GetShareCount() == 0)
        std::printf("    (no shares)\n");
    fnDeleteUPnPDeviceObject(snapshot);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    const char* remoteName = nullptr;
    const char* localName = nullptr;
    const char* userName = "";
    const char* password = "";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--map" && i + 2 < argc) {
            remoteName = argv[++i];
            localName = argv[++i];
            if (i + 2 < argc) {
                userName = argv[++i];
                password = argv[++i];
            }
        } else if (arg[0] != '-') {
            seconds = std::max(0, std::atoi(arg.c_str()));
        } else {
            std::fprintf(stderr, "usage: %s [seconds] [--map \\\\host\\share Z: [user password]]\n",
                         argv[0]);
            return 2;
        }
    }

    DeviceCopies copies;
    UPnPSession session = nullptr;
    if (fnUPnPOpenSession(&session) != 0) {
        std::fprintf(stderr, "cannot open an SDK session\n");
        return 1;
    }
    int32_t registered =
        fnUPnPRegisterEventMonitor(session, LBStringArg{nullptr}, onDeviceEvent, &copies);
    if (registered != 0 || fnUPnPStartEventMonitor(session) != 0) {
        std::fprintf(stderr, "cannot start discovery\n");
        fnUPnPUnRegisterEventMonitor(session);
        fnUPnPCloseSession(session);
        return 1;
    }

    std::printf("discovering for %d s ...\n", seconds);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));

    {
        std::lock_guard lock(copies.mutex);
        std::printf("%zu device(s)\n", copies.devices.size());
        for (CAbstractUPnPDevice* device : copies.devices) {
            std::printf("%s  %s  %s\n", utf8(device->GetFriendlyName()).c_str(),
                        utf8(device->GetIPAddress()).c_str(),
                        utf8(device->GetLocationURL()).c_str());
            printSharesOf(session, device);
        }
    }

    int status = 0;
    if (remoteName != nullptr) {
        int32_t error = -1;
        fnUPnPMapSharedPath(session, LBStringArgFromUtf8(userName), LBStringArgFromUtf8(password),
                            LBStringArgFromUtf8(remoteName), LBStringArgFromUtf8(localName), 0,
                            &error);
        std::printf("map %s to %s: error %d\n", remoteName, localName, error);
        if (error == 0) {
            int32_t unmapError = -1;
            fnUPnPUnmapSharedPath(session, LBStringArgFromUtf8(localName), 1, &unmapError);
            std::printf("unmap %s: error %d\n", localName, unmapError);
            status = unmapError == 0 ? 0 : 1;
        } else {
            status = 1;
        }
    }

    fnUPnPStopEventMonitor(session);
    fnUPnPUnRegisterEventMonitor(session);
    fnUPnPCloseSession(session);
    return status;
}
