#pragma once

// Drive letters for the chosen NAS's folders: the Public folder as soon as a device is chosen, the
// user's own folder (share name = user name) at sign-in. A drive that already points at a folder
// is reused; a new mapping takes the highest free letter, Z first. Everything found or made is
// written to the NasContext.
//
// Drives are written as one capital letter and a colon ("Z:"). UNC paths are "\\", the NAS's
// address, "\" and the share name.
//
// Connections are read and cancelled through the current network provider
// (platform::networkProvider()); mappings are made and removed through the SDK with the
// context's session.
//
// Threads: the user-interface thread (the calls block while the provider works).

#include <cstdint>
#include <functional>
#include <set>

#include "app/nas/nas_context.h"
#include "sdk/LBString.h"

namespace nas {

// Gives the Public folder a drive: reuses one that points there, else maps
// "\\<address>\Public" as guest to the highest free letter (without a letter when none is free),
// not remembered. 0 when the folder has a drive (bPublicMapped 1, strPublicDrive set; empty for a
// connection without a letter), else the platform error code of the mapping (bPublicMapped 0).
int32_t MapPublicFolder(NasContext& context);

// Proves `password` for `user` by other means than a new mapping: 0 when proven, else the
// platform error code to report (1326 refused, another code when the proof could not be asked).
using PasswordProof = std::function<int32_t(const LBString& user, const LBString& password)>;

// Gives the folder of `user` a drive. A drive that already points at "\\<address>\<user>" proves
// nothing about the password typed now: it is reused only when `prove` accepts the password,
// and then recorded as this user's (user, password, path and that drive). Otherwise the folder
// is mapped with `user` and `password` (which proves them) to the highest free letter as a
// remembered connection, and user, password, path and drive are recorded. 0 when the folder has
// a drive and the password is proven, else the platform error code (86 wrong password, 1326
// unknown user or bad password, 1219 another user of that server is connected) or what `prove`
// returned. Without `prove` a drive found in place is never taken as proof (1326).
int32_t MapPrivateFolder(NasContext& context, LBString user, LBString password,
                         const PasswordProof& prove);

// Looks for a drive, Z first, connected to a folder of this NAS other than Public (or a folder
// inside Public); the first one found sets bPrivateMapped, strPrivateDrive, strPrivatePath and
// strUserName (everything after "\\<address>\"). Returns bPrivateMapped.
int32_t FindPrivateMapping(NasContext& context);

// Cancels, with force, the user's drive (when a user is recorded) and then the Public drive.
// Returns 0, or the code of the first cancellation that failed. The context is not changed.
int32_t SignOutPreviousUser(NasContext& context);

// The drive ("X:") whose connection points at `path` (trailing white space and backslashes of the
// connection ignored, case ignored), Z first; empty when none does.
LBString FindMappedDrive(const LBString& path);

// 1 with `drive` set to the highest letter not in use and a colon; 0 (drive untouched) when all
// 26 are in use or the drives in use cannot be read.
int32_t PickFreeDrive(LBString& drive);

// The letters of the drives in use (upper case). 1, also when no drive is in use (the list is
// only its closing zero); 0 when they cannot be read (nothing written to the list).
int32_t GetUsedDriveLetters(std::set<char16_t>& used);

}  // namespace nas
