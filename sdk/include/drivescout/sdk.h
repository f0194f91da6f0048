#pragma once

// Drive Scout SDK: UPnP discovery of the maker's NAS devices, their shares, and mapping a share as
// a network drive. Link with libdrivescout_sdk.so (or call into the wizard executable, which
// exports the same functions).
//
// Order of use:
//   fnUPnPOpenSession → fnUPnPRegisterEventMonitor → fnUPnPStartEventMonitor → (callbacks arrive;
//   fnGetUPnPDeviceList, fnUPnPGetProperties, fnUPnPMapSharedPath, fnUPnPUnmapSharedPath) →
//   fnUPnPStopEventMonitor → fnUPnPUnRegisterEventMonitor → fnUPnPCloseSession.
//
// Results: 0 = done, 1 = refused (null session, SDK state that cannot be made). The outcome of a
// network operation comes back separately as a platform error code in an out int (0 = success;
// 86 / 1326 wrong password, 1219 another user already connected to that server, 67 no such
// share, 2250 not connected).
//
// Text arguments: LBStringArg by value, a zero-terminated UTF-16 buffer from malloc (or null for
// an empty text). The SDK takes the buffer over and frees it on every path, refusals included:
// never use or free a buffer after handing it in. Build one with `LBStringArgFromUtf16` or
// `LBStringArgFromUtf8` below.
//
// Threads: every function may be called from any thread once the first call has returned (make
// the first call before starting other threads). Event callbacks run on the SDK's discovery
// thread while the SDK's monitor lock is held: a callback must return quickly and must not wait
// for a thread that is itself calling into the SDK. After fnUPnPStopEventMonitor or
// fnUPnPUnRegisterEventMonitor returns, that session's callback is not running and is not called
// again.
//
// Devices: the list from fnGetUPnPDeviceList is the SDK's live list. While discovery runs, the
// discovery thread appends devices to it and removes and destroys them, and the SDK holds no lock
// for you, so from your own threads:
// - Safe: reading the list and its devices' texts inside your event callback (the list changes
//   only on the discovery thread, which is running your callback, and no close can empty it
//   meanwhile); reading them once no session is registered any more (discovery has stopped),
//   until a fnUPnPCloseSession, which then destroys every listed device.
// - Safe: fnUPnPGetProperties from any thread, and CopyFrom of a listed device into a device of
//   your own, in a callback, or on another thread under a lock of yours that your DEVICE_REMOVED
//   callback also takes before it marks the device gone (the device is destroyed only after that
//   callback returns). The property query may replace a listed device's share list at any time,
//   from any thread; CopyFrom never sees it half replaced.
// - Not safe: iterating the list from another thread while discovery runs; iterating a listed
//   device's GetShareList() anywhere while another thread may query its properties (copy it
//   instead); keeping a listed device's pointer or texts beyond its DEVICE_REMOVED callback.
// To keep a device, copy it: `CAbstractUPnPDevice* copy = fnCreateUPnPDeviceObject();
// copy->CopyFrom(device);` and later `fnDeleteUPnPDeviceObject(copy)`. Texts returned by a device
// are valid until the device changes or is destroyed; they are never null.
//
// Before the host program exits (or unloads this library): for every session, call
// fnUPnPStopEventMonitor, fnUPnPUnRegisterEventMonitor and fnUPnPCloseSession, from a thread
// that is not inside a callback. The last unregistration stops discovery and joins the SDK's
// threads; after it no callback runs, so your callbacks' contexts may go. Closing a session that
// is still registered unregisters it first. A program that exits with discovery running has its
// threads stopped while static objects are destroyed, and callbacks may still run until then:
// their contexts must outlive main. Never unload the library while a session is registered.
// A callback must not throw (an exception is caught and traced, and the event ends there), must
// not call exit(), and must not wait for a thread that is itself calling into the SDK.
//
// libdrivescout_sdk.so.1 exports only the functions below and the members of LBString and
// CAbstractUPnPDevice; nothing else of it can clash with, or be replaced by, the host's symbols.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drivescout/lbstring.h"

// An open session; made by fnUPnPOpenSession, ended by fnUPnPCloseSession.
typedef struct UPnPSessionBlock* UPnPSession;

enum UPnPEventKind : int32_t {
    DEVICE_ADDED = 0,
    DEVICE_REMOVED = 1,
};

// A discovered device. Identity: (GetUDNSuffix, GetIPAddress), compared without regard to case.
class CAbstractUPnPDevice {
  public:
    virtual ~CAbstractUPnPDevice();
    virtual const char16_t* GetIPAddress() const = 0;
    virtual const char16_t* GetFriendlyName() const = 0;
    // The device's own list of share names (not a copy); never null; the device owns it.
    virtual std::vector<LBString>* GetShareList() = 0;
    virtual int32_t GetShareCount() const = 0;
    // Copies the other device's texts and appends its shares to this device's; null: no change.
    virtual void CopyFrom(CAbstractUPnPDevice* other) = 0;
    virtual const char16_t* GetLocationURL() const = 0;
    virtual const char16_t* GetSpareText() const = 0;
    // The UDN without "uuid:", after its last "-" (suffix) and before it (prefix).
    virtual const char16_t* GetUDNSuffix() const = 0;
    virtual const char16_t* GetUDNPrefix() const = 0;
    virtual uint64_t GetSpareValue1() const = 0;
    virtual uint64_t GetSpareValue2() const = 0;
};

// A device event. `device` is null for a removal that matched no listed device; it is valid only
// during the call.
typedef void (*UPnPEventCallback)(int32_t eventKind, CAbstractUPnPDevice* device, void* context);

typedef std::vector<CAbstractUPnPDevice*> UPnPDeviceList;

#if defined(__GNUC__)
#define DRIVESCOUT_SDK_API __attribute__((visibility("default")))
#else
#define DRIVESCOUT_SDK_API
#endif

extern "C" {

// A new, empty device owned by the caller (destroy with fnDeleteUPnPDeviceObject); null on
// failure.
DRIVESCOUT_SDK_API CAbstractUPnPDevice* fnCreateUPnPDeviceObject();
// Destroys a device made by fnCreateUPnPDeviceObject; null is ignored.
DRIVESCOUT_SDK_API void fnDeleteUPnPDeviceObject(CAbstractUPnPDevice* device);
// The SDK's live device list (the same pointer on every call); neither argument narrows it.
DRIVESCOUT_SDK_API UPnPDeviceList* fnGetUPnPDeviceList(UPnPSession session, LBStringArg filter);
// Out 1 while discovery runs, else 0.
DRIVESCOUT_SDK_API int32_t fnIsUPnPScanning(UPnPSession session, int32_t* scanning);
// Always 1; looks at nothing.
DRIVESCOUT_SDK_API int32_t fnIsUPnPSharedPathMapped(UPnPSession session, LBStringArg path);
// Frees the handle; with no monitor left, destroys every listed device. 1 for a null handle.
DRIVESCOUT_SDK_API int32_t fnUPnPCloseSession(UPnPSession session);
// Frees a block from the process allocator (malloc); null is ignored. Returns 0.
DRIVESCOUT_SDK_API int32_t fnUPnPFree(void* block);
// Finds the listed device (udnSuffix, ipAddress), fills its share list and stores it in *device
// (null when none matches).
DRIVESCOUT_SDK_API int32_t fnUPnPGetProperties(UPnPSession session, LBStringArg udnSuffix,
                                               LBStringArg ipAddress, CAbstractUPnPDevice** device);
// Maps remoteName ("\\host\share") to localName ("Z:"); *error gets the platform error code.
// With persist, a user name and a password, the connection is remembered with its credential.
DRIVESCOUT_SDK_API int32_t fnUPnPMapSharedPath(UPnPSession session, LBStringArg userName,
                                               LBStringArg password, LBStringArg remoteName,
                                               LBStringArg localName, int32_t persist,
                                               int32_t* error);
DRIVESCOUT_SDK_API int32_t fnUPnPOpenSession(UPnPSession* session);
// Registers the session's one monitor (a second registration keeps the first). `filter` is a UDN
// prefix; empty hears of every device. Events flow after fnUPnPStartEventMonitor.
DRIVESCOUT_SDK_API int32_t fnUPnPRegisterEventMonitor(UPnPSession session, LBStringArg filter,
                                                      UPnPEventCallback callback, void* context);
DRIVESCOUT_SDK_API int32_t fnUPnPStartEventMonitor(UPnPSession session);
DRIVESCOUT_SDK_API int32_t fnUPnPStopEventMonitor(UPnPSession session);
DRIVESCOUT_SDK_API int32_t fnUPnPUnRegisterEventMonitor(UPnPSession session);
// Cancels the connection of a local name ("Z:") or remote name; *error gets the error code.
DRIVESCOUT_SDK_API int32_t fnUPnPUnmapSharedPath(UPnPSession session, LBStringArg name,
                                                 int32_t force, int32_t* error);

}  // extern "C"

// A text argument from zero-terminated UTF-16 text (null gives the empty text). Returns a null
// buffer when memory runs out, which the SDK reads as an empty text.
inline LBStringArg LBStringArgFromUtf16(const char16_t* text) {
    if (text == nullptr || text[0] == 0)
        return {nullptr};
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    auto* buffer = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
    if (buffer != nullptr)
        std::memcpy(buffer, text, (n + 1) * sizeof(char16_t));
    return {buffer};
}

// A text argument from zero-terminated UTF-8 text; each invalid byte becomes U+FFFD.
inline LBStringArg LBStringArgFromUtf8(const char* text) {
    if (text == nullptr || text[0] == 0)
        return {nullptr};
    size_t bytes = std::strlen(text);
    // Never more UTF-16 units than bytes.
    auto* buffer = static_cast<char16_t*>(std::malloc((bytes + 1) * sizeof(char16_t)));
    if (buffer == nullptr)
        return {nullptr};
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0, out = 0;
    while (i < bytes) {
        unsigned char lead = s[i];
        size_t extra = lead < 0x80             ? 0
                       : (lead & 0xE0) == 0xC0 ? 1
                       : (lead & 0xF0) == 0xE0 ? 2
                       : (lead & 0xF8) == 0xF0 ? 3
                                               : 4;
        uint32_t cp = 0xFFFD;
        size_t used = 1;
        if (extra == 0) {
            cp = lead;
        } else if (extra <= 3 && i + extra < bytes) {
            uint32_t value = lead & (0x3Fu >> extra);
            size_t k = 1;
            while (k <= extra && (s[i + k] & 0xC0) == 0x80) {
                value = (value << 6) | (s[i + k] & 0x3Fu);
                ++k;
            }
            static constexpr uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
            if (k > extra && value >= kMinimum[extra] && value <= 0x10FFFF &&
                (value < 0xD800 || value > 0xDFFF)) {
                cp = value;
                used = extra + 1;
            }
        }
        i += used;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            buffer[out++] = char16_t(0xD800 + (cp >> 10));
            buffer[out++] = char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            buffer[out++] = char16_t(cp);
        }
    }
    buffer[out] = 0;
    return {buffer};
}
