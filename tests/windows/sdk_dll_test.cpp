// drivescout_sdk.dll as another program meets it: loaded by path, its fifteen functions found by
// name and by number (1 to 15 in the alphabetical order of the names), and a session run through
// the loaded functions alone. That session runs the DLL's own discovery, which searches on every
// interface the system lists: it runs only where they are all loopback (a private namespace).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drivescout/sdk.h"
#include "support/netns.h"

namespace {

const std::vector<std::string> kExports = {
    "fnCreateUPnPDeviceObject",
    "fnDeleteUPnPDeviceObject",
    "fnGetUPnPDeviceList",
    "fnIsUPnPScanning",
    "fnIsUPnPSharedPathMapped",
    "fnUPnPCloseSession",
    "fnUPnPFree",
    "fnUPnPGetProperties",
    "fnUPnPMapSharedPath",
    "fnUPnPOpenSession",
    "fnUPnPRegisterEventMonitor",
    "fnUPnPStartEventMonitor",
    "fnUPnPStopEventMonitor",
    "fnUPnPUnRegisterEventMonitor",
    "fnUPnPUnmapSharedPath",
};

class SdkDll : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = ::LoadLibraryA(DRIVESCOUT_BINARY_DIR "/drivescout_sdk.dll");
        ASSERT_NE(module_, nullptr) << "LoadLibrary failed: " << ::GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr)
            ::FreeLibrary(module_);
    }
    template <class Function>
    Function find(const char* name) {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    }

    HMODULE module_ = nullptr;
};

void DRIVESCOUT_CALLBACK ignoreEvent(int32_t, CAbstractUPnPDevice*, void*) {}

TEST_F(SdkDll, ExportsTheFifteenFunctionsByNameNumberedInAlphabeticalOrder) {
    ASSERT_TRUE(std::is_sorted(kExports.begin(), kExports.end()));
    for (size_t i = 0; i < kExports.size(); ++i) {
        SCOPED_TRACE(kExports[i]);
        const FARPROC byName = ::GetProcAddress(module_, kExports[i].c_str());
        const FARPROC byNumber = ::GetProcAddress(module_, MAKEINTRESOURCEA(i + 1));
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName, byNumber);
    }
    EXPECT_EQ(::GetProcAddress(module_, MAKEINTRESOURCEA(16)), nullptr);
}

TEST_F(SdkDll, ExportsNothingElse) {
    // The SDK's own C++ code stays inside: the export directory lists the fifteen alone,
    // numbered from 1.
    const auto* base = reinterpret_cast<const unsigned char*>(module_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(entry.VirtualAddress, 0u);
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, kExports.size());
    EXPECT_EQ(exports->NumberOfNames, kExports.size());
}

TEST_F(SdkDll, ASessionRunsThroughTheLoadedFunctions) {
    DS_REQUIRE_PRIVATE_NETNS();
    auto open = find<int32_t (*)(UPnPSession*)>("fnUPnPOpenSession");
    auto registerMonitor = find<int32_t (*)(UPnPSession, LBStringArg, UPnPEventCallback, void*)>(
        "fnUPnPRegisterEventMonitor");
    auto start = find<int32_t (*)(UPnPSession)>("fnUPnPStartEventMonitor");
    auto scanning = find<int32_t (*)(UPnPSession, int32_t*)>("fnIsUPnPScanning");
    auto stop = find<int32_t (*)(UPnPSession)>("fnUPnPStopEventMonitor");
    auto unregisterMonitor = find<int32_t (*)(UPnPSession)>("fnUPnPUnRegisterEventMonitor");
    auto close = find<int32_t (*)(UPnPSession)>("fnUPnPCloseSession");
    auto mapped = find<int32_t (*)(UPnPSession, LBStringArg)>("fnIsUPnPSharedPathMapped");
    auto freeBlock = find<int32_t (*)(void*)>("fnUPnPFree");
    ASSERT_TRUE(open && registerMonitor && start && scanning && stop && unregisterMonitor &&
                close && mapped && freeBlock);

    // The text argument's buffer comes from this program's malloc and is freed by the DLL: both
    // use msvcrt.dll.
    EXPECT_EQ(mapped(nullptr, LBStringArgFromUtf8("\\\\nas\\Public")), 1);
    EXPECT_EQ(freeBlock(nullptr), 0);

    UPnPSession session = nullptr;
    ASSERT_EQ(open(&session), 0);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(registerMonitor(session, LBStringArgFromUtf8("3b2b54a3"), ignoreEvent, nullptr), 0);
    EXPECT_EQ(start(session), 0);
    int32_t running = -1;
    EXPECT_EQ(scanning(session, &running), 0);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(stop(session), 0);
    EXPECT_EQ(unregisterMonitor(session), 0);
    EXPECT_EQ(close(session), 0);
}

}  // namespace
