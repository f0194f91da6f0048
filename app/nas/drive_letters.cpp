#include "app/nas/drive_letters.h"

#include <cwctype>
#include <string>

#include "platform/network_provider.h"
#include "platform/win_error.h"
#include "sdk/upnp_sdk.h"

namespace nas {
namespace {

// Walked from its end: Z is tried first, A last.
constexpr char16_t kLetters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kLetterCount = 26;

// What a mapping or cancellation reports when the SDK refuses the call outright (no session).
constexpr int32_t kRefused = static_cast<int32_t>(platform::kErrorInvalidParameter);

LBString driveName(char16_t letter) {
    const char16_t name[] = {letter, u':', u'\0'};
    return LBString(name);
}

// The remote name connected to `drive`, less trailing white space and backslashes; false when
// the drive has no connection.
bool connectionOf(const LBString& drive, LBString& remote) {
    std::u16string name;
    if (platform::networkProvider().getConnection(drive.View(), name) != platform::kNoError)
        return false;
    remote = LBString::FromUtf16(name);
    remote.TrimRight();
    remote.TrimRight(u'\\');
    return true;
}

LBString uncPath(const LBString& address, const LBString& share) {
    return LBString(u"\\\\") + address + LBString(u"\\") + share;
}

void cancelBeforeMapping(const LBString& drive) {
    // An empty name is no drive: cancelling it could only hit a connection without a letter.
    if (!drive.IsEmpty())
        platform::networkProvider().cancelConnection(drive.View(), true);
}

// The texts go in as copies: the export takes their buffers over.
LBStringArg handOver(LBString text) {
    return text.Detach();
}

int32_t mapShare(UPnPSession session, const LBString& user, const LBString& password,
                 const LBString& path, const LBString& drive, int32_t persist) {
    int32_t code = kRefused;
    fnUPnPMapSharedPath(session, handOver(user), handOver(password), handOver(path),
                        handOver(drive), persist, &code);
    return code;
}

int32_t unmapShare(UPnPSession session, const LBString& name) {
    int32_t code = kRefused;
    CUPnPSDK::UnmapSharedPath(session, name, 1, &code);
    return code;
}

// A mapping made without a letter can only be cancelled by its remote name.
const LBString& nameToCancel(const LBString& drive, const LBString& path) {
    return drive.IsEmpty() && !path.IsEmpty() ? path : drive;
}

}  // namespace

int32_t GetUsedDriveLetters(std::set<char16_t>& used) {
    used.clear();
    std::u16string buffer;
    const uint32_t units = platform::networkProvider().getLogicalDriveStrings(buffer);
    // A list with no drive at all is just its closing zero. Here, unlike on a system that always
    // has its own disk, a user may have no drive letter in use; that is no failure.
    if (units == 0)
        return buffer.empty() ? 0 : 1;
    buffer.resize(std::min<std::size_t>(buffer.size(), units));
    // "C:\<0>D:\<0>...": one root per zero-terminated entry.
    std::size_t start = 0;
    while (start < buffer.size()) {
        std::size_t end = buffer.find(u'\0', start);
        if (end == std::u16string::npos)
            end = buffer.size();
        LBString entry =
            LBString::FromUtf16(std::u16string_view(buffer).substr(start, end - start));
        start = end + 1;
        entry.TrimLeft();
        entry.TrimRight();
        if (entry.IsEmpty())
            continue;
        used.insert(
            static_cast<char16_t>(std::towupper(static_cast<wint_t>(entry.GetString()[0]))));
    }
    return 1;
}

int32_t PickFreeDrive(LBString& drive) {
    std::set<char16_t> used;
    if (!GetUsedDriveLetters(used))
        return 0;
    for (int i = kLetterCount - 1; i >= 0; --i) {
        if (!used.contains(kLetters[i])) {
            drive = driveName(kLetters[i]);
            return 1;
        }
    }
    return 0;
}

LBString FindMappedDrive(const LBString& path) {
    for (int i = kLetterCount - 1; i >= 0; --i) {
        const LBString drive = driveName(kLetters[i]);
        LBString remote;
        if (connectionOf(drive, remote) && remote.CompareNoCase(path) == 0)
            return drive;
    }
    return {};
}

int32_t MapPublicFolder(NasContext& context) {
    context.strPublicPath = uncPath(context.strAddress, u"Public");
    context.strPublicDrive = FindMappedDrive(context.strPublicPath);
    context.bPublicMapped = 1;
    if (!context.strPublicDrive.IsEmpty())
        return 0;

    LBString drive;
    PickFreeDrive(drive);  // with no free letter the folder is connected without one
    cancelBeforeMapping(drive);
    const int32_t code = mapShare(context.session, {}, {}, context.strPublicPath, drive, 0);
    if (code == 0) {
        context.strPublicDrive = drive;
        context.bPublicMapped = 1;
    } else {
        context.bPublicMapped = 0;
    }
    return code;
}

int32_t MapPrivateFolder(NasContext& context, LBString user, LBString password,
                         const PasswordProof& prove) {
    const LBString path = uncPath(context.strAddress, user);
    if (const LBString found = FindMappedDrive(path); !found.IsEmpty()) {
        // Whoever made that connection, it says nothing about the password typed now.
        const int32_t proof = prove ? prove(user, password) : int32_t(platform::kErrorLogonFailure);
        if (proof != 0) {
            return proof;
        }
        context.bPrivateMapped = 1;
        context.strPrivatePath = path;
        context.strPrivateDrive = found;
        context.strUserName = user;
        context.strPassword = password;
        return 0;
    }

    LBString drive;
    PickFreeDrive(drive);
    cancelBeforeMapping(drive);
    const int32_t code = mapShare(context.session, user, password, path, drive, 1);
    if (code == 0) {
        context.bPrivateMapped = 1;
        context.strPrivatePath = path;
        context.strPrivateDrive = drive;
        context.strUserName = user;
        context.strPassword = password;
    }
    return code;
}

int32_t FindPrivateMapping(NasContext& context) {
    const LBString prefix = LBString(u"\\\\") + context.strAddress + LBString(u"\\");
    for (int i = kLetterCount - 1; i >= 0; --i) {
        const LBString drive = driveName(kLetters[i]);
        LBString remote;
        if (!connectionOf(drive, remote) || remote.Find(prefix.GetString()) < 0)
            continue;
        const LBString share = remote.Right(remote.GetLength() - prefix.GetLength());
        if (share.IsEmpty() || share.CompareNoCase(u"Public") == 0 || share.Find(u"Public\\") >= 0)
            continue;
        context.bPrivateMapped = 1;
        context.strPrivateDrive = drive;
        context.strPrivatePath = remote;
        context.strUserName = share;
        break;
    }
    return context.bPrivateMapped;
}

int32_t SignOutPreviousUser(NasContext& context) {
    if (!context.strUserName.IsEmpty()) {
        const int32_t code = unmapShare(
            context.session, nameToCancel(context.strPrivateDrive, context.strPrivatePath));
        if (code != 0)
            return code;
    }
    return unmapShare(context.session, nameToCancel(context.strPublicDrive, context.strPublicPath));
}

}  // namespace nas
