#pragma once

// The user of this workstation: account name and logon domain, as the SDK puts them into a
// stored credential. The user name is the system account of the effective user id; the logon
// domain comes from DRIVESCOUT_LOGON_DOMAIN when set, else from the per-user store (key
// "Software\DriveScout\Workstation", text value "LogonDomain"), else it is empty. Any thread.

#include <string>
#include <string_view>

#include "platform/win_error.h"

namespace platform {

struct WorkstationUser {
    std::u16string userName;
    std::u16string logonDomain;
};

inline constexpr std::u16string_view kWorkstationKey = u"Software\\DriveScout\\Workstation";
inline constexpr WinError kErrorUserNotFound = 2221;

// 0 with `user` filled, or kErrorUserNotFound when the account cannot be read.
WinError workstationUser(WorkstationUser& user);

}  // namespace platform
