// A program outside the source tree that uses the installed SDK the way other programs do: only
// <drivescout/sdk.h> and libdrivescout_sdk.so. scripts/test-sdk-install builds it against an
// installed copy and runs it next to the NAS simulator (one Homevault and one other device) and a
// Samba server for the Homevault's address. It calls every one of the fifteen functions, checks
// each result, prints one line per check and exits non-zero when any check fails.
//
//   sdk_outside_program NAS-ADDRESS HOMEVAULT-UDN-PREFIX USER PASSWORD OTHER-USER OTHER-PASSWORD

#include <drivescout/sdk.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

int g_failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok)
        ++g_failures;
}

std::string utf8(const char16_t* text) {
    return LBString(text).ToUtf8();
}

// What one session's callback heard: copies of the devices, since a device handed to a callback
// lives only during the call.
struct Heard {
    std::mutex mutex;
    std::vector<CAbstractUPnPDevice*> added;
    int removed = 0;

    ~Heard() {
        for (CAbstractUPnPDevice* device : added)
            fnDeleteUPnPDeviceObject(device);
    }
    size_t count() {
        std::lock_guard lock(mutex);
        return added.size();
    }
};

void onEvent(int32_t kind, CAbstractUPnPDevice* device, void* context) {
    auto* heard = static_cast<Heard*>(context);
    std::lock_guard lock(heard->mutex);
    if (kind == DEVICE_ADDED && device != nullptr) {
        CAbstractUPnPDevice* copy = fnCreateUPnPDeviceObject();
        if (copy != nullptr) {
            copy->CopyFrom(device);
            heard->added.push_back(copy);
        }
    } else if (kind == DEVICE_REMOVED) {
        ++heard->removed;
    }
}

bool waitFor(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

LBStringArg arg(const std::string& text) {
    return LBStringArgFromUtf8(text.c_str());
}

int32_t map(UPnPSession session, const std::string& user, const std::string& password,
            const std::string& remote, const std::string& local, int32_t persist) {
    int32_t error = -1;
    int32_t result = fnUPnPMapSharedPath(session, arg(user), arg(password), arg(remote), arg(local),
                                         persist, &error);
    return result != 0 ? -result : error;
}

int32_t unmap(UPnPSession session, const std::string& name) {
    int32_t error = -1;
    int32_t result = fnUPnPUnmapSharedPath(session, arg(name), 1, &error);
    return result != 0 ? -result : error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr,
                     "usage: %s NAS-ADDRESS UDN-PREFIX USER PASSWORD OTHER-USER OTHER-PASSWORD\n",
                     argv[0]);
        return 2;
    }
    const std::string nas = argv[1];
    const std::string prefix = argv[2];
    const std::string user = argv[3];
    const std::string password = argv[4];
    const std::string otherUser = argv[5];
    const std::string otherPassword = argv[6];
    const std::string share = "\\\\" + nas + "\\";

    // --- Before anything else.
    check(fnIsUPnPSharedPathMapped(nullptr, arg("Z:")) == 1, "IsUPnPSharedPathMapped answers 1");
    check(fnUPnPFree(nullptr) == 0, "UPnPFree(null) is 0");
    check(fnUPnPFree(std::malloc(16)) == 0, "UPnPFree frees a block of the process allocator");
    CAbstractUPnPDevice* empty = fnCreateUPnPDeviceObject();
    check(empty != nullptr && empty->GetShareCount() == 0 && utf8(empty->GetIPAddress()).empty(),
          "CreateUPnPDeviceObject gives an empty device");
    fnDeleteUPnPDeviceObject(empty);
    fnDeleteUPnPDeviceObject(nullptr);

    // --- Sessions, one hearing every device and one only the Homevault.
    UPnPSession all = nullptr;
    UPnPSession homevault = nullptr;
    check(fnUPnPOpenSession(&all) == 0 && all != nullptr, "OpenSession");
    check(fnUPnPOpenSession(&homevault) == 0 && homevault != nullptr && homevault != all,
          "OpenSession, a second one");
    int32_t scanning = -1;
    check(fnIsUPnPScanning(nullptr, &scanning) == 1, "IsUPnPScanning(null) refuses");
    check(fnUPnPStopEventMonitor(nullptr) == 1, "StopEventMonitor(null) refuses");
    check(fnUPnPStartEventMonitor(all) == 1, "StartEventMonitor before any registration refuses");

    Heard heardAll;
    Heard heardHomevault;
    check(fnUPnPRegisterEventMonitor(all, LBStringArg{nullptr}, onEvent, &heardAll) == 0,
          "RegisterEventMonitor without a filter");
    check(fnUPnPRegisterEventMonitor(homevault, arg(prefix), onEvent, &heardHomevault) == 0,
          "RegisterEventMonitor with the Homevault's UDN prefix");
    check(fnUPnPStartEventMonitor(all) == 0 && fnUPnPStartEventMonitor(homevault) == 0,
          "StartEventMonitor");
    check(fnIsUPnPScanning(all, &scanning) == 0 && scanning == 1, "IsUPnPScanning says 1");

    check(waitFor([&] { return heardAll.count() >= 2 && heardHomevault.count() >= 1; }),
          "both sessions hear of devices");
    std::string suffix;
    {
        std::lock_guard lock(heardHomevault.mutex);
        bool onlyHomevaults = true;
        for (CAbstractUPnPDevice* device : heardHomevault.added)
            onlyHomevaults = onlyHomevaults && utf8(device->GetUDNPrefix()) == prefix &&
                             utf8(device->GetIPAddress()) == nas;
        check(onlyHomevaults, "the filtered session hears only of the Homevault");
        if (!heardHomevault.added.empty())
            suffix = utf8(heardHomevault.added.front()->GetUDNSuffix());
    }
    {
        std::lock_guard lock(heardAll.mutex);
        bool other = false;
        for (CAbstractUPnPDevice* device : heardAll.added)
            other = other || utf8(device->GetUDNPrefix()) != prefix;
        check(other, "the unfiltered session hears of the other device too");
    }

    UPnPDeviceList* list = fnGetUPnPDeviceList(all, arg("anything"));
    check(list != nullptr && list == fnGetUPnPDeviceList(nullptr, LBStringArg{nullptr}),
          "GetUPnPDeviceList gives the same list whatever it is given");

    // --- Properties: the suffix in capitals finds the device; its shares come from Samba.
    std::string upper = suffix;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    CAbstractUPnPDevice* listed = nullptr;
    check(fnUPnPGetProperties(all, arg(upper), arg(nas), &listed) == 0 && listed != nullptr,
          "GetProperties finds the Homevault");
    if (listed != nullptr) {
        CAbstractUPnPDevice* copy = fnCreateUPnPDeviceObject();
        copy->CopyFrom(listed);
        std::vector<std::string> names;
        for (const LBString& name : *copy->GetShareList())
            names.push_back(name.ToUtf8());
        auto has = [&](const std::string& name) {
            for (const std::string& n : names)
                if (n == name)
                    return true;
            return false;
        };
        std::string joined;
        for (const std::string& n : names)
            joined += " " + n;
        check(has("Public") && has(user) && has(otherUser), "its shares are listed:" + joined);
        fnDeleteUPnPDeviceObject(copy);
    }
    CAbstractUPnPDevice* none = reinterpret_cast<CAbstractUPnPDevice*>(1);
    check(fnUPnPGetProperties(all, arg("000000000000"), arg(nas), &none) == 0 && none == nullptr,
          "GetProperties of an unknown device gives null");
    check(fnUPnPGetProperties(nullptr, arg(suffix), arg(nas), &none) == 1,
          "GetProperties(null session) refuses");

    // --- Mapping and unmapping, with every code that matters.
    check(map(all, "", "", share + "Public", "Z:", 0) == 0, "Public as guest on Z:");
    check(unmap(all, "Z:") == 0, "unmap Z:");
    check(unmap(all, "Z:") == 2250, "unmap Z: again gives 2250");
    check(map(all, user, password, share + user, "Y:", 1) == 0, user + " on Y:, remembered");
    int32_t wrong = map(all, user, "Queen-of-Hearts", share + user, "X:", 1);
    check(wrong == 1326,
          user + " with a wrong password gives 1326 (" + std::to_string(wrong) + ")");
    check(map(all, user, "", share + user, "X:", 1) == 86, user + " without a password gives 86");
    check(map(all, otherUser, otherPassword, share + otherUser, "X:", 0) == 1219,
          otherUser + " while " + user + " is connected gives 1219");
    check(map(all, "", "", share + "Public", "Y:", 0) == 85, "Public on Y:, in use, gives 85");
    check(map(all, "", "", share + "nothing", "X:", 0) == 67, "a share that is not there gives 67");
    check(unmap(all, "Y:") == 0, "Y: survived every failed mapping and is unmapped");
    check(map(nullptr, "", "", share + "Public", "Z:", 0) == -1, "MapSharedPath(null) refuses");
    check(unmap(nullptr, "Z:") == -1, "UnmapSharedPath(null) refuses");

    // --- Ending: the last unregistration stops discovery; closing releases the devices.
    check(fnUPnPStopEventMonitor(all) == 0, "StopEventMonitor");
    check(fnUPnPUnRegisterEventMonitor(all) == 0, "UnRegisterEventMonitor");
    check(fnIsUPnPScanning(homevault, &scanning) == 0 && scanning == 1,
          "discovery goes on for the other session");
    check(fnUPnPUnRegisterEventMonitor(homevault) == 0, "UnRegisterEventMonitor, the last one");
    check(fnIsUPnPScanning(homevault, &scanning) == 0 && scanning == 0, "IsUPnPScanning says 0");
    check(!list->empty(), "devices stay listed until the last session closes");
    check(fnUPnPCloseSession(all) == 0, "CloseSession");
    check(fnUPnPCloseSession(homevault) == 0, "CloseSession, the last one");
    check(fnGetUPnPDeviceList(nullptr, LBStringArg{nullptr})->empty(), "the list is empty");
    check(fnUPnPCloseSession(nullptr) == 1, "CloseSession(null) refuses");

    std::printf("%d check(s) failed\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
