#pragma once

// Mounting shares through GVfs with GIO's own API, so that the user's file manager can open them.
// Each call runs the operation on a GLib main context of its own and waits for the outcome within
// a deadline. The user name, domain and password go to GVfs through a GMountOperation over the
// session bus, never through a command line or the environment.
//
// GVfs is there when a session bus is given (DBUS_SESSION_BUS_ADDRESS), GIO's GVfs client is
// active on it and it knows smb://. Where it is not, every call here answers "not available" and
// the first such answer writes one trace line. DRIVESCOUT_GVFS=0 turns it off. Any thread; calls
// run one at a time.

#include <string>

#include "platform/win_error.h"

namespace platform {

struct GvfsLogin {
    std::string user;  // empty: anonymous (guest)
    std::string domain;
    std::string password;
};

bool gvfsAvailable();

struct GvfsMountResult {
    WinError error = kNoError;
    bool alreadyMounted = false;  // someone mounted it before this call
};

// Mounts the share of `url`. Errors: refused credentials 1326 (86 when the password is empty),
// share unknown 67, access denied 5, server out of reach, deadline passed or anything else 53.
GvfsMountResult gvfsMount(const std::string& url, const GvfsLogin& login);
// Unmounts the mount holding `url`; kErrorNotConnected when nothing is mounted there.
WinError gvfsUnmount(const std::string& url);
// Whether `url` lies in a mounted GVfs location.
bool gvfsIsMounted(const std::string& url);
// Where a program can open `url`: the path below GVfs's FUSE folder ($XDG_RUNTIME_DIR/gvfs) when
// gvfsd-fuse runs and the share is mounted, else the URL itself.
std::string gvfsLocation(const std::string& url);

}  // namespace platform
