// drivescout-drives: the user's network drives, for a terminal and for the desktop sign-in.
//
//   drivescout-drives [list]   one tab-separated line per connection of the user:
//                              letter, share, user (empty for guest), state, location
//   drivescout-drives restore  connects and mounts every remembered connection again, quietly;
//                              what could not be restored goes to the system log
//
// The state is "mounted" (its folder can be opened at the location now) or "remembered" (it comes
// back at the next sign-in). The location is a folder when GVfs's FUSE bridge runs, else an
// smb:// address a file manager opens. `restore` exits 1 when a connection could not be restored
// (it stays remembered for the next time), `list` 0; wrong usage exits 2.

#include <syslog.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/drive_restore.h"
#include "platform/smb_network_provider.h"
#include "platform/utf.h"

namespace {

constexpr int kExitUsage = 2;

int list(platform::SmbNetworkProvider& provider) {
    for (const platform::ConnectionInfo& c : provider.listConnections()) {
        std::printf("%s\t%s\t%s\t%s\t%s\n", platform::utf16ToUtf8(c.localName).c_str(),
                    platform::utf16ToUtf8(c.remoteName).c_str(),
                    platform::utf16ToUtf8(c.userName).c_str(), c.mounted ? "mounted" : "remembered",
                    c.location.c_str());
    }
    return 0;
}

const char* reason(platform::WinError error) {
    switch (error) {
        case platform::kErrorNoCredential:
            return "no stored password for the server";
        case platform::kErrorLogonFailure:
        case platform::kErrorInvalidPassword:
            return "the server refused the stored password";
        case platform::kErrorBadNetPath:
            return "the server does not answer";
        case platform::kErrorBadNetName:
            return "the server has no such share";
        case platform::kErrorAccessDenied:
            return "the server refused access to the share";
        default:
            return "it failed";
    }
}

int restore(platform::SmbNetworkProvider& provider) {
    int status = 0;
    openlog("drivescout-drives", LOG_PID, LOG_USER);
    for (const platform::RestoreOutcome& outcome :
         platform::restoreRememberedConnections(provider)) {
        if (!outcome.error)
            continue;
        syslog(LOG_WARNING, "Drive %s (%s) was not restored: %s (error %u).",
               platform::utf16ToUtf8(outcome.localName).c_str(),
               platform::utf16ToUtf8(outcome.remoteName).c_str(), reason(outcome.error),
               outcome.error);
        status = 1;
    }
    closelog();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "list";
    platform::SmbNetworkProvider provider;
    if (argc <= 2 && std::strcmp(command, "list") == 0)
        return list(provider);
    if (argc == 2 && std::strcmp(command, "restore") == 0)
        return restore(provider);
    std::fprintf(stderr, "usage: drivescout-drives [list | restore]\n");
    return kExitUsage;
}
