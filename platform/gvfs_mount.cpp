#include "platform/gvfs_mount.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace platform {
namespace {

constexpr auto kGioTimeout = std::chrono::seconds(20);

bool executableInPath(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::string_view rest(path);
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::filesystem::path candidate =
            std::filesystem::path(std::string(rest.substr(0, colon))) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return false;
}

// Runs gio with `input` on its standard input and waits for it at most kGioTimeout.
void runGio(std::vector<std::string> arguments, std::string input) {
    // A gio that does not read its answers makes the write fail with EPIPE; the signal stays
    // pending on this thread, which ends soon, instead of ending the process.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, "gio", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[0]);
    if (spawned == 0) {
        const ssize_t ignored = ::write(pipeFds[1], input.data(), input.size());
        (void)ignored;
    }
    std::fill(input.begin(), input.end(), '\0');
    ::close(pipeFds[1]);
    if (spawned != 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + kGioTimeout;
    while (::waitpid(child, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace

bool gvfsAvailable() {
    const char* off = std::getenv("DRIVESCOUT_GVFS");
    if (off && std::strcmp(off, "0") == 0)
        return false;
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!bus || !bus[0] || !executableInPath("gio"))
        return false;
    for (const char* daemon : {"/usr/libexec/gvfsd", "/usr/lib/gvfs/gvfsd"}) {
        if (::access(daemon, X_OK) == 0)
            return true;
    }
    return false;
}

void gvfsMountInBackground(const std::string& url, const std::string& user,
                           const std::string& password) {
    if (!gvfsAvailable())
        return;
    std::vector<std::string> arguments{"gio", "mount"};
    std::string input;
    if (user.empty()) {
        arguments.push_back("--anonymous");
    } else {
        input = user + "\n\n" + password + "\n";  // user, domain (default), password
    }
    arguments.push_back(url);
    std::thread(runGio, std::move(arguments), std::move(input)).detach();
}

void gvfsUnmountInBackground(const std::string& url) {
    if (!gvfsAvailable())
        return;
    std::thread(runGio, std::vector<std::string>{"gio", "mount", "--unmount", url}, std::string())
        .detach();
}

}  // namespace platform
