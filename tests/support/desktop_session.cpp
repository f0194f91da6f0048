#include "support/desktop_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

extern char** environ;
// The tests' leak suppressions (tests/lsan_suppressions.cpp), handed on to programs the session
// runs.
extern "C" const char* __lsan_default_suppressions();

namespace ds::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Child {
    pid_t pid = -1;
    int output = -1;  // read end of its stdout, when asked for
};

// Starts `argv` with `env`; `input` goes to its stdin (then closed), its stdout to a pipe when
// `captureOutput`, else to /dev/null; stderr stays the test's.
Child spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& input, bool captureOutput) {
    int in[2];
    int out[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0)
        return {};
    if (captureOutput && ::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    if (captureOutput)
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    Child child;
    const int spawned =
        posix_spawnp(&child.pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    if (captureOutput)
        ::close(out[1]);
    if (spawned != 0) {
        ::close(in[1]);
        if (captureOutput)
            ::close(out[0]);
        return {};
    }
    if (!input.empty()) {
        const ssize_t ignored = ::write(in[1], input.data(), input.size());
        (void)ignored;
    }
    ::close(in[1]);
    child.output = captureOutput ? out[0] : -1;
    return child;
}

// Reads `fd` until end of file or the deadline; the text read.
std::string readUntilEnd(int fd, std::chrono::steady_clock::time_point deadline) {
    std::string text;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// Waits for `pid` until the deadline, then kills it; its exit status or -1.
int waitFor(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(20ms);
    }
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool executable(const char* path) {
    return ::access(path, X_OK) == 0;
}

bool inPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::string_view rest(path ? path : "");
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        if (executable((fs::path(std::string(rest.substr(0, colon))) / name).c_str()))
            return true;
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return false;
}

bool isMountPoint(const fs::path& path) {
    const std::string mounts = fileText("/proc/self/mountinfo");
    return mounts.find(" " + path.string() + " ") != std::string::npos;
}

}  // namespace

std::vector<int> processesHolding(const std::string& text) {
    std::vector<int> pids;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int pid = std::stoi(name);
        if (pid == ::getpid())
            continue;
        if (fileText(entry.path() / "cmdline").find(text) != std::string::npos ||
            fileText(entry.path() / "environ").find(text) != std::string::npos)
            pids.push_back(pid);
    }
    return pids;
}

DesktopSession::DesktopSession(std::string marker, fs::path runtimeDir)
    : marker_(std::move(marker)), runtimeDir_(std::move(runtimeDir)) {}

std::unique_ptr<DesktopSession> DesktopSession::start(const fs::path& runtimeDir,
                                                      std::string& whyNot) {
    for (const char* program : {"dbus-daemon", "gnome-keyring-daemon", "gdbus"}) {
        if (!inPath(program)) {
            whyNot = std::string(program) + " is not installed";
            return nullptr;
        }
    }
    if (!executable("/usr/libexec/gvfsd") || !executable("/usr/libexec/gvfsd-smb")) {
        whyNot = "GVfs with its SMB backend is not installed (gvfs-backends)";
        return nullptr;
    }
    std::random_device random;
    std::unique_ptr<DesktopSession> session(new DesktopSession(
        "DS_TEST_DESKTOP_SESSION=" + std::to_string(::getpid()) + "-" + std::to_string(random()),
        runtimeDir));
    fs::create_directories(runtimeDir);
    ::chmod(runtimeDir.c_str(), 0700);
    std::ofstream(runtimeDir / "lsan-suppressions") << __lsan_default_suppressions();

    Child bus = spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"},
                      session->environment(), {}, true);
    if (bus.pid < 0) {
        whyNot = "dbus-daemon does not start";
        return nullptr;
    }
    session->busPid_ = bus.pid;
    std::string address;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{bus.output, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        if (::read(bus.output, &c, 1) != 1 || c == '\n')
            break;
        address += c;
    }
    ::close(bus.output);
    if (address.empty()) {
        whyNot = "dbus-daemon gave no address";
        return nullptr;
    }
    session->busAddress_ = address;

    // The keyring reads its password from stdin; it stays out of every command line.
    Child keyring =
        spawn({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"},
              session->environment(), kKeyringPassword, false);
    if (keyring.pid < 0) {
        whyNot = "gnome-keyring-daemon does not start";
        return nullptr;
    }
    // Ready once it owns the Secret Service name; asking earlier would let the bus start a second,
    // locked one.
    const auto keyringDeadline = std::chrono::steady_clock::now() + 15s;
    for (;;) {
        std::string answer;
        session->run({"gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                      "--object-path", "/org/freedesktop/DBus", "--method",
                      "org.freedesktop.DBus.NameHasOwner", "org.freedesktop.secrets"},
                     answer, 5);
        if (answer.find("true") != std::string::npos)
            break;
        if (std::chrono::steady_clock::now() > keyringDeadline) {
            whyNot = "gnome-keyring-daemon did not take the Secret Service name";
            return nullptr;
        }
        std::this_thread::sleep_for(50ms);
    }
    return session;
}

DesktopSession::~DesktopSession() {
    // gvfsd-fuse first, so that it takes its FUSE folder down itself.
    for (int pid : processes()) {
        if (fileText("/proc/" + std::to_string(pid) + "/cmdline").find("gvfsd-fuse") !=
            std::string::npos)
            ::kill(pid, SIGTERM);
    }
    const fs::path fuse = runtimeDir_ / "gvfs";
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         isMountPoint(fuse) && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(20ms);
    if (isMountPoint(fuse))
        ::umount2(fuse.c_str(), MNT_DETACH);
    for (int pid : processes())
        ::kill(pid, SIGTERM);
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         !processes().empty() && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(20ms);
    for (int pid : processes())
        ::kill(pid, SIGKILL);
    if (busPid_ > 0)
        ::waitpid(busPid_, nullptr, 0);
    // Children of ours that ended are reaped here; others belonged to the bus.
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

std::vector<std::string> DesktopSession::environment() const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (entry.starts_with("DBUS_SESSION_BUS_ADDRESS=") ||
            entry.starts_with("XDG_RUNTIME_DIR=") ||
            entry.starts_with("DS_TEST_DESKTOP_SESSION=") || entry.starts_with("ASAN_OPTIONS=") ||
            entry.starts_with("LSAN_OPTIONS="))
            continue;
        env.emplace_back(entry);
    }
    // Programs of a sanitized build run by the session leave out the tests' leak suppressions
    // too and see the whole stack of an allocation, as those need; other builds ignore both.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (sanitizer ? sanitizer : "") +
                  (sanitizer && sanitizer[0] ? ":" : "") + "fast_unwind_on_malloc=0");
    env.push_back("LSAN_OPTIONS=suppressions=" + (runtimeDir_ / "lsan-suppressions").string());
    env.push_back(marker_);
    env.push_back("XDG_RUNTIME_DIR=" + runtimeDir_.string());
    if (!busAddress_.empty())
        env.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress_);
    return env;
}

std::vector<int> DesktopSession::processes() const {
    return processesHolding(marker_ + '\0');
}

void DesktopSession::join() const {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
}

int DesktopSession::run(const std::vector<std::string>& argv, std::string& output,
                        int seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    Child child = spawn(argv, environment(), {}, true);
    if (child.pid < 0)
        return -1;
    output = readUntilEnd(child.output, deadline);
    ::close(child.output);
    return waitFor(child.pid, deadline);
}

}  // namespace ds::test
