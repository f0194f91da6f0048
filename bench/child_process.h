#pragma once

// A program run by a start-up benchmark as a child process. Its start is the moment just before
// the fork, so the times measured from it include the fork, exec and the dynamic loader, as a user
// starting the program pays them. Its standard output is either read line by line through a pipe
// (with a deadline) or thrown away; its standard error goes to a file when one is named (for
// LD_DEBUG's report), else to the benchmark's. Its end is collected with wait4, which gives the
// child's own CPU time (user and system, all its threads). Its peak resident size is read from the
// kernel's high-water mark of its address space (VmHWM) while it runs: wait4's ru_maxrss also
// counts the address space the child had before its exec, here the benchmark's own.
//
// The child dies with the benchmark (PR_SET_PDEATHSIG); the destructor kills and reaps a child
// still running. One thread uses an object.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// The high-water mark of the resident size of process `pid`'s address space since its exec.
inline std::optional<double> peakRssMiBOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;  // in kB
    }
    return std::nullopt;
}

// The null-ended array of pointers into `texts` that execve takes for its arguments and
// environment; valid while `texts` is.
inline std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

struct ChildEnd {
    double wallSeconds = 0;  // from the start until the end was seen
    double cpuSeconds = 0;   // user + system time of the child and all its threads
    bool exitedZero = false;
};

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;

    struct Options {
        std::vector<std::string> argv;
        // NAME=value entries added to (or replacing those of) the benchmark's environment.
        std::vector<std::string> environment;
        bool readStdout = false;  // else standard output goes to /dev/null
        std::string stderrPath;   // empty: the benchmark's standard error
    };

    explicit ChildProcess(Options options) {
        // Everything the child needs is built before the fork. The child is made with vfork: it
        // borrows this process's memory until its exec, so the start does not copy the
        // benchmark's address space (which a user's shell does not have) and its time is not
        // charged to the child; until the exec it only makes plain system calls.
        std::vector<std::string> environment = mergedEnvironment(options.environment);
        std::vector<char*> argv = pointers(options.argv);
        std::vector<char*> envp = pointers(environment);
        int out[2] = {-1, -1};
        if (options.readStdout && pipe2(out, O_CLOEXEC) != 0)
            return;
        const int sink = open(options.stderrPath.empty() ? "/dev/null" : options.stderrPath.c_str(),
                              options.stderrPath.empty() ? O_WRONLY | O_CLOEXEC
                                                         : O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                              0600);
        const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
        const pid_t parent = getpid();
        start_ = Clock::now();
        pid_ = vfork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(devNull, STDIN_FILENO);
            dup2(options.readStdout ? out[1] : devNull, STDOUT_FILENO);
            if (!options.stderrPath.empty())
                dup2(sink, STDERR_FILENO);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (out[1] >= 0)
            close(out[1]);
        stdout_ = out[0];
        close(sink);
        close(devNull);
    }

    ~ChildProcess() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0)
            close(stdout_);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    Clock::time_point start() const { return start_; }

    // The next line of standard output, or nothing at the deadline or the end of the output.
    std::optional<std::string> readLine(Clock::time_point deadline) {
        while (true) {
            const size_t newline = pending_.find('\n');
            if (newline != std::string::npos) {
                std::string line = pending_.substr(0, newline);
                pending_.erase(0, newline + 1);
                return line;
            }
            if (stdout_ < 0)
                return std::nullopt;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd ready{stdout_, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(stdout_, buffer, sizeof buffer);
            if (n <= 0) {
                close(stdout_);
                stdout_ = -1;
                continue;
            }
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }

    // The peak resident size of the program so far (VmHWM), or nothing once it has ended.
    std::optional<double> peakRssMiB() const {
        return pid_ > 0 && !reaped_ ? peakRssMiBOf(pid_) : std::nullopt;
    }

    void terminate() {
        if (pid_ > 0 && !reaped_)
            kill(pid_, SIGTERM);
    }

    // Waits for the child's end (killing it after `grace`) and returns what wait4 tells of it.
    // The wait is on a pidfd, so the end is seen as it happens.
    ChildEnd wait(std::chrono::milliseconds grace = std::chrono::seconds(10)) {
        ChildEnd end;
        if (pid_ <= 0 || reaped_)
            return end;
        const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        if (exited >= 0) {
            pollfd ready{exited, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(grace.count())) <= 0)
                kill(pid_, SIGKILL);
            close(exited);
        }
        int status = 0;
        rusage usage{};
        wait4(pid_, &status, 0, &usage);
        end.wallSeconds = std::chrono::duration<double>(Clock::now() - start_).count();
        reaped_ = true;
        end.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        end.exitedZero = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return end;
    }

  private:
    static std::vector<std::string> mergedEnvironment(const std::vector<std::string>& added) {
        std::vector<std::string> merged;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('=') + 1);
            const bool replaced = std::any_of(added.begin(), added.end(), [&](const auto& a) {
                return a.compare(0, name.size(), name) == 0;
            });
            if (!replaced)
                merged.push_back(text);
        }
        merged.insert(merged.end(), added.begin(), added.end());
        return merged;
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int stdout_ = -1;
    std::string pending_;
    Clock::time_point start_;
};

}  // namespace bench
