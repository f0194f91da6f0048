#pragma once

// Mounting a connected share through GVfs (`gio mount`), so that the user's file manager can
// open it. Runs in the background and is never waited for; where GVfs is missing (no session
// bus, no gio, no gvfsd) nothing happens and that is no error. DRIVESCOUT_GVFS=0 turns it off.
// Credentials reach gio through a pipe, never through its command line. Any thread.

#include <string>

namespace platform {

bool gvfsAvailable();
void gvfsMountInBackground(const std::string& url, const std::string& user,
                           const std::string& password);
void gvfsUnmountInBackground(const std::string& url);

}  // namespace platform
