#include "platform/workstation.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/user_store.h"
#include "platform/utf.h"

namespace platform {

WinError workstationUser(WorkstationUser& user) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found)
        return kErrorUserNotFound;
    WorkstationUser result;
    result.userName = utf8ToUtf16(found->pw_name);
    if (const char* domain = std::getenv("DRIVESCOUT_LOGON_DOMAIN")) {
        result.logonDomain = utf8ToUtf16(domain);
    } else {
        std::unique_ptr<UserStoreKey> key;
        if (UserStore::forCurrentUser().openKey(kWorkstationKey, key) == kNoError) {
            std::u16string domainText;
            if (key->queryText(u"LogonDomain", domainText) == kNoError)
                result.logonDomain = domainText;
            closeKey(std::move(key));
        }
    }
    user = std::move(result);
    return kNoError;
}

}  // namespace platform
