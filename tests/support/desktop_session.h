#pragma once

// A desktop session for tests, made of the real parts a signed-in user has: a D-Bus session bus
// (dbus-daemon), gnome-keyring-daemon started and unlocked with a test password (its keyrings
// under $XDG_DATA_HOME, so a later session of the same user finds them), and GVfs, which the bus
// starts when first asked (gvfsd, its SMB backend and, where FUSE works, gvfsd-fuse under the
// session's runtime folder).
//
// Each process of the session carries a marker in its environment; ending the session ends those
// processes (and only those) and the bus. The test process itself joins a session by setting
// DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR before anything of GLib first looks at the bus:
// GLib keeps that bus for the life of the process, so a second session serves child processes.
// Used from the test's main thread.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ds::test {

class DesktopSession {
  public:
    static constexpr const char* kKeyringPassword = "test-keyring-password";

    // Starts a session whose runtime folder is `runtimeDir` (made, mode 0700); null, with the
    // reason in `whyNot`, when a part is missing here.
    static std::unique_ptr<DesktopSession> start(const std::filesystem::path& runtimeDir,
                                                 std::string& whyNot);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    const std::string& busAddress() const { return busAddress_; }
    const std::filesystem::path& runtimeDir() const { return runtimeDir_; }

    // Puts this process into the session (see above).
    void join() const;
    // Runs `argv` in the session and waits at most `seconds`; its exit status (-1 when it could
    // not run or had to be killed), its standard output in `output`.
    int run(const std::vector<std::string>& argv, std::string& output, int seconds = 60) const;

  private:
    DesktopSession(std::string marker, std::filesystem::path runtimeDir);
    std::vector<std::string> environment() const;
    std::vector<int> processes() const;

    std::string marker_;
    std::filesystem::path runtimeDir_;
    std::string busAddress_;
    int busPid_ = -1;
};

// Processes whose command line or environment holds `text` (the caller's own excepted).
std::vector<int> processesHolding(const std::string& text);

}  // namespace ds::test
