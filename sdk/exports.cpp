// The fifteen exported C functions: thin wrappers that make sure the SDK instance exists and
// forward to CUPnPSDK. Every text argument arrives as a malloc'ed one-pointer LBStringArg and is
// adopted on entry, so it is released on every path, refusals included.

#include <cstdlib>
#include <new>

#include "drivescout/sdk.h"
#include "sdk/upnp_device.h"
#include "sdk/upnp_sdk.h"

extern "C" {

CAbstractUPnPDevice* fnCreateUPnPDeviceObject() {
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return nullptr;
    // Owned by the caller from here on, who destroys it with fnDeleteUPnPDeviceObject.
    return new (std::nothrow) CUPnPProxyDevice();
}

void fnDeleteUPnPDeviceObject(CAbstractUPnPDevice* device) {
    // The caller's device goes even when the instance cannot be made; nothing else would free it.
    delete device;
    CUPnPSDK::EnsureInstance();
}

UPnPDeviceList* fnGetUPnPDeviceList(UPnPSession, LBStringArg filter) {
    LBString ownedFilter = LBString::Adopt(filter);
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return nullptr;
    return CUPnPSDK::GetDeviceList();
}

int32_t fnIsUPnPScanning(UPnPSession session, int32_t* scanning) {
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::IsScanning(session, scanning);
}

int32_t fnIsUPnPSharedPathMapped(UPnPSession, LBStringArg path) {
    // Answers 1 without looking at anything and without making the instance.
    LBString ownedPath = LBString::Adopt(path);
    return 1;
}

int32_t fnUPnPCloseSession(UPnPSession session) {
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::CloseSession(session);
}

int32_t fnUPnPFree(void* block) {
    // Freed even when the instance cannot be made; nothing else would free it.
    std::free(block);
    return CUPnPSDK::EnsureInstance() == nullptr ? 1 : 0;
}

int32_t fnUPnPGetProperties(UPnPSession session, LBStringArg udnSuffix, LBStringArg ipAddress,
                            CAbstractUPnPDevice** device) {
    LBString suffix = LBString::Adopt(udnSuffix);
    LBString address = LBString::Adopt(ipAddress);
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::GetProperties(session, std::move(suffix), std::move(address), device);
}

int32_t fnUPnPMapSharedPath(UPnPSession session, LBStringArg userName, LBStringArg password,
                            LBStringArg remoteName, LBStringArg localName, int32_t persist,
                            int32_t* error) {
    LBString user = LBString::Adopt(userName);
    LBString secret = LBString::Adopt(password);
    LBString remote = LBString::Adopt(remoteName);
    LBString local = LBString::Adopt(localName);
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::MapSharedPath(session, std::move(user), std::move(secret), std::move(remote),
                                   std::move(local), persist, error);
}

int32_t fnUPnPOpenSession(UPnPSession* session) {
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::OpenSession(session);
}

int32_t fnUPnPRegisterEventMonitor(UPnPSession session, LBStringArg filter,
                                   UPnPEventCallback callback, void* context) {
    LBString ownedFilter = LBString::Adopt(filter);
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::RegisterEventMonitor(session, std::move(ownedFilter), callback, context);
}

int32_t fnUPnPStartEventMonitor(UPnPSession session) {
    CUPnPSDK* instance = CUPnPSDK::EnsureInstance();
    if (instance == nullptr)
        return 1;
    return CUPnPSDK::StartEventMonitor(session, instance);
}

int32_t fnUPnPStopEventMonitor(UPnPSession session) {
    if (CUPnPSDK::EnsureInstance() == nullptr || session == nullptr)
        return 1;
    return CUPnPSDK::StopEventMonitor(session);
}

int32_t fnUPnPUnRegisterEventMonitor(UPnPSession session) {
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::UnRegisterEventMonitor(session);
}

int32_t fnUPnPUnmapSharedPath(UPnPSession session, LBStringArg name, int32_t force,
                              int32_t* error) {
    LBString ownedName = LBString::Adopt(name);
    if (CUPnPSDK::EnsureInstance() == nullptr)
        return 1;
    return CUPnPSDK::UnmapSharedPath(session, std::move(ownedName), force, error);
}

}  // extern "C"
