// The workstation's user from NetWkstaUserGetInfo (level 1: user name and logon domain).

#include <windows.h>

#include <lm.h>

#include "platform/workstation.h"

namespace platform {

WinError workstationUser(WorkstationUser& user) {
    WKSTA_USER_INFO_1* info = nullptr;
    const NET_API_STATUS status =
        ::NetWkstaUserGetInfo(nullptr, 1, reinterpret_cast<BYTE**>(&info));
    if (status != NERR_Success || info == nullptr) {
        if (info != nullptr)
            ::NetApiBufferFree(info);
        return kErrorUserNotFound;
    }
    WorkstationUser result;
    if (info->wkui1_username != nullptr)
        result.userName = reinterpret_cast<const char16_t*>(info->wkui1_username);
    if (info->wkui1_logon_domain != nullptr)
        result.logonDomain = reinterpret_cast<const char16_t*>(info->wkui1_logon_domain);
    ::NetApiBufferFree(info);
    user = std::move(result);
    return kNoError;
}

}  // namespace platform
