#pragma once

// Runs drivescout-nas-sim as a child process for a test: its stdin is a pipe the test writes
// commands to, its stdout is read line by line on a reader thread (so the simulator never blocks
// on a full pipe), its stderr goes to the test's. The child dies with the test
// (PR_SET_PDEATHSIG) and the destructor ends it: closing stdin ends it through --exit-on-eof,
// and after a grace period it is killed.
//
// Threads: one test thread calls the members; the reader thread only appends lines.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace nassim_test {

inline std::string simulatorPath() {
    return std::string(DRIVESCOUT_BINARY_DIR) + "/drivescout-nas-sim";
}

class SimProcess {
  public:
    using Clock = std::chrono::steady_clock;

    // Starts the simulator with `args` (and --exit-on-eof). Check `started()`.
    explicit SimProcess(const std::vector<std::string>& args) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> all{simulatorPath()};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back("--exit-on-eof");
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        reader_ = std::thread([this] { readLines(); });
    }

    ~SimProcess() {
        closeStdin();
        if (pid_ > 0 && !exitStatus_) {
            if (!waitExit(std::chrono::seconds(5))) {
                kill(pid_, SIGKILL);
                waitExit(std::chrono::seconds(5));
            }
        }
        if (reader_.joinable())
            reader_.join();
        if (stdout_ >= 0)
            close(stdout_);
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Writes one command line.
    void send(const std::string& command) {
        const std::string line = command + "\n";
        if (stdin_ >= 0)
            (void)!write(stdin_, line.data(), line.size());
    }

    void terminate() {
        if (pid_ > 0 && !exitStatus_)
            kill(pid_, SIGTERM);
    }

    void closeStdin() {
        if (stdin_ >= 0)
            close(stdin_);
        stdin_ = -1;
    }

    // Number of lines read so far: a mark to wait for lines that come after it.
    size_t mark() const {
        std::lock_guard lock(mutex_);
        return lines_.size();
    }

    // The first line at or after `from` for which `match` holds, waiting up to `timeout`.
    std::optional<std::string> waitFor(const std::function<bool(const std::string&)>& match,
                                       std::chrono::milliseconds timeout, size_t from = 0) {
        std::unique_lock lock(mutex_);
        const auto deadline = Clock::now() + timeout;
        size_t next = from;
        while (true) {
            for (; next < lines_.size(); ++next) {
                if (match(lines_[next]))
                    return lines_[next];
            }
            if (eof_ || changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
                for (; next < lines_.size(); ++next) {
                    if (match(lines_[next]))
                        return lines_[next];
                }
                return std::nullopt;
            }
        }
    }

    std::optional<std::string> waitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout = kWait,
                                           size_t from = 0) {
        return waitFor([&](const std::string& line) { return line.rfind(prefix, 0) == 0; }, timeout,
                       from);
    }

    bool waitReady() { return waitForLine("ready").has_value(); }

    // Waits for the child to end; its exit status (or -1 after a signal).
    std::optional<int> waitExit(std::chrono::milliseconds timeout) {
        if (exitStatus_)
            return exitStatus_;
        const auto deadline = Clock::now() + timeout;
        while (true) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return exitStatus_;
            }
            if (done < 0 || Clock::now() >= deadline)
                return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    static constexpr std::chrono::milliseconds kWait{10000};

  private:
    void readLines() {
        std::string partial;
        char buffer[4096];
        while (true) {
            const ssize_t n = read(stdout_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            partial.append(buffer, static_cast<size_t>(n));
            size_t newline;
            std::lock_guard lock(mutex_);
            while ((newline = partial.find('\n')) != std::string::npos) {
                lines_.push_back(partial.substr(0, newline));
                partial.erase(0, newline + 1);
            }
            changed_.notify_all();
        }
        std::lock_guard lock(mutex_);
        eof_ = true;
        changed_.notify_all();
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::optional<int> exitStatus_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool eof_ = false;
};

}  // namespace nassim_test
